#include "monitor/tarvikbrokerservicecheck.h"
#include "platform/closebox_qt.h"
#include "platform/numberformat_qt.h"
#include "tests/support/fakemailsocket.h"
#include "tests/support/inmemoryservicesource.h"
#include "tests/support/recordingmessageboxes.h"
#include "tests/support/simulatedtime.h"

#include <QtTest>

namespace {

constexpr double Start = 3600.0;

// The window on virtual time: an interval of minutes passes in no time at all.
struct Rig {
    Rig()
    {
        Source.Now = [this] { return Time.Now - Start; };
        Source.Services = {{"SampleBroker", 0, "simple", "Stopped"}};
    }

    // "seconds:action" with action press, exit, uncheck, grey or interval=TEXT.
    void Schedule(const QStringList &actions)
    {
        for (const QString &action : actions) {
            const double at = Start + action.section(':', 0, 0).toDouble();
            const QString what = action.section(':', 1);
            Time.At(at, [this, what] { Do(what); });
        }
    }

    void Do(const QString &what)
    {
        if (what == "press")
            Window.CheckBroker.at(1)->click();
        else if (what == "exit")
            Window.ExitProgram->click();
        else if (what == "uncheck")
            Window.mKeepRunning->setCheckState(Qt::Unchecked);
        else if (what == "grey")
            Window.mKeepRunning->setCheckState(Qt::PartiallyChecked);
        else if (what.startsWith("interval="))
            Window.mInterval->setText(what.mid(9));
    }

    QList<double> ScanTimes() const { return {Source.ListedAt.begin(), Source.ListedAt.end()}; }

    SimulatedTime Time{Start};
    RecordingMessageBoxes Boxes{[this] { return Time.Now - Start; }};
    QtNumberFormat Numbers{QLocale::c()};
    FakeMailSocket Socket;
    InMemoryServiceSource Source;
    QtCloseBox CloseBox;
    int ProgramEnds = 0;
    TarvikBrokerServiceCheck Window{
        {{Boxes, Time, Time, Time, Numbers}, Socket, Source, Time, CloseBox, [this] { ++ProgramEnds; }}};
};

QList<double> Rounded(QList<double> times, double step)
{
    for (double &time : times)
        time = std::round(time / step) * step;
    return times;
}

} // namespace

class MonitoringCycleTest : public QObject {
    Q_OBJECT
private slots:
    void windowOpensWithItsInitialValues();
    void loopFollowsPressesAndKeepRunning_data();
    void loopFollowsPressesAndKeepRunning();
    void mailGoesOutOnlyWhenCheckedAndRequested_data();
    void mailGoesOutOnlyWhenCheckedAndRequested();
    void badIntervalReturnsToIdle_data();
    void badIntervalReturnsToIdle();
    void exitIsRefusedWhileProcessing();
    void burstOfPressesExitsAndEditsDuringWaits();
};

void MonitoringCycleTest::windowOpensWithItsInitialValues()
{
    Rig rig;
    rig.Window.show();
    QVERIFY(QTest::qWaitForWindowActive(&rig.Window));

    QCOMPARE(rig.Window.windowTitle(), "Broker Services Monitor");
    QCOMPARE(rig.Window.mBrokerID->text(), "localhost");
    QCOMPARE(rig.Window.mInterval->text(), "1");
    QCOMPARE(rig.Window.mKeepRunning->checkState(), Qt::Unchecked);
    QCOMPARE(rig.Window.mSendMail->checkState(), Qt::Unchecked);
    QCOMPARE(rig.Window.txChanges->toPlainText(), "");
    QCOMPARE(rig.Window.StatusTxt->text(), "N/A");
    QCOMPARE(QApplication::focusWidget(), rig.Window.txChanges);
    QVERIFY(!rig.Window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

void MonitoringCycleTest::loopFollowsPressesAndKeepRunning_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QList<double>>("scans"); // seconds after the first press
    QTest::addColumn<double>("endsAt");

    QTest::newRow("cancel takes effect after the current wait") << "1" << QStringList{"30:press"} << QList<double>{0}
                                                                 << 60.0;
    QTest::newRow("Keep Running unchecked ends the loop after the wait")
        << "1" << QStringList{"90:uncheck"} << QList<double>{0, 60} << 120.0;
    QTest::newRow("greyed Keep Running keeps going") << "1" << QStringList{"90:grey", "150:press"}
                                                     << QList<double>{0, 60, 120} << 180.0;
    QTest::newRow("edited interval counts from the next wait")
        << "1" << QStringList{"30:interval=0.5", "100:press"} << QList<double>{0, 60, 90} << 120.0;
    QTest::newRow("a press while a cancelled loop waits starts a nested loop")
        << "1" << QStringList{"30:press", "40:press", "130:press"} << QList<double>{0, 40, 100} << 160.0;
    QTest::newRow("a half millisecond rounds to even, down") << "0.000075" << QStringList{"0.001:uncheck"}
                                                             << QList<double>{0} << 0.004;
    QTest::newRow("a half millisecond rounds to even, up") << "0.000025" << QStringList{"0.001:uncheck"}
                                                           << QList<double>{0} << 0.002;
}

void MonitoringCycleTest::loopFollowsPressesAndKeepRunning()
{
    QFETCH(QString, interval);
    QFETCH(QStringList, actions);
    QFETCH(QList<double>, scans);
    QFETCH(double, endsAt);

    Rig rig;
    rig.Window.mInterval->setText(interval);
    rig.Schedule(actions);
    rig.Time.At(Start + 10, [&rig] {
        QCOMPARE(rig.Window.CheckBroker.at(1)->text(), "Cancel processing");
        QVERIFY(rig.Window.IsProcessing());
    });
    rig.Do("press");

    QCOMPARE(Rounded(rig.ScanTimes(), 0.001), scans);
    QCOMPARE(std::round((rig.Time.Now - Start) * 1000) / 1000, endsAt);
    QVERIFY(!rig.Window.IsProcessing());
    QCOMPARE(rig.Window.CheckBroker.at(1)->text(), "Check Broker Instances");
    QCOMPARE(rig.Window.mKeepRunning->checkState(), actions.filter("uncheck").isEmpty() ? Qt::Checked : Qt::Unchecked);
}

void MonitoringCycleTest::mailGoesOutOnlyWhenCheckedAndRequested_data()
{
    QTest::addColumn<Qt::CheckState>("sendMail");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("mailed");
    QTest::addColumn<QString>("status");

    QTest::newRow("checked, broker stopped") << Qt::Checked << "Stopped" << true
                                             << "Tarvik Broker Error Notification Mail Sent";
    QTest::newRow("checked, nothing stopped") << Qt::Checked << "Running" << false << "N/A";
    QTest::newRow("unchecked") << Qt::Unchecked << "Stopped" << false << "N/A";
    QTest::newRow("greyed") << Qt::PartiallyChecked << "Stopped" << false << "N/A";
}

void MonitoringCycleTest::mailGoesOutOnlyWhenCheckedAndRequested()
{
    QFETCH(Qt::CheckState, sendMail);
    QFETCH(QString, state);
    QFETCH(bool, mailed);
    QFETCH(QString, status);

    Rig rig;
    rig.Source.Services = {{"SampleBroker", 0, "simple", state.toStdString()}};
    rig.Window.mSendMail->setCheckState(sendMail);
    rig.Window.mSmtpID->setText("relay.example.org");
    rig.Window.mToAddress->setText("ops@example.org");
    rig.Schedule({"1:uncheck"});
    rig.Do("press");

    QCOMPARE(rig.Socket.Openings, mailed ? 1 : 0);
    QCOMPARE(rig.Window.StatusTxt->text(), status);
    if (mailed) {
        QCOMPARE(rig.Socket.RemoteHost, "relay.example.org");
        QCOMPARE(rig.Socket.Sent.at(1), "mail from:<ops@example.org>\r\n");
        QCOMPARE(rig.Socket.Sent.at(2), "rcpt to:<ops@example.org>\r\n");
        QVERIFY(rig.Socket.Sent.at(4).find("Subject: Tarvik Broker Service Check Message\r\n") != std::string::npos);
        QCOMPARE(rig.Socket.Sent.at(5), "Please restart Tarvik Broker process SampleBroker\r\n\r\n\r\n");
    }
}

void MonitoringCycleTest::badIntervalReturnsToIdle_data()
{
    QTest::addColumn<QString>("interval");

    QTest::newRow("no number") << "soon";
    QTest::newRow("empty") << "";
    QTest::newRow("negative") << "-1";
    QTest::newRow("beyond 32-bit milliseconds") << "40000";
    QTest::newRow("too large to be finite") << "1e400";
}

void MonitoringCycleTest::badIntervalReturnsToIdle()
{
    QFETCH(QString, interval);

    Rig rig;
    rig.Window.mInterval->setText(interval);
    rig.Do("press");

    QCOMPARE(rig.ScanTimes(), QList<double>{0});
    QCOMPARE(rig.Boxes.Boxes.size(), 1u);
    QVERIFY(QString::fromStdString(rig.Boxes.Boxes.front().Text).startsWith("Interval (minutes) "));
    QVERIFY(!rig.Window.IsProcessing());
    QCOMPARE(rig.Window.CheckBroker.at(1)->text(), "Check Broker Instances");
}

void MonitoringCycleTest::exitIsRefusedWhileProcessing()
{
    Rig rig;
    rig.Window.show();
    rig.Schedule({"10:exit", "20:press", "30:exit"});
    rig.Do("press");

    QCOMPARE(rig.Boxes.Texts(), std::vector<std::string>{"First Cancel processing before exiting this program!"});
    QCOMPARE(rig.Boxes.Boxes.front().At, 10.0);
    QCOMPARE(rig.ProgramEnds, 1);
    QVERIFY(!rig.Window.isVisible());
    QCOMPARE(rig.Window.CheckBroker.at(1)->text(), "Check Broker Instances");
}

void MonitoringCycleTest::burstOfPressesExitsAndEditsDuringWaits()
{
    Rig rig;
    int exitsWhileProcessing = 0;
    int exitsWhileIdle = 0;
    // With the first press, 200 presses: the last one cancels.
    for (int i = 0; i < 199; ++i) {
        const double at = Start + 1 + i * 0.05;
        rig.Time.At(at, [&rig] { rig.Do("press"); });
        if (i % 20 == 10)
            rig.Time.At(at + 0.01, [&] {
                ++(rig.Window.IsProcessing() ? exitsWhileProcessing : exitsWhileIdle);
                rig.Do("exit");
            });
        if (i % 50 == 25)
            rig.Time.At(at + 0.02, [&rig, i] {
                rig.Window.mInterval->setText(QString::number(1 + i % 3));
                rig.Window.mBrokerID->setText("edited");
            });
    }
    rig.Do("press");

    // Every other press started a loop nested in the cancelled ones; all of them ended.
    QCOMPARE(rig.ScanTimes().size(), 100);
    QVERIFY(!rig.Window.IsProcessing());
    QCOMPARE(rig.Window.CheckBroker.at(1)->text(), "Check Broker Instances");
    QCOMPARE(rig.Boxes.Boxes.size(), std::size_t(exitsWhileProcessing));
    QCOMPARE(rig.ProgramEnds, exitsWhileIdle);
}

QTEST_MAIN(MonitoringCycleTest)
#include "tst_monitoringcycle.moc"
