#include "mail/notificationmail.h"
#include "platform/eventloop_qt.h"
#include "platform/mailsocket_qt.h"
#include "platform/numberformat_qt.h"
#include "tests/support/portredirectingsocket.h"
#include "tests/support/recordingmessageboxes.h"
#include "tests/support/replymessages.h"
#include "tests/support/scriptedsmtppeer.h"
#include "tests/support/warpedtime.h"

#include <QtTest>

namespace {

// MailServerName, FromName, FromEmailAddress, ToName, ToEmailAddress, EmailSubject, body.
const QStringList Fields{"127.0.0.1", "TarvikBroker", "ops@example.org", "TarvikBrokerQueue",
                         "ops@example.org", "Tarvik Broker Service Check Message",
                         "Please restart Tarvik Broker process SampleBroker\r\n"};

// A relay accepting the mail of Fields, each reply after the command it answers; `reply` (0 the
// greeting, 6 the answer to quit) may be replaced by `instead`.
QStringList Dialogue(int reply = -1, const QString &instead = {})
{
    QStringList replies{"S:220 relay ready", "S:250 relay", "S:250 ok", "S:250 ok", "S:354 go ahead",
                        "S:250 queued", "S:221 bye"};
    if (reply >= 0)
        replies[reply] = instead;
    const QList<QStringList> commands{
        {"C:HELO broker-monitor.localdomain"},
        {"C:mail from:<ops@example.org>"},
        {"C:rcpt to:<ops@example.org>"},
        {"C:data"},
        {"C:From: \"TarvikBroker\" <ops@example.org>", "C:Date: Sun, 06 Dec 2026 21:34:18 -0600",
         "C:X-Mailer: STMP Sender", "C:To: \"TarvikBrokerQueue\" <ops@example.org>",
         "C:Subject: Tarvik Broker Service Check Message", "C:",
         "C:Please restart Tarvik Broker process SampleBroker", "C:", "C:", "C:."},
        {"C:quit"}};
    QStringList script{replies[0]};
    for (qsizetype i = 0; i < commands.size(); ++i)
        script << commands[i] << replies[i + 1];
    return script;
}

// The mail part over the real socket, its port 25 leading to the scripted relay's port.
struct Rig {
    explicit Rig(quint16 port) : Socket(RealSocket, port) {}

    // Sends the mail of Fields with field `index` replaced by `text`.
    void Send(int index = -1, const QString &text = {})
    {
        std::vector<std::string> f;
        for (qsizetype i = 0; i < Fields.size(); ++i)
            f.push_back((i == index ? text : Fields[i]).toStdString());
        Mail.SendEmail(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    }

    QStringList Shown() const
    {
        QStringList texts;
        for (const std::string &text : Boxes.Texts())
            texts << QString::fromStdString(text);
        return texts;
    }

    QtEventLoop Loop;
    WarpedTime Time{Loop};
    RecordingMessageBoxes Boxes;
    QtNumberFormat Numbers{QLocale::c()};
    QtMailSocket RealSocket;
    PortRedirectingSocket Socket;
    QStringList Captions;
    NotificationMail Mail{Socket, {Boxes, Loop, Time, Time, Numbers},
                          [this](const std::string &caption) { Captions << QString::fromStdString(caption); }};
};

} // namespace

class SmtpDialogueTest : public QObject {
    Q_OBJECT
private slots:
    void dialogueRunsToTheEndWhateverTheRelayDoes_data();
    void dialogueRunsToTheEndWhateverTheRelayDoes();
    void refusalSendsNothing_data();
    void refusalSendsNothing();
};

void SmtpDialogueTest::dialogueRunsToTheEndWhateverTheRelayDoes_data()
{
    // The scripted relay listens on 127.0.0.1 alone, so 127.0.0.2 refuses the connection.
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("relay accepts the mail") << Dialogue() << "127.0.0.1" << QStringList{};
    QTest::newRow("relay refuses the recipient, the data still goes")
        << Dialogue(3, "S:550 no such user") << "127.0.0.1" << QStringList{WrongCode("250", "550 no such user\r\n")};
    QTest::newRow("multi-line reply") << Dialogue(1, "S:250-relay\r\n250 SIZE 1000") << "127.0.0.1" << QStringList{};
    QTest::newRow("reply under three characters")
        << Dialogue(1, "P:25") << "127.0.0.1" << QStringList{WrongCode("250", "25")};
    // Each arrival replaces the last, so a reply in pieces is seen as its last piece alone.
    QTest::newRow("reply split across two arrivals")
        << QStringList{"P:22", "S:0 relay ready"} + Dialogue().mid(1) << "127.0.0.1"
        << QStringList{WrongCode("220", "0 relay ready\r\n")};
    QTest::newRow("greeting dripped a byte at a time")
        << QStringList{"P:2", "P:2", "P:0", "P: ", "P:o", "P:k", "P:\r", "P:\n"} + Dialogue().mid(1) << "127.0.0.1"
        << QStringList{WrongCode("220", "\n")};
    QTest::newRow("relay closes after the recipient")
        << Dialogue().mid(0, 6) + QStringList{"CLOSE"} << "127.0.0.1" << QStringList(4, TimedOut);
    QTest::newRow("reset while the message arrives")
        << Dialogue().mid(0, 10) + QStringList{"RST"} << "127.0.0.1" << QStringList(2, TimedOut);
    QTest::newRow("relay accepts and stays silent") << QStringList{} << "127.0.0.1" << QStringList(7, TimedOut);
    QTest::newRow("connection refused") << QStringList{} << "127.0.0.2" << QStringList(7, TimedOut);
    QTest::newRow("host name does not resolve")
        << QStringList{} << "no-such-relay.invalid" << QStringList(7, TimedOut);
    QTest::newRow("1 MiB greeting without a line end")
        << Dialogue(0, "P:" + QString(1 << 20, 'A')) << "127.0.0.1" << QStringList{WrongCode("220", "A")};
    QTest::newRow("8-bit garbage and NULs for a reply")
        << Dialogue(3, "P:" + QString::fromLatin1(QByteArray::fromHex("80ff00fe80ff00fe"))) << "127.0.0.1"
        << QStringList{WrongCode("250", QString::fromUtf8(QByteArray::fromHex("80ff00fe80ff00fe")))};
    // The greeting's wait takes every reply in one read and empties it on the match.
    const QRegularExpression reply("^S:");
    const QString replies = Dialogue().filter(reply).replaceInStrings(reply, "").join("\r\n");
    QTest::newRow("every reply before its command")
        << QStringList{"S:" + replies} + Dialogue().filter(QRegularExpression("^C:")) << "127.0.0.1"
        << QStringList(6, TimedOut);
}

void SmtpDialogueTest::dialogueRunsToTheEndWhateverTheRelayDoes()
{
    QFETCH(QStringList, script);
    QFETCH(QString, host);
    QFETCH(QStringList, messages);

    ScriptedSmtpPeer peer(script);
    Rig rig(peer.Port());
    bool windowEventHandled = false;
    QTimer::singleShot(0, [&] { windowEventHandled = true; });
    rig.Send(0, host);

    QVERIFY(windowEventHandled); // the waits keep the window's events flowing
    const QStringList shown = rig.Shown();
    QCOMPARE(shown.size(), messages.size());
    // Up to the expected length: a 1 MiB reply arrives in pieces of any size, the last shown.
    for (qsizetype i = 0; i < shown.size(); ++i)
        QCOMPARE(shown[i].left(messages[i].size()), messages[i]);
    QVERIFY2(peer.RanWholeScript(), qPrintable(peer.Mismatches.join('\n')));
    QCOMPARE(peer.Connections, int(host == "127.0.0.1"));
    QCOMPARE(rig.Socket.RequestedPort, 25);
    // The status lags one step behind the dialogue, whatever the relay answered.
    QCOMPARE(rig.Captions, (QStringList{"Connecting....", "Connected", "Sending Message", "Disconnecting"}));
    QCOMPARE(rig.Socket.ConnectionState(), int16_t(0));
}

void SmtpDialogueTest::refusalSendsNothing_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("lineBreak");
    QTest::addColumn<QString>("message");

    QTest::newRow("socket still open") << -1 << "" << "^ [1-9][0-9]*$";
    QTest::newRow("LF in ToEmailAddress")
        << 4 << "\nrcpt to:<victim@example.org>" << "^The mail was not sent: ToEmailAddress ";
    QTest::newRow("CR in EmailSubject")
        << 5 << "\rBcc: victim@example.org" << "^The mail was not sent: EmailSubject ";
}

void SmtpDialogueTest::refusalSendsNothing()
{
    QFETCH(int, field);
    QFETCH(QString, lineBreak);
    QFETCH(QString, message);

    ScriptedSmtpPeer peer({});
    Rig rig(peer.Port());
    if (field < 0) {
        rig.Socket.SetRemoteHost("127.0.0.1");
        rig.Socket.SetRemotePort(25);
        rig.Socket.OpenConnection();
        QTRY_COMPARE(peer.Connections, 1);
    }
    rig.Send(field, Fields.value(field) + lineBreak);
    rig.Loop.WaitForInputOrHandles(0, nullptr, 100);

    const QStringList shown = rig.Shown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(QRegularExpression(message).match(shown.front()).hasMatch(), qPrintable(shown.front()));
    QCOMPARE(peer.Connections, field < 0 ? 1 : 0);
    QCOMPARE(peer.ClientLines, QStringList{});
    QCOMPARE(rig.Captions, QStringList{});
}

QTEST_GUILESS_MAIN(SmtpDialogueTest)
#include "tst_smtpdialogue.moc"
