#pragma once

#include "platform/events/eventloop_qt.h"
#include "platform/log/systemlog.h"
#include "platform/net/mailsocket.h"
#include "platform/ui/numberformat_qt.h"
#include "platform/ui/windowservices.h"

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
// IdleMs is taken to have run its whole time-out. Message boxes are recorded. Its socket has
// a relay behind it that answers each command ReplyDelay seconds later and accepts every
// mail, unless it is told to refuse messages.
class SimulatedPlatform final : public Clocks, public CombinedWait, public EventPump, public TickCounter,
                                public MessageBoxService, public MailSocket, public Worker, public SystemLog {
public:
    explicit SimulatedPlatform(double start = 3600, QtEventLoop *real = nullptr) : Now(start), Real(real) {}

    WindowServices Services() { return {*this, *this, *this, *this, *this, Numbers, *this}; }
    // Runs `action` in the first pump at or after `seconds` of virtual time.
    void At(double seconds, std::function<void()> action) { Scheduled.emplace(seconds, std::move(action)); }
    // From now on every wait fails, as it does once the program is ending.
    void Abandon() { Abandoned = true; }

    LocalDateTime LocalNow() override { return {2026, 12, 6, 21, 34, 18, -360}; }
    uint32_t GetTickCount() override { return uint32_t(std::llround(Now * 1000.0)); }
    void MessageBox(const std::string &text, int32_t, const std::optional<std::string> &) override
    {
        Boxes << QString::fromStdString(text);
    }
    std::shared_ptr<StandingBox> ShowStanding(const std::string &text, int32_t style,
                                              const std::optional<std::string> &title) override
    {
        MessageBox(text, style, title);
        return StandingBoxes.emplace_back(std::make_shared<Box>());
    }
    // The operator presses OK on every box that stands.
    void DismissBoxes()
    {
        for (const auto &box : std::exchange(StandingBoxes, {}))
            box->Up = false;
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
        const int32_t result = Real ? Real->WaitForInputOrHandles(handleCount, handles, std::min(timeoutMs, IdleMs))
                                    : WaitCode::Timeout;
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started;
        Now = result == WaitCode::Timeout ? deadline : Now + waited.count();
        return result;
    }

    void Write(const LogEntry &entry) override { Logged.push_back(entry); }

    // The job runs at once; its handle is signalled from now on.
    int32_t Start(std::function<void()> job) override
    {
        job();
        return int32_t(GetTickCount());
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
        if (Real)
            Real->PumpMessages();
    }

    int16_t ConnectionState() const override { return State; }
    void SetProtocol(int32_t) override {}
    void SetLocalPort(int32_t) override {}
    void SetRemoteHost(const std::string &) override {}
    void SetRemotePort(int32_t) override {}
    void OpenConnection() override
    {
        State = 7;
        Answer("");
    }
    void SendText(const std::string &text) override
    {
        Sent.push_back(text);
        Answer(text);
    }
    void ReadReceived(std::string &text) override { text = std::exchange(Unread, {}); }
    void CloseConnection() override { State = 0; }
    void SetDataArrivalHandler(DataArrivalHandler handler) override { OnData = std::move(handler); }
    void SetConnectionFaultHandler(ConnectionFaultHandler) override {}
    // Its relay offers no TLS.
    void StartTls(const std::string &) override {}
    void SetTlsReadyHandler(TlsReadyHandler) override {}
    void Deliver(const std::string &data)
    {
        Unread += data;
        OnData(static_cast<int32_t>(Unread.size()));
    }

    double Now;
    uint32_t IdleMs = 250;
    std::vector<uint32_t> Slept;
    int Pumps = 0;
    QStringList Boxes; // the texts of the message boxes shown
    QtNumberFormat Numbers{QLocale::c()};
    int Refusals = 0; // messages to refuse before accepting
    double ReplyDelay = 0;
    int16_t State = 0;
    std::vector<std::string> Sent;
    std::vector<LogEntry> Logged;

private:
    // "" is the connection being opened. The header block and the body piece are answered
    // only with the end mark.
    void Answer(const std::string &sent)
    {
        const bool command = sent.empty() || sent.find("\r\n") == sent.size() - 2;
        if (!command)
            return;
        static const std::map<std::string, std::string> replies{{"", "220"}, {"data\r\n", "354"}, {"quit\r\n", "221"}};
        const auto known = replies.find(sent);
        const std::string reply = known != replies.end()                         ? known->second
                                  : sent == ".\r\n" && Refusals > 0 && Refusals-- ? "554"
                                                                                 : "250";
        At(Now + ReplyDelay, [this, reply] { Deliver(reply + " relay\r\n"); });
    }

    struct Box final : StandingBox {
        bool Standing() const override { return Up; }
        bool Up = true;
    };

    std::vector<std::shared_ptr<Box>> StandingBoxes;
    std::string Unread;
    DataArrivalHandler OnData;
    QtEventLoop *Real;
    bool Abandoned = false;
    std::multimap<double, std::function<void()>> Scheduled;
};
