#pragma once

#include <string>

// The local date and time, with the day and month names abbreviated the way the
// operator's regional settings abbreviate them.
struct LocalDateTime {
    int Year = 1970;
    int Month = 1; // 1 to 12
    int Day = 1;   // 1 to 31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    std::string DayName;   // "Sun" .. "Sat" in English
    std::string MonthName; // "Jan" .. "Dec" in English
};

class Clocks {
public:
    virtual ~Clocks() = default;
    // Seconds since local midnight, with fractions; starts again at 0 at midnight.
    virtual float SecondsSinceMidnight() = 0;
    virtual LocalDateTime LocalNow() = 0;
};
