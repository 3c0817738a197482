#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One event as the system's own record keeps it: the journal on Linux, the Application event
// log on Windows.
struct LogEntry {
    enum class Level { Error, Warning, Information };

    Level Severity;
    // One per kind of event, so that a query selects a kind: the journal's MESSAGE_ID (32
    // hexadecimal digits) and the Windows event id.
    const char *MessageId;
    uint16_t EventId;
    std::string Message; // one sentence
    // What a query selects by, in this order: the journal's fields by name (a name may come
    // more than once), the event's strings after the message.
    std::vector<std::pair<std::string, std::string>> Fields;
};

class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void Write(const LogEntry &entry) = 0;
};
