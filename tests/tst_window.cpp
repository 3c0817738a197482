// The window's logic on virtual time: the scan through the window, the monitoring loop, the
// mail it sends, the exit guard, and the interval wait's tick arithmetic; the report's exact
// text is the end-to-end test's. An interval of minutes passes in no time at all.
#include "monitor/tarvikbrokerservicecheck.h"
#include "platform/ui/closebox_qt.h"
#include "tests/support/observedsource.h"
#include "tests/support/simulatedplatform.h"
#include "util/modmsgwaitobj.h"

#include <QtTest>

namespace {

constexpr double Start = 3600.0;

// The controls as plain values, starting from the layout's texts.
struct FakeView final : MonitorView {
    FakeView()
    {
        for (const ControlLayout &control : WindowLayout::Controls)
            Texts[control.Id] = control.Text;
    }
    std::string Text(Control control) override { return Texts[control]; }
    void SetText(Control control, const std::string &text) override
    {
        Texts[control] = text;
        if (control == Control::StatusTxt)
            Statuses << QString::fromStdString(text);
    }
    int CheckBoxValue(Control control) override { return Values[control]; }
    void SetCheckBoxValue(Control control, int value) override { Values[control] = value; }
    WindowHandle Handle() override { return 0; } // no window: no close box to switch off
    void Unload() override {}

    std::map<Control, std::string> Texts;
    std::map<Control, int> Values;
    QStringList Statuses;
};

// "Name|pid|State" rows; the type is always "simple".
std::vector<BrokerService> Services(const QStringList &rows)
{
    std::vector<BrokerService> services;
    for (const QString &row : rows) {
        const QStringList parts = row.split('|');
        services.push_back({parts[0].toStdString(), parts[1].toUInt(), "simple", parts[2].toStdString()});
    }
    return services;
}

// What follows `prefix` on the lines of the texts that begin with it.
QStringList Lines(const std::vector<std::string> &texts, const QString &prefix)
{
    QStringList found;
    for (const std::string &text : texts)
        for (const QString &line : QString::fromStdString(text).split("\r\n"))
            if (line.startsWith(prefix))
                found << line.mid(prefix.size());
    return found;
}

struct Rig {
    // "seconds:action" with action press, exit, dismiss (OK on every box), uncheck, grey,
    // interval=TEXT or server=TEXT.
    void Schedule(const QStringList &actions)
    {
        for (const QString &action : actions)
            Platform.At(Start + action.section(':', 0, 0).toDouble(), [this, what = action.section(':', 1)] {
                if (what == "press")
                    Window.CheckBrokerPressed(1);
                else if (what == "exit")
                    Window.ExitProgramPressed();
                else if (what == "dismiss")
                    Platform.DismissBoxes();
                else if (what.contains('='))
                    View.Texts[what.startsWith("server") ? Control::mBrokerID : Control::mInterval] =
                        what.section('=', 1).toStdString();
                else
                    View.Values[Control::mKeepRunning] = what == "grey" ? 2 : 0;
            });
    }

    SimulatedPlatform Platform{Start};
    std::shared_ptr<ObservedSource> Source = std::make_shared<ObservedSource>();
    FakeView View;
    QtCloseBox CloseBox;
    // No relay of these asks for a login.
    TarvikBrokerServiceCheck Window{{Platform.Services(), Platform, nullptr, Platform, Source, CloseBox, Platform,
                                     [this] { Platform.Abandon(); }},
                                    View};
};

// One interval wait on the tick counter.
struct WaitRow {
    uint32_t StartTick;
    int32_t Interval, Result;
    QList<std::pair<int, qint64>> Inputs; // ms after the call began, ms its handler runs
    QList<uint32_t> Slept;
};

} // namespace

Q_DECLARE_METATYPE(WaitRow)
Q_DECLARE_METATYPE(ServiceSystem)

class WindowTest : public QObject {
    Q_OBJECT
private slots:
    void scanPicksBrokersAndAsksForRestarts_data()
    {
        // The services each scan sees; "UNREADABLE" fails the listing, "@TEXT" types TEXT into
        // the server field before the scan, and "DISMISS" closes every box before it.
        QTest::addColumn<QList<QStringList>>("scans");
        QTest::addColumn<int>("refusals");         // the relay's, before it takes a mail
        QTest::addColumn<QStringList>("requests"); // what the mails ask for, in order, retries included
        QTest::addColumn<QStringList>("reported"); // in the report after the last scan
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QList<int>>("events");    // the kinds recorded, in order
        QTest::addColumn<ServiceSystem>("system");
        const auto add = [](const char *name, QList<QStringList> scans, int refusals, QStringList requests,
                            QStringList reported, QStringList messages, QList<int> events,
                            ServiceSystem system = ServiceSystem::Windows) {
            QTest::newRow(name) << scans << refusals << requests << reported << messages << events << system;
        };
        enum { Started = 1, Ended = 3, Stopped, Delivered, NotDelivered, ScanDown, ScanBack, RelayDown, RelayBack };

        add("name test ignores letter case, skips loggers and Windows' own names in any case",
            {{"tarvik-broker|0|Stopped", "BrokerLogger|0|Stopped", "cron|0|Stopped", "xBROKERx|7|Running",
              "Catalog-Broker|0|Stopped", "TimeBrokerSvc|0|Stopped", "DeviceAssociationBrokerSvc_5a3e1|0|Stopped",
              "BrokerInfrastructure|812|Running", "tokenbroker|0|Stopped", "TimeBroker|0|Stopped",
              "TokenBroker2|0|Stopped"}},
            0, {"tarvik-broker", "TokenBroker2"}, {"tarvik-broker", "xBROKERx", "TokenBroker2"}, {},
            {Started, Stopped, Stopped, Delivered, Ended});
        add("on Linux only dbus-broker is the system's own, by its exact name",
            {{"tokenbroker|0|Stopped", "TimeBroker|0|Stopped", "dbus-broker|0|Stopped", "DBus-Broker|0|Stopped"}}, 0,
            {"tokenbroker", "TimeBroker", "DBus-Broker"}, {"tokenbroker", "TimeBroker", "DBus-Broker"}, {},
            {Started, Stopped, Stopped, Stopped, Delivered, Ended}, ServiceSystem::Linux);
        add("each broker's stop asked for once, again only after it ran; a pending state changes nothing",
            {{"A-Broker|0|Stopped", "R-Broker|9|Running", "B-Broker|0|Stopped"},
             {"A-Broker|5|Start Pending", "R-Broker|9|Running", "B-Broker|0|Stopped"},
             {"A-Broker|0|Stopped", "R-Broker|9|Running", "B-Broker|0|Stopped"},
             {"A-Broker|31|Running", "R-Broker|9|Running", "B-Broker|0|Stopped"},
             {"A-Broker|0|Stopped", "R-Broker|9|Running", "B-Broker|0|Stopped"}},
            0, {"A-Broker", "B-Broker", "A-Broker"}, {"A-Broker", "R-Broker", "B-Broker"}, {},
            {Started, Stopped, Stopped, Delivered, Stopped, Delivered, Ended});
        add("no broker: the previous report stays", {{"A-Broker|9|Running"}, {"cron|0|Stopped"}}, 0, {}, {"A-Broker"}, {},
            {Started, Ended});
        add("read fails mid-scan: what came before stays",
            {{"A-Broker|0|Stopped", "Fail-Broker|0|Stopped", "C-Broker|0|Stopped"}}, 0, {"A-Broker"},
            {"A-Broker", "Fail-Broker"}, {"SWbemObject-->Access denied"}, {Started, Stopped, ScanDown, Delivered, Ended});
        const QString refused = "SMTP service error, impromper response code. Code should have been: 250 Code recieved: 554 relay\r\n";
        add("relay down for three cycles, then a second broker stops: both delivered, one box",
            {{"A-Broker|0|Stopped"}, {"A-Broker|0|Stopped"}, {"A-Broker|0|Stopped"}, {"A-Broker|0|Stopped"},
             {"A-Broker|0|Stopped", "B-Broker|0|Stopped"}},
            3, {"A-Broker", "A-Broker", "A-Broker", "A-Broker", "B-Broker"}, {"A-Broker", "B-Broker"}, {refused},
            {Started, Stopped, NotDelivered, RelayDown, NotDelivered, NotDelivered, Delivered, RelayBack, Stopped,
             Delivered, Ended});
        add("manager unreadable for three cycles, back with a broker stopped: one box, one notice, then the request",
            {{"UNREADABLE"}, {"UNREADABLE"}, {"UNREADABLE"}, {"A-Broker|0|Stopped"}}, 0, {"unreadable", "A-Broker"},
            {"A-Broker"}, {"sd_bus_start-->Connection refused"},
            {Started, ScanDown, Delivered, Stopped, ScanBack, Delivered, Ended});
        add("the same broker stopped on two servers: each server's stop asked for once",
            {{"A-Broker|0|Stopped"}, {"@beta", "A-Broker|0|Stopped"}, {"@localhost", "A-Broker|0|Stopped"}}, 0,
            {"A-Broker", "A-Broker"}, {"A-Broker"}, {}, {Started, Stopped, Delivered, Stopped, Delivered, Ended});
        add("a new outage while the last one's box stands: its own box once that one goes",
            {{"UNREADABLE"}, {"A-Broker|9|Running"}, {"UNREADABLE"}, {"DISMISS", "UNREADABLE"}}, 0, {"unreadable"},
            {"A-Broker"}, {"sd_bus_start-->Connection refused", "sd_bus_start-->Connection refused"},
            {Started, ScanDown, ScanBack, ScanDown, Delivered, Ended});
        add("a single failed scan between good ones: no notice", {{"A-Broker|9|Running"}, {"UNREADABLE"}, {"A-Broker|0|Stopped"}},
            0, {"A-Broker"}, {"A-Broker"}, {"sd_bus_start-->Connection refused"},
            {Started, ScanDown, Stopped, ScanBack, Delivered, Ended});
    }

    void scanPicksBrokersAndAsksForRestarts()
    {
        QFETCH(QList<QStringList>, scans);
        Rig rig;
        rig.View.Values[Control::mSendMail] = 1;
        QFETCH(int, refusals);
        rig.Platform.Refusals = refusals;
        QFETCH(ServiceSystem, system);
        rig.Source->Kind = system;
        rig.Source->BeforeListing = [&](int listing) {
            const QStringList &scan = scans[listing - 1];
            rig.Source->Services = Services(scan.filter("|"));
            rig.Source->FailingRead = scan.indexOf(QRegularExpression("Fail.*"));
            rig.Source->FailingListing = scan.contains("UNREADABLE")
                                             ? std::optional(SourceFailure{"sd_bus_start", "Connection refused"})
                                             : std::nullopt;
        };
        rig.Schedule({QString::number(60 * scans.size() - 30) + ":uncheck"});
        for (qsizetype i = 1; i < scans.size(); ++i)
            if (scans[i].constFirst().startsWith('@'))
                rig.Schedule({QString::number(60 * i - 30) + ":server=" + scans[i].constFirst().mid(1)});
            else if (scans[i].constFirst() == "DISMISS")
                rig.Schedule({QString::number(60 * i - 30) + ":dismiss"});
        rig.Window.CheckBrokerPressed(1);

        QStringList asked = Lines(rig.Platform.Sent, "Please restart Tarvik Broker process ");
        // A notice names the server and the time of the first failure, and says why; in these rows it
        // comes before any request.
        for (const QString &notice : Lines(rig.Platform.Sent, "The services of localhost could not be read since "))
            asked.prepend(notice == "Sun, 06 Dec 2026 21:34:18 -0600: sd_bus_start-->Connection refused" ? "unreadable"
                                                                                                       : notice);
        QTEST(asked, "requests");
        QTEST(Lines({rig.View.Texts[Control::txChanges]}, "Service Name: "), "reported");
        QTEST(rig.Platform.Boxes, "messages");
        QList<int> events;
        for (const LogEntry &entry : rig.Platform.Logged)
            events << entry.EventId;
        QTEST(events, "events");
    }

    void loopFollowsPressesSettingsAndRelay_data()
    {
        // The one broker is stopped throughout; the relay takes every mail unless the row says.
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("sendMail");
        // "", "refuses thrice", "slow" (2 s a reply), "silent" (a day) or "busy" (the socket never closed)
        QTest::addColumn<QString>("relay");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QList<double>>("scans"); // seconds after the first press
        QTest::addColumn<double>("endsAt");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<QStringList>("messages");

        const QStringList none;
        const QString exitRefused = "First Cancel processing before exiting this program!";
        const QString badInterval = "Interval (minutes) must be a number of minutes from 0 to 35791, such as 1; "
                                    "monitoring has stopped.";
        const QStringList dialogue{"Connecting....", "Connected", "Sending Message", "Disconnecting"};
        const auto add = [](const char *name, QString interval, int sendMail, QString relay, QStringList actions,
                            QList<double> scans, double endsAt, QStringList statuses, QStringList messages) {
            QTest::newRow(name) << interval << sendMail << relay << actions << scans << endsAt << statuses << messages;
        };
        add("greyed Keep Running keeps going", "1", 0, "", {"90:grey", "150:press"}, {0, 60, 120}, 180, {"N/A", "N/A"}, none);
        add("edited interval counts from the next wait", "1", 0, "", {"30:interval=0.5", "100:press"}, {0, 60, 90}, 120,
            {"N/A", "N/A"}, none);
        add("cancel ends the loop after its wait; a press while it waits re-arms it", "1", 0, "",
            {"30:press", "40:press", "130:press"},
            {0, 60, 120}, 180, {"N/A", "N/A", "N/A", "N/A"}, none);
        add("interval that is no number", "soon", 0, "", {}, {0}, 0, {"N/A"}, {badInterval});
        add("negative interval", "-1", 0, "", {}, {0}, 0, {"N/A"}, {badInterval});
        add("interval beyond 32-bit milliseconds", "40000", 0, "", {}, {0}, 0, {"N/A"}, {badInterval});
        add("exit refused while processing, accepted while a cancelled loop waits; a press behind it starts nothing", "10", 0, "",
            {"10:exit", "20:press", "30:exit", "30:press"}, {0}, 30, {"N/A", "N/A"}, {exitRefused});
        const QStringList notSent = dialogue + QStringList{"Tarvik Broker Error Notification Mail Not Sent"};
        const QString refused = "SMTP service error, impromper response code. Code should have been: 250 Code recieved: 554 relay\r\n";
        add("relay refuses three mails, then takes one: asked again each cycle, a box only as monitoring starts",
            "1", 1, "refuses thrice", {"30:press", "35:dismiss", "40:press", "210:uncheck"}, {0, 60, 120, 180}, 240,
            QStringList{"N/A"} + notSent + QStringList{"N/A", "N/A"} + notSent + notSent + dialogue +
                QStringList{"Tarvik Broker Error Notification Mail Sent"},
            {refused, refused});
        add("cancel and restart inside a reply wait: mailed by the loop it re-armed", "1", 1, "slow",
            {"1:press", "1.5:press", "100:uncheck"}, {0, 74}, 134,
            QStringList{"N/A", "N/A", "N/A"} + dialogue + QStringList{"Tarvik Broker Error Notification Mail Sent", "N/A"}, none);
        add("mailing greyed: no mail", "1", 2, "", {"90:uncheck"}, {0, 60}, 120, {"N/A"}, none);
        add("socket still busy: nothing sent, one box", "1", 1, "busy", {"90:uncheck"}, {0, 60}, 120,
            {"N/A", "Tarvik Broker Error Notification Mail Not Sent", "Tarvik Broker Error Notification Mail Not Sent"}, {" 7"});
        add("exit while a cancelled loop is in a mail dialogue: nothing more goes out", "1", 1, "silent",
            {"5:press", "6:exit"}, {0}, 6, {"N/A", "N/A", "Tarvik Broker Error Notification Mail Not Sent"}, none);
    }

    void loopFollowsPressesSettingsAndRelay()
    {
        QFETCH(QString, interval);
        QFETCH(int, sendMail);
        QFETCH(QString, relay);
        QFETCH(QStringList, actions);

        Rig rig;
        rig.View.Texts[Control::mInterval] = interval.toStdString();
        rig.View.Values[Control::mSendMail] = sendMail;
        rig.Platform.Refusals = relay == "refuses thrice" ? 3 : 0;
        rig.Platform.ReplyDelay = relay == "slow" ? 2 : relay == "silent" ? 86400 : 0;
        rig.Platform.State = relay == "busy" ? 7 : 0;
        rig.Source->Services = Services({"SampleBroker|0|Stopped"});
        QList<double> scans;
        rig.Source->BeforeListing = [&rig, &scans](int) { scans << std::round((rig.Platform.Now - Start) * 1000) / 1000; };
        rig.Schedule(actions);
        rig.Platform.At(Start + 1, [&rig] { QCOMPARE(rig.View.Texts[Control::CheckBroker_1], "Cancel processing"); });
        rig.Window.CheckBrokerPressed(1);

        QTEST(scans, "scans");
        QTEST(rig.Platform.Now - Start, "endsAt");
        QTEST(rig.View.Statuses, "statuses");
        QTEST(rig.Platform.Boxes, "messages");
        QVERIFY(!rig.Window.IsProcessing());
        QCOMPARE(rig.View.Texts[Control::CheckBroker_1], "Check Broker Instances");
        // Eight texts a whole dialogue; none once the program ended.
        QCOMPARE(rig.Platform.Sent.size(), std::size_t(relay == "refuses thrice" ? 32 : relay == "slow" ? 8 : 0));
        QCOMPARE(rig.Platform.State, int16_t(relay == "busy" ? 7 : 0));
        // Every wait sleeps until its next event: one that polled would sleep thousands of times.
        QVERIFY2(rig.Platform.Slept.size() < 100, qPrintable(QString::number(rig.Platform.Slept.size())));
    }

    void boxShowsTheStartOfALongText()
    {
        const std::string e = "\xC3\xA9"; // é, two bytes
        QCOMPARE(ShownPart(std::string(2000, 'x')), std::string(2000, 'x'));
        QCOMPARE(ShownPart(std::string(1999, 'x') + e + "y"), std::string(1999, 'x') + e + "...");
    }

    void intervalWaitKeepsItsTime_data()
    {
        QTest::addColumn<WaitRow>("row");
        const auto add = [](const char *name, WaitRow row) { QTest::newRow(name) << row; };
        add("counter wraps to 0; input neither stretches nor cuts the wait",
            {0xFFFFFC18u, 60000, 258, {{10000, 500}, {20000, 0}, {59990, 5}}, {60000, 49500, 40000, 5}});
        add("end tick past 2^31, counter crosses it", {0x7FFFFC18u, 60000, 258, {{999, 0}, {1000, 0}}, {60000, 59001, 59000}});
        add("remaining 0 is not over", {42u, 0, 258, {{0, 0}}, {0, 0}});
        add("remaining -1 is over", {42u, 0, 258, {{0, 1}}, {0}});
    }

    void intervalWaitKeepsItsTime()
    {
        QFETCH(WaitRow, row);
        SimulatedPlatform time(row.StartTick / 1000.0);
        for (const auto &[at, runs] : row.Inputs)
            time.At(time.Now + at / 1000.0, [&time, runs = runs] { time.Now += runs / 1000.0; });
        QCOMPARE(modMsgWaitObj::WaitPumpingMessages(row.Interval, {}, {time, time, time}), row.Result);
        QCOMPARE(QList<uint32_t>(time.Slept.begin(), time.Slept.end()), row.Slept);
        QCOMPARE(time.Pumps, time.Slept.size()); // a pump after every sleep
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
