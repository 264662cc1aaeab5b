#include "MailSocket.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <optional>
#include <cstring>
#include <fstream>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "transport/Base64Encoder.h"
#include "transport/Limits.h"
#include "transport/OpenConnections.h"
#include "transport/ResultCodes.h"
#include "transport/ServerAddress.h"

namespace {

constexpr size_t kReceivePiece = 16384;
// Flag of a queued remainder whose bytes the transcript already holds.
constexpr uint32_t kAlreadyRecorded = 1;
// SendFileBase64 stops queuing while this much waits for the writer, so a
// large attachment does not sit in memory whole.
constexpr size_t kQueueHighWater = 4u << 20;
// A server on the same host or network answers a command within about this
// long. Watching for the reply that briefly, giving the processor away on
// every pass, spares the caller going to sleep and being woken by the reader,
// which on an idle machine can cost more than the reply itself.
constexpr auto kReplySpin = std::chrono::microseconds(200);
// On a busy machine giving the processor away can cost a whole time slice of
// another program before this thread runs again, far longer than sleeping
// until the reader wakes it. A pass that took this long shows that; the
// watch is then left out for a while.
constexpr auto kSlowPass = std::chrono::microseconds(100);
constexpr auto kSpinPause = std::chrono::seconds(1);
// Process-wide: no watching before this time (steady clock, in its ticks).
std::atomic<std::chrono::steady_clock::rep> spinPausedUntil{0};
// No server reply needs more; anything longer is treated as no reply at all,
// so a hostile server cannot make the caller hold it in memory.
constexpr size_t kMaxReply = 64 * 1024;
// Whole base64 lines per file read.
constexpr size_t kFileChunk = transport::kBase64LineBytes * 1024;

// Signed distance between two tick counts, correct across a wrap.
int32_t ticksAfter(uint32_t later, uint32_t earlier) { return static_cast<int32_t>(later - earlier); }

// A reply is complete once a whole line has arrived that does not announce a
// further line the way "250-..." does in a multi-line SMTP reply. Returns the
// deciding line, or nullopt while incomplete.
std::optional<std::string_view> completeReply(std::string_view text) {
    size_t pos = 0;
    for (;;) {
        const size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos) return std::nullopt;
        const std::string_view line = text.substr(pos, lf + 1 - pos);
        const bool continued = line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                               std::isdigit(static_cast<unsigned char>(line[1])) &&
                               std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == '-';
        if (!continued) return line;
        pos = lf + 1;
    }
}

int32_t judge(std::string_view line, const char* expected, int32_t expectedLength) {
    const auto n = static_cast<size_t>(std::max<int32_t>(expectedLength, 0));
    if (line.size() < n || std::memcmp(line.data(), expected, n) != 0) return ResultCode::IncorrectResponse;
    return ResultCode::Success;
}

}  // namespace

// The registry of open connections is made first, so it outlives every
// socket, also one a library holds until it is unloaded.
MailSocket::MailSocket() { transport::OpenConnections::instance(); }

MailSocket::~MailSocket() { Disconnect(); }

int32_t MailSocket::Connect(const char* host, uint16_t port, bool useTcp, bool record) {
    if (connected_) return ResultCode::Success;
    if (!host) return ResultCode::NullPointer;
    Disconnect();  // a failed earlier attempt may have left pieces behind

    const auto server = transport::parseServerAddress(host, port);
    if (!server) return ResultCode::PortNotOpened;

    {
        std::lock_guard lock(receiveLock_);
        received_.clear();
        dataReceived_.reset();
    }
    linkActivity_.reset();
    linkBroken_ = false;
    lastProgress_ = platform::tickCount();

    auto sock = std::make_unique<platform::TcpSocket>();
    if (sock->connect(server->host, server->port, useTcp, transport::limits().replyMs) !=
        platform::TcpSocket::ConnectResult::Ok)
        return ResultCode::PortNotOpened;
    socket_ = std::move(sock);
    transport::OpenConnections::instance().add(this);
    host_ = server->host;

    if (record) {
        std::lock_guard lock(transcriptLock_);
        transcript_ = std::make_unique<ByteBuffer>();
    }

    stopWriter_.reset();
    try {
        // The writer starts with the first bytes the socket cannot take at
        // once; short dialogues never need it.
        readerThread_.start([this] { readerLoop(); });
    } catch (const std::system_error&) {
        Disconnect();
        return ResultCode::ThreadNotCreated;
    }
    connected_ = true;
    return ResultCode::Success;
}

int32_t MailSocket::Disconnect() {
    transport::OpenConnections::instance().remove(this);
    connected_ = false;
    if (socket_) socket_->stop();
    stopWriter_.set();
    if (readerThread_.joinable()) readerThread_.join();
    if (writerThread_.joinable()) writerThread_.join();
    {
        std::lock_guard lock(queueLock_);
        sendQueue_.removeAll();
        dataQueued_.reset();
        sending_ = false;
        queuedBytes_ = 0;
    }
    if (tls_) {
        tls_->close();
        tls_.reset();
    }
    socket_.reset();
    return ResultCode::Success;
}

int32_t MailSocket::StartTls(const transport::TlsOptions& options) {
    if (!connected_ || !socket_ || tls_) return ResultCode::TlsHandshakeFailed;
    // The handshake runs on this thread; the reader and the writer come back
    // afterwards to speak through TLS.
    socket_->stop();
    stopWriter_.set();
    if (readerThread_.joinable()) readerThread_.join();
    if (writerThread_.joinable()) writerThread_.join();
    socket_->resume();
    stopWriter_.reset();
    const bool clean = BytesAvailable() == 0 && !linkBroken_ && !sending_;
    int32_t r = ResultCode::TlsHandshakeFailed;
    if (clean) {
        auto tls = std::make_unique<transport::TlsChannel>(*socket_);
        r = tls->handshake(host_, options, transport::limits().replyMs);
        if (r == ResultCode::Success) tls_ = std::move(tls);
    }
    if (r == ResultCode::Success) {
        try {
            readerThread_.start([this] { readerLoop(); });
        } catch (const std::system_error&) {
            r = ResultCode::ThreadNotCreated;
        }
    }
    if (r != ResultCode::Success) Disconnect();
    return r;
}

long MailSocket::channelReceive(char* target, size_t size) {
    return tls_ ? tls_->receive(target, size) : socket_->receive(target, size);
}

long MailSocket::channelSend(const char* bytes, size_t size) {
    return tls_ ? tls_->send(bytes, size) : socket_->send(bytes, size);
}

long MailSocket::channelTrySend(const char* bytes, size_t size) {
    return tls_ ? tls_->trySend(bytes, size) : socket_->trySend(bytes, size);
}

namespace {

// Releases a thread's TLS state when its job ends (the thread itself is parked).
struct TlsThreadEnd {
    const std::unique_ptr<transport::TlsChannel>& tls;
    ~TlsThreadEnd() {
        if (tls) transport::TlsChannel::releaseThreadState();
    }
};

}  // namespace

void MailSocket::readerLoop() {
    const TlsThreadEnd end{tls_};
    std::vector<char> piece(kReceivePiece);
    for (;;) {
        const long n = channelReceive(piece.data(), piece.size());
        if (n == platform::TcpSocket::kStopped) return;
        if (n <= 0) {
            // End of stream or an error: nothing more will come, stop polling.
            linkBroken_ = true;
            signalActivity();
            return;
        }
        {
            std::lock_guard lock(receiveLock_);
            received_.append(piece.data(), static_cast<size_t>(n));
            {
                std::lock_guard tlock(transcriptLock_);
                if (transcript_) transcript_->append(piece.data(), static_cast<size_t>(n));
            }
            dataReceived_.set();
        }
        signalActivity();
    }
}

void MailSocket::writerLoop() {
    const TlsThreadEnd end{tls_};
    for (;;) {
        if (platform::Event::waitAny({&stopWriter_, &dataQueued_}, platform::kInfinite) == 0) return;
        std::optional<std::string> buffer;
        bool recorded = false;
        {
            std::lock_guard lock(queueLock_);
            if (const auto* head = sendQueue_.peek(0)) recorded = head->flags == kAlreadyRecorded;
            buffer = sendQueue_.popFront();
            if (sendQueue_.isEmpty()) dataQueued_.reset();
        }
        if (!buffer) continue;
        if (!recorded) {
            // Recorded before it goes out so the transcript shows a command
            // ahead of the reply the reader may receive at once.
            std::lock_guard tlock(transcriptLock_);
            if (transcript_) transcript_->append(*buffer);
        }
        size_t sent = 0;
        while (sent < buffer->size()) {
            const long n = channelSend(buffer->data() + sent, buffer->size() - sent);
            if (n == platform::TcpSocket::kStopped) return;
            if (n <= 0) {
                linkBroken_ = true;
                signalActivity();
                return;
            }
            sent += static_cast<size_t>(n);
            lastProgress_ = platform::tickCount();
            if (sent < buffer->size()) signalActivity();
        }
        {
            std::lock_guard lock(queueLock_);
            queuedBytes_ -= buffer->size();
            if (sendQueue_.isEmpty()) sending_ = false;
        }
        lastProgress_ = platform::tickCount();
        signalActivity();
    }
}

void MailSocket::SetRecording(bool on) {
    std::lock_guard lock(transcriptLock_);
    if (!on) transcript_.reset();
    else if (!transcript_) transcript_ = std::make_unique<ByteBuffer>();
}

void MailSocket::ClearTranscript() {
    std::lock_guard lock(transcriptLock_);
    if (transcript_) transcript_->clear();
}

ByteBuffer MailSocket::GetTranscript() const {
    std::lock_guard lock(transcriptLock_);
    return transcript_ ? *transcript_ : ByteBuffer();
}

int32_t MailSocket::CopyTranscript(char* target, int32_t size) const {
    std::lock_guard lock(transcriptLock_);
    if (!transcript_ || size <= 1) return 0;
    const size_t n = std::min(transcript_->size(), static_cast<size_t>(size) - 1);
    if (target && n) std::memcpy(target, transcript_->data(), n);
    return static_cast<int32_t>(n);
}

int32_t MailSocket::BytesAvailable() const {
    std::lock_guard lock(receiveLock_);
    return static_cast<int32_t>(std::min<size_t>(received_.size(), INT32_MAX));
}

int32_t MailSocket::Read(char* target, int32_t size, int32_t* outCount) {
    if (!target) return BytesAvailable();
    if (!outCount) return ResultCode::NullPointer;
    const size_t want = static_cast<size_t>(std::max<int32_t>(size, 0));
    std::lock_guard lock(receiveLock_);
    const size_t n = received_.size();
    if (n == 0) {
        *outCount = 0;
    } else if (want < n) {
        std::memcpy(target, received_.data(), want);
        received_.removeFront(want);
        *outCount = static_cast<int32_t>(want);
    } else {
        std::memcpy(target, received_.data(), n);
        received_.clear();
        *outCount = static_cast<int32_t>(n);
        dataReceived_.reset();
    }
    return ResultCode::Success;
}

int32_t MailSocket::ReadUntil(char* target, int32_t size, const char* terminator, int32_t terminatorLength,
                              int32_t* outCount) {
    if (!terminator || terminatorLength <= 0) return Read(target, size, outCount);
    if (!target) return BytesAvailable();
    if (!outCount) return ResultCode::NullPointer;
    const size_t want = static_cast<size_t>(std::max<int32_t>(size, 0));
    std::lock_guard lock(receiveLock_);
    size_t n = received_.size();
    bool found = false;
    if (n > 0) {
        const auto i = received_.find(std::string_view(terminator, static_cast<size_t>(terminatorLength)));
        if (i >= 0) {
            n = static_cast<size_t>(i) + static_cast<size_t>(terminatorLength);
            found = true;
        }
    }
    if (n == 0) {
        *outCount = 0;
        return ResultCode::Success;
    }
    if (want < n) {
        std::memcpy(target, received_.data(), want);
        received_.removeFront(want);
        *outCount = static_cast<int32_t>(want);
        return ResultCode::Success;
    }
    std::memcpy(target, received_.data(), n);
    received_.removeFront(n);
    *outCount = static_cast<int32_t>(n);
    dataReceived_.reset();
    if (!received_.empty()) dataReceived_.set();  // bytes behind the terminator are still waiting
    return found ? ResultCode::TerminatorFound : ResultCode::Success;
}

int32_t MailSocket::Send(const char* bytes, int32_t length) {
    if (length <= 0) return ResultCode::Success;
    if (!bytes) return ResultCode::NullPointer;
    if (!connected_) return ResultCode::Success;  // the reply wait reports the dead session
    try {
        std::lock_guard lock(queueLock_);
        size_t done = 0;
        const bool direct = !sending_ && !linkBroken_;
        if (direct) {
            // Nothing ahead of these bytes: hand what the socket takes at once
            // straight to it (never waiting), which saves the writer thread a
            // wake-up for every short command. The rest goes to the writer.
            {
                std::lock_guard tlock(transcriptLock_);
                if (transcript_) transcript_->append(bytes, static_cast<size_t>(length));
            }
            const long n = channelTrySend(bytes, static_cast<size_t>(length));
            if (n < 0) {
                linkBroken_ = true;
                signalActivity();
                return ResultCode::Success;  // the reply wait reports the broken link
            }
            done = static_cast<size_t>(n);
            lastProgress_ = platform::tickCount();
            if (done == static_cast<size_t>(length)) return ResultCode::Success;
        }
        std::string copy(bytes + done, static_cast<size_t>(length) - done);
        if (!writerThread_.joinable()) {
            try {
                writerThread_.start([this] { writerLoop(); });
            } catch (const std::system_error&) {
                return ResultCode::ThreadNotCreated;
            }
        }
        queuedBytes_ += copy.size();
        sending_ = true;
        sendQueue_.push(std::move(copy), direct ? kAlreadyRecorded : 0);
        dataQueued_.set();
    } catch (const std::bad_alloc&) {
        Disconnect();
        return ResultCode::OutOfMemory;
    }
    return ResultCode::Success;
}

bool MailSocket::waitForQueueBelow(size_t bytes) {
    const uint32_t since = platform::tickCount();
    while (queuedBytes_ > bytes) {
        if (linkBroken_ || !connected_) return false;
        uint32_t origin = since;
        const uint32_t progress = lastProgress_;
        if (ticksAfter(progress, origin) > 0) origin = progress;
        const int32_t idle = ticksAfter(platform::tickCount(), origin);
        const int32_t left = static_cast<int32_t>(transport::limits().replyMs) - idle;
        if (left <= 0) return false;
        linkActivity_.wait(static_cast<uint32_t>(left));
    }
    return true;
}

int32_t MailSocket::SendFileBase64(const char* path) {
    if (!path) return ResultCode::NullPointer;
    std::ifstream file(path, std::ios::binary);
    if (!file) return ResultCode::FileNotOpened;
    try {
        std::vector<unsigned char> chunk(kFileChunk);
        std::string text;
        for (;;) {
            file.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
            const auto got = static_cast<size_t>(file.gcount());
            if (file.bad()) return ResultCode::FileNotOpened;
            text.clear();
            transport::appendBase64Lines(text, chunk.data(), got);
            const bool last = got < chunk.size();
            if (last) text += "\r\n\r\n";
            if (!waitForQueueBelow(kQueueHighWater)) return ResultCode::WriteError;
            if (Send(text) != ResultCode::Success) return ResultCode::WriteError;
            if (last) return ResultCode::Success;
        }
    } catch (const std::bad_alloc&) {
        return ResultCode::WriteError;
    }
}

std::pair<bool, size_t> MailSocket::lookForInReceived(std::string_view needle) const {
    std::lock_guard lock(receiveLock_);
    return {received_.find(needle) >= 0, received_.size()};
}

void MailSocket::signalActivity() {
    activityCount_.fetch_add(1, std::memory_order_release);
    linkActivity_.set();
}

bool MailSocket::spinForActivity(uint32_t seen) {
    using Clock = std::chrono::steady_clock;
    auto now = Clock::now();
    if (now.time_since_epoch().count() < spinPausedUntil.load(std::memory_order_relaxed)) return false;
    const auto until = now + kReplySpin;
    do {
        std::this_thread::yield();
        const auto after = Clock::now();
        const bool came = activityCount_.load(std::memory_order_acquire) != seen;
        if (after - now > kSlowPass) {
            spinPausedUntil.store((after + kSpinPause).time_since_epoch().count(), std::memory_order_relaxed);
            return came;
        }
        if (came) return true;
        now = after;
    } while (now < until);
    return false;
}

bool MailSocket::waitForMore(size_t moreThan, uint32_t since, uint32_t timeoutMs) {
    // The limit counts from the call or from the last sign that data is still
    // going out, whichever is later: the writer handing bytes to the kernel,
    // or the peer acknowledging what the kernel still holds.
    //
    // Most replies come within the first slice, so the kernel is only asked
    // about unacknowledged bytes once one slice has passed without any.
    uint32_t peerProgress = since;
    size_t unacked = 0;
    bool watching = false;
    bool spun = false;
    for (;;) {
        // Taken before looking, so that activity right after the look counts.
        const uint32_t seen = activityCount_.load(std::memory_order_acquire);
        if (static_cast<size_t>(BytesAvailable()) > moreThan) return true;
        if (linkBroken_ || !connected_) return false;
        if (!spun) {
            spun = true;
            if (spinForActivity(seen)) continue;
        }
        const uint32_t now = platform::tickCount();
        if (watching) {
            const size_t nowUnacked = socket_ ? socket_->unacknowledgedBytes() : 0;
            if (nowUnacked < unacked) peerProgress = now;
            unacked = nowUnacked;
        }
        uint32_t origin = since;
        const uint32_t progress = lastProgress_;
        if (ticksAfter(progress, origin) > 0) origin = progress;
        if (ticksAfter(peerProgress, origin) > 0) origin = peerProgress;
        const int32_t left = static_cast<int32_t>(timeoutMs) - ticksAfter(now, origin);
        if (left <= 0) return false;
        // While the kernel still holds unacknowledged bytes, look again soon:
        // their draining is progress that raises no event.
        const uint32_t slice = (!watching || unacked > 0) ? std::min<uint32_t>(static_cast<uint32_t>(left), 20)
                                                          : static_cast<uint32_t>(left);
        if (!linkActivity_.wait(slice) && !watching) {
            watching = true;
            unacked = socket_ ? socket_->unacknowledgedBytes() : 0;
        }
    }
}

bool MailSocket::WaitForBytes(int32_t moreThan, uint32_t timeoutMs) {
    return waitForMore(static_cast<size_t>(std::max<int32_t>(moreThan, 0)), platform::tickCount(), timeoutMs);
}

int32_t MailSocket::expectReply(const char* expected, int32_t expectedLength, const char* terminator,
                                int32_t terminatorLength, uint32_t timeoutMs) {
    const uint32_t since = platform::tickCount();
    std::string reply;
    std::vector<char> piece;
    if (terminator) {
        // Take nothing until the whole terminator is there, so that one split
        // across two pieces is still found and what follows it stays behind.
        const std::string_view term(terminator, static_cast<size_t>(terminatorLength));
        for (;;) {
            const auto [found, waiting] = lookForInReceived(term);
            if (found) break;
            if (waiting > kMaxReply) return ResultCode::ResponseTimeout;
            transport::runReplyWaitHook();
            if (!waitForMore(waiting, since, timeoutMs) && !lookForInReceived(term).first)
                return ResultCode::ResponseTimeout;
        }
        piece.resize(static_cast<size_t>(BytesAvailable()));
        int32_t got = 0;
        const int32_t r = ReadUntil(piece.data(), static_cast<int32_t>(piece.size()), terminator,
                                    terminatorLength, &got);
        if (r != ResultCode::TerminatorFound && r != ResultCode::Success) return r;
        return judge(std::string_view(piece.data(), static_cast<size_t>(got)), expected, expectedLength);
    }
    for (;;) {
        if (!waitForMore(0, since, timeoutMs)) return ResultCode::ResponseTimeout;
        piece.resize(static_cast<size_t>(BytesAvailable()));
        int32_t got = 0;
        const int32_t r = Read(piece.data(), static_cast<int32_t>(piece.size()), &got);
        if (r != ResultCode::Success) return r;
        reply.append(piece.data(), static_cast<size_t>(got));
        if (const auto line = completeReply(reply)) return judge(*line, expected, expectedLength);
        if (reply.size() > kMaxReply) return ResultCode::ResponseTimeout;
    }
}

int32_t MailSocket::ReadReply(std::string& reply, uint32_t timeoutMs) {
    reply.clear();
    const uint32_t since = platform::tickCount();
    for (;;) {
        size_t waiting = 0;
        {
            std::lock_guard lock(receiveLock_);
            const std::string_view text = received_.view();
            if (const auto line = completeReply(text)) {
                const size_t end = static_cast<size_t>(line->data() - text.data()) + line->size();
                reply.assign(text.data(), end);
                received_.removeFront(end);
                if (received_.empty()) dataReceived_.reset();
                return ResultCode::Success;
            }
            waiting = text.size();
        }
        if (waiting > kMaxReply) return ResultCode::ResponseTimeout;
        if (!waitForMore(waiting, since, timeoutMs) && static_cast<size_t>(BytesAvailable()) <= waiting)
            return ResultCode::ResponseTimeout;
    }
}

int32_t MailSocket::SendAndExpect(const char* command, int32_t commandLength, const char* expected,
                                  int32_t expectedLength, uint32_t timeoutMs) {
    return SendAndExpectLine(command, commandLength, expected, expectedLength, nullptr, 0, timeoutMs);
}

int32_t MailSocket::SendAndExpectLine(const char* command, int32_t commandLength, const char* expected,
                                      int32_t expectedLength, const char* terminator, int32_t terminatorLength,
                                      uint32_t timeoutMs) {
    if (command) {
        if (expected && unaskedBytesPending()) return ResultCode::IncorrectResponse;
        const int32_t r = Send(command, commandLength);
        if (r != ResultCode::Success) return r;
    }
    if (!expected) return ResultCode::Success;
    if (terminatorLength <= 0) terminator = nullptr;
    return expectReply(expected, expectedLength, terminator, terminatorLength, timeoutMs);
}

bool MailSocket::unaskedBytesPending() {
    // Bytes waiting before the command goes out answer nothing it asks: left
    // over from an earlier exchange or sent unasked. Reading them as this
    // command's reply would put the dialogue out of step for good.
    std::lock_guard lock(receiveLock_);
    if (received_.empty()) return false;
    received_.clear();
    dataReceived_.reset();
    return true;
}
