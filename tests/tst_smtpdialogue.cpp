#include "mail/notificationmail.h"
#include "platform/eventloop_qt.h"
#include "platform/mailsocket_qt.h"
#include "platform/numberformat_qt.h"
#include "tests/support/portredirectingsocket.h"
#include "tests/support/recordingmessageboxes.h"
#include "tests/support/scriptedsmtppeer.h"
#include "tests/support/warpedtime.h"

#include <QtTest>

namespace {

const QString TimedOut = "SMTP service error, timed out while waiting for response";
const QString Address = "ops@example.org";
const QString Body = "Please restart Tarvik Broker process SampleBroker\r\n";

QString WrongCode(const QString &expected, const QString &received)
{
    return "SMTP service error, impromper response code. Code should have been: " + expected +
           " Code recieved: " + received;
}

QStringList Repeated(const QString &text, int times)
{
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << text;
    return list;
}

// The whole dialogue of one mail, with `replies` standing in for the relay's answers
// to greeting, HELO, sender, recipient, data, end mark and quit.
QStringList Dialogue(const QStringList &replies)
{
    const QStringList client{"C:HELO broker-monitor.localdomain", "C:mail from:<" + Address + ">",
                             "C:rcpt to:<" + Address + ">", "C:data", "MESSAGE", "C:quit"};
    QStringList script{replies[0]};
    for (int i = 0; i < client.size(); ++i)
        script << client[i] << replies[i + 1];
    return script;
}

const QStringList Accepting{"S:220 relay ready", "S:250 relay", "S:250 ok", "S:250 ok",
                            "S:354 go ahead", "S:250 queued", "S:221 bye"};

QStringList AcceptingWith(int reply, const QString &instead)
{
    QStringList replies = Accepting;
    replies[reply] = instead;
    return Dialogue(replies);
}

quint16 PortNobodyListensOn()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Wraps the rig's socket to watch the sender between its calls: the largest single read,
// the largest Response, and how many times an event posted at one call ran before the next.
class ObservedSocket final : public MailSocket {
public:
    ObservedSocket(MailSocket &real, std::function<size_t()> responseSize)
        : Real(real), ResponseSize(std::move(responseSize))
    {
    }

    int16_t ConnectionState() const override { return Real.ConnectionState(); }
    void SetProtocol(int32_t protocol) override { Real.SetProtocol(protocol); }
    void SetLocalPort(int32_t port) override { Real.SetLocalPort(port); }
    void SetRemoteHost(const std::string &host) override { Real.SetRemoteHost(host); }
    void SetRemotePort(int32_t port) override { Real.SetRemotePort(port); }
    void OpenConnection() override { Real.OpenConnection(); Observe(); }
    void SendText(const std::string &text) override { Observe(); Real.SendText(text); }
    void ReadReceived(std::string &text) override
    {
        Real.ReadReceived(text);
        LargestRead = std::max(LargestRead, text.size());
    }
    void CloseConnection() override { Observe(); Real.CloseConnection(); }
    void SetDataArrivalHandler(DataArrivalHandler handler) override
    {
        Real.SetDataArrivalHandler(std::move(handler));
    }

    size_t LargestRead = 0;
    size_t LargestResponse = 0;
    int GapsWithEventsHandled = 0;

private:
    void Observe()
    {
        LargestResponse = std::max(LargestResponse, ResponseSize());
        if (Posted && *Posted)
            ++GapsWithEventsHandled;
        Posted = std::make_shared<bool>(false);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [ran = Posted] { *ran = true; },
                                  Qt::QueuedConnection);
    }

    MailSocket &Real;
    std::function<size_t()> ResponseSize;
    std::shared_ptr<bool> Posted;
};

// The mail part over the real socket, sent to the scripted peer's port.
struct Rig {
    explicit Rig(quint16 port) : Socket(RealSocket, port) {}

    void Send(const QString &host, const std::array<QString, 6> &fields = {
                  "TarvikBroker", Address, "TarvikBrokerQueue", Address,
                  "Tarvik Broker Service Check Message", Body})
    {
        Mail.SendEmail(host.toStdString(), fields[0].toStdString(), fields[1].toStdString(),
                       fields[2].toStdString(), fields[3].toStdString(), fields[4].toStdString(),
                       fields[5].toStdString());
    }

    QStringList Messages() const
    {
        QStringList texts;
        for (const std::string &text : Boxes.Texts())
            texts << QString::fromStdString(text);
        return texts;
    }

    QtEventLoop Loop;
    WarpedTime Time{Loop};
    RecordingMessageBoxes Boxes{[this] { return Time.Now(); }};
    QtNumberFormat Numbers{QLocale::c()};
    QtMailSocket RealSocket;
    PortRedirectingSocket Socket;
    ObservedSocket Observed{Socket, [this] { return Mail.PendingResponse().size(); }};
    QStringList Captions;
    NotificationMail Mail{Observed, {Boxes, Loop, Time, Time, Numbers},
                          [this](const std::string &caption) { Captions << QString::fromStdString(caption); }};
};

} // namespace

class SmtpDialogueTest : public QObject {
    Q_OBJECT
private slots:
    void dialogueRunsToTheEndWhateverTheRelayDoes_data();
    void dialogueRunsToTheEndWhateverTheRelayDoes();
    void faultyRelayLeavesTheProgramRunning_data();
    void faultyRelayLeavesTheProgramRunning();
    void refusalSendsNothing_data();
    void refusalSendsNothing();
};

void SmtpDialogueTest::dialogueRunsToTheEndWhateverTheRelayDoes_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("relay accepts the mail") << Dialogue(Accepting) << "127.0.0.1" << true << QStringList{};
    QTest::newRow("relay refuses the recipient, the data still goes")
        << AcceptingWith(3, "S:550 no such user") << "127.0.0.1" << true
        << QStringList{WrongCode("250", "550 no such user\r\n")};
    QTest::newRow("multi-line reply") << AcceptingWith(1, "S:250-relay\r\n250 SIZE 1000") << "127.0.0.1"
                                      << true << QStringList{};
    QTest::newRow("reply under three characters")
        << AcceptingWith(1, "P:25") << "127.0.0.1" << true << QStringList{WrongCode("250", "25")};
    QTest::newRow("reply split across two arrivals")
        << (QStringList{"P:22"} + AcceptingWith(0, "S:0 relay ready")) << "127.0.0.1" << true
        << QStringList{WrongCode("220", "0 relay ready\r\n")};
    QTest::newRow("relay closes after the recipient")
        << Dialogue(Accepting).mid(0, 6) + QStringList{"CLOSE"} << "127.0.0.1" << true
        << Repeated(TimedOut, 4);
    QTest::newRow("relay accepts and stays silent") << QStringList{} << "127.0.0.1" << true
                                                    << Repeated(TimedOut, 7);
    QTest::newRow("connection refused") << QStringList{} << "127.0.0.1" << false << Repeated(TimedOut, 7);
    QTest::newRow("host name does not resolve") << QStringList{} << "no-such-relay.invalid" << true
                                                << Repeated(TimedOut, 7);
}

void SmtpDialogueTest::dialogueRunsToTheEndWhateverTheRelayDoes()
{
    QFETCH(QStringList, script);
    QFETCH(QString, host);
    QFETCH(bool, listening);
    QFETCH(QStringList, messages);

    ScriptedSmtpPeer peer(script);
    Rig rig(listening ? peer.Port() : PortNobodyListensOn());
    rig.Send(host);

    QCOMPARE(rig.Messages().join(" | "), messages.join(" | "));
    QVERIFY2(peer.RanWholeScript(), qPrintable(peer.Mismatches.join('\n')));
    QCOMPARE(rig.Socket.RequestedPort, 25);
    // The status lags one step behind the dialogue, whatever the relay answered.
    QCOMPARE(rig.Captions, (QStringList{"Connecting....", "Connected", "Sending Message", "Disconnecting"}));
    QCOMPARE(rig.Socket.ConnectionState(), int16_t(0));
    if (QTest::currentDataTag() == QLatin1String("relay accepts the mail")) {
        QCOMPARE(peer.MessageLines,
                 (QStringList{"From: \"TarvikBroker\" <" + Address + ">", "Date: Sun, 06 Dec 2026 21:34:18 -0600",
                              "X-Mailer: STMP Sender", "To: \"TarvikBrokerQueue\" <" + Address + ">",
                              "Subject: Tarvik Broker Service Check Message", "",
                              "Please restart Tarvik Broker process SampleBroker", "", ""}));
    }
}

void SmtpDialogueTest::faultyRelayLeavesTheProgramRunning_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("messagePatterns");

    const auto exactly = [](const QString &text) { return QRegularExpression::escape(text); };
    const QString from = "C:From: \"TarvikBroker\" <" + Address + ">";
    QTest::newRow("reset while the message arrives")
        << Dialogue(Accepting).mid(0, 9) + QStringList{from, "RST"} << Repeated(exactly(TimedOut), 2);
    QTest::newRow("1 MiB greeting without a line end")
        << AcceptingWith(0, "BYTES:1048576x41") << QStringList{exactly(WrongCode("220", "")) + "A+"};
    // Each arrival replaces the last, so a dripped greeting is seen as its last byte alone.
    QTest::newRow("greeting dripped a byte every 100 ms")
        << AcceptingWith(0, "DRIP:100:220 ready") << QStringList{exactly(WrongCode("220", "\n"))};
    const QString garbage = QString::fromUtf8(QByteArray::fromHex("80ff00fe80ff00fe"));
    QTest::newRow("8-bit garbage and NULs for a reply")
        << AcceptingWith(3, "BYTES:2x80ff00fe") << QStringList{exactly(WrongCode("250", garbage))};
    QTest::newRow("relay accepts and never answers") << QStringList{} << Repeated(exactly(TimedOut), 7);
    // The greeting's wait takes every reply in one read and empties it on the match.
    QTest::newRow("every reply before its command")
        << QStringList{"AHEAD"} + Dialogue(Accepting) << Repeated(exactly(TimedOut), 6);
}

void SmtpDialogueTest::faultyRelayLeavesTheProgramRunning()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, messagePatterns);

    ScriptedSmtpPeer peer(script);
    Rig rig(peer.Port());
    rig.Send("127.0.0.1");

    const QStringList shown = rig.Messages();
    QCOMPARE(shown.size(), messagePatterns.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(messagePatterns[i]));
        QVERIFY2(pattern.match(shown[i]).hasMatch(), qPrintable(shown[i].left(120)));
    }
    QVERIFY2(peer.RanWholeScript(), qPrintable(peer.Mismatches.join('\n')));
    // Every one of the seven waits handled the event posted just before it.
    QCOMPARE(rig.Observed.GapsWithEventsHandled, 7);
    QVERIFY(rig.Observed.LargestResponse <= rig.Observed.LargestRead);
    QCOMPARE(rig.Socket.ConnectionState(), int16_t(0));
    rig.Send("127.0.0.1");
    QCOMPARE(peer.Connections, 2);
}

void SmtpDialogueTest::refusalSendsNothing_data()
{
    QTest::addColumn<int>("fieldWithLineBreak");
    QTest::addColumn<QString>("message");

    QTest::newRow("socket still open") << -1 << "^ [1-9][0-9]*$";
    const QStringList names{"MailServerName", "FromName", "FromEmailAddress", "ToName", "ToEmailAddress", "EmailSubject"};
    for (int i = 0; i < names.size(); ++i)
        QTest::addRow("line break in %s", qPrintable(names[i])) << i << "^The mail was not sent: " + names[i] + " ";
}

void SmtpDialogueTest::refusalSendsNothing()
{
    QFETCH(int, fieldWithLineBreak);
    QFETCH(QString, message);

    ScriptedSmtpPeer peer({});
    Rig rig(peer.Port());
    QStringList fields{"127.0.0.1", "TarvikBroker", Address, "TarvikBrokerQueue", Address, "Subject"};
    if (fieldWithLineBreak >= 0) {
        fields[fieldWithLineBreak] += "\r\nrcpt to:<victim@example.org>";
    } else {
        rig.Socket.SetRemoteHost("127.0.0.1");
        rig.Socket.SetRemotePort(25);
        rig.Socket.OpenConnection();
        QTRY_COMPARE(peer.Connections, 1);
    }
    rig.Send(fields[0], {fields[1], fields[2], fields[3], fields[4], fields[5], Body});
    rig.Loop.WaitForInputOrHandles(0, nullptr, 100);

    QCOMPARE(rig.Messages().size(), 1);
    QVERIFY2(QRegularExpression(message).match(rig.Messages().front()).hasMatch(), qPrintable(rig.Messages().front()));
    QCOMPARE(peer.Connections, fieldWithLineBreak >= 0 ? 0 : 1);
    QCOMPARE(peer.ClientLines, QStringList{});
    QCOMPARE(rig.Captions, QStringList{});
}

QTEST_GUILESS_MAIN(SmtpDialogueTest)
#include "tst_smtpdialogue.moc"
