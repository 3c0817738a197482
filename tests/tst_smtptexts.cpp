#include "mail/smtptexts.h"

#include <QtTest>

class SmtpTextsTest : public QObject {
    Q_OBJECT
private slots:
    void dateValueTakesRegionalNamesAndAFixedZone()
    {
        const LocalDateTime now{2026, 12, 6, 7, 8, 9, "So.", "Dez."};
        QCOMPARE(QString::fromStdString(MailDateValue(now)), "So., 06 Dez. 2026 07:08:09 -0600");
    }

    void bodyLinesEndInCrLfWithALeadingPeriodDoubled_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("sent");

        QTest::newRow("periods at a line start doubled, others kept")
            << ".x\r\na.b\r\n.\r\nc\r\n" << "..x\r\na.b\r\n..\r\nc\r\n";
        QTest::newRow("bare LF or CR cannot hide an end mark") << "a\n.\rb" << "a\r\n..\r\nb";
    }

    void bodyLinesEndInCrLfWithALeadingPeriodDoubled()
    {
        QFETCH(QString, body);
        QTEST(QString::fromStdString(DotStuffed(body.toStdString())), "sent");
    }
};

QTEST_GUILESS_MAIN(SmtpTextsTest)
#include "tst_smtptexts.moc"
