// Runs the engine program as a child with its output on a pipe, so a test can
// wait for a printed line instead of sleeping.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class EngineProcess {
public:
    EngineProcess() = default;
    ~EngineProcess();  // kills a child still running
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    // Starts `program` with `args`; `env` entries ("NAME=value") are set over
    // the current environment.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env = {});

    // Reads output until `needle` has appeared `times` times in all output so
    // far, or `timeoutMs` passed, or the output ends. True when found.
    bool waitFor(const std::string& needle, int times = 1, uint32_t timeoutMs = 20000);

    // Reads until the child closes its output and exits; returns its exit
    // code (-1 on timeout or death by signal).
    int waitExit(uint32_t timeoutMs = 20000);

    void signal(int sig);
    const std::string& output() const { return output_; }
    static int countOf(const std::string& haystack, const std::string& needle);

private:
    bool readSome(uint32_t timeoutMs);  // false at end of output or timeout
    int pid_ = -1;
    int fd_ = -1;
    bool eof_ = false;
    std::string output_;
};
