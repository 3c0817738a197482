#pragma once

#include "platform/log/systemlog.h"

// The systemd journal, under the program's name as SYSLOG_IDENTIFIER. Where no journal takes
// an entry, it goes to the standard error, which a desktop session or a service keeps.
class JournalLog final : public SystemLog {
public:
    explicit JournalLog(std::string identifier) : Identifier(std::move(identifier)) {}

    void Write(const LogEntry &entry) override;

private:
    std::string Identifier;
};
