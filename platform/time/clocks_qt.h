#pragma once

#include "platform/time/clocks.h"

#include <QDateTime>

class QtClocks final : public Clocks {
public:
    LocalDateTime LocalNow() override;
};

// The instant in the machine's time zone.
LocalDateTime LocalDateTimeOf(const QDateTime &instant);
