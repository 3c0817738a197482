#include "tests/support/simulatedplatform.h"
#include "util/modmsgwaitobj.h"

#include <QTest>

using modMsgWaitObj::WaitPumpingMessages;

namespace {

struct Row {
    uint32_t StartTick;
    int32_t Interval, Result;
    QList<std::pair<int, qint64>> Inputs; // ms after the call began, ms its handler runs
    QList<uint32_t> Slept;
    QList<int32_t> Handles = {}; // each the tick from which it is signalled; -1 is invalid
};

} // namespace

Q_DECLARE_METATYPE(Row)

class MsgWaitTest : public QObject {
    Q_OBJECT
private slots:
    void scriptedWait_data()
    {
        QTest::addColumn<Row>("row");
        const auto add = [](const char *name, Row row) { QTest::newRow(name) << row; };
        add("counter wraps to 0; input neither stretches nor cuts the wait",
            {0xFFFFFC18u, 60000, 258, {{10000, 500}, {20000, 0}, {59990, 5}}, {60000, 49500, 40000, 5}});
        add("end tick past 2^31, counter crosses it", {0x7FFFFC18u, 60000, 258, {{999, 0}, {1000, 0}}, {60000, 59001, 59000}});
        add("elapsed just within interval + 2^31", {0xFFFFFFCEu, 100, 258, {{0, 2147483747}}, {100}});
        add("elapsed past interval + 2^31", {5000u, 1000, 258, {{0, 2147484649}}, {1000}});
        add("end 0 reached at now -2^31", {0xFFFF15A0u, 60000, 258, {{0, 2147543648}}, {60000}});
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
        SimulatedPlatform time(row.StartTick / 1000.0);
        for (const auto &[at, runs] : row.Inputs)
            time.At(time.Now + at / 1000.0, [&time, runs = runs] { time.Now += runs / 1000.0; });
        const auto count = int32_t(row.Handles.size());
        row.Handles.append(0); // a first element to point at, even without handles

        QCOMPARE(WaitPumpingMessages(row.Interval, row.Handles[0], count, {time, time, time}), row.Result);
        QCOMPARE(QList<uint32_t>(time.Slept.begin(), time.Slept.end()), row.Slept);
        QCOMPARE(time.Pumps, time.Slept.size()); // a pump after every sleep
    }
};

QTEST_APPLESS_MAIN(MsgWaitTest)
#include "tst_msgwait.moc"
