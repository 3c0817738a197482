// The whole program as an operator meets it: the real window and platform, a systemd user
// manager standing in for the server's, and aiosmtpd on port 25 of a private loopback.
#include "monitor/qtwindowplatform.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "tests/support/aiosmtpdserver.h"
#include "tests/support/observedsource.h"
#include "tests/support/usermanager.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>

namespace {

const QString Broker = "sample-broker";
using UserManager::Sleeper;

// Dismisses every message box the window shows, noting its text.
class MessageDismisser : public QObject {
public:
    MessageDismisser()
    {
        connect(&Poll, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                Texts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        Poll.start(20);
    }

    QStringList Texts;

private:
    QTimer Poll;
};

// The real window on the real platform, with the listings observed.
struct Program {
    Program()
        : Window({Platform.Monitor().Services, Platform.Winsock1, Source, Platform.Ticks, Platform.CloseBox,
                  [this] { Platform.EndProgram(); }})
    {
        Window.show();
    }

    void Type(QLineEdit *field, const QString &text)
    {
        field->clear();
        QTest::keyClicks(field, text);
    }

    QtWindowPlatform Platform;
    ObservedSource Source{Platform.Source};
    TarvikBrokerServiceCheck Window;
    MessageDismisser Messages;
};

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void monitorsMailsAndLeavesThroughExit();
    void exitWhileACancelledLoopWaitsEndsAtOnce();

private:
    AiosmtpdServer Relay;
};

void EndToEndTest::initTestCase()
{
    QApplication::setApplicationName("Tarvik Broker ServiceCheck");
    QVERIFY(UserManager::InstallUnit(Broker, Sleeper));
    QVERIFY(UserManager::InstallUnit("broker-logger", Sleeper));
    QVERIFY(UserManager::InstallUnit("plain-worker", Sleeper));
    QCOMPARE(UserManager::Systemctl({"daemon-reload"}), 0);
    QVERIFY2(Relay.Start(25), qPrintable(Relay.Failure));
}

void EndToEndTest::monitorsMailsAndLeavesThroughExit()
{
    Program program;
    TarvikBrokerServiceCheck &window = program.Window;
    QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
    program.Type(window.mBrokerID, "localhost");
    program.Type(window.mToAddress, "ops@example.org");
    program.Type(window.mSmtpID, "localhost");
    program.Type(window.mInterval, "0.005");
    QTest::mouseClick(window.mSendMail, Qt::LeftButton, {}, QPoint(5, 5));

    QString reportAfterFirstScan;
    QStringList statusBeforeScan;
    QList<qsizetype> mailsBeforeScan;
    program.Source.BeforeListing = [&](int listing) {
        if (listing == 1)
            return;
        statusBeforeScan << window.StatusTxt->text();
        mailsBeforeScan << Relay.Messages().size();
        if (listing == 2) {
            reportAfterFirstScan = window.txChanges->toPlainText();
        } else if (listing == 3) {
            QCOMPARE(UserManager::Systemctl({"start", Broker}), 0);
            QVERIFY(UserManager::AwaitState(Broker, "active"));
        } else if (listing == 4) {
            QCOMPARE(UserManager::Systemctl({"stop", Broker}), 0);
            QVERIFY(UserManager::AwaitState(Broker, "inactive"));
        } else if (listing == 5) {
            // During the wait after this cycle: Exit is refused, then the loop is cancelled.
            QTimer::singleShot(0, window.ExitProgram, &QPushButton::click);
            QTimer::singleShot(50, window.CheckBroker.at(1), &QPushButton::click);
        }
    };
    window.CheckBroker.at(1)->click();

    const QString rule42(42, '='), rule57(57, '=');
    QCOMPARE(reportAfterFirstScan, rule42 + "\nTarvik Broker Service Information for localhost\n" + rule42 +
                                       "\nService Name: sample-broker\nPID: 0\nType of Service: simple\n"
                                       "Service State: Stopped\n" + rule57 + "\n");
    const QString sent = "Tarvik Broker Error Notification Mail Sent";
    QCOMPARE(statusBeforeScan, (QStringList{sent, "N/A", "N/A", sent}));
    QCOMPARE(mailsBeforeScan, (QList<qsizetype>{1, 1, 1, 2}));
    const QByteArray mail = Relay.Messages().constFirst();
    QVERIFY(mail.contains("From: \"TarvikBroker\" <ops@example.org>\n"));
    QVERIFY(mail.contains("To: \"TarvikBrokerQueue\" <ops@example.org>\n"));
    QVERIFY(mail.contains("\n\nPlease restart Tarvik Broker process sample-broker\n"));
    QCOMPARE(program.Source.Listings, 5);
    QCOMPARE(program.Messages.Texts, QStringList{"First Cancel processing before exiting this program!"});
    QVERIFY(!window.IsProcessing());
    QCOMPARE(window.CheckBroker.at(1)->text(), "Check Broker Instances");

    window.ExitProgram->click();
    QVERIFY(!window.isVisible());
    QCOMPARE(program.Messages.Texts.size(), 1);
}

void EndToEndTest::exitWhileACancelledLoopWaitsEndsAtOnce()
{
    Program program;
    TarvikBrokerServiceCheck &window = program.Window;
    program.Type(window.mInterval, "10");
    program.Source.BeforeListing = [&](int) {
        QTimer::singleShot(0, window.CheckBroker.at(1), &QPushButton::click);
        QTimer::singleShot(50, window.ExitProgram, &QPushButton::click);
    };
    // Were the pending loop to wait out its ten minutes, the test's time-out would end it.
    window.CheckBroker.at(1)->click();

    QVERIFY(!window.isVisible());
    QVERIFY(!window.IsProcessing());
    QCOMPARE(program.Source.Listings, 1);
    QCOMPARE(program.Messages.Texts, QStringList{});
}

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
