#include "mail/notificationmail.h"
#include "platform/numberformat_qt.h"
#include "tests/support/fakemailsocket.h"
#include "tests/support/recordingmessageboxes.h"
#include "tests/support/simulatedtime.h"

#include <QtTest>

namespace {

const QString TimedOut = "SMTP service error, timed out while waiting for response";

QString WrongCode(const QString &expected, const QString &received)
{
    return "SMTP service error, impromper response code. Code should have been: " + expected +
           " Code recieved: " + received;
}

// The monitor's mail part on virtual time and a socket the test feeds.
struct Rig {
    explicit Rig(double start) : Time(start) {}

    SimulatedTime Time;
    RecordingMessageBoxes Boxes{[this] { return Time.Now; }};
    QtNumberFormat Numbers{QLocale::c()};
    FakeMailSocket Socket;
    NotificationMail Mail{Socket, {Boxes, Time, Time, Time, Numbers}, [](const std::string &) {}};
};

} // namespace

class ReplyWaitTest : public QObject {
    Q_OBJECT
private slots:
    void waitEndsOnTheExpectedCodeOrAfterTheLimit_data();
    void waitEndsOnTheExpectedCodeOrAfterTheLimit();
};

void ReplyWaitTest::waitEndsOnTheExpectedCodeOrAfterTheLimit_data()
{
    // events: "seconds after the wait began:data"; at 0 or before, the data is already
    // waiting in Response; "seconds:+n" is a handler that keeps the thread n seconds.
    QTest::addColumn<double>("start");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("responseAfter");

    QTest::newRow("reply after a few seconds") << 3600.0 << QStringList{"3:250 OK\r\n"} << "" << "";
    QTest::newRow("multi-line reply") << 3600.0 << QStringList{"1:250-first\r\n250 last\r\n"} << "" << "";
    QTest::newRow("silence") << 3600.0 << QStringList{} << TimedOut << "";
    QTest::newRow("silence across midnight") << 86395.0 << QStringList{} << TimedOut << "";
    QTest::newRow("reply under three characters")
        << 3600.0 << QStringList{"1:25"} << WrongCode("250", "25") << "25";
    QTest::newRow("wrong code, limit counted from the wait's start")
        << 3600.0 << QStringList{"10:550 no\r\n"} << WrongCode("250", "550 no\r\n") << "550 no\r\n";
    QTest::newRow("right code replaces a wrong one in time")
        << 3600.0 << QStringList{"10:550 no\r\n", "14:250 ok\r\n"} << "" << "";
    QTest::newRow("second arrival replaces the first")
        << 3600.0 << QStringList{"1:550 a\r\n", "2:551 b\r\n"} << WrongCode("250", "551 b\r\n") << "551 b\r\n";
    QTest::newRow("stale reply with the expected code")
        << 3600.0 << QStringList{"0:250 old\r\n"} << "" << "";
    QTest::newRow("stale reply with another code")
        << 3600.0 << QStringList{"0:550 old\r\n"} << WrongCode("250", "550 old\r\n") << "550 old\r\n";
    QTest::newRow("stale reply replaced by the expected code")
        << 3600.0 << QStringList{"0:550 old\r\n", "5:250 ok\r\n"} << "" << "";
    QTest::newRow("data in the pump of the pass past the limit stays for the next wait")
        << 3600.0 << QStringList{"14.9:+0.2", "15.1:250 late\r\n"} << TimedOut << "250 late\r\n";
}

void ReplyWaitTest::waitEndsOnTheExpectedCodeOrAfterTheLimit()
{
    QFETCH(double, start);
    QFETCH(QStringList, events);
    QFETCH(QString, message);
    QFETCH(QString, responseAfter);

    Rig rig(start);
    for (const QString &event : events) {
        const double at = start + event.section(':', 0, 0).toDouble();
        const QString what = event.section(':', 1);
        if (what.startsWith('+'))
            rig.Time.At(at, [&rig, what] { rig.Time.Now += what.mid(1).toDouble(); });
        else
            rig.Time.At(at, [&rig, what] { rig.Socket.Deliver(what.toStdString()); });
    }
    rig.Time.PumpMessages(); // what is due at the start is already in Response
    const int pumpsBefore = rig.Time.Pumps;

    rig.Mail.WaitFor("250");

    QCOMPARE(QString::fromStdString(rig.Mail.PendingResponse()), responseAfter);
    if (message.isEmpty()) {
        QCOMPARE(rig.Boxes.Boxes.size(), 0u);
    } else {
        QCOMPARE(rig.Boxes.Boxes.size(), 1u);
        const auto &box = rig.Boxes.Boxes.front();
        QCOMPARE(QString::fromStdString(box.Text), message);
        QCOMPARE(box.Style, MessageBoxStyle::OkInformation);
        QCOMPARE(box.Title, std::optional<std::string>(""));
        // A little more than the limit after the wait began, never before it.
        QVERIFY2(box.At - start > 15.0 && box.At - start < 15.2, qPrintable(QString::number(box.At - start)));
    }
    // Passes follow events, not time: a silent wait sleeps instead of spinning.
    QVERIFY(rig.Time.Pumps - pumpsBefore <= 2 * events.size() + 3);
}

QTEST_GUILESS_MAIN(ReplyWaitTest)
#include "tst_replywait.moc"
