// The systemd service source against a real user manager and a real sshd in front of it,
// both started by tests/support/with-user-manager.sh and tests/support/with-sshd.sh.
#include <QtNetwork>
#include <QtTest>

#include <csignal>
#include <unistd.h>

#include "tests/support/systemdlisting.h"
#include "tests/support/usermanager.h"

using UserManager::Systemctl;

namespace {

const std::pair<const char *, QString> Units[] = {
    {"tarvik-broker", "[Unit]\nWants=ghost-broker.service\n" + Sleeper}, // a broker never installed
    {"MyBrokerSvc", "[Service]\nType=exec\nExecStart=/bin/sleep infinity\n"},
    {"failing-broker", "[Service]\nType=oneshot\nExecStart=/bin/false\n"},
    {"pending-broker", "[Service]\nType=notify\nExecStart=/bin/sleep infinity\nTimeoutStartSec=infinity\n"},
    {"stopping-broker", Sleeper + "ExecStop=/bin/sleep infinity\nTimeoutStopSec=infinity\n"},
    {"refused-broker", Sleeper}, // the harness's bus refuses to read it
    {"x-broker@", Sleeper},
};

bool WriteFile(const QString &path, const QByteArray &text) // that its owner may run
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size()
        && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class SystemdSourceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void deliversEachInstalledServiceOnce_data();
    void deliversEachInstalledServiceOnce();
    void failsWithinTimeOut_data();
    void failsWithinTimeOut();
    void acceptsOnlyServerNames_data();
    void acceptsOnlyServerNames();
    void refusesRemoteWithoutPrompting_data();
    void refusesRemoteWithoutPrompting();

private:
    QTemporaryDir Scratch;
    QProcess BusWithoutManager;
    QLocalServer Silent; // listens, never answers: nothing runs its event loop
};

void SystemdSourceTest::initTestCase()
{
    QVERIFY2(!SshPort().isEmpty(), "run under tests/support/with-user-manager.sh tests/support/with-sshd.sh");
    const QString unitDir = QDir::homePath() + "/.config/systemd/user/";
    for (const auto &[name, text] : Units)
        QVERIFY(UserManager::InstallUnit(name, text));
    QVERIFY(QFile::link(unitDir + "tarvik-broker.service", unitDir + "alias-broker.service"));
    QCOMPARE(Systemctl({"daemon-reload"}), 0);
    QCOMPARE(Systemctl({"start", "tarvik-broker", "x-broker@one", "stopping-broker"}), 0);
    QCOMPARE(Systemctl({"start", "failing-broker"}), 1);
    QCOMPARE(Systemctl({"start", "--no-block", "pending-broker"}), 0);
    QCOMPARE(Systemctl({"stop", "--no-block", "stopping-broker"}), 0);
    QVERIFY(UserManager::AwaitState("pending-broker", "activating")
            && UserManager::AwaitState("stopping-broker", "deactivating"));

    // ssh would run the askpass for any question it asked; this one records that.
    QVERIFY(Scratch.isValid() && WriteFile(Scratch.filePath("askpass"), "#!/bin/sh\ntouch \"$0.ran\"\nexit 1\n"));
    qputenv("SSH_ASKPASS", Scratch.filePath("askpass").toUtf8());
    qputenv("SSH_ASKPASS_REQUIRE", "force");
    // A bus of its own: a session bus would start a manager on demand.
    QVERIFY(WriteFile(Scratch.filePath("bus.conf"), "<busconfig><listen>unix:path=" + Scratch.filePath("bus").toUtf8()
                                                        + "</listen><auth>EXTERNAL</auth><policy context='default'>"
                                                          "<allow receive_sender='*'/></policy></busconfig>"));
    BusWithoutManager.start("dbus-daemon", {"--config-file=" + Scratch.filePath("bus.conf"), "--nofork", "--print-address"});
    QVERIFY(BusWithoutManager.waitForReadyRead(10000) && Silent.listen(Scratch.filePath("silent")));
}

void SystemdSourceTest::deliversEachInstalledServiceOnce_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type"); // empty: not delivered
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("hasProcess");
    const auto row = [](const char *tag, const char *name, const char *type, const char *state, bool hasProcess) {
        for (const QString &server : {QString("localhost"), "root@127.0.0.1:" + SshPort()})
            QTest::addRow("%s, %s", tag, qPrintable(server)) << server << name << type << state << hasProcess;
    };
    row("running", "tarvik-broker", "simple", "Running", true);
    row("installed, never loaded, mixed case", "MyBrokerSvc", "exec", "Stopped", false);
    row("failed", "failing-broker", "oneshot", "Stopped", false);
    row("starting", "pending-broker", "notify", "Start Pending", true);
    row("stopping", "stopping-broker", "simple", "Stop Pending", true);
    row("instance of a template", "x-broker@one", "simple", "Running", true);
    row("template", "x-broker@", "", "", false);
    row("referred to, never installed", "ghost-broker", "", "", false);
    row("alias", "alias-broker", "", "", false);
}

void SystemdSourceTest::deliversEachInstalledServiceOnce()
{
    QFETCH(QString, server);
    QFETCH(QString, name);
    QFETCH(QString, type);
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List(server, services));
    const QStringList names = NamesOf(*services);
    QCOMPARE(names.count(name), type.isEmpty() ? 0 : 1);
    if (type.isEmpty())
        return;
    BrokerService service;
    QVERIFY(!services->Read(names.indexOf(name), service));
    QCOMPARE(QString::fromStdString(service.ServiceType), type);
    QTEST(QString::fromStdString(service.State), "state");
    QTEST(service.ProcessID != 0, "hasProcess");
}

void SystemdSourceTest::failsWithinTimeOut_data()
{
    QTest::addColumn<QString>("systemBus");
    QTest::addColumn<QString>("read"); // empty: the listing fails
    QTest::addColumn<bool>("hangManager");
    QTest::addColumn<QString>("source");
    const QString path = "unix:path=", managers = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    QTest::newRow("socket nobody serves") << path + Scratch.filePath("nobody") << "" << false << "sd_bus_open_system";
    QTest::newRow("listener that never answers") << path + Silent.fullServerName() << "" << false << "sd_bus_open_system";
    QTest::newRow("bus without a manager") << path + Scratch.filePath("bus") << "" << false
                                           << "org.freedesktop.DBus.Error.ServiceUnknown";
    QTest::newRow("read refused") << managers << "refused-broker" << false << "org.freedesktop.DBus.Error.AccessDenied";
    QTest::newRow("manager hung") << managers << "tarvik-broker" << true << "org.freedesktop.DBus.Error.Timeout";
}

void SystemdSourceTest::failsWithinTimeOut()
{
    QFETCH(QString, systemBus);
    QFETCH(QString, read);
    QFETCH(bool, hangManager);
    const auto restore = qScopeGuard([own = qgetenv("DBUS_SYSTEM_BUS_ADDRESS")] { qputenv("DBUS_SYSTEM_BUS_ADDRESS", own); });
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus.toUtf8());
    const pid_t manager = hangManager ? qEnvironmentVariableIntValue("BROKER_TEST_MANAGER_PID") : 0;
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<ServiceCollection> services;
    auto failure = List("localhost", services, std::chrono::milliseconds(500));
    if (!read.isEmpty()) {
        QVERIFY(!failure && (manager == 0 || kill(manager, SIGSTOP) == 0));
        BrokerService service;
        service.Name = "untouched";
        failure = services->Read(NamesOf(*services).indexOf(read), service);
        QVERIFY(manager == 0 || kill(manager, SIGCONT) == 0);
        QCOMPARE(service.Name, "untouched");
    }
    QVERIFY(timer.elapsed() < 5000);
    QTEST(QString::fromStdString(failure.value_or(SourceFailure{}).Source), "source");
}

void SystemdSourceTest::acceptsOnlyServerNames_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("refusedBy"); // empty: read from this machine's system bus
    char host[256] = {};
    QVERIFY(gethostname(host, sizeof host - 1) == 0);
    for (const QString &local : QStringList{"LOCALHOST", "127.0.0.1", "::1", "[::1]", ".", QString(host).toUpper()})
        QTest::addRow("\"%s\"", qPrintable(local)) << local << "";
    for (const char *refused : {"", "-v", "-oProxyCommand@h", "h;rm", "h:0", "h:99999", "h:ssh", "[::1"})
        QTest::addRow("\"%s\"", refused) << refused << "Broker Server Name/IP";
}

void SystemdSourceTest::acceptsOnlyServerNames()
{
    QFETCH(QString, server);
    QFETCH(QString, refusedBy);
    std::unique_ptr<ServiceCollection> services;
    const auto failure = List(server, services);
    QCOMPARE(failure ? QString::fromStdString(failure->Source) : QString(), refusedBy);
    QCOMPARE(services && NamesOf(*services).contains("tarvik-broker"), refusedBy.isEmpty());
}

void SystemdSourceTest::refusesRemoteWithoutPrompting_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("unknown host key") << "root@127.0.0.2:" + SshPort();
    QTest::newRow("changed host key") << "root@localhost:" + SshPort();
    QTest::newRow("key not accepted") << "nobody@127.0.0.1:" + SshPort();
    QTcpServer wasFree;
    QVERIFY(wasFree.listen(QHostAddress::LocalHost));
    QTest::newRow("port that refuses") << "root@127.0.0.1:" + QString::number(wasFree.serverPort());
}

void SystemdSourceTest::refusesRemoteWithoutPrompting()
{
    QFETCH(QString, server);
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(List(server, services));
    QVERIFY(!QFile::exists(Scratch.filePath("askpass.ran")));
}

QTEST_GUILESS_MAIN(SystemdSourceTest)
#include "tst_systemdsource.moc"
