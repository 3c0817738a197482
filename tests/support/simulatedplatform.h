#pragma once

#include "platform/clocks.h"
#include "platform/combinedwait.h"
#include "platform/eventpump.h"
#include "platform/messagebox.h"
#include "platform/numberformat_qt.h"
#include "platform/tickcounter.h"
#include "platform/windowservices.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

// The window's platform on virtual time: a wait jumps to the next scheduled event or to its
// time-out, and the pump runs whatever is due, so minutes pass in no time. Over a real event
// loop it lets the real events through as well, and a wait that sees none of them for
// IdleMs is taken to have run its whole time-out. Message boxes are recorded.
class SimulatedPlatform final : public Clocks, public CombinedWait, public EventPump, public TickCounter,
                                public MessageBoxService {
public:
    struct Box {
        std::string Text;
        int32_t Style;
        std::optional<std::string> Title;
        double At;
    };

    explicit SimulatedPlatform(double start = 3600, CombinedWait *realWait = nullptr, EventPump *realPump = nullptr)
        : Now(start), RealWait(realWait), RealPump(realPump)
    {
    }

    WindowServices Services() { return {*this, *this, *this, *this, *this, Numbers}; }
    // Runs `action` in the first pump at or after `seconds` of virtual time.
    void At(double seconds, std::function<void()> action) { Scheduled.emplace(seconds, std::move(action)); }
    // From now on every wait fails, as it does once the program is ending.
    void Abandon() { Abandoned = true; }
    QStringList Texts() const
    {
        QStringList texts;
        for (const Box &box : Boxes)
            texts << QString::fromStdString(box.Text);
        return texts;
    }

    float SecondsSinceMidnight() override { return float(std::fmod(Now + ClockSetBy + 86400.0, 86400.0)); }
    LocalDateTime LocalNow() override { return {2026, 12, 6, 21, 34, 18, "So.", "Dez."}; }
    uint32_t GetTickCount() override { return uint32_t(std::llround(Now * 1000.0)); }
    void MessageBox(const std::string &text, int32_t style, const std::optional<std::string> &title) override
    {
        Boxes.push_back({text, style, title, Now});
    }

    // A handle is the tick from which it counts as signalled; a negative one is invalid.
    int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles, uint32_t timeoutMs) override
    {
        Slept.push_back(timeoutMs);
        if (Slept.size() > 100000)
            qFatal("more than 100000 waits: a loop that never ends");
        const int32_t *first = std::min_element(handles, handles + handleCount);
        if (Abandoned || (handleCount > 0 && *first <= int64_t(GetTickCount())))
            return Abandoned || *first < 0 ? WaitCode::Failed : int32_t(first - handles);
        const double deadline = timeoutMs == WaitCode::Infinite ? INFINITY : Now + timeoutMs / 1000.0;
        if (!Scheduled.empty() && Scheduled.begin()->first <= deadline) {
            Now = std::max(Now, Scheduled.begin()->first);
            return handleCount;
        }
        const auto started = std::chrono::steady_clock::now();
        const int32_t result = RealWait ? RealWait->WaitForInputOrHandles(handleCount, handles, std::min(timeoutMs, IdleMs))
                                        : WaitCode::Timeout;
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started;
        Now = result == WaitCode::Timeout ? deadline : Now + waited.count();
        return result;
    }

    void PumpMessages() override
    {
        ++Pumps;
        // Only what was due when the pump began: what a handler schedules waits for the next
        // pump, as it does on a real event loop.
        const double pumpStart = Now;
        while (!Scheduled.empty() && Scheduled.begin()->first <= pumpStart) {
            auto action = std::move(Scheduled.begin()->second);
            Scheduled.erase(Scheduled.begin());
            action();
        }
        if (RealPump)
            RealPump->PumpMessages();
    }

    double Now;
    double ClockSetBy = 0; // moves the time of day alone, as setting the clock does
    uint32_t IdleMs = 250;
    std::vector<uint32_t> Slept;
    int Pumps = 0;
    std::vector<Box> Boxes;
    QtNumberFormat Numbers{QLocale::c()};

private:
    CombinedWait *RealWait;
    EventPump *RealPump;
    bool Abandoned = false;
    std::multimap<double, std::function<void()>> Scheduled;
};
