// The notification mail: the reply wait on virtual time, the dialogue over the real socket
// with a scripted relay, and delivery through real relays (tests/support/with-relays.sh).
#include "mail/notificationmail.h"
#include "platform/mailsocket_qt.h"
#include "tests/support/simulatedplatform.h"
#include "tests/support/maildir.h"
#include "tests/support/scriptedsmtppeer.h"

#include <QtTest>

namespace {

const QString TimedOut = "SMTP service error, timed out while waiting for response";
const QString WrongCode = "SMTP service error, impromper response code. Code should have been: %1 Code recieved: %2";

// MailServerName, FromName, FromEmailAddress, ToName, ToEmailAddress, EmailSubject, body, as
// the monitoring cycle passes them, with some of them changed.
bool Send(NotificationMail &mail, const std::map<int, QString> &changed)
{
    QStringList fields{"127.0.0.9", "TarvikBroker", "ops@example.org", "TarvikBrokerQueue", "ops@example.org",
                       "Tarvik Broker Service Check Message", "Please restart Tarvik Broker process SampleBroker\r\n"};
    for (const auto &[field, text] : changed)
        fields[field] = text;
    const auto f = [&fields](int field) { return fields[field].toStdString(); };
    return mail.SendEmail(f(0), f(1), f(2), f(3), f(4), f(5), f(6));
}

// A relay's side of the whole dialogue over the mail of Send, each reply after the command
// it answers; reply `index` (0 the greeting) replaced by `instead`.
QStringList Dialogue(int index = -1, const QString &instead = {},
                     const QStringList &body = {"C:Please restart Tarvik Broker process SampleBroker"})
{
    QStringList replies{"S:220 relay ready", "S:250 relay", "S:250 ok", "S:250 ok", "S:354 go ahead", "S:250 queued",
                        "S:221 bye"};
    if (index >= 0)
        replies[index] = instead;
    return QStringList{replies[0], "C:HELO broker-monitor.localdomain", replies[1], "C:mail from:<ops@example.org>",
                       replies[2], "C:rcpt to:<ops@example.org>", replies[3], "C:data", replies[4],
                       "C:From: \"TarvikBroker\" <ops@example.org>", "C:Date: So., 06 Dez. 2026 21:34:18 -0600",
                       "C:X-Mailer: STMP Sender", "C:To: \"TarvikBrokerQueue\" <ops@example.org>",
                       "C:Subject: Tarvik Broker Service Check Message", "C:"} +
           body + QStringList{"C:", "C:", "C:.", replies[5], "C:quit", replies[6]};
}

// The mail as the window sends it over the real socket, on virtual time over the real
// event loop, so that a silent relay costs no real quarter of a minute.
struct RealMail {
    QtEventLoop Loop;
    SimulatedPlatform Platform{3600, &Loop};
    QtMailSocket Socket;
    QStringList Captions;
    NotificationMail Mail{Socket, Platform.Services(),
                          [this](const std::string &caption) { Captions << QString::fromStdString(caption); }};
};

} // namespace

class MailTest : public QObject {
    Q_OBJECT
private slots:
    void replyWait_data()
    {
        // "seconds after the wait began:data", where data at 0 is in Response before the wait
        // begins; "seconds:+n" is a handler that keeps the thread n seconds; "seconds:clock-n"
        // sets the clock back n seconds.
        QTest::addColumn<double>("start");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("responseAfter");

        QTest::newRow("silence across midnight") << 86395.0 << QStringList{} << TimedOut << "";
        QTest::newRow("clock set back during the wait") << 3600.0 << QStringList{"5:clock-3600"} << TimedOut << "";
        QTest::newRow("each arrival replaces the last; the limit runs from the wait's start")
            << 3600.0 << QStringList{"1:550 a\r\n", "10:551 b\r\n"} << WrongCode.arg("250", "551 b\r\n") << "551 b\r\n";
        QTest::newRow("stale reply with the expected code is taken before new data")
            << 3600.0 << QStringList{"0:250 old\r\n", "5:550 new\r\n"} << "" << "";
        QTest::newRow("data in the pump of the pass past the limit stays for the next wait")
            << 3600.0 << QStringList{"14.9:+0.2", "15.1:250 late\r\n"} << TimedOut << "250 late\r\n";
    }

    void replyWait()
    {
        QFETCH(double, start);
        QFETCH(QStringList, events);
        QFETCH(QString, message);

        SimulatedPlatform platform(start);
        NotificationMail mail(platform, platform.Services(), [](const std::string &) {});
        for (const QString &event : events) {
            const QString what = event.section(':', 1);
            platform.At(start + event.section(':', 0, 0).toDouble(), [&platform, what] {
                if (what.startsWith('+'))
                    platform.Now += what.mid(1).toDouble();
                else if (what.startsWith("clock"))
                    platform.ClockSetBy += what.mid(5).toDouble();
                else
                    platform.Deliver(what.toStdString());
            });
        }
        platform.PumpMessages();

        mail.WaitFor("250");

        QTEST(QString::fromStdString(mail.PendingResponse()), "responseAfter");
        QCOMPARE(platform.Texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        for (const auto &box : platform.Boxes) {
            QCOMPARE(box.Style, MessageBoxStyle::OkInformation);
            QCOMPARE(box.Title, std::optional<std::string>(""));
            // A little more than the limit after the wait began, never before it.
            QVERIFY2(box.At - start > 15.0 && box.At - start < 15.2, qPrintable(QString::number(box.At - start)));
        }
        // Passes follow events, not time: a silent wait sleeps instead of spinning.
        QVERIFY(platform.Pumps <= 2 * events.size() + 3);
    }

    void refusalSendsNothing()
    {
        const std::tuple<int, QString, QString> refusals[] = {
            // the field, its text, what the box begins with
            {0, "127.0.0.9", " 7"}, // the socket is still open
            {4, "ops@example.org\nrcpt to:<victim@example.org>", "The mail was not sent: ToEmailAddress holds a line break"},
            {5, "Check\rBcc: victim@example.org", "The mail was not sent: EmailSubject holds a line break"}};
        for (const auto &[field, text, message] : refusals) {
            SimulatedPlatform platform;
            platform.State = message == " 7" ? 7 : 0;
            NotificationMail mail(platform, platform.Services(), [](const std::string &) { QFAIL("a status was shown"); });
            QVERIFY(!Send(mail, {{field, text}}));
            QCOMPARE(platform.Texts().size(), 1);
            QCOMPARE(platform.Texts()[0].left(message.size()), message);
            QVERIFY(platform.Sent.empty() && platform.RemoteHost.empty());
        }
    }

    void dialogue_data()
    {
        // The scripted relay listens on 127.0.0.9 alone, so 127.0.0.8 refuses the connection.
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("accepted");

        const QString body = "Please restart Tarvik Broker process SampleBroker\r\n";
        QTest::newRow("relay accepts: the dialogue exact on the wire")
            << Dialogue(-1, {}, {"C:..", "C:..x", "C:bare", "C:CR, bare", "C:LF, Grüße"}) << "127.0.0.9"
            << ".\r\n.x\r\nbare\rCR, bare\nLF, Grüße\r\n" << QStringList{} << true;
        QTest::newRow("relay resets while the message arrives")
            << Dialogue().mid(0, 10) + QStringList{"RST"} << "127.0.0.9" << body << QStringList(2, TimedOut) << false;
        QTest::newRow("connection refused") << QStringList{} << "127.0.0.8" << body << QStringList(7, TimedOut) << false;
        QTest::newRow("1 MiB greeting") << Dialogue(0, "S:" + QString(1 << 20, 'A')) << "127.0.0.9" << body
                                        << QStringList{WrongCode.arg("220", "A")} << true;
    }

    void dialogue()
    {
        QFETCH(QStringList, script);
        QFETCH(QString, host);
        QFETCH(QString, body);
        QFETCH(QStringList, messages);
        ScriptedSmtpPeer peer("127.0.0.9", script);
        RealMail rig;

        QTEST(Send(rig.Mail, {{0, host}, {6, body}}), "accepted");
        // Up to the expected length: a 1 MiB reply arrives in pieces of any size, the last shown.
        const QStringList shown = rig.Platform.Texts();
        QCOMPARE(shown.size(), messages.size());
        for (qsizetype i = 0; i < shown.size(); ++i)
            QCOMPARE(shown[i].left(messages[i].size()), messages[i]);
        QVERIFY2(peer.RanWholeScript(), qPrintable(peer.Mismatches.join('\n')));
        QCOMPARE(peer.Connections, int(host == "127.0.0.9"));
        // The status lags one step behind the dialogue, whatever the relay answered.
        QCOMPARE(rig.Captions, (QStringList{"Connecting....", "Connected", "Sending Message", "Disconnecting"}));
        QCOMPARE(rig.Socket.ConnectionState(), int16_t(0));
    }

    void relayDeliversTheMail_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("maildir");
        const QString trees = qEnvironmentVariable("RELAY_TREES") + "/%1/home/ops/Maildir";
        QTest::newRow("aiosmtpd") << "127.0.0.1" << qEnvironmentVariable("BROKER_TEST_MAILDIR");
        QTest::newRow("Postfix, strict envelopes") << "127.0.0.2" << trees.arg("postfix");
        QTest::newRow("OpenSMTPD") << "127.0.0.3" << trees.arg("opensmtpd");
        QTest::newRow("Exim") << "127.0.0.4" << trees.arg("exim");
    }

    void relayDeliversTheMail()
    {
        QFETCH(QString, host);
        QFETCH(QString, maildir);
        RealMail rig;
        rig.Platform.IdleMs = 20000; // a real relay may take its time: the waits are real
        const qsizetype deliveredBefore = Delivered(maildir).size();

        QVERIFY(Send(rig.Mail, {{0, host}}));
        QVERIFY2(rig.Platform.Texts().isEmpty(), qPrintable(rig.Platform.Texts().join('\n')));
        QTRY_COMPARE_WITH_TIMEOUT(Delivered(maildir).size(), deliveredBefore + 1, 20000);
        const QByteArray message = Delivered(maildir).constLast();
        QVERIFY(message.contains("\nTo: \"TarvikBrokerQueue\" <ops@example.org>\n"));
        QVERIFY(message.contains("\n\nPlease restart Tarvik Broker process SampleBroker\n"));
    }
};

QTEST_GUILESS_MAIN(MailTest)
#include "tst_mail.moc"
