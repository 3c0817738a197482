#include "platform/log/systemlog_systemd.h"

#include <cstdio>

#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>

namespace {

int PriorityOf(LogEntry::Level level)
{
    switch (level) {
    case LogEntry::Level::Error:
        return LOG_ERR;
    case LogEntry::Level::Warning:
        return LOG_WARNING;
    case LogEntry::Level::Information:
        break;
    }
    return LOG_INFO;
}

} // namespace

void JournalLog::Write(const LogEntry &entry)
{
    std::vector<std::string> fields{"MESSAGE=" + entry.Message, "PRIORITY=" + std::to_string(PriorityOf(entry.Severity)),
                                    "SYSLOG_IDENTIFIER=" + Identifier, std::string("MESSAGE_ID=") + entry.MessageId};
    for (const auto &[name, value] : entry.Fields)
        fields.push_back(name + "=" + value);
    std::vector<iovec> parts;
    for (std::string &field : fields)
        parts.push_back({field.data(), field.size()});
    if (sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) < 0)
        std::fprintf(stderr, "%s: %s\n", Identifier.c_str(), entry.Message.c_str());
}
