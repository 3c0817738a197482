#pragma once

// The local date and time, and how far local time is ahead of UTC at that moment,
// daylight saving included.
struct LocalDateTime {
    int Year = 1970;
    int Month = 1; // 1 to 12
    int Day = 1;   // 1 to 31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int UtcOffsetMinutes = 0; // 60 in Central European winter time, -210 in Newfoundland's
};

class Clocks {
public:
    virtual ~Clocks() = default;
    virtual LocalDateTime LocalNow() = 0;
};
