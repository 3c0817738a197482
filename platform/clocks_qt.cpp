#include "platform/clocks_qt.h"

#include <QDateTime>

float QtClocks::SecondsSinceMidnight()
{
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
}

LocalDateTime QtClocks::LocalNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return {date.year(),
            date.month(),
            date.day(),
            time.hour(),
            time.minute(),
            time.second(),
            Regional.dayName(date.dayOfWeek(), QLocale::ShortFormat).toStdString(),
            Regional.monthName(date.month(), QLocale::ShortFormat).toStdString()};
}
