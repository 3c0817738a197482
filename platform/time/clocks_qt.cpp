#include "platform/time/clocks_qt.h"

LocalDateTime QtClocks::LocalNow()
{
    return LocalDateTimeOf(QDateTime::currentDateTime());
}

LocalDateTime LocalDateTimeOf(const QDateTime &instant)
{
    const QDateTime local = instant.toLocalTime();
    const QDate date = local.date();
    const QTime time = local.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(),
            local.offsetFromUtc() / 60};
}
