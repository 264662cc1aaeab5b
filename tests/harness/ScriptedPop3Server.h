// A fake POP3 server that plays a fixed script on one connection: for what a
// real server will not do on demand (silence, a dropped connection, an answer
// cut into pieces). It records every byte the client sent.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/TcpListener.h"

namespace harness {

class ScriptedPop3Server {
public:
    // address: a 127.x.y.z the test owns; the port is picked freely.
    explicit ScriptedPop3Server(std::string address);
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    // Script steps, played in order once a client has connected.
    ScriptedPop3Server& send(std::string bytes);
    // Waits for one command line from the client and records it.
    ScriptedPop3Server& readLine();
    // readLine, then send.
    ScriptedPop3Server& reply(std::string bytes) { return readLine().send(std::move(bytes)); }
    // Lets the client see what was sent so far as a piece of its own.
    ScriptedPop3Server& pause(uint32_t ms);
    // Closes the connection at once.
    ScriptedPop3Server& hangUp();
    // Closes the connection and goes on with the next client that connects.
    ScriptedPop3Server& nextConnection();
    // The greeting and "+OK" to USER and PASS.
    ScriptedPop3Server& greetAndLogin();
    // After the last step the server says nothing more and keeps the
    // connection until the client closes it (or the server is destroyed).

    // How long start() waits for the client to connect (30 s unless set).
    ScriptedPop3Server& acceptWithin(uint32_t ms) {
        acceptLimitMs_ = ms;
        return *this;
    }
    // Listens and starts serving one connection.
    bool start(std::string* error = nullptr);
    // "address:port", as the library takes it.
    std::string server() const;

    // The command lines received (without CR LF), in order.
    std::vector<std::string> commands() const;
    // Waits (bounded) until the client has closed the connection or the script
    // ended with hangUp. True when it has.
    bool waitFinished(uint32_t ms);

private:
    struct Step {
        enum Kind { Send, ReadLine, Pause, HangUp, NextConnection } kind;
        std::string text;
        uint32_t ms = 0;
    };
    void serve();
    bool readCommandLine(platform::TcpStream& s);
    void record(std::string line);

    std::string address_;
    std::vector<Step> script_;
    platform::TcpListener listener_;
    std::thread thread_;
    std::string pending_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> commands_;
    bool finished_ = false;
    bool stopping_ = false;
    uint32_t acceptLimitMs_ = 30000;
};

}  // namespace harness
