#pragma once

#include <utility>

// A failure that comes back cycle after cycle, a server that cannot be read or a relay that takes
// no mail: recorded as it begins and as it ends, and shown in one box, when it begins or when
// someone has pressed start since. A box halts nothing, but one each cycle would bury the window.
class Outage {
public:
    struct Turn {
        bool Began;  // the first failure since the last success
        bool BoxDue; // no box has told this outage since it began or since the last press
    };

    Turn Failed() { return {Failures++ == 0, !BoxShown}; }
    // Its box is up: none again until it ends, or until a press.
    void BoxUp() { BoxShown = true; }
    // True when it ended an outage.
    bool Succeeded()
    {
        BoxShown = false;
        return std::exchange(Failures, 0) > 0;
    }
    // Someone is at the window: the next failure shows its box again.
    void Rearm() { BoxShown = false; }
    int FailedInARow() const { return Failures; }

private:
    int Failures = 0;
    bool BoxShown = false;
};
