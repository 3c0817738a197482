#pragma once

#include "platform/log/systemlog.h"
#include "platform/os/handles_win32.h"

#include <optional>

// The Application event log, under an event source of the program's name. The message is the
// event's first string and its message table's whole text, so that Event Viewer shows the
// sentence; the fields follow as the event's further strings. Where the log takes no entry, it
// goes to the debugger's output.
class WindowsEventLog final : public SystemLog {
public:
    explicit WindowsEventLog(const std::string &source);

    void Write(const LogEntry &entry) override;

private:
    struct EventSourceDeleter {
        void operator()(HANDLE source) const { DeregisterEventSource(source); }
    };
    std::unique_ptr<void, EventSourceDeleter> Source;
    std::wstring SourceName;
};

// Tells the event log where the program's message table is: run once, as an administrator.
// Without it the entries are written all the same, and Event Viewer shows their strings
// without the sentence. Nothing on success, else why not.
std::optional<std::string> RegisterEventSourceKey(const std::string &source);
