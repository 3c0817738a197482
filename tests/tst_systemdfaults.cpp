// The systemd service source when systemd or the way to it misbehaves: thousands of units,
// escaped names, a remote host that never answers, a connection or a manager that dies
// between the listing and the reads. Runs under tests/support/with-user-manager.sh and
// with-sshd.sh in a harness run of its own, because its last test kills the manager.
#include <QtNetwork>
#include <QtTest>

#include <csignal>
#include <future>
#include <unistd.h>

#include "tests/support/systemdlisting.h"
#include "tests/support/usermanager.h"

using namespace std::chrono_literals;

namespace {

// Escaped as systemd-escape escapes "café-broker", "/srv/broker data" (--path) and "Zürich".
const QString Cafe = R"(caf\xc3\xa9\x2dbroker)", SrvData = R"(srv-broker\x20data)", Zurich = R"(x-broker@Z\xc3\xbcrich)";

// The ssh that sd-bus started for the remote connection, this process's only child.
pid_t SshChild()
{
    QFile children(QString("/proc/self/task/%1/children").arg(getpid()));
    return children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().toInt() : 0;
}

} // namespace

class SystemdFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsOnlyTheBrokersAmongThousands();
    void failsRemoteHostThatNeverAnswers();
    void failsWhenTheBusSideDiesMidScan_data();
    void failsWhenTheBusSideDiesMidScan(); // kills the manager: the last test
};

void SystemdFaultsTest::initTestCase()
{
    QVERIFY2(!SshPort().isEmpty(), "run under tests/support/with-user-manager.sh tests/support/with-sshd.sh");
    for (const QString &name : {Cafe, SrvData, QString("x-broker@")})
        QVERIFY(UserManager::InstallUnit(name, Sleeper));
    for (int i = 0; i < 5000; ++i)
        QVERIFY(UserManager::InstallUnit(QString("filler-%1").arg(i), Sleeper));
    QCOMPARE(UserManager::Systemctl({"daemon-reload"}), 0);
    QCOMPARE(UserManager::Systemctl({"start", Cafe, Zurich}), 0);
}

void SystemdFaultsTest::readsOnlyTheBrokersAmongThousands()
{
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List("localhost", services));
    QStringList states;
    for (std::size_t i = 0; i < services->Count(); ++i) {
        BrokerService service;
        QVERIFY(!services->Read(i, service));
        states << QString::fromStdString(service.Name + "|" + service.State);
    }
    states.sort();
    QCOMPARE(states, QStringList({Cafe + "|Running", SrvData + "|Stopped", Zurich + "|Running"}));
}

void SystemdFaultsTest::failsRemoteHostThatNeverAnswers()
{
    // Its sshd greets, then falls silent: ssh's own ConnectTimeout ends with the greeting.
    QTcpServer sshd;
    QVERIFY(sshd.listen(QHostAddress::LocalHost));
    connect(&sshd, &QTcpServer::newConnection, [&sshd] { sshd.nextPendingConnection()->write("SSH-2.0-Silent\r\n"); });
    auto listing = std::async(std::launch::async, [server = "root@127.0.0.1:" + QString::number(sshd.serverPort())] {
        std::unique_ptr<ServiceCollection> services;
        return List(server, services, 1s);
    });
    QTRY_VERIFY_WITH_TIMEOUT(listing.wait_for(0s) == std::future_status::ready, 10000);
    QCOMPARE(listing.get().value_or(SourceFailure{}).Source, "sd_bus_start");
}

void SystemdFaultsTest::failsWhenTheBusSideDiesMidScan_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QStringList>("sources");
    QTest::newRow("ssh connection killed") << "root@127.0.0.1:" + SshPort()
                                           << QStringList{"org.freedesktop.DBus.Error.Disconnected"};
    // The read reaches the manager while it dies, or, once its name is gone, waits in the
    // bus for a manager to come back.
    QTest::newRow("manager killed") << "localhost"
                                    << QStringList{"org.freedesktop.DBus.Error.NoReply", "org.freedesktop.DBus.Error.Timeout"};
}

void SystemdFaultsTest::failsWhenTheBusSideDiesMidScan()
{
    QFETCH(QString, server);
    QFETCH(QStringList, sources);
    const bool overSsh = server != "localhost";
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List(server, services, 1s));
    const pid_t victim = overSsh ? SshChild() : qEnvironmentVariableIntValue("BROKER_TEST_MANAGER_PID");
    QVERIFY(victim > 0 && kill(victim, SIGKILL) == 0);
    BrokerService service;
    const QString source = QString::fromStdString(services->Read(0, service).value_or(SourceFailure{}).Source);
    QVERIFY2(sources.contains(source), qPrintable(source));
    // The next listing connects anew: over ssh it reads the manager again, without a manager
    // it fails.
    QCOMPARE(!List(server, services, 1s), overSsh);
}

QTEST_GUILESS_MAIN(SystemdFaultsTest)
#include "tst_systemdfaults.moc"
