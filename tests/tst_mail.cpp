// The notification mail: the dialogue over the real socket with a scripted relay on virtual
// time, and the Date header. Delivery through a real relay is the end-to-end test's.
#include "mail/notificationmail.h"
#include "platform/net/mailsocket_qt.h"
#include "platform/os/credentialstore_linux.h"
#include "platform/time/clocks_qt.h"
#include "tests/support/runprogram.h"
#include "tests/support/scriptedsmtppeer.h"
#include "tests/support/simulatedplatform.h"

#include <QtTest>

#include <ctime>

namespace {

const QString TimedOut = "SMTP service error, timed out while waiting for response";
const QString WrongCode = "SMTP service error, impromper response code. Code should have been: %1 Code recieved: %2";

// The mail as the monitoring cycle sends it, to `host`.
MailResult Send(NotificationMail &mail, const QString &host, const QString &body)
{
    return mail.SendEmail(host.toStdString(), "TarvikBroker", "ops@example.org", "TarvikBrokerQueue", "ops@example.org",
                          "Tarvik Broker Service Check Message", body.toStdString());
}

// A relay's side of the whole dialogue over the mail of Send, each reply after the command
// it answers; reply `index` (0 the greeting) replaced by the steps `instead`, and the script
// cut short at an "END" among them.
QStringList Dialogue(int index = -1, const QStringList &instead = {},
                     const QStringList &body = {"C:Please restart Tarvik Broker process SampleBroker"})
{
    QList<QStringList> replies{{"S:220 relay ready"}, {"S:250 relay"}, {"S:250 ok"}, {"S:250 ok"},
                               {"S:354 go ahead"},    {"S:250 queued"}, {"S:221 bye"}};
    if (index >= 0)
        replies[index] = instead;
    const QStringList script =
        replies[0] + QStringList{"C:EHLO broker-monitor.localdomain"} + replies[1] +
        QStringList{"C:mail from:<ops@example.org>"} + replies[2] + QStringList{"C:rcpt to:<ops@example.org>"} +
        replies[3] + QStringList{"C:data"} + replies[4] +
        QStringList{"C:From: \"TarvikBroker\" <ops@example.org>", "C:Date: Sun, 06 Dec 2026 21:34:18 -0600",
                    "C:X-Mailer: STMP Sender", "C:To: \"TarvikBrokerQueue\" <ops@example.org>",
                    "C:Subject: Tarvik Broker Service Check Message",
                    "R:Message-ID: <20261206213418\\.[0-9a-f]{16}@[-.a-zA-Z0-9]+>", "C:"} +
        body + QStringList{"C:", "C:", "C:."} + replies[5] + QStringList{"C:quit"} + replies[6];
    return script.mid(0, script.indexOf("END"));
}

// The mail as the window sends it over the real socket, on virtual time over the real
// event loop, so that a silent relay costs no real quarter of a minute.
struct RealMail {
    static constexpr double Start = 86398;
    QtEventLoop Loop;
    SimulatedPlatform Platform{Start, &Loop};
    QtMailSocket Socket;
    NotificationMail Mail{Socket, {Platform, Platform, Platform, Platform, Platform, std::make_shared<SecretServiceStore>()},
                          [](const std::string &) {}};
};

} // namespace

class MailTest : public QObject {
    Q_OBJECT
private slots:
    // The logins of the relays below, kept as an operator keeps them: by the program, with the
    // password on its standard input.
    void initTestCase()
    {
        const QString password = qEnvironmentVariable("BROKER_TEST_RELAY_PASSWORD");
        for (const auto &[account, kept] : {std::pair<QString, QString>{"ops@relay.test:587", password},
                                            {"ops@login-only.relay.test:587", password}, {"ops@relay.test:465", password},
                                            {"ops@untrusted.relay.test:587", password}, {"intruder@relay.test:587", "guess"}})
            QCOMPARE(RunProgram("sh", {"-c", R"(printf %s "$1" | "$0" --set-relay-password "$2")", MONITOR_PROGRAM, kept,
                                       account}).Status, 0);
    }

    void dialogueEndsAtItsFirstFailure_data()
    {
        // The scripted relay listens on 127.0.0.9 alone, so 127.0.0.8 refuses the connection.
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("message"); // what the failure, if any, begins with
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("seconds"); // on the virtual clock

        const QString body = "Please restart Tarvik Broker process SampleBroker\r\n";
        const QString noConnection = "SMTP service error, no connection with %1: %2";
        const auto add = [&](const char *name, QStringList script, QString message = {}, bool accepted = false,
                             double seconds = 0, QString host = "127.0.0.9", QString text = {}) {
            QTest::newRow(name) << script << host << (text.isEmpty() ? body : text) << message << accepted << seconds;
        };
        add("relay accepts after nine minutes: the dialogue exact on the wire",
            Dialogue(5, {"P:540", "S:250 queued"}, {"C:..", "C:..x", "C:bare", "C:CR, bare", "C:LF, Grüße"}), {}, true, 540,
            "127.0.0.9", ".\r\n.x\r\nbare\rCR, bare\nLF, Grüße\r\n");
        add("multi-line greeting with a pause in its last line",
            Dialogue(0, {"S:220-relay.example.org", "W:220 rea", "P:10", "S:dy"}), {}, true, 10);
        add("connection refused", {}, noConnection.arg("127.0.0.8", "Connection refused"), false, 0, "127.0.0.8");
        add("a name that does not resolve", {}, noConnection.arg("nonexistent.invalid", "Host not found"),
            false, 0, "nonexistent.invalid");
        add("line break in a field: nothing sent", {}, "The mail was not sent: MailServerName holds a line break",
            false, 0, "127.0.0.9\rrcpt to:<victim@example.org>");
        add("silence", {}, TimedOut, false, 15);
        add("ehlo answered 16 s late", Dialogue(1, {"P:16", "S:250 late", "END"}), TimedOut, false, 15);
        add("a relay that knows no EHLO: HELO, and the dialogue as before EHLO",
            Dialogue(1, {"S:502 command not implemented", "C:HELO broker-monitor.localdomain", "S:250 relay"}), {}, true, 0);
        add("421 greeting, then the relay closes", Dialogue(0, {"S:421 busy", "CLOSE", "END"}),
            WrongCode.arg("220", "421 busy\r\n"), false, 0);
        add("550 recipient, quit unanswered: not a line of the message follows",
            Dialogue(3, {"S:550 no such user", "C:quit", "END"}), WrongCode.arg("250", "550 no such user\r\n"), false, 5);
        add("a megabyte without a line end: answered as it grows",
            Dialogue(0, {"W:" + QString(1 << 20, 'A'), "C:quit", "S:221 bye", "END"}), WrongCode.arg("220", "AAA"), false, 0);
        add("STARTTLS refused with 454 on port 25: the mail in plain text",
            Dialogue(1, {"S:250-relay", "S:250 STARTTLS", "C:STARTTLS", "S:454 TLS not available"}), {}, true, 0);
        add("more than the reply to STARTTLS: nothing goes on",
            Dialogue(1, {"S:250-relay", "S:250 STARTTLS", "C:STARTTLS", "W:220 go\r\n250 ok\r\n", "C:quit", "END"}),
            "127.0.0.9 sent more than its reply to STARTTLS", false, 0);
        add("recipient forwarded with 251: delivered", Dialogue(3, {"S:251 will forward"}), {}, true, 0);
        add("relay closes once it took the message: delivered", Dialogue(6, {"CLOSE"}), {}, true, 0);
        add("quit never answered: delivered, after a short goodbye", Dialogue(6, {}), {}, true, 5);
        add("100 KB of continuation lines: too long to be a reply, however it ends",
            Dialogue(0, {"W:" + QString("220-continued\r\n").repeated(8000), "S:220 ready", "C:quit", "S:221 bye", "END"}),
            WrongCode.arg("220", "220-continued"), false, 0);
        add("relay closes instead of taking the message", Dialogue(5, {"CLOSE", "END"}),
            noConnection.arg("127.0.0.9", "The remote host closed the connection"), false, 0);
    }

    void dialogueEndsAtItsFirstFailure()
    {
        QFETCH(QStringList, script);
        QFETCH(QString, host);
        QFETCH(QString, body);
        QFETCH(QString, message);
        QFETCH(double, seconds);
        RealMail rig;
        ScriptedSmtpPeer peer("127.0.0.9", script, rig.Platform);

        const MailResult sent = Send(rig.Mail, host, body);
        QTEST(sent.Delivered, "accepted");
        QTRY_VERIFY(peer.ClientGone());
        QVERIFY2(peer.RanWholeScript(), qPrintable(peer.Mismatches.join('\n')));
        const QString failure = sent.Failure ? QString::fromStdString(sent.Failure->Words) : QString();
        QCOMPARE(sent.Failure.has_value(), !message.isEmpty());
        QVERIFY2(failure.startsWith(message), qPrintable(failure));
        QVERIFY2(std::abs(rig.Platform.Now - RealMail::Start - seconds) < 0.5,
                 qPrintable(QString::number(rig.Platform.Now - RealMail::Start)));
        QCOMPARE(rig.Socket.ConnectionState(), int16_t(0));
    }

    void deliversThroughTlsAndLogins_data()
    {
        // The relays of tests/support/with-tls-relays.sh, with the logins kept below.
        QTest::addColumn<QString>("relay");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("received"); // by the relay, in order
        QTest::addColumn<QString>("failure");      // how the failure begins; none when delivered
        const QString ehlo = "EHLO broker-monitor.localdomain";
        const QStringList tls{ehlo, "STARTTLS", ehlo}, message{"MAIL from:<ops@example.org>", "RCPT to:<ops@example.org>",
                                                                "DATA", "QUIT"};
        const auto add = [](const char *name, QString relay, QString log, QStringList received, QString failure = {}) {
            QTest::newRow(name) << relay << log << received << failure;
        };
        add("port 25 offering STARTTLS: the mail in TLS", "relay.test", "127.0.0.20_25", tls + message);
        add("587: STARTTLS, then AUTH PLAIN", "ops@relay.test:587", "127.0.0.20_587", tls + QStringList{"AUTH PLAIN"} + message);
        add("587 offering LOGIN only", "ops@login-only.relay.test:587", "127.0.0.21_587", tls + QStringList{"AUTH LOGIN"} + message);
        add("465: TLS from the first byte", "ops@relay.test:465", "127.0.0.20_465", QStringList{ehlo, "AUTH PLAIN"} + message);
        add("a wrong password: the relay's words", "intruder@relay.test:587", "127.0.0.20_587",
            tls + QStringList{"AUTH PLAIN", "QUIT"}, "relay.test refused the login of intruder: 535 5.7.8 Authentication");
        add("a certificate nobody trusts: the password stays", "ops@untrusted.relay.test:587", "127.0.0.22_587", tls + QStringList{"QUIT"},
            "The certificate of untrusted.relay.test is not trusted (");
        add("port 25 whose TLS is too old: the mail again, in plain text", "old-tls.relay.test", "127.0.0.24_25",
            tls + message);
        add("no STARTTLS on a submission port: nothing sent", "plain.relay.test:587", "127.0.0.23_587", {ehlo, "QUIT"},
            "plain.relay.test offers no STARTTLS, and port 587 takes mail only inside TLS: nothing was sent.");
    }

    void deliversThroughTlsAndLogins()
    {
        QFETCH(QString, relay);
        QFETCH(QString, log);
        QFETCH(QString, failure);
        QFile received(qEnvironmentVariable("BROKER_TEST_RELAY_LOGS") + "/" + log + ".log");
        received.remove();
        RealMail rig;
        const MailResult sent = Send(rig.Mail, relay, "Please restart Tarvik Broker process SampleBroker\r\n");
        const QString said = sent.Failure ? QString::fromStdString(sent.Failure->Words) : QString();
        QVERIFY2(sent.Delivered == failure.isEmpty() && said.startsWith(failure), qPrintable(said));
        QVERIFY(received.open(QIODevice::ReadOnly));
        const QString heard = QString::fromUtf8(received.readAll());
        QTEST(heard.split('\n', Qt::SkipEmptyParts), "received");
        const QString password = qEnvironmentVariable("BROKER_TEST_RELAY_PASSWORD");
        QVERIFY(!said.contains(password) && !heard.contains(password));
    }

    void dateHeaderHasTheOffsetOfItsMoment_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("utc");
        QTest::addColumn<QString>("date");
        QTest::newRow("UTC") << QByteArray("UTC") << "2026-12-06T21:34:18Z" << "Sun, 06 Dec 2026 21:34:18 +0000";
        QTest::newRow("last second of Berlin's winter time")
            << QByteArray("Europe/Berlin") << "2026-03-29T00:59:59Z" << "Sun, 29 Mar 2026 01:59:59 +0100";
        QTest::newRow("first second of Berlin's summer time")
            << QByteArray("Europe/Berlin") << "2026-03-29T01:00:00Z" << "Sun, 29 Mar 2026 03:00:00 +0200";
        QTest::newRow("half an hour behind, in Newfoundland")
            << QByteArray("America/St_Johns") << "2026-01-15T03:00:00Z" << "Wed, 14 Jan 2026 23:30:00 -0330";
    }

    void dateHeaderHasTheOffsetOfItsMoment()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, utc);
        qputenv("TZ", zone);
        tzset();
        QTEST(QString::fromStdString(MailDateValue(LocalDateTimeOf(QDateTime::fromString(utc, Qt::ISODate)))), "date");
    }
};

QTEST_GUILESS_MAIN(MailTest)
#include "tst_mail.moc"
