#include "ScriptedPop3Server.h"

#include <chrono>

namespace harness {

namespace {
// Bound on every wait of the script, so a broken test cannot hang forever.
constexpr uint32_t kStepLimitMs = 30000;
}  // namespace

ScriptedPop3Server::ScriptedPop3Server(std::string address) : address_(std::move(address)) {}

ScriptedPop3Server::~ScriptedPop3Server() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        cv_.notify_all();
    }
    listener_.stop();
    if (thread_.joinable()) thread_.join();
}

ScriptedPop3Server& ScriptedPop3Server::send(std::string bytes) {
    script_.push_back({Step::Send, std::move(bytes)});
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::readLine() {
    script_.push_back({Step::ReadLine, {}});
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::pause(uint32_t ms) {
    script_.push_back({Step::Pause, {}, ms});
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::hangUp() {
    script_.push_back({Step::HangUp, {}});
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::nextConnection() {
    script_.push_back({Step::NextConnection, {}});
    return *this;
}

ScriptedPop3Server& ScriptedPop3Server::greetAndLogin() {
    return send("+OK scripted server ready\r\n").reply("+OK\r\n").reply("+OK Logged in.\r\n");
}

bool ScriptedPop3Server::start(std::string* error) {
    if (!listener_.listen(address_, 0, error)) return false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

std::string ScriptedPop3Server::server() const { return address_ + ":" + std::to_string(listener_.port()); }

std::vector<std::string> ScriptedPop3Server::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

bool ScriptedPop3Server::waitFinished(uint32_t ms) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished_; });
}

void ScriptedPop3Server::record(std::string line) {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(line));
}

bool ScriptedPop3Server::readCommandLine(platform::TcpStream& s) {
    char buf[1024];
    for (;;) {
        const size_t eol = pending_.find("\r\n");
        if (eol != std::string::npos) {
            record(pending_.substr(0, eol));
            pending_.erase(0, eol + 2);
            return true;
        }
        const long n = s.receive(buf, sizeof buf, kStepLimitMs);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<size_t>(n));
    }
}

void ScriptedPop3Server::serve() {
    auto finish = [this] {
        std::lock_guard lock(mutex_);
        finished_ = true;
        cv_.notify_all();
    };
    std::unique_ptr<platform::TcpStream> s = listener_.accept(acceptLimitMs_);
    if (!s) return finish();
    for (const Step& step : script_) {
        switch (step.kind) {
            case Step::Send:
                if (!s->sendAll(step.text)) return finish();
                break;
            case Step::ReadLine:
                if (!readCommandLine(*s)) return finish();
                break;
            case Step::Pause: {
                // Nothing to wait for here: the pause only splits what the client receives.
                std::unique_lock lock(mutex_);
                if (cv_.wait_for(lock, std::chrono::milliseconds(step.ms), [this] { return stopping_; })) {
                    lock.unlock();
                    return finish();
                }
                break;
            }
            case Step::HangUp:
                s->close();
                return finish();
            case Step::NextConnection:
                s->close();
                pending_.clear();
                s = listener_.accept(acceptLimitMs_);
                if (!s) return finish();
                break;
        }
    }
    // Silence: keep the connection, recording whatever else the client sends.
    while (readCommandLine(*s)) {
    }
    finish();
}

}  // namespace harness
