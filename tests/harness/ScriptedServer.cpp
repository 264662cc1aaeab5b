#include "ScriptedServer.h"

#include "platform/Clock.h"

namespace harness {

ScriptedServer::ScriptedServer(std::string address) : address_(std::move(address)) {}

ScriptedServer::~ScriptedServer() {
    listener_.stop();
    if (thread_.joinable()) thread_.join();
}

bool ScriptedServer::start(std::vector<Step> script, std::string* error) {
    script_ = std::move(script);
    if (!listener_.listen(address_, 0, error)) return false;
    thread_ = std::thread(&ScriptedServer::serve, this);
    return true;
}

std::string ScriptedServer::server() const { return address_ + ":" + std::to_string(listener_.port()); }

std::string ScriptedServer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool ScriptedServer::finish(uint32_t boundMs) {
    if (!done_.wait(boundMs)) listener_.stop();
    if (thread_.joinable()) thread_.join();
    return completed_;
}

bool ScriptedServer::readUntil(platform::TcpStream& s, const std::string& marker, size_t chunk, uint32_t pauseMs) {
    std::string piece(chunk ? chunk : 65536, '\0');
    const uint32_t start = platform::tickCount();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            const size_t at = received_.find(marker, mark_);
            if (at != std::string::npos) {
                mark_ = at + marker.size();
                return true;
            }
        }
        if (platform::tickCount() - start > kStepLimitMs) return false;
        const long n = s.receive(piece.data(), piece.size(), kStepLimitMs);
        if (n <= 0) return false;
        {
            std::lock_guard lock(mutex_);
            received_.append(piece.data(), static_cast<size_t>(n));
        }
        if (pauseMs) platform::sleepMs(pauseMs);
    }
}

void ScriptedServer::serve() {
    auto stream = listener_.accept(kStepLimitMs);
    bool ok = stream != nullptr;
    for (size_t i = 0; ok && i < script_.size(); ++i) {
        const Step& step = script_[i];
        switch (step.kind) {
            case Step::Kind::Send:
                ok = stream->sendAll(step.text);
                break;
            case Step::Kind::ReadLine:
                ok = readUntil(*stream, "\n", 0, 0);
                break;
            case Step::Kind::ReadUntil:
                ok = readUntil(*stream, step.text, 0, 0);
                break;
            case Step::Kind::SlowReadUntil:
                ok = readUntil(*stream, step.text, step.chunk, step.ms);
                break;
            case Step::Kind::Pause:
                platform::sleepMs(step.ms);
                break;
            case Step::Kind::Close:
                stream->close();
                break;
            case Step::Kind::WaitForClose: {
                char buf[4096];
                long n;
                while ((n = stream->receive(buf, sizeof buf, kStepLimitMs)) > 0) {
                    std::lock_guard lock(mutex_);
                    received_.append(buf, static_cast<size_t>(n));
                }
                ok = (n == 0);
                break;
            }
        }
    }
    completed_ = ok;
    done_.set();
}

}  // namespace harness
