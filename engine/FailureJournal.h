// The service's progress log keeps going to its output file; the lines of a
// pass that report a failure also go to the system log, naming the list, so
// the journal shows what went wrong without the whole log.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// Reads the progress log a line at a time.
class FailureJournal {
public:
    // The system-log message for `line`, when it reports a failure during a
    // list's update: "LIST: line" without its indent.
    std::optional<std::string> take(std::string_view line);

private:
    std::string list_;
    bool updating_ = false;
};

// While it lives, standard output also feeds a FailureJournal whose messages
// go to the system log as warnings.
class ServiceFailuresToJournal {
public:
    ServiceFailuresToJournal();
    ~ServiceFailuresToJournal();
    ServiceFailuresToJournal(const ServiceFailuresToJournal&) = delete;
    ServiceFailuresToJournal& operator=(const ServiceFailuresToJournal&) = delete;

private:
    FILE* previous_ = nullptr;
    FILE* tap_ = nullptr;
};
