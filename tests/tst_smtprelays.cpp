// The mail through real relays from Debian's archive, each on port 25 of its own loopback
// address (tests/support/with-relays.sh): what they deliver, and the older form they refuse.
#include "tests/support/realmail.h"

#include <QtTest>

namespace {

QFileInfoList Delivered(const QString &relay)
{
    return QDir(qEnvironmentVariable("RELAY_TREES") + "/" + relay + "/home/ops/Maildir/new")
        .entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
}

// The greeting and the reply to each text, sent one at a time.
QStringList Replies(const QString &host, const QStringList &texts)
{
    QTcpSocket socket;
    socket.connectToHost(host, 25);
    QStringList replies;
    QByteArray reply;
    for (qsizetype next = 0; next <= texts.size(); ++next) {
        // The last line of a reply has a blank after its code (RFC 5321 section 4.2.1).
        while (!QRegularExpression("(^|\n)\\d{3} [^\n]*\n$").match(QString::fromUtf8(reply)).hasMatch()) {
            if (!socket.waitForReadyRead(10000))
                return replies << "no reply: " + socket.errorString();
            reply += socket.readAll();
        }
        replies << QString::fromUtf8(reply);
        reply.clear();
        if (next < texts.size())
            socket.write(texts[next].toUtf8());
    }
    return replies;
}

} // namespace

class SmtpRelaysTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void relayDeliversTheMail_data();
    void relayDeliversTheMail();
    void relayRefusesTheOlderForm_data();
    void relayRefusesTheOlderForm();
};

void SmtpRelaysTest::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("RELAY_TREES"), "run through tests/support/with-relays.sh");
}

void SmtpRelaysTest::relayDeliversTheMail_data()
{
    QTest::addColumn<QString>("relay");
    QTest::addColumn<QString>("host");

    QTest::newRow("Postfix, strict envelopes") << "postfix" << "127.0.0.2";
    QTest::newRow("OpenSMTPD") << "opensmtpd" << "127.0.0.3";
    QTest::newRow("Exim, header syntax verified") << "exim" << "127.0.0.4";
}

void SmtpRelaysTest::relayDeliversTheMail()
{
    QFETCH(QString, relay);
    QFETCH(QString, host);

    RealMail mail;
    const qsizetype deliveredBefore = Delivered(relay).size();

    mail.SendNotification(host.toStdString(), "Please restart Tarvik Broker process SampleBroker\r\n");

    // No box: every reply, the end mark's "250" among them, was the one awaited.
    const std::vector<std::string> shown = mail.Boxes.Texts();
    QVERIFY2(shown.empty(), shown.empty() ? "" : shown.front().c_str());
    QTRY_COMPARE_WITH_TIMEOUT(Delivered(relay).size(), deliveredBefore + 1, 20000);
    QFile stored(Delivered(relay).last().filePath());
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const QByteArray message = stored.readAll();
    QVERIFY(message.contains("\nTo: \"TarvikBrokerQueue\" <ops@example.org>\n"));
    QVERIFY(message.contains("\n\nPlease restart Tarvik Broker process SampleBroker\n"));
}

void SmtpRelaysTest::relayRefusesTheOlderForm_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("refusal");

    const QString helo = "HELO broker-monitor.localdomain\r\n";
    const QString bareSender = "mail from: ops@example.org\r\n";
    QTest::newRow("Postfix, bare sender") << "127.0.0.2" << QStringList{helo, bareSender}
                                          << QStringList{"220", "250", "501"} << "Bad sender address syntax";
    QTest::newRow("OpenSMTPD, bare sender") << "127.0.0.3" << QStringList{helo, bareSender}
                                            << QStringList{"220", "250", "553"} << "Sender address syntax error";
    QTest::newRow("Exim, To header with a name only")
        << "127.0.0.4"
        << QStringList{helo, "mail from:<ops@example.org>\r\n", "rcpt to:<ops@example.org>\r\n", "data\r\n",
                       "From: \"TarvikBroker\" <ops@example.org>\r\nTo: TarvikBrokerQueue\r\n"
                       "Subject: Tarvik Broker Service Check Message\r\n\r\nPlease restart\r\n.\r\n"}
        << QStringList{"220", "250", "250", "250", "354", "550"}
        << "failing address in \"To:\" header is: TarvikBrokerQueue";
}

void SmtpRelaysTest::relayRefusesTheOlderForm()
{
    QFETCH(QString, host);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, codes);
    QFETCH(QString, refusal);

    const QStringList replies = Replies(host, texts);
    QStringList replyCodes;
    for (const QString &reply : replies)
        replyCodes << reply.left(3);
    QCOMPARE(replyCodes, codes);
    QVERIFY2(replies.last().contains(refusal), qPrintable(replies.last()));
}

QTEST_GUILESS_MAIN(SmtpRelaysTest)
#include "tst_smtprelays.moc"
