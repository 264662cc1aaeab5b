#include "EventLog.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include "FileSystem.h"
#include "MessageTable.h"
#include "Registry.h"
#include "SystemDirectory.h"
#include "UniqueFd.h"
#include "text/TextRules.h"

namespace platform {

namespace {

constexpr char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

const char* typeName(uint16_t type) {
    switch (type) {
    case kEventError: return "Error";
    case kEventWarning: return "Warning";
    case kEventInformation: return "Information";
    case 8: return "Audit Success";
    case 16: return "Audit Failure";
    default: return "Information";
    }
}

int syslogPriority(uint16_t type) {
    switch (type) {
    case kEventError: return LOG_ERR;
    case kEventWarning: return LOG_WARNING;
    default: return LOG_INFO;
    }
}

std::string messageFileOf(const std::string& source) {
    RegistryKey key;
    if (regOpenKey(RootKey::LocalMachine, std::string(kSourcesKey) + "\\" + source, key, KEY_READ) != kRegOk)
        return {};
    std::string file;
    if (regQueryString(key, "EventMessageFile", file) != kRegOk) return {};
    return expandEnvironmentStrings(file);
}

std::string composeMessage(const std::string& source, uint32_t eventId, const std::vector<std::string>& strings) {
    MessageTable table;
    const std::string file = messageFileOf(source);
    if (!file.empty() && loadMessageTable(file, table)) {
        const auto it = table.find(eventId);
        if (it != table.end()) return formatMessage(it->second, strings);
    }
    std::string text = "The description for event id " + std::to_string(eventId) + " from source " + source +
                       " cannot be found. The event carries:";
    for (const auto& s : strings) text += " \"" + s + "\"";
    return text;
}

bool writeAllOnce(int fd, const std::string& line) {
    // O_APPEND makes one write land whole at the end; a short write (disk
    // full) is not retried so that no half record gets a second half later.
    for (;;) {
        const ssize_t n = ::write(fd, line.data(), line.size());
        if (n < 0 && errno == EINTR) continue;
        return n == static_cast<ssize_t>(line.size());
    }
}

}  // namespace

std::string eventLogPath() { return systemDirectory() + "/eventlog/Application.log"; }

int32_t installEventSource(std::string_view source, std::string_view messageFile) {
    RegistryKey key;
    if (const int32_t r = regCreateKey(RootKey::LocalMachine, std::string(kSourcesKey) + "\\" + std::string(source),
                                       key, KEY_ALL_ACCESS);
        r != kRegOk)
        return r;
    if (const int32_t r = regSetString(key, "EventMessageFile", messageFile, REG_EXPAND_SZ); r != kRegOk) return r;
    return regSetDword(key, "TypesSupported", kEventError | kEventWarning | kEventInformation);
}

int32_t removeEventSource(std::string_view source) {
    return regDeleteTree(RootKey::LocalMachine, std::string(kSourcesKey) + "\\" + std::string(source));
}

bool EventSource::open(std::string_view source) {
    source_.clear();
    if (source.empty()) return false;
    const std::string dir = systemDirectory() + "/eventlog";
    if (!ensureDirectory(dir)) return false;
    source_ = std::string(source);
    return true;
}

bool EventSource::report(uint16_t type, uint16_t category, uint32_t eventId,
                         const std::vector<std::string>& strings) {
    (void)category;
    if (!isOpen()) return false;
    const std::string message = composeMessage(source_, eventId, strings);

    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    if (::localtime_r(&now, &local)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = std::string(when) + '\t' + typeName(type) + '\t' + escapeEventMessage(source_) + '\t' +
                       std::to_string(eventId) + '\t' + escapeEventMessage(message) + '\n';

    UniqueFd fd(::open(eventLogPath().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    const bool written = fd && writeAllOnce(fd.get(), line);

    writeToSystemLog(type, message);
    return written;
}

void writeToSystemLog(uint16_t type, std::string_view message) {
    std::string flat;
    for (const char c : message) flat += (c == '\r' || c == '\n') ? ' ' : c;
    flat = text::trimRight(flat);
    // No ident: syslog names the program, the tag an administrator looks for.
    ::openlog(nullptr, LOG_PID | LOG_NDELAY, LOG_DAEMON);
    ::syslog(syslogPriority(type), "%s", flat.c_str());
    ::closelog();
}

std::string escapeEventMessage(std::string_view message) {
    std::string out;
    for (const char ch : message) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                text::appendHex(out, c);
            } else {
                out += ch;
            }
        }
    }
    return out;
}

std::string unescapeEventMessage(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r') out += '\r';
        else if (c == 'n') out += '\n';
        else if (c == 't') out += '\t';
        else if (c == '\\') out += '\\';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += '\\';
            out += c;
        }
    }
    return out;
}

std::vector<EventRecord> readEventLog() {
    std::vector<EventRecord> records;
    std::string content;
    if (!readFile(eventLogPath(), content)) return records;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        const std::string_view line = std::string_view(content).substr(pos, end - pos);
        pos = end + 1;
        std::vector<std::string_view> f;
        size_t p = 0;
        for (int i = 0; i < 4; ++i) {
            const size_t t = line.find('\t', p);
            if (t == std::string_view::npos) break;
            f.push_back(line.substr(p, t - p));
            p = t + 1;
        }
        if (f.size() != 4) continue;
        EventRecord r;
        r.time = f[0];
        r.type = f[1];
        r.source = unescapeEventMessage(f[2]);
        r.eventId = static_cast<uint32_t>(std::strtoul(std::string(f[3]).c_str(), nullptr, 10));
        r.message = unescapeEventMessage(line.substr(p));
        records.push_back(std::move(r));
    }
    return records;
}

}  // namespace platform
