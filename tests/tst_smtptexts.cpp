#include "mail/smtptexts.h"

#include <QtTest>

class SmtpTextsTest : public QObject {
    Q_OBJECT
private slots:
    void dateValueHasFixedZone_data();
    void dateValueHasFixedZone();
    void bodyLinesAreStuffedAndEndInCrLf_data();
    void bodyLinesAreStuffedAndEndInCrLf();
};

void SmtpTextsTest::dateValueHasFixedZone_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QString>("dayName");
    QTest::addColumn<QString>("monthName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("padded day and time") << 2026 << 1 << 5 << "Mon" << "Jan" << "Mon, 05 Jan 2026 07:08:09 -0600";
    QTest::newRow("summer, still -0600") << 2026 << 7 << 14 << "Tue" << "Jul" << "Tue, 14 Jul 2026 07:08:09 -0600";
    QTest::newRow("regional names as given") << 2026 << 12 << 6 << "So." << "Dez." << "So., 06 Dez. 2026 07:08:09 -0600";
}

void SmtpTextsTest::dateValueHasFixedZone()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QString, dayName);
    QFETCH(QString, monthName);
    QFETCH(QString, expected);

    const LocalDateTime now{year, month, day, 7, 8, 9, dayName.toStdString(), monthName.toStdString()};
    QCOMPARE(QString::fromStdString(MailDateValue(now)), expected);
}

void SmtpTextsTest::bodyLinesAreStuffedAndEndInCrLf_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("sent");

    QTest::newRow("plain lines unchanged") << "a\r\nb\r\n" << "a\r\nb\r\n";
    QTest::newRow("lone period doubled") << "a\r\n.\r\nb" << "a\r\n..\r\nb";
    QTest::newRow("leading period at the start") << ".x" << "..x";
    QTest::newRow("inner period unchanged") << "a.b\r\n" << "a.b\r\n";
    QTest::newRow("bare LF cannot hide an end mark") << "a\n.\nb" << "a\r\n..\r\nb";
    QTest::newRow("bare CR cannot hide an end mark") << "a\r.\rb" << "a\r\n..\r\nb";
}

void SmtpTextsTest::bodyLinesAreStuffedAndEndInCrLf()
{
    QFETCH(QString, body);
    QFETCH(QString, sent);

    QCOMPARE(QString::fromStdString(DotStuffed(body.toStdString())), sent);
}

QTEST_GUILESS_MAIN(SmtpTextsTest)
#include "tst_smtptexts.moc"
