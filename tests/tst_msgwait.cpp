#include "platform/eventloop_qt.h"
#include "platform/tickcounter_linux.h"
#include "tests/support/simulatedtime.h"
#include "util/modmsgwaitobj.h"

#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

using modMsgWaitObj::WaitPumpingMessages;

namespace {

struct Row {
    uint32_t StartTick;
    int32_t Interval, Result;
    QList<std::pair<int, qint64>> Inputs; // ms after the call began, ms its handler runs
    QList<uint32_t> Slept;
    QList<int32_t> Handles = {}; // each the tick from which it is signalled; -1 is invalid
};

// Sleeps in simulated time and writes down each sleep's time-out. Handles are looked at
// only when a sleep begins.
struct RecordingWait final : CombinedWait {
    explicit RecordingWait(SimulatedTime &time) : Time(time) {}

    int32_t WaitForInputOrHandles(int32_t count, const int32_t *handles,
                                  uint32_t timeoutMs) override
    {
        Slept.append(timeoutMs);
        if (Slept.size() > 1000) // a wait that never stops sleeping fails instead of hanging
            return WaitCode::Failed;
        const int32_t *first = std::min_element(handles, handles + count);
        if (count > 0 && *first <= qint64(Time.GetTickCount()))
            return *first < 0 ? WaitCode::Failed : int32_t(first - handles);
        return Time.WaitForInputOrHandles(count, handles, timeoutMs);
    }

    SimulatedTime &Time;
    QList<uint32_t> Slept;
};

} // namespace

Q_DECLARE_METATYPE(Row)

class TestMsgWait : public QObject {
    Q_OBJECT
private slots:
    void scriptedWait_data()
    {
        QTest::addColumn<Row>("row");
        const auto add = [](const char *name, Row row) { QTest::newRow(name) << row; };
        add("counter wraps to 0; input neither stretches nor cuts the wait",
            {0xFFFFFC18u, 60000, 258, {{10000, 500}, {20000, 0}, {59990, 5}},
             {60000, 49500, 40000, 5}});
        add("end tick past 2^31, counter crosses it",
            {0x7FFFFC18u, 60000, 258, {{999, 0}, {1000, 0}}, {60000, 59001, 59000}});
        add("elapsed just within interval + 2^31",
            {0xFFFFFFCEu, 100, 258, {{0, 2147483747}}, {100}});
        add("elapsed past interval + 2^31", {5000u, 1000, 258, {{0, 2147484649}}, {1000}});
        add("end 0 reached at now -2^31", {0xFFFF15A0u, 60000, 258, {{0, 2147543648}}, {60000}});
        add("interval 0 without input", {42u, 0, 258, {}, {0}});
        add("remaining 0 is not over", {42u, 0, 258, {{0, 0}}, {0, 0}});
        add("remaining -1 is over", {42u, 0, 258, {{0, 1}}, {0}});
        add("no deadline, handle signalled later",
            {0u, -1, 0, {{100, 0}, {90000, 0}}, QList<uint32_t>(3, WaitCode::Infinite), {90000}});
        add("third handle already signalled", {7u, 60000, 2, {}, {60000}, {50, 50, 0}});
        add("invalid handle", {7u, 60000, -1, {}, {60000}, {50, -1}});
    }

    void scriptedWait()
    {
        QFETCH(Row, row);
        SimulatedTime time(row.StartTick / 1000.0);
        for (const auto &[at, runs] : row.Inputs)
            time.At(time.Now + at / 1000.0, [&time, runs = runs] { time.Now += runs / 1000.0; });
        RecordingWait wait(time);
        const auto count = int32_t(row.Handles.size());
        row.Handles.append(0); // a first element to point at, even without handles

        QCOMPARE(WaitPumpingMessages(row.Interval, row.Handles[0], count, {time, wait, time}),
                 row.Result);
        QCOMPARE(wait.Slept, row.Slept);
        QCOMPARE(time.Pumps, wait.Slept.size()); // a pump after every sleep
    }

    void realEventLoop()
    {
        // Its pipe becomes readable once the shell has slept a moment.
        const std::unique_ptr<FILE, int (*)(FILE *)> shell(popen("sleep 0.2; echo", "r"), pclose);
        const int32_t handles[] = {fileno(shell.get()), -1};
        int handled = 0;
        QtEventLoop loop;
        QObject context;
        // A zero time-out makes the inner single shot a posted event.
        QTimer::singleShot(10, &context,
                           [&] { QTimer::singleShot(0, &context, [&] { ++handled; }); });
        QTimer::singleShot(10000, &context, [&] { loop.Abandon(); }); // a missed signal fails
        LinuxTickCounter ticks;
        const modMsgWaitObj::MessageWaitPlatform platform{ticks, loop, loop};

        QCOMPARE(WaitPumpingMessages(50, handles[0], 0, platform), WaitCode::Timeout);
        QCOMPARE(handled, 1); // posted during the wait, handled before it returned
        QCOMPARE(WaitPumpingMessages(-1, handles[0], 1, platform), 0);
        QCOMPARE(WaitPumpingMessages(5000, handles[1], 1, platform), WaitCode::Failed);
    }
};

QTEST_MAIN(TestMsgWait)
#include "tst_msgwait.moc"
