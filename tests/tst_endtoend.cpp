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
        // sample-broker, the one broker of the manager, is started or stopped first.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line"); // how the status line begins
        QTest::newRow("every broker runs") << QStringList{"--timeout", "9", "--check"} << "start" << 0
                                           << "BROKERS OK - 1 of 1 running |";
        QTest::newRow("one stopped, named") << QStringList{"localhost", "--check"} << "stop" << 2
                                            << "BROKERS CRITICAL - 1 of 1 stopped: sample-broker |";
        QTest::newRow("the source fails, in its words")
            << QStringList{"--check", "root@127.0.0.1:2"} << "stop" << 3
            << "BROKERS UNKNOWN - sd_bus_start-->ssh: connect to host 127.0.0.1 port 2: Connection refused";
        QTest::newRow("no answer in time") << QStringList{"--check", "root@127.0.0.5:2222", "--timeout", "1"} << "stop"
                                           << 3 << "BROKERS UNKNOWN - no answer from root@127.0.0.5:2222 within 1 seconds";
        QTest::newRow("an unknown option") << QStringList{"--check", "-v"} << "stop" << 3
                                           << "BROKERS UNKNOWN - \"-v\" is no option of --check";
        QTest::newRow("no server") << QStringList{"--check", ""} << "stop" << 3
                                   << "BROKERS UNKNOWN - Fill in the name to the server to monitor";
        QTest::newRow("the usage") << QStringList{"-h"} << "stop" << 3 << "Usage: tarvik-broker-servicecheck --check";
    }

    void checksAsAMonitoringPlugin()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, unit);
        QFETCH(QString, line);
        QCOMPARE(UserManager::Systemctl({unit, "sample-broker"}), 0);
        QTcpServer silent; // takes ssh's connection and never greets
        QVERIFY(silent.listen(QHostAddress("127.0.0.5"), 2222));
        // As an engine runs it: a process of its own, without a display.
        const Ran check = RunProgram(MONITOR_PROGRAM, arguments, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        QTEST(check.Status, "status");
        // Nothing it started outlives it: no ssh to the silent host is left behind.
        QTRY_COMPARE(RunProgram("pgrep", {"-f", "^ssh .*127.0.0.5"}).Status, 1);
        const QString said = QString::fromUtf8(check.Output);
        QVERIFY2(said.startsWith(line) && said.endsWith('\n'), qPrintable(said));
        if (!said.startsWith("BROKERS"))
            return;
        QCOMPARE(said.count('\n'), 1);
        // Performance data as the convention defines it: label=value;warn;crit;min, the counts adding up.
        QMap<QString, int> counts;
        for (const QString &item : said.trimmed().section('|', 1).split(' ', Qt::SkipEmptyParts)) {
            const QStringList fields = item.section('=', 1).split(';');
            QVERIFY2(fields.size() == 4 && fields[3] == "0", qPrintable(item));
            counts[item.section('=', 0, 0)] = fields[0].toInt();
        }
        QCOMPARE(counts.value("running") + counts.value("stopped"), counts.value("total"));
        QCOMPARE(counts.value("stopped") > 0, said.contains("CRITICAL"));
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
