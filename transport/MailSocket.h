// One mail server connection. A reader thread drains the socket into the
// receive buffer and a writer thread sends queued buffers, so the calling
// thread never blocks on the socket: it queues commands, waits for replies and
// takes received bytes, all of them or up to a terminator.
//
// One caller at a time per object. Lengths and counts are 32-bit as at the
// library boundary; results are ResultCode values unless said otherwise.
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
    int32_t CopyTranscript(char* target, int32_t size) const;

    int32_t BytesAvailable() const;
    // Null target: returns the number of bytes available. Null outCount: NullPointer.
    int32_t Read(char* target, int32_t size, int32_t* outCount);
    // As Read, but takes at most through the first terminator; returns
    // TerminatorFound when the terminator was taken whole.
    int32_t ReadUntil(char* target, int32_t size, const char* terminator, int32_t terminatorLength,
                      int32_t* outCount);

    // Queues a private copy for the writer thread; never blocks on the socket.
    int32_t Send(const char* bytes, int32_t length);
    int32_t Send(const std::string& text) { return Send(text.data(), static_cast<int32_t>(text.size())); }
    // Sends a file as base64 lines of 60 characters plus CR LF, the last one
    // shorter, then an empty line.
    int32_t SendFileBase64(const char* path);

    // Sends `command` (when given) and checks that the reply begins with
    // `expected` (when given). The reply is judged once a whole line has
    // arrived; for a multi-line SMTP reply ("250-...") its last line. The
    // time limit counts from when everything queued has gone out. Takes all
    // bytes available. Bytes already waiting when a command is to be sent make
    // IncorrectResponse (nothing is sent); a reply over 64 KB ResponseTimeout.
    int32_t SendAndExpect(const char* command, int32_t commandLength, const char* expected, int32_t expectedLength,
                          uint32_t timeoutMs);
    // As SendAndExpect, but consumes exactly through the first terminator and
    // leaves what follows in the receive buffer.
    int32_t SendAndExpectLine(const char* command, int32_t commandLength, const char* expected,
                              int32_t expectedLength, const char* terminator, int32_t terminatorLength,
                              uint32_t timeoutMs);

    // Waits for one whole reply (every line of a multi-line one), takes
    // exactly it and leaves what follows in the receive buffer, so the
    // replies to pipelined commands are taken one by one. ResponseTimeout
    // when it does not complete in time, the link breaks first, or it grows
    // over 64 KB.
    int32_t ReadReply(std::string& reply, uint32_t timeoutMs);

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
    bool WaitForBytes(int32_t moreThan, uint32_t timeoutMs);

private:
    void readerLoop();
    void writerLoop();
    bool waitForMore(size_t moreThan, uint32_t since, uint32_t timeoutMs);
    void signalActivity();  // pulses linkActivity_
    // True when linkActivity_ was pulsed since `seen` (a value of
    // activityCount_) or is pulsed within the brief spin.
    bool spinForActivity(uint32_t seen);
    // Whether `needle` has arrived and how many bytes are waiting, read
    // together: a reply landing between two separate looks would leave the
    // wait sleeping for bytes beyond a reply that is already complete.
    std::pair<bool, size_t> lookForInReceived(std::string_view needle) const;
    int32_t expectReply(const char* expected, int32_t expectedLength, const char* terminator,
                        int32_t terminatorLength, uint32_t timeoutMs);
    bool waitForQueueBelow(size_t bytes);
    // True (and the bytes dropped) when something arrived that no command asked for.
    bool unaskedBytesPending();
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
    mutable std::mutex transcriptLock_;
    mutable std::mutex receiveLock_;
    mutable std::mutex queueLock_;
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
