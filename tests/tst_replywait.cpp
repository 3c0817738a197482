#include "mail/notificationmail.h"
#include "platform/numberformat_qt.h"
#include "tests/support/fakemailsocket.h"
#include "tests/support/recordingmessageboxes.h"
#include "tests/support/replymessages.h"
#include "tests/support/simulatedtime.h"

#include <QtTest>

class ReplyWaitTest : public QObject {
    Q_OBJECT
private slots:
    void waitEndsOnTheExpectedCodeOrAfterTheLimit_data();
    void waitEndsOnTheExpectedCodeOrAfterTheLimit();
};

void ReplyWaitTest::waitEndsOnTheExpectedCodeOrAfterTheLimit_data()
{
    // events: "seconds after the wait began:data", where data at 0 is in Response before
    // the wait begins, or "seconds:+n" for a handler that keeps the thread n seconds.
    QTest::addColumn<double>("start");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("responseAfter");

    QTest::newRow("silence across midnight") << 86395.0 << QStringList{} << TimedOut << "";
    QTest::newRow("each arrival replaces the last; the limit runs from the wait's start")
        << 3600.0 << QStringList{"1:550 a\r\n", "10:551 b\r\n"} << WrongCode("250", "551 b\r\n") << "551 b\r\n";
    QTest::newRow("stale reply with the expected code is taken before new data")
        << 3600.0 << QStringList{"0:250 old\r\n", "5:550 new\r\n"} << "" << "";
    QTest::newRow("data in the pump of the pass past the limit stays for the next wait")
        << 3600.0 << QStringList{"14.9:+0.2", "15.1:250 late\r\n"} << TimedOut << "250 late\r\n";
}

void ReplyWaitTest::waitEndsOnTheExpectedCodeOrAfterTheLimit()
{
    QFETCH(double, start);
    QFETCH(QStringList, events);
    QFETCH(QString, message);

    SimulatedTime time(start);
    RecordingMessageBoxes boxes([&time] { return time.Now; });
    QtNumberFormat numbers(QLocale::c());
    FakeMailSocket socket;
    NotificationMail mail(socket, {boxes, time, time, time, numbers}, [](const std::string &) {});
    for (const QString &event : events) {
        const QString what = event.section(':', 1);
        time.At(start + event.section(':', 0, 0).toDouble(), [&time, &socket, what] {
            if (what.startsWith('+'))
                time.Now += what.mid(1).toDouble();
            else
                socket.Deliver(what.toStdString());
        });
    }
    time.PumpMessages();

    mail.WaitFor("250");

    QTEST(QString::fromStdString(mail.PendingResponse()), "responseAfter");
    QCOMPARE(boxes.Boxes.size(), message.isEmpty() ? 0u : 1u);
    for (const auto &box : boxes.Boxes) {
        QCOMPARE(QString::fromStdString(box.Text), message);
        QCOMPARE(box.Style, MessageBoxStyle::OkInformation);
        QCOMPARE(box.Title, std::optional<std::string>(""));
        // A little more than the limit after the wait began, never before it.
        QVERIFY2(box.At - start > 15.0 && box.At - start < 15.2, qPrintable(QString::number(box.At - start)));
    }
    // Passes follow events, not time: a silent wait sleeps instead of spinning.
    QVERIFY(time.Pumps <= 2 * events.size() + 3);
}

QTEST_GUILESS_MAIN(ReplyWaitTest)
#include "tst_replywait.moc"
