#include "tests/support/aiosmtpdserver.h"
#include "tests/support/realmail.h"

#include <QtTest>

namespace {

// Header names of a stored message, in order, less the ones the server adds on delivery.
QStringList SentHeaderNames(const QByteArray &stored)
{
    const QByteArray head = stored.left(stored.indexOf("\n\n"));
    QStringList names;
    for (const QByteArray &line : head.split('\n')) {
        const QString name = QString::fromUtf8(line.left(line.indexOf(':')));
        if (!name.startsWith("X-Peer") && !name.startsWith("X-MailFrom") && !name.startsWith("X-RcptTo"))
            names << name;
    }
    return names;
}

QByteArray StoredBody(const QByteArray &stored)
{
    return stored.mid(stored.indexOf("\n\n") + 2);
}

} // namespace

class SmtpRealServerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mailLandsInTheMailbox_data();
    void mailLandsInTheMailbox();

private:
    AiosmtpdServer Server;
};

void SmtpRealServerTest::initTestCase()
{
    QVERIFY2(Server.Start(), qPrintable(Server.Failure));
}

void SmtpRealServerTest::mailLandsInTheMailbox_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("storedBody");

    QTest::newRow("restart requests") << "Please restart Tarvik Broker process SampleBroker\r\n"
                                         "Please restart Tarvik Broker process OtherBroker\r\n"
                                      << "Please restart Tarvik Broker process SampleBroker\n"
                                         "Please restart Tarvik Broker process OtherBroker\n\n\n";
    QTest::newRow("lines beginning with a period") << ".\r\n.hidden\r\nend\r\n" << ".\n.hidden\nend\n\n\n";
    QTest::newRow("empty body") << "" << "\n\n";
    QTest::newRow("UTF-8 text") << QString::fromUtf8("Grüße, Dienst läuft nicht\r\n")
                                << QString::fromUtf8("Grüße, Dienst läuft nicht\n\n\n");
}

void SmtpRealServerTest::mailLandsInTheMailbox()
{
    QFETCH(QString, body);
    QFETCH(QString, storedBody);

    RealMail mail(Server.Port());
    const qsizetype deliveredBefore = Server.Messages().size();

    mail.SendNotification("127.0.0.1", body.toStdString());

    QCOMPARE(mail.Boxes.Texts(), std::vector<std::string>{});
    const QList<QByteArray> messages = Server.Messages();
    QCOMPARE(messages.size(), deliveredBefore + 1);
    const QByteArray stored = messages.last();
    QCOMPARE(SentHeaderNames(stored), (QStringList{"From", "Date", "X-Mailer", "To", "Subject"}));
    QVERIFY(stored.contains("From: \"TarvikBroker\" <ops@example.org>\n"));
    QVERIFY(stored.contains("To: \"TarvikBrokerQueue\" <ops@example.org>\n"));
    QVERIFY(QRegularExpression("\nDate: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d -0600\n")
                .match(QString::fromUtf8(stored)).hasMatch());
    QCOMPARE(QString::fromUtf8(StoredBody(stored)), storedBody);
}

QTEST_GUILESS_MAIN(SmtpRealServerTest)
#include "tst_smtprealserver.moc"
