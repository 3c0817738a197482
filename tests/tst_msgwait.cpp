#include "platform/eventloop_qt.h"
#include "platform/tickcounter_linux.h"
#include "util/modmsgwaitobj.h"

#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <limits>

using modMsgWaitObj::MessageWaitPlatform;
using modMsgWaitObj::WaitPumpingMessages;

namespace {

// Input arriving AtMs after the call began, whose handler runs for HandlerMs once pumped.
struct ScriptedInput {
    qint64 AtMs;
    qint64 HandlerMs;
};
using Inputs = QList<ScriptedInput>;
using Timeouts = QList<uint32_t>;
constexpr qint64 Never = std::numeric_limits<qint64>::max();

// Virtual time: a sleep jumps to the next input, the signalled handle or its time-out, and
// each handler the pump runs moves time on by its duration.
class ScriptedPlatform final : public TickCounter, public CombinedWait, public EventPump {
public:
    ScriptedPlatform(uint32_t startTick, Inputs inputs, int32_t signalled, qint64 signalAtMs)
        : StartTick(startTick), Script(std::move(inputs)), Signalled(signalled),
          SignalAtMs(signalAtMs) {}

    uint32_t GetTickCount() override { return StartTick + static_cast<uint32_t>(ElapsedMs); }

    int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                  uint32_t timeoutMs) override
    {
        Slept.append(timeoutMs);
        const auto end = handles + handleCount;
        if (std::find_if(handles, end, [](int32_t h) { return h < 0; }) != end)
            return WaitCode::Failed;
        const auto signalled = std::find(handles, end, Signalled);
        const qint64 signalAt = signalled == end ? Never : SignalAtMs;
        const qint64 inputAt = Handled < Script.size() ? Script[Handled].AtMs : Never;
        const qint64 wake = std::max(ElapsedMs, std::min(signalAt, inputAt));
        const qint64 limit = timeoutMs == WaitCode::Infinite ? Never - 1 : ElapsedMs + timeoutMs;
        if (wake > limit) {
            ElapsedMs = limit;
            return timeoutMs == WaitCode::Infinite ? WaitCode::Failed : WaitCode::Timeout;
        }
        ElapsedMs = wake;
        return signalAt <= inputAt ? int32_t(signalled - handles) : handleCount;
    }

    void PumpMessages() override
    {
        ++Pumps;
        for (; Handled < Script.size() && Script[Handled].AtMs <= ElapsedMs; ++Handled)
            ElapsedMs += Script[Handled].HandlerMs;
    }

    qint64 ElapsedMs = 0;
    Timeouts Slept;
    qsizetype Pumps = 0;
    qsizetype Handled = 0;

private:
    uint32_t StartTick;
    Inputs Script;
    int32_t Signalled;
    qint64 SignalAtMs;
};

class PostedEventCounter final : public QObject {
public:
    int Count = 0;
    bool event(QEvent *e) override
    {
        Count += e->type() == QEvent::User;
        return QObject::event(e);
    }
};

enum class RealHandle { None, PipeWrittenLater, Invalid };

} // namespace

Q_DECLARE_METATYPE(Inputs)
Q_DECLARE_METATYPE(RealHandle)

class TestMsgWait : public QObject {
    Q_OBJECT
private slots:
    void scriptedWait_data();
    void scriptedWait();
    void realEventLoop_data();
    void realEventLoop();
};

namespace {

// Handle 13, when in the array, becomes signalled at signalAtMs.
void AddScriptedRow(const char *name, uint32_t startTick, int32_t interval, Inputs inputs,
                    int32_t result, Timeouts timeouts, qint64 elapsedMs,
                    QList<int32_t> handles = {}, qint64 signalAtMs = Never)
{
    QTest::newRow(name) << startTick << interval << inputs << handles << signalAtMs << result
                        << timeouts << elapsedMs;
}

} // namespace

void TestMsgWait::scriptedWait_data()
{
    QTest::addColumn<uint32_t>("startTick");
    QTest::addColumn<int32_t>("interval");
    QTest::addColumn<Inputs>("inputs");
    QTest::addColumn<QList<int32_t>>("handles");
    QTest::addColumn<qint64>("signalAtMs");
    QTest::addColumn<int32_t>("result");
    QTest::addColumn<Timeouts>("timeouts");
    QTest::addColumn<qint64>("elapsedMs");

    AddScriptedRow("counter wraps to 0 during the wait", 0xFFFFFC18u, 60000,
                   {{500, 0}, {1000, 0}, {30000, 0}}, 258, {60000, 59500, 59000, 30000}, 60000);
    AddScriptedRow("end tick past 2^31, counter crosses it", 0x7FFFFC18u, 60000,
                   {{999, 0}, {1000, 0}, {1001, 0}, {59999, 0}}, 258,
                   {60000, 59001, 59000, 58999, 1}, 60000);
    AddScriptedRow("input neither stretches nor cuts the wait", 123456u, 60000,
                   {{10000, 500}, {20000, 0}, {59990, 5}}, 258, {60000, 49500, 40000, 5}, 60000);
    AddScriptedRow("remaining 0 is not over", 5000u, 100, {{98, 2}}, 258, {100, 0}, 100);
    AddScriptedRow("remaining -1 is over", 5000u, 100, {{98, 3}}, 258, {100}, 101);
    AddScriptedRow("elapsed just within interval + 2^31 is over", 0xFFFFFFCEu, 100,
                   {{0, 2147483747}}, 258, {100}, 2147483747);
    AddScriptedRow("elapsed past interval + 2^31 is over", 5000u, 1000, {{0, 2147484649}}, 258,
                   {1000}, 2147484649);
    AddScriptedRow("end 0 reached at now -2^31", 0xFFFF15A0u, 60000, {{0, 2147543648}}, 258,
                   {60000}, 2147543648);
    AddScriptedRow("interval 0 without input", 42u, 0, {}, 258, {0}, 0);
    AddScriptedRow("interval 0, input on the same tick", 42u, 0, {{0, 0}}, 258, {0, 0}, 0);
    AddScriptedRow("interval 0, input moves the clock", 42u, 0, {{0, 1}}, 258, {0}, 1);
    AddScriptedRow("no deadline, handle signalled later", 7u, -1, {{100, 0}, {200, 0}}, 0,
                   Timeouts(3, WaitCode::Infinite), 90000, {13}, 90000);
    AddScriptedRow("third handle already signalled", 7u, 60000, {}, 2, {60000}, 0,
                   {11, 12, 13}, 0);
    AddScriptedRow("invalid handle", 7u, 60000, {}, -1, {60000}, 0, {11, -1});
}

void TestMsgWait::scriptedWait()
{
    QFETCH(uint32_t, startTick);
    QFETCH(int32_t, interval);
    QFETCH(Inputs, inputs);
    QFETCH(QList<int32_t>, handles);
    QFETCH(qint64, signalAtMs);
    ScriptedPlatform platform(startTick, inputs, 13, signalAtMs);
    handles.append(0); // so that an empty list still has a first element
    const int32_t handleCount = int32_t(handles.size() - 1);

    const int32_t result = WaitPumpingMessages(interval, handles[0], handleCount,
                                               {platform, platform, platform});

    QTEST(result, "result");
    QTEST(platform.Slept, "timeouts");
    QTEST(platform.ElapsedMs, "elapsedMs");
    QCOMPARE(platform.Pumps, platform.Slept.size());
    QCOMPARE(platform.Handled, inputs.size());
    QVERIFY(result != handleCount);
}

void TestMsgWait::realEventLoop_data()
{
    QTest::addColumn<int32_t>("interval");
    QTest::addColumn<RealHandle>("handle");
    QTest::addColumn<int32_t>("result");

    QTest::newRow("pipe readable later, no deadline") << -1 << RealHandle::PipeWrittenLater << 0;
    QTest::newRow("invalid descriptor") << 5000 << RealHandle::Invalid << -1;
    QTest::newRow("short interval with a posted event") << 50 << RealHandle::None << 258;
}

void TestMsgWait::realEventLoop()
{
    QFETCH(int32_t, interval);
    QFETCH(RealHandle, handle);
    int signalPipe[2], watchdogPipe[2];
    QVERIFY(pipe(signalPipe) == 0 && pipe(watchdogPipe) == 0);
    // The watchdog is handle 1: a missed signal fails the row instead of hanging it.
    const int32_t signalHandle = handle == RealHandle::Invalid ? -1 : signalPipe[0];
    const int32_t handles[2] = {signalHandle, watchdogPipe[0]};
    const int32_t handleCount = handle == RealHandle::None ? 0 : 2;
    PostedEventCounter receiver;
    QTimer::singleShot(10, &receiver,
                       [&] { QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User)); });
    QTimer::singleShot(60, &receiver, [&] { QVERIFY(write(signalPipe[1], "x", 1) == 1); });
    QTimer::singleShot(10000, &receiver, [&] { QVERIFY(write(watchdogPipe[1], "x", 1) == 1); });
    LinuxTickCounter ticks;
    QtEventLoop loop;

    const int32_t result =
        WaitPumpingMessages(interval, handles[0], handleCount, {ticks, loop, loop});

    QTEST(result, "result");
    if (result != WaitCode::Failed)
        QCOMPARE(receiver.Count, 1); // handled during the wait, before it returned
    for (int fd : {signalPipe[0], signalPipe[1], watchdogPipe[0], watchdogPipe[1]})
        close(fd);
}

QTEST_MAIN(TestMsgWait)
#include "tst_msgwait.moc"
