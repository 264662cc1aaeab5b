#include "MailSocket.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "transport/Limits.h"
#include "transport/OpenConnections.h"
#include "transport/ResultCodes.h"
#include "transport/ServerAddress.h"

namespace {

constexpr size_t kReceivePiece = 16384;
// Flag of a queued remainder whose bytes the transcript already holds.
constexpr uint32_t kAlreadyRecorded = 1;
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

// Signed distance between two tick counts, correct across a wrap.
int32_t ticksAfter(uint32_t later, uint32_t earlier) { return static_cast<int32_t>(later - earlier); }

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

void MailSocket::Abort() {
    linkBroken_ = true;
    if (socket_) socket_->stop();
    signalActivity();
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

size_t MailSocket::CopyTranscript(char* target, size_t size) const {
    std::lock_guard lock(transcriptLock_);
    if (!transcript_ || size <= 1) return 0;
    const size_t n = std::min(transcript_->size(), size - 1);
    if (target && n) std::memcpy(target, transcript_->data(), n);
    return n;
}

size_t MailSocket::BytesAvailable() const {
    std::lock_guard lock(receiveLock_);
    return received_.size();
}

size_t MailSocket::Read(char* target, size_t size) {
    std::lock_guard lock(receiveLock_);
    const size_t n = std::min(size, received_.size());
    if (n == 0) return 0;
    std::memcpy(target, received_.data(), n);
    received_.removeFront(n);
    if (received_.empty()) dataReceived_.reset();
    return n;
}

bool MailSocket::DiscardReceived() {
    std::lock_guard lock(receiveLock_);
    if (received_.empty()) return false;
    received_.clear();
    dataReceived_.reset();
    return true;
}

int32_t MailSocket::ReadLine(std::string& line, size_t maxLength, uint32_t timeoutMs) {
    line.clear();
    const uint32_t since = platform::tickCount();
    for (;;) {
        size_t waiting = 0;
        {
            // Looked for and taken under one lock: bytes landing between two
            // separate looks would leave the wait sleeping for more while a
            // whole line is already there.
            std::lock_guard lock(receiveLock_);
            const std::string_view text = received_.view();
            const size_t lf = text.substr(0, maxLength).find('\n');
            if (lf != std::string_view::npos) {
                line.assign(text.data(), lf + 1);
                received_.removeFront(lf + 1);
                if (received_.empty()) dataReceived_.reset();
                return ResultCode::Success;
            }
            waiting = text.size();
        }
        if (waiting >= maxLength) return ResultCode::ResponseTimeout;
        transport::runReplyWaitHook();
        if (!waitForMore(waiting, since, timeoutMs) && BytesAvailable() <= waiting) return ResultCode::ResponseTimeout;
    }
}

int32_t MailSocket::Send(std::string_view bytes) {
    if (bytes.empty()) return ResultCode::Success;
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
                if (transcript_) transcript_->append(bytes);
            }
            const long n = channelTrySend(bytes.data(), bytes.size());
            if (n < 0) {
                linkBroken_ = true;
                signalActivity();
                return ResultCode::Success;  // the reply wait reports the broken link
            }
            done = static_cast<size_t>(n);
            lastProgress_ = platform::tickCount();
            if (done == bytes.size()) return ResultCode::Success;
        }
        std::string copy(bytes.substr(done));
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

bool MailSocket::WaitForQueueBelow(size_t bytes) {
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
        if (BytesAvailable() > moreThan) return true;
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

bool MailSocket::WaitForBytes(size_t moreThan, uint32_t timeoutMs) {
    return waitForMore(moreThan, platform::tickCount(), timeoutMs);
}
