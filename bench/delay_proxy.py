"""A TCP proxy that makes a loopback link look distant: every chunk is passed
on DELAY_MS after it arrived, in each direction, so a request and its reply
take 2 x DELAY_MS longer. Chunks keep their order; each waits for its own
arrival time plus the delay, never for the chunk before it, so throughput is
not limited. Closing one side is passed on after the same delay.
Usage: delay_proxy.py LISTEN_HOST LISTEN_PORT TARGET_HOST TARGET_PORT [DELAY_MS]
Prints "ready" once it listens; SIGTERM or SIGINT stops it."""
import asyncio
import signal
import socket
import sys


async def pump(reader, writer, delay):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def forward():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    sender = asyncio.create_task(forward())
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
    except (ConnectionError, OSError):
        queue.put_nowait((loop.time() + delay, None))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def main():
    host, port, target_host, target_port = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
    delay = (float(sys.argv[5]) if len(sys.argv) > 5 else 10.0) / 1000.0

    async def client(c_reader, c_writer):
        try:
            s_reader, s_writer = await asyncio.open_connection(target_host, target_port)
        except OSError:
            c_writer.close()
            return
        for w in (c_writer, s_writer):
            w.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        await asyncio.gather(pump(c_reader, s_writer, delay), pump(s_reader, c_writer, delay))
        for w in (c_writer, s_writer):
            w.close()

    server = await asyncio.start_server(client, host, port, reuse_address=True)
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        asyncio.get_running_loop().add_signal_handler(sig, stop.set)
    print("ready", flush=True)
    async with server:
        await stop.wait()


asyncio.run(main())
