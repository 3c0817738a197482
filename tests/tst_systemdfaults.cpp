// The scan over the systemd service source when systemd or the way to it misbehaves:
// thousands of units, escaped names, a remote host that never answers, a connection or a
// manager that dies in the middle of a scan. Runs under tests/support/with-user-manager.sh
// and with-sshd.sh in a harness run of its own, because its last test kills the manager.
#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "inspection/brokerservicescan.h"
#include "platform/servicesource_systemd.h"
#include "tests/support/recordingmessageboxes.h"
#include "tests/support/usermanager.h"

using namespace std::chrono_literals;
using UserManager::Systemctl;

namespace {

constexpr int InstalledUnits = 5000;
const QString Sleeper = "[Service]\nExecStart=/bin/sleep infinity\n";
// Escaped as systemd-escape escapes "café-broker", "/srv/broker data" (--path) and "Zürich".
const QString Cafe = R"(caf\xc3\xa9\x2dbroker)", SrvData = R"(srv-broker\x20data)", Zurich = R"(x-broker@Z\xc3\xbcrich)";
// Unit names are ASCII: systemd ignores a file under a raw UTF-8 name.
const QStringList Brokers = {"tarvik-broker", "broker-logger", Cafe, SrvData, "x-broker@", "café-broker"};

struct Fields final : ScanFields {
    std::string BrokerServer() override { return Server; }
    int SendMailValue() override { return 1; }
    std::string ReportText() override { return Report; }
    void SetReportText(const std::string &text) override { Report = text; }

    std::string Server;
    std::string Report;
};

// The real source, watched: counts what it delivers and lets a fault strike between the
// listing and the first read.
class WatchedSource final : public ServiceSource {
public:
    explicit WatchedSource(std::chrono::milliseconds timeout) : Real(timeout) {}

    std::optional<SourceFailure> InstancesOf(const std::string &moniker, const std::string &className,
                                             const std::string &namePattern,
                                             std::unique_ptr<ServiceCollection> &instances) override
    {
        auto failure = Real.InstancesOf(moniker, className, namePattern, instances);
        if (!failure)
            Delivered = instances->Count();
        if (!failure && Fault)
            std::exchange(Fault, {})();
        return failure;
    }

    SystemdServiceSource Real;
    std::size_t Delivered = 0;
    std::function<void()> Fault;
};

struct Rig {
    Rig(const QString &server, std::chrono::milliseconds timeout) : Source(timeout)
    {
        Window.Server = server.toStdString();
    }

    // "name|state" for each service block of the report, "name" alone where the read failed.
    QStringList Scan()
    {
        Scanner.ScanBrokerServices(Window, MailBody);
        QStringList reported;
        for (const QString &line : QString::fromStdString(Window.Report).split("\r\n")) {
            if (line.startsWith("Service Name: "))
                reported << line.mid(14);
            else if (line.startsWith("Service State: "))
                reported.last() += "|" + line.mid(15);
        }
        return reported;
    }

    WatchedSource Source;
    RecordingMessageBoxes Boxes;
    BrokerServiceScan Scanner{Source, Boxes};
    Fields Window;
    std::string MailBody;
};

// A host whose sshd greets and then hangs; ssh's ConnectTimeout ends with the greeting.
class GreetingThenSilentPeer {
public:
    GreetingThenSilentPeer()
    {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        if (bind(Listener, reinterpret_cast<sockaddr *>(&address), size) == 0 && listen(Listener, 8) == 0
            && getsockname(Listener, reinterpret_cast<sockaddr *>(&address), &size) == 0)
            Port = ntohs(address.sin_port);
        Thread = std::thread([this] {
            static constexpr char Greeting[] = "SSH-2.0-Silent\r\n";
            for (int peer; (peer = accept(Listener, nullptr, nullptr)) >= 0; Accepted.push_back(peer))
                (void)!write(peer, Greeting, sizeof Greeting - 1);
        });
    }
    ~GreetingThenSilentPeer()
    {
        shutdown(Listener, SHUT_RDWR); // ends the accept
        Thread.join();
        for (const int fd : Accepted)
            close(fd);
        close(Listener);
    }

    quint16 Port = 0;

private:
    const int Listener = socket(AF_INET, SOCK_STREAM, 0);
    std::vector<int> Accepted;
    std::thread Thread;
};

// The ssh that sd-bus started for this process's remote connection.
pid_t SshChild()
{
    for (const QFileInfo &task : QDir("/proc/self/task").entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(task.filePath() + "/children");
        const QByteArrayList pids = children.open(QIODevice::ReadOnly) ? children.readAll().split(' ') : QByteArrayList{};
        for (const QByteArray &pid : pids) {
            QFile command("/proc/" + pid.trimmed() + "/comm");
            if (!pid.trimmed().isEmpty() && command.open(QIODevice::ReadOnly) && command.readAll().trimmed() == "ssh")
                return pid.toInt();
        }
    }
    return 0;
}

} // namespace

class SystemdFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void reportsOnlyTheBrokersAmongThousands();
    void failsRemoteHostThatNeverAnswers_data();
    void failsRemoteHostThatNeverAnswers();
    void failsWhenTheBusSideDiesMidScan_data();
    void failsWhenTheBusSideDiesMidScan(); // kills the manager: the last test

private:
    QString SshPort;
};

void SystemdFaultsTest::initTestCase()
{
    SshPort = qEnvironmentVariable("BROKER_TEST_SSH_PORT");
    QVERIFY2(!SshPort.isEmpty(), "run under tests/support/with-user-manager.sh tests/support/with-sshd.sh");
    for (const QString &name : Brokers)
        QVERIFY(UserManager::InstallUnit(name, Sleeper));
    for (int i = Brokers.size(); i < InstalledUnits; ++i)
        QVERIFY(UserManager::InstallUnit(QString("filler-%1").arg(i), Sleeper));
    QCOMPARE(Systemctl({"daemon-reload"}), 0);
    QCOMPARE(Systemctl({"start", "tarvik-broker", Cafe, Zurich}), 0);
}

void SystemdFaultsTest::reportsOnlyTheBrokersAmongThousands()
{
    Rig rig("localhost", 10s);
    QStringList reported = rig.Scan();
    reported.sort();
    QCOMPARE(reported, QStringList({Cafe + "|Running", SrvData + "|Stopped", "tarvik-broker|Running", Zurich + "|Running"}));
    QCOMPARE(rig.Source.Delivered, 5u); // no filler; the broker logger, which the scan skips unread
    QCOMPARE(QString::fromStdString(rig.MailBody), "Please restart Tarvik Broker process " + SrvData + "\r\n");
    QCOMPARE(rig.Boxes.Texts(), std::vector<std::string>{});
}

void SystemdFaultsTest::failsRemoteHostThatNeverAnswers_data()
{
    QTest::addColumn<bool>("greets");
    QTest::newRow("accepts, never speaks") << false;
    QTest::newRow("greets, then falls silent") << true;
}

void SystemdFaultsTest::failsRemoteHostThatNeverAnswers()
{
    QFETCH(bool, greets);
    QTcpServer neverAccepting; // the kernel completes the connection all the same
    QVERIFY(neverAccepting.listen(QHostAddress::LocalHost));
    GreetingThenSilentPeer greeting;
    QVERIFY(greeting.Port != 0);
    const quint16 port = greets ? greeting.Port : neverAccepting.serverPort();
    Rig rig("root@127.0.0.1:" + QString::number(port), 1s);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(rig.Scan(), QStringList{});
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(rig.Boxes.Boxes.size(), 1u);
    QVERIFY2(rig.Boxes.Boxes[0].Text.starts_with("sd_bus_start-->"), rig.Boxes.Boxes[0].Text.c_str());
    QCOMPARE(rig.Boxes.Boxes[0].Title, "Error");
}

void SystemdFaultsTest::failsWhenTheBusSideDiesMidScan_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("killManager"); // else the ssh connection
    QTest::addColumn<QStringList>("sources");
    QTest::newRow("ssh connection killed") << "root@127.0.0.1:" + SshPort << false
                                           << QStringList{"org.freedesktop.DBus.Error.Disconnected"};
    // The read reaches the manager while it dies, or, once its name is gone, waits in the
    // bus for a manager to come back.
    QTest::newRow("manager killed") << "localhost" << true
                                    << QStringList{"org.freedesktop.DBus.Error.NoReply", "org.freedesktop.DBus.Error.Timeout"};
}

void SystemdFaultsTest::failsWhenTheBusSideDiesMidScan()
{
    QFETCH(QString, server);
    QFETCH(bool, killManager);
    QFETCH(QStringList, sources);
    Rig rig(server, 1s);
    rig.Source.Fault = [killManager] {
        const pid_t victim = killManager ? qEnvironmentVariableIntValue("BROKER_TEST_MANAGER_PID") : SshChild();
        QVERIFY(victim > 0 && kill(victim, SIGKILL) == 0);
    };
    QElapsedTimer timer;
    timer.start();
    const QStringList reported = rig.Scan();
    QCOMPARE(reported.size(), 1); // the first broker's name, then the failed read
    QVERIFY(!reported[0].contains('|'));
    QCOMPARE(rig.Boxes.Boxes.size(), 1u);
    const QString text = QString::fromStdString(rig.Boxes.Boxes[0].Text);
    QVERIFY2(sources.contains(text.section("-->", 0, 0)), qPrintable(text));
    QCOMPARE(rig.Boxes.Boxes[0].Title, "Error");

    // The next scan connects anew: over ssh it reads everything, without a manager it fails
    // at the listing and leaves the report as it was.
    QCOMPARE(rig.Scan().size(), killManager ? 1 : 4);
    QCOMPARE(rig.Boxes.Boxes.size(), killManager ? 2u : 1u);
    QVERIFY(timer.elapsed() < 10000);
}

QTEST_GUILESS_MAIN(SystemdFaultsTest)
#include "tst_systemdfaults.moc"
