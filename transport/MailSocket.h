// One mail server connection that moves bytes and nothing else: a reader
// thread drains the socket into the receive buffer and a writer thread sends
// what the socket could not take at once, so the calling thread never blocks
// on the socket. What the bytes mean (SMTP replies, POP3 status lines,
// message text) is for the libraries above.
//
// Threads and their states:
// - caller (one at a time per object): Closed -> Connect -> Open; queues
//   bytes with Send, waits with WaitForBytes / ReadLine, takes bytes;
//   Disconnect -> Closed. StartTls stops both threads, runs the handshake
//   itself and starts the reader again.
// - reader: Receiving (in a receive call) until a stop request, which ends
//   it quietly, or the end of the stream or an error, which sets LinkBroken.
//   Started by Connect and again after StartTls.
// - writer: started with the first bytes the socket would not take at once;
//   Idle (waiting for dataQueued_ or stopWriter_) <-> Sending (one queued
//   buffer); a failed send sets LinkBroken and ends it, stopWriter_ ends it.
// - any other thread: Abort, through OpenConnections, whose lock keeps the
//   socket from closing meanwhile; it sets LinkBroken and stops the socket,
//   so every wait of the caller ends as for a broken link.
//
// Lock order: receiveLock_ before transcriptLock_ (the reader records what
// it received); queueLock_ before transcriptLock_ (Send records what it
// hands to the socket itself). receiveLock_ and queueLock_ are never held
// together. Sizes are size_t; the 32-bit lengths of the C exports are
// converted where those are called.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Event.h"
#include "transport/ByteBuffer.h"
#include "transport/ItemList.h"
#include "transport/ParkedThread.h"
#include "transport/TlsChannel.h"

namespace platform {
class TcpSocket;
}

class MailSocket {
public:
    MailSocket();
    ~MailSocket();  // disconnects and joins the threads
    MailSocket(const MailSocket&) = delete;
    MailSocket& operator=(const MailSocket&) = delete;

    // Set while the receive buffer is known to hold bytes.
    platform::Event& DataEvent() { return dataReceived_; }

    // host is "name", "a.b.c.d" or either followed by ":port", which then
    // overrides `port`. Waits for the connection within the reply limit.
    // Already connected: returns Success at once. A new session starts with
    // an empty receive buffer; `record` starts a fresh transcript.
    int32_t Connect(const char* host, uint16_t port, bool useTcp, bool record);
    // Stops and joins both threads, drops what is still queued, closes the socket.
    int32_t Disconnect();

    // Turns the open connection to TLS (at once for implicit TLS, or after
    // the server agreed to STARTTLS / STLS) and verifies the server for the
    // host given to Connect. Bytes the server sent ahead of the handshake
    // fail it: they could only have been injected. On failure the
    // connection is closed. Results as TlsChannel::handshake.
    int32_t StartTls(const transport::TlsOptions& options);
    bool IsTls() const { return tls_ != nullptr; }

    // Starts an empty transcript (when none runs) or ends it, on an open
    // connection: a session records only what its caller asks for.
    void SetRecording(bool on);
    void ClearTranscript();
    ByteBuffer GetTranscript() const;
    // Copies min(transcript length, size - 1) bytes (nothing for size 0 or 1,
    // no terminator written) and returns the count; a null target only counts.
    size_t CopyTranscript(char* target, size_t size) const;

    size_t BytesAvailable() const;
    // Takes up to `size` bytes that have arrived and returns how many.
    size_t Read(char* target, size_t size);
    // Waits for one whole line (through its LF), takes exactly it and leaves
    // what follows. ResponseTimeout when none completes in time, the link
    // breaks first, or `maxLength` bytes wait without a line end: no line
    // any server sends honestly is that long, and a hostile one must not
    // make the caller hold more.
    int32_t ReadLine(std::string& line, size_t maxLength, uint32_t timeoutMs);
    // Drops whatever waits; true when there was something.
    bool DiscardReceived();

    // Queues a private copy for the writer thread; never blocks on the socket.
    int32_t Send(std::string_view bytes);
    // Waits until at most `bytes` wait to be sent, so a large transfer need
    // not sit in memory whole. False when the link broke or it made no
    // progress within the reply limit.
    bool WaitForQueueBelow(size_t bytes);

    bool IsConnected() const { return connected_.load(); }

    // From any thread, while the connection is open (OpenConnections.h):
    // every wait ends at once as for a broken link.
    void Abort();

    // True once the peer closed the connection or a send or receive failed;
    // nothing more will arrive then beyond what is already buffered.
    bool LinkBroken() const { return linkBroken_.load(); }

    // Waits until more than `moreThan` bytes are available. False when
    // timeoutMs passes first (the clock only runs while nothing queued is
    // left to send), or at once when the link broke and nothing more can come.
    bool WaitForBytes(size_t moreThan, uint32_t timeoutMs);

private:
    void readerLoop();
    void writerLoop();
    bool waitForMore(size_t moreThan, uint32_t since, uint32_t timeoutMs);
    void signalActivity();  // pulses linkActivity_
    // True when linkActivity_ was pulsed since `seen` (a value of
    // activityCount_) or is pulsed within the brief spin.
    bool spinForActivity(uint32_t seen);
    // The connection's byte stream: through TLS once it is on.
    long channelReceive(char* target, size_t size);
    long channelSend(const char* bytes, size_t size);
    long channelTrySend(const char* bytes, size_t size);

    std::atomic<bool> connected_{false};
    std::unique_ptr<ByteBuffer> transcript_;
    std::unique_ptr<platform::TcpSocket> socket_;
    std::unique_ptr<transport::TlsChannel> tls_;
    std::string host_;  // as given to Connect, for verifying the certificate
    // Borrowed for the connection's lifetime; parked again when it closes.
    transport::ParkedThread readerThread_;
    transport::ParkedThread writerThread_;
    platform::Event stopWriter_{true, false};
    // Taken last: after receiveLock_ (reader) or queueLock_ (Send), never before.
    mutable std::mutex transcriptLock_;
    mutable std::mutex receiveLock_;  // received_; never together with queueLock_
    mutable std::mutex queueLock_;    // sendQueue_ and the direct send in Send
    platform::Event dataReceived_{true, false};
    platform::Event dataQueued_{true, false};
    // Pulsed when bytes arrive, the writer makes progress or the link breaks.
    platform::Event linkActivity_{false, false};
    ByteBuffer received_;
    ItemList sendQueue_;
    std::atomic<bool> sending_{false};    // queue not empty or a buffer being sent
    std::atomic<size_t> queuedBytes_{0};
    std::atomic<uint32_t> lastProgress_{0};  // tick of the writer's last progress
    std::atomic<bool> linkBroken_{false};
    std::atomic<uint32_t> activityCount_{0};  // counts linkActivity_ pulses
};
