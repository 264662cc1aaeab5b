// A scripted server for what real servers will not do on demand: silence, a
// reply cut in pieces, a connection dropped mid-message, a slow reader. It
// serves one connection on its own thread, step by step.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/TcpListener.h"

namespace harness {

class ScriptedServer {
public:
    struct Step {
        enum class Kind { Send, ReadLine, ReadUntil, SlowReadUntil, Pause, Close, WaitForClose } kind;
        std::string text;
        uint32_t ms = 0;
        size_t chunk = 0;
    };
    static Step send(std::string text) { return {Step::Kind::Send, std::move(text)}; }
    // Reads through the next LF.
    static Step readLine() { return {Step::Kind::ReadLine, {}}; }
    // Reads until `marker` has arrived (after what earlier read steps took).
    static Step readUntil(std::string marker) { return {Step::Kind::ReadUntil, std::move(marker)}; }
    // Reads `chunk` bytes at a time with a pause between reads.
    static Step slowReadUntil(std::string marker, size_t chunk, uint32_t pauseMs) {
        return {Step::Kind::SlowReadUntil, std::move(marker), pauseMs, chunk};
    }
    // Simulates network delay between two pieces of a reply.
    static Step pause(uint32_t ms) { return {Step::Kind::Pause, {}, ms}; }
    static Step close() { return {Step::Kind::Close, {}}; }
    // Stays silent until the client hangs up.
    static Step waitForClose() { return {Step::Kind::WaitForClose, {}}; }

    explicit ScriptedServer(std::string address);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // Listens on a free port and serves one connection with the script.
    bool start(std::vector<Step> script, std::string* error = nullptr);
    // "address:port" for the libraries.
    std::string server() const;
    // Waits (bounded) for the script to end; true when every step ran.
    bool finish(uint32_t boundMs = 15000);
    // Every byte received from the client.
    std::string received() const;

    // Bound on each read step.
    static constexpr uint32_t kStepLimitMs = 15000;

private:
    void serve();
    bool readUntil(platform::TcpStream& s, const std::string& marker, size_t chunk, uint32_t pauseMs);

    std::string address_;
    platform::TcpListener listener_;
    std::vector<Step> script_;
    std::thread thread_;
    platform::Event done_{true, false};
    std::atomic<bool> completed_{false};
    mutable std::mutex mutex_;
    std::string received_;
    size_t mark_ = 0;  // where the next read step starts looking
};

}  // namespace harness
