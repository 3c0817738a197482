// The whole program as an operator meets it: the real window and platform, a systemd user
// manager standing in for the server's, and aiosmtpd on port 25 of a private loopback; and
// the parts of the Qt platform an operator sees, its message boxes and the close box.
#include "monitor/monitorwindow_qt.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_qt.h"
#include "tests/support/maildir.h"
#include "tests/support/observedsource.h"
#include "tests/support/usermanager.h"
#include "util/modclosebtn.h"

#include <QAbstractButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTcpServer>
#include <QtTest>

#include <semaphore>

using modCloseBtn::SetCloseButtonEnabled;

namespace {

// Dismisses every message box the program shows, as an operator would, noting what it showed.
class MessageBoxDismisser final : public QObject {
public:
    struct Box {
        QString Text, Details, Caption;
        QMessageBox::Icon Icon;
        Qt::TextFormat Format;
    };

    MessageBoxDismisser()
    {
        connect(&Poll, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                Shown << Box{box->text(), box->detailedText(), box->windowTitle(), box->icon(), box->textFormat()};
                box->button(QMessageBox::Ok)->click();
            }
        });
        Poll.start(10);
    }

    QList<Box> Shown;

private:
    QTimer Poll;
};

// The program's records in the harness's journal that match every one of `matches`, oldest first.
QList<QJsonObject> JournalRecords(const QStringList &matches)
{
    const Ran journalctl = RunProgram("journalctl", QStringList{"-D", qEnvironmentVariable("BROKER_TEST_JOURNAL"), "-o",
                                                                "json", "-t", "tarvik-broker-servicecheck"} + matches);
    QList<QJsonObject> records;
    for (const QByteArray &line : journalctl.Output.split('\n'))
        if (!line.isEmpty())
            records << QJsonDocument::fromJson(line).object();
    return records;
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxShowsTextStyleAndTitle()
    {
        QApplication::setApplicationName("Tarvik Broker ServiceCheck");
        MessageBoxDismisser operatorAtTheScreen;
        QtMessageBox().MessageBox("<b>550</b> &amp;", MessageBoxStyle::OkOnly, std::nullopt);
        QtMessageBox().MessageBox(std::string(1 << 20, 'x'), MessageBoxStyle::OkInformation, "");

        QCOMPARE(operatorAtTheScreen.Shown.size(), 2);
        const MessageBoxDismisser::Box &markup = operatorAtTheScreen.Shown[0], &huge = operatorAtTheScreen.Shown[1];
        // A relay's reply is shown as it came, under the application's title when there is none.
        QCOMPARE(markup.Text, "<b>550</b> &amp;");
        QCOMPARE(markup.Format, Qt::PlainText);
        QCOMPARE(markup.Caption, "Tarvik Broker ServiceCheck");
        // A long text, cut short in the box, is kept whole behind its details.
        QCOMPARE(huge.Details, QString(1 << 20, 'x'));
        QCOMPARE(huge.Icon, QMessageBox::Information);
        QCOMPARE(huge.Caption.trimmed(), "");

        // A standing box returns at once, above its window, which goes on taking input; it goes
        // when the operator closes it, or when the program ends.
        QWidget owner;
        QtMessageBox boxes;
        boxes.SetOwner(&owner);
        const auto closed = boxes.ShowStanding("relay down", MessageBoxStyle::OkInformation, "");
        const auto left = boxes.ShowStanding("server down", MessageBoxStyle::OkOnly, "Error");
        const QList<QMessageBox *> shown = owner.findChildren<QMessageBox *>();
        QVERIFY(shown.size() == 2 && shown[0]->isVisible() && !QApplication::activeModalWidget());
        shown[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!closed->Standing());
        QVERIFY(left->Standing());
        boxes.Abandon();
        QTRY_VERIFY(!left->Standing());
    }

    void monitorsMailsAndLeavesThroughExitWhileTheSourceHangs()
    {
        for (const char *name : {"sample-broker", "broker-logger", "plain-worker"})
            QVERIFY(UserManager::InstallUnit(name));
        QCOMPARE(UserManager::Systemctl({"daemon-reload"}), 0);
        const QString maildir = qEnvironmentVariable("BROKER_TEST_MAILDIR");
        QtWindowPlatform platform;
        QtMonitorWindow window;
        const auto source = std::make_shared<ObservedSource>(platform.Source);
        platform.Source = source;
        TarvikBrokerServiceCheck monitor(platform.Monitor(), window);
        window.Wire(monitor);
        window.show();
        MessageBoxDismisser operatorAtTheScreen;
        const auto press = [&window](Control button) { static_cast<QAbstractButton *>(window.Widget(button))->click(); };
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The close box went off as the window loaded; it goes on and off again, and while it is
        // off the window manager's close request is refused. Exit closes the window below.
        const WindowHandle handle = window.Handle();
        QCloseEvent request;
        for (const int16_t enable : {0, -1, -1, 0, 0}) {
            QCOMPARE(SetCloseButtonEnabled(handle, enable, platform.CloseBox), 0);
            QCOMPARE(window.windowFlags().testFlag(Qt::WindowCloseButtonHint), enable != 0);
        }
        QCoreApplication::sendEvent(window.windowHandle(), &request);
        QVERIFY(window.isVisible());
        QCOMPARE(SetCloseButtonEnabled(WindowHandle(0), 0, platform.CloseBox), -1);
        static_cast<QLineEdit *>(window.Widget(Control::mInterval))->clear();
        QTest::keyClicks(window.Widget(Control::mInterval), "0.005");
        QTest::mouseClick(window.Widget(Control::mSendMail), Qt::LeftButton, {}, QPoint(5, 5));
        QList<qsizetype> mailsBeforeScan;
        const auto release = std::make_shared<std::binary_semaphore>(0);
        QString status;
        bool processing = true;
        QElapsedTimer sinceExit;
        source->BeforeListing = [&, release](int listing) {
            mailsBeforeScan << Delivered(maildir).size();
            if (listing == 3 || listing == 4)
                UserManager::Systemctl({listing == 3 ? "start" : "stop", "sample-broker"});
            if (listing < 5)
                return;
            // The source hangs in this scan; meanwhile Exit is refused, a press cancels and
            // Exit ends the program at once.
            QMetaObject::invokeMethod(&window, [&] {
                press(Control::ExitProgram);
                window.SetText(Control::StatusTxt, "");
                press(Control::CheckBroker_1);
                status = QString::fromStdString(window.Text(Control::StatusTxt));
                processing = monitor.IsProcessing();
                sinceExit.start();
                press(Control::ExitProgram);
            });
            release->acquire();
        };
        press(Control::CheckBroker_1);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 30000);
        QVERIFY2(sinceExit.elapsed() < 1000, qPrintable(QString::number(sinceExit.elapsed())));
        QCOMPARE(status, "N/A");
        QVERIFY(!processing);
        release->release();

        // Mailed after the first scan, not again while the broker stays stopped, again once it
        // ran and stopped.
        QCOMPARE(mailsBeforeScan, (QList<qsizetype>{0, 1, 1, 1, 2}));
        const QByteArray mail = Delivered(maildir).constFirst();
        // The notification address is sender and recipient, as the relay saw them.
        QVERIFY(mail.contains("\nTo: \"TarvikBrokerQueue\" <root@localhost>\n"));
        QVERIFY(mail.contains("\nX-MailFrom: root@localhost\nX-RcptTo: root@localhost\n"));
        QVERIFY(mail.contains("\n\nPlease restart Tarvik Broker process sample-broker\n"));
        const std::string rule42(42, '='), rule57(57, '=');
        QCOMPARE(window.Text(Control::txChanges), rule42 + "\r\nTarvik Broker Service Information for localhost\r\n" + rule42 +
                                                      "\r\nService Name: sample-broker\r\nPID: 0\r\nType of Service: simple\r\n"
                                                      "Service State: Stopped\r\n" + rule57 + "\r\n");
        QCOMPARE(source->LastMoniker, "winmgmts:{impersonationLevel=impersonate}!//localhost Win32_Service");
        QCOMPARE(operatorAtTheScreen.Shown.size(), 1);
        QCOMPARE(operatorAtTheScreen.Shown[0].Text, "First Cancel processing before exiting this program!");

        // What happened to the broker, as an operator asks the journal the morning after: its two
        // stops (the second with the process it ran as) and the two mails, each kind by its id.
        QList<QJsonObject> records;
        QTRY_VERIFY_WITH_TIMEOUT((records = JournalRecords({"BROKER_SERVICE=sample-broker"})).size() == 4, 10000);
        QStringList kinds;
        for (const QJsonObject &record : records)
            kinds << record["PRIORITY"].toString() + " " + record["MESSAGE_ID"].toString() + " " +
                         record["BROKER_SERVER"].toString();
        QVERIFY(kinds[2] == kinds[0] && kinds[3] == kinds[1] && kinds[0] != kinds[1]);
        QVERIFY(kinds[0].startsWith("4 ") && kinds[1].startsWith("6 ") && kinds[0].endsWith(" localhost"));
        QVERIFY2(records[2]["BROKER_PID"].toString().toInt() > 0, qPrintable(records[2]["MESSAGE"].toString()));
        QCOMPARE(records[1]["SMTP_RELAY"].toString(), "localhost");
    }

    void checksAsAMonitoringPlugin_data()
    {
        // sample-broker is started or stopped first; each of `units` is installed beside it for
        // the row, stopped, or masked when it ends in " masked".
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QStringList>("units");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line"); // how the output begins
        QTest::addColumn<QString>("figures"); // not_running, disabled, and not_running's warn;crit
        const QString manyDown = "lots-of-brokers-" + QString(220, 'y');
        QStringList many;
        for (int i = 0; i < 40; ++i)
            many << manyDown + QString::number(i);
        QTest::newRow("every broker runs") << QStringList{"--timeout", "9", "--check"} << "start" << QStringList{} << 0
                                           << "BROKERS OK - 1 of 1 running |" << "0 0 ;0";
        QTest::newRow("one stopped, named") << QStringList{"localhost", "--check"} << "stop" << QStringList{} << 2
                                            << "BROKERS CRITICAL - 1 of 1 stopped: sample-broker |" << "1 0 ;0";
        QTest::newRow("inside the critical range, values joined") << QStringList{"-Hlocalhost", "-c1"} << "stop"
                                                                  << QStringList{} << 0
                                                                  << "BROKERS OK - 1 of 1 stopped: sample-broker |" << "1 0 ;1";
        QTest::newRow("outside the warning range") << QStringList{"--hostname=localhost", "-w", "0", "-c5"} << "stop"
                                                   << QStringList{} << 1 << "BROKERS WARNING - 1 of 1" << "1 0 0;5";
        QTest::newRow("inside with @, below with ~") << QStringList{"--check", "-w", "@0:0", "-c", "~:0"} << "start"
                                                     << QStringList{} << 1 << "BROKERS WARNING - 1 of 1 running |"
                                                     << "0 0 @0:0;~:0";
        QTest::newRow("a range that ends below its start") << QStringList{"--check", "-c", "2:1"} << "start" << QStringList{}
                                                           << 3 << "BROKERS UNKNOWN - -c takes a range" << "";
        QTest::newRow("a masked broker is set aside")
            << QStringList{"--check"} << "start" << QStringList{"aside-broker masked"} << 0
            << "BROKERS OK - 1 of 2 running; 1 set aside: aside-broker |" << "0 1 ;0";
        QTest::newRow("one left out, in any letter case")
            << QStringList{"--check", "-x", "SAMPLE-*", "--exclude=*-worker"} << "stop" << QStringList{"other-broker"} << 2
            << "BROKERS CRITICAL - 1 of 1 stopped: other-broker |" << "1 0 ;0";
        QTest::newRow("nothing left is UNKNOWN") << QStringList{"--check", "-x", "*"} << "start" << QStringList{} << 3
                                                 << "BROKERS UNKNOWN - no broker services on localhost but the 1 left out"
                                                 << "0 0 ;0";
        QTest::newRow("unless its state is given")
            << QStringList{"--check", "-x", "sample-?roker", "--empty-state", "ok"} << "start" << QStringList{} << 0
            << "BROKERS OK - no broker services on localhost" << "0 0 ;0";
        QTest::newRow("a state that is none") << QStringList{"--check", "--empty-state", "green"} << "start"
                                              << QStringList{} << 3 << "BROKERS UNKNOWN - --empty-state takes" << "";
        QTest::newRow("long output within its limit") << QStringList{"--check", "-v"} << "stop" << many << 2
                                                      << "BROKERS CRITICAL - 41 of 41 stopped: " << "41 0 ;0";
        QTest::newRow("the source fails, in its words")
            << QStringList{"--check", "root@127.0.0.1:2"} << "stop" << QStringList{} << 3
            << "BROKERS UNKNOWN - sd_bus_start-->ssh: connect to host 127.0.0.1 port 2: Connection refused" << "";
        QTest::newRow("no answer in time, in the state asked for")
            << QStringList{"--check", "-H", "root@127.0.0.5:2222", "-t", "1:CRITICAL"} << "stop" << QStringList{} << 2
            << "BROKERS CRITICAL - no answer from root@127.0.0.5:2222 within 1 seconds" << "";
        QTest::newRow("metrics that cannot be written") << QStringList{"--metrics", "/nonexistent/brokers.prom"} << "start"
                                                        << QStringList{} << 3
                                                        << "BROKERS UNKNOWN - the metrics could not be written to "
                                                           "/nonexistent/brokers.prom: No such file or directory"
                                                        << "";
        QTest::newRow("an unknown option") << QStringList{"--check", "-q"} << "stop" << QStringList{} << 3
                                           << "BROKERS UNKNOWN - \"-q\" is no option of --check" << "";
        QTest::newRow("no server") << QStringList{"--check", ""} << "stop" << QStringList{} << 3
                                   << "BROKERS UNKNOWN - Fill in the name to the server to monitor" << "";
        QTest::newRow("the usage") << QStringList{"-h"} << "stop" << QStringList{} << 3
                                   << "Usage: tarvik-broker-servicecheck --check" << "";
        QTest::newRow("the version") << QStringList{"--check", "-V"} << "stop" << QStringList{} << 3
                                     << "tarvik-broker-servicecheck 1." << "";
    }

    void checksAsAMonitoringPlugin()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, sample);
        QFETCH(QStringList, units);
        QFETCH(QString, line);
        QFETCH(QString, figures);
        QCOMPARE(UserManager::Systemctl({sample, "sample-broker"}), 0);
        const auto removeUnits = qScopeGuard([&units] {
            for (const QString &unit : units)
                unit.endsWith(" masked") ? UserManager::Systemctl({"unmask", unit.section(' ', 0, 0)})
                                         : QFile::remove(QDir::homePath() + "/.config/systemd/user/" + unit + ".service");
            UserManager::Systemctl({"daemon-reload"});
        });
        for (const QString &unit : units)
            QVERIFY(unit.endsWith(" masked") ? UserManager::Systemctl({"mask", unit.section(' ', 0, 0)}) == 0
                                             : UserManager::InstallUnit(unit));
        QCOMPARE(UserManager::Systemctl({"daemon-reload"}), 0);
        QTcpServer silent; // takes ssh's connection and never greets
        QVERIFY(silent.listen(QHostAddress("127.0.0.5"), 2222));
        // As an engine runs it: a process of its own, without a display.
        const Ran check = RunProgram(MONITOR_PROGRAM, arguments, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        QTEST(check.Status, "status");
        // Nothing it started outlives it: no ssh to the silent host is left behind.
        QTRY_COMPARE(RunProgram("pgrep", {"-f", "^ssh .*127.0.0.5"}).Status, 1);
        const QString said = QString::fromUtf8(check.Output);
        QVERIFY2(said.startsWith(line) && said.endsWith('\n'), qPrintable(said));
        if (figures.isEmpty())
            return;
        // Performance data by the guidelines' rule, 'label'=value[UOM];[warn];[crit];[min];[max],
        // every count of the total.
        const QStringList lines = said.split('\n', Qt::SkipEmptyParts);
        static const QRegularExpression rule(R"(^'?([^'=]+)'?=(\d+)[a-zA-Z%]*;([^;]*);([^;]*);([^;]*);([^;]*)$)");
        QMap<QString, QStringList> counts;
        for (const QString &item : lines[0].section(" | ", 1).split(' ')) {
            const QRegularExpressionMatch match = rule.match(item);
            QVERIFY2(match.hasMatch(), qPrintable(item));
            counts[match.captured(1)] = match.capturedTexts().mid(2);
        }
        const QString total = counts["total"].value(0);
        for (const QStringList &count : counts)
            QVERIFY(count[3] == "0" && count[4] == total);
        const QStringList notRunning = counts["not_running"];
        QCOMPARE(counts["running"][0].toInt() + notRunning[0].toInt() + counts["disabled"][0].toInt(), total.toInt());
        QCOMPARE(notRunning[0] + " " + counts["disabled"][0] + " " + notRunning[1] + ";" + notRunning[2], figures);
        // The long output: a line for each broker, those past the engines' limit counted.
        QCOMPARE(lines.size() > 1, arguments.contains("-v"));
        if (lines.size() > 1) {
            const int more = lines.last().section(' ', 2, 2).toInt();
            QVERIFY2(lines.last() == QString("... and %1 more").arg(more) && more > 0, qPrintable(lines.last()));
            QCOMPARE(lines.size() - 2 + more, total.toInt());
            QVERIFY(check.Output.size() < 8192);
        }
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
