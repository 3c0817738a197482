// The systemd service source against a real user manager and a real sshd in front of it,
// both started by tests/support/with-user-manager.sh and tests/support/with-sshd.sh.
#include <QElapsedTimer>
#include <QLocalServer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

#include "platform/servicesource_systemd.h"
#include "tests/support/usermanager.h"

using namespace std::chrono_literals;
using UserManager::AwaitState;
using UserManager::Systemctl;

namespace {

const std::string Moniker = "winmgmts:{impersonationLevel=impersonate}!//";
const std::string BrokerGlob = "*[Bb][Rr][Oo][Kk][Ee][Rr]*";
const QString Sleeper = "[Service]\nExecStart=/bin/sleep infinity\n";

const std::pair<const char *, QString> Units[] = {
    {"tarvik-broker", Sleeper},
    {"MyBrokerSvc", "[Service]\nType=exec\nExecStart=/bin/sleep infinity\n"},
    {"failing-broker", "[Service]\nType=oneshot\nExecStart=/bin/false\n"},
    {"broker-logger", "[Service]\nType=forking\nExecStart=/bin/sh -c '/bin/sleep infinity &'\n"},
    {"idle-broker", "[Service]\nType=idle\nExecStart=/bin/sleep infinity\n"},
    {"pending-broker", "[Service]\nType=notify\nExecStart=/bin/sleep infinity\nTimeoutStartSec=infinity\n"},
    {"stopping-broker", Sleeper + "ExecStop=/bin/sleep infinity\nTimeoutStopSec=infinity\n"},
    {"toggled-broker", Sleeper},
    {"refused-broker", Sleeper}, // the harness's bus refuses to read it
    {"x-broker@", Sleeper},
    {"plain-worker", "[Unit]\nWants=ghost-broker.service\n" + Sleeper},
};

std::optional<SourceFailure> List(const std::string &server, std::unique_ptr<ServiceCollection> &services,
                                  std::chrono::milliseconds timeout = 10s)
{
    return SystemdServiceSource(timeout).InstancesOf(Moniker + server, "Win32_Service", BrokerGlob, services);
}

QStringList NamesOf(const ServiceCollection &services)
{
    QStringList names;
    for (std::size_t i = 0; i < services.Count(); ++i)
        names << QString::fromStdString(services.Name(i));
    return names;
}

bool WriteFile(const QString &path, const QString &text, QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.setPermissions(permissions);
}

struct EnvironmentOverride {
    EnvironmentOverride(const char *name, const QByteArray &value) : Name(name), Old(qgetenv(name)) { qputenv(Name, value); }
    ~EnvironmentOverride() { qputenv(Name, Old); }
    const char *Name;
    QByteArray Old;
};

} // namespace

class SystemdSourceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void deliversEachInstalledServiceOnce_data();
    void deliversEachInstalledServiceOnce();
    void deliversLoadedUnitsFirst();
    void readsProperties_data();
    void readsProperties();
    void readsStateWhenAsked();
    void failsReadInTheBusWords_data();
    void failsReadInTheBusWords();
    void acceptsOnlyServerNames_data();
    void acceptsOnlyServerNames();
    void failsConnectingWithinTimeOut_data();
    void failsConnectingWithinTimeOut();
    void readsRemoteManagerOverSsh();
    void refusesRemoteWithoutPrompting_data();
    void refusesRemoteWithoutPrompting();

private:
    bool Ran(const QString &program) const { return QFile::exists(Scratch.filePath(program + ".ran")); }

    QTemporaryDir Scratch;
    QString SshPort;
    QProcess BusWithoutManager;
    QLocalServer Silent; // listens, never answers: nothing runs its event loop
};

void SystemdSourceTest::initTestCase()
{
    SshPort = qEnvironmentVariable("BROKER_TEST_SSH_PORT");
    QVERIFY2(!SshPort.isEmpty(), "run under tests/support/with-user-manager.sh tests/support/with-sshd.sh");
    const QString unitDir = QDir::homePath() + "/.config/systemd/user/";
    for (const auto &[name, text] : Units)
        QVERIFY(UserManager::InstallUnit(name, text));
    QVERIFY(QFile::link(unitDir + "tarvik-broker.service", unitDir + "alias-broker.service"));
    QCOMPARE(Systemctl({"daemon-reload"}), 0);
    QCOMPARE(Systemctl({"start", "tarvik-broker", "broker-logger", "x-broker@one", "plain-worker", "stopping-broker"}), 0);
    QCOMPARE(Systemctl({"start", "failing-broker"}), 1);
    QCOMPARE(Systemctl({"start", "--no-block", "pending-broker"}), 0);
    QCOMPARE(Systemctl({"stop", "--no-block", "stopping-broker"}), 0);
    QVERIFY(AwaitState("pending-broker", "activating") && AwaitState("stopping-broker", "deactivating"));

    // Stand-ins that record being run: an ssh that must never start, and the askpass that
    // ssh would use for any question it asked.
    QVERIFY(Scratch.isValid() && QDir(Scratch.path()).mkdir("bin"));
    for (const QString program : {"bin/ssh", "askpass"})
        QVERIFY(WriteFile(Scratch.filePath(program), "#!/bin/sh\ntouch '" + Scratch.filePath(program) + ".ran'\nexit 1\n",
                          QFile::ReadOwner | QFile::ExeOwner));
    qputenv("SSH_ASKPASS", Scratch.filePath("askpass").toUtf8());
    qputenv("SSH_ASKPASS_REQUIRE", "force");

    // Not a session bus, which would start a manager on demand.
    QVERIFY(WriteFile(Scratch.filePath("bus.conf"),
                      "<busconfig><listen>unix:path=" + Scratch.filePath("bus") + "</listen><auth>EXTERNAL</auth>"
                      "<policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                      "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>"));
    BusWithoutManager.start("dbus-daemon", {"--config-file=" + Scratch.filePath("bus.conf"), "--nofork", "--print-address"});
    QVERIFY(BusWithoutManager.waitForReadyRead(10000) && Silent.listen(Scratch.filePath("silent")));
}

void SystemdSourceTest::deliversEachInstalledServiceOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("times");
    QTest::newRow("running broker") << "tarvik-broker" << 1;
    QTest::newRow("installed, never loaded, mixed case") << "MyBrokerSvc" << 1;
    QTest::newRow("failed broker") << "failing-broker" << 1;
    QTest::newRow("broker logger, left to the scan") << "broker-logger" << 1;
    QTest::newRow("instance of a template") << "x-broker@one" << 1;
    QTest::newRow("template") << "x-broker@" << 0;
    QTest::newRow("service of another name") << "plain-worker" << 0;
    QTest::newRow("referred to but not installed") << "ghost-broker" << 0;
    QTest::newRow("alias of a delivered service") << "alias-broker" << 0;
}

void SystemdSourceTest::deliversEachInstalledServiceOnce()
{
    QFETCH(QString, name);
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List("localhost", services));
    QTEST(int(NamesOf(*services).count(name)), "times");
}

void SystemdSourceTest::deliversLoadedUnitsFirst()
{
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List("localhost", services));
    const QStringList names = NamesOf(*services);
    QVERIFY2(names.indexOf("tarvik-broker") < names.indexOf("MyBrokerSvc"), qPrintable(names.join(' ')));
}

void SystemdSourceTest::readsProperties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("hasProcess");
    QTest::newRow("running") << "tarvik-broker" << "simple" << "Running" << true;
    QTest::newRow("installed, never loaded") << "MyBrokerSvc" << "exec" << "Stopped" << false;
    QTest::newRow("failed") << "failing-broker" << "oneshot" << "Stopped" << false;
    QTest::newRow("forked") << "broker-logger" << "forking" << "Running" << true;
    QTest::newRow("idle, never started") << "idle-broker" << "idle" << "Stopped" << false;
    QTest::newRow("starting") << "pending-broker" << "notify" << "Start Pending" << true;
    QTest::newRow("stopping") << "stopping-broker" << "simple" << "Stop Pending" << true;
}

void SystemdSourceTest::readsProperties()
{
    QFETCH(QString, name);
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List("localhost", services));
    BrokerService service;
    QVERIFY(!services->Read(NamesOf(*services).indexOf(name), service));
    QCOMPARE(QString::fromStdString(service.Name), name);
    QTEST(QString::fromStdString(service.ServiceType), "type");
    QTEST(QString::fromStdString(service.State), "state");
    QTEST(service.ProcessID != 0, "hasProcess");
}

void SystemdSourceTest::readsStateWhenAsked()
{
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List("localhost", services));
    const auto index = NamesOf(*services).indexOf("toggled-broker");
    BrokerService service;
    for (const std::string verb : {"start", "stop"}) {
        QCOMPARE(Systemctl({QString::fromStdString(verb), "toggled-broker"}), 0);
        QVERIFY(!services->Read(index, service));
        QCOMPARE(service.State, verb == "start" ? "Running" : "Stopped");
        QCOMPARE(service.ProcessID != 0, verb == "start");
    }
}

void SystemdSourceTest::failsReadInTheBusWords_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hangManager");
    QTest::addColumn<QString>("source");
    QTest::newRow("read refused") << "refused-broker" << false << "org.freedesktop.DBus.Error.AccessDenied";
    QTest::newRow("manager hung") << "tarvik-broker" << true << "org.freedesktop.DBus.Error.Timeout";
}

void SystemdSourceTest::failsReadInTheBusWords()
{
    QFETCH(QString, name);
    QFETCH(bool, hangManager);
    std::unique_ptr<ServiceCollection> services;
    QVERIFY(!List("localhost", services, 500ms));
    const pid_t manager = hangManager ? qEnvironmentVariableIntValue("BROKER_TEST_MANAGER_PID") : 0;
    BrokerService service;
    service.Name = "untouched";
    QElapsedTimer timer;
    timer.start();
    QVERIFY(manager == 0 || kill(manager, SIGSTOP) == 0);
    const auto failure = services->Read(NamesOf(*services).indexOf(name), service);
    QVERIFY(manager == 0 || kill(manager, SIGCONT) == 0);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(failure);
    QTEST(QString::fromStdString(failure->Source), "source");
    QCOMPARE(service.Name, "untouched");
}

void SystemdSourceTest::acceptsOnlyServerNames_data()
{
    QTest::addColumn<QString>("moniker");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("refusedBy"); // empty: read from this machine's system bus
    char host[256] = {};
    QVERIFY(gethostname(host, sizeof host - 1) == 0);
    const auto row = [](const char *name, const QString &server, const QString &refusedBy) {
        QTest::newRow(name) << QString::fromStdString(Moniker) + server << "Win32_Service" << refusedBy;
    };
    for (const char *local : {"localhost", "LOCALHOST", "127.0.0.1", "::1", "[::1]", "."})
        row(local, local, "");
    row("host name", host, "");
    row("host name, upper case", QString(host).toUpper(), "");
    const std::pair<const char *, const char *> refused[] = {
        {"empty", ""}, {"ssh option", "-oProxyCommand=x"}, {"ssh flag", "-v"}, {"ssh option as user", "-oProxyCommand@h"},
        {"space", "host name"}, {"tab", "a\tb"}, {"line break", "h\nx"}, {"shell syntax", "h;rm"},
        {"two at signs", "user@@h"}, {"port 0", "h:0"}, {"port 99999", "h:99999"}, {"port missing", "h:"},
        {"port not a number", "h:ssh"}, {"unclosed bracket", "[::1"}};
    for (const auto &[name, server] : refused)
        row(name, server, "Broker Server Name/IP");
    QTest::newRow("other class") << QString::fromStdString(Moniker) + "h" << "Win32_Process" << "SystemdServiceSource";
    QTest::newRow("other moniker") << "winmgmts://h" << "Win32_Service" << "SystemdServiceSource";
}

void SystemdSourceTest::acceptsOnlyServerNames()
{
    QFETCH(QString, moniker);
    QFETCH(QString, className);
    QFETCH(QString, refusedBy);
    const EnvironmentOverride path("PATH", Scratch.filePath("bin").toUtf8() + ":" + qgetenv("PATH"));
    std::unique_ptr<ServiceCollection> services;
    const auto failure = SystemdServiceSource().InstancesOf(moniker.toStdString(), className.toStdString(), BrokerGlob, services);
    QCOMPARE(failure ? QString::fromStdString(failure->Source) : QString(), refusedBy);
    QCOMPARE(services && NamesOf(*services).contains("tarvik-broker"), refusedBy.isEmpty());
    QVERIFY(!Ran("bin/ssh"));
}

void SystemdSourceTest::failsConnectingWithinTimeOut_data()
{
    QTest::addColumn<QString>("systemBus");
    QTest::addColumn<QString>("source");
    QTest::newRow("socket nobody serves") << "unix:path=" + Scratch.filePath("nobody") << "sd_bus_open_system";
    QTest::newRow("listener that never answers") << "unix:path=" + Silent.fullServerName() << "sd_bus_open_system";
    QTest::newRow("bus without a manager") << "unix:path=" + Scratch.filePath("bus")
                                           << "org.freedesktop.DBus.Error.ServiceUnknown";
}

void SystemdSourceTest::failsConnectingWithinTimeOut()
{
    QFETCH(QString, systemBus);
    const EnvironmentOverride bus("DBUS_SYSTEM_BUS_ADDRESS", systemBus.toUtf8());
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<ServiceCollection> services;
    const auto failure = List("localhost", services, 500ms);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(failure);
    QTEST(QString::fromStdString(failure->Source), "source");
}

void SystemdSourceTest::readsRemoteManagerOverSsh()
{
    std::unique_ptr<ServiceCollection> local, remote;
    QVERIFY(!List("localhost", local));
    QVERIFY(!List("root@127.0.0.1:" + SshPort.toStdString(), remote));
    QStringList localNames = NamesOf(*local), remoteNames = NamesOf(*remote);
    localNames.sort();
    remoteNames.sort();
    QCOMPARE(remoteNames, localNames);
    BrokerService service;
    QVERIFY(!remote->Read(NamesOf(*remote).indexOf("tarvik-broker"), service));
    QCOMPARE(service.State, "Running");
}

void SystemdSourceTest::refusesRemoteWithoutPrompting_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("unknown host key") << "root@127.0.0.2:" + SshPort;
    QTest::newRow("changed host key") << "root@localhost:" + SshPort;
    QTest::newRow("key not accepted") << "nobody@127.0.0.1:" + SshPort;
    QTcpServer wasFree;
    QVERIFY(wasFree.listen(QHostAddress::LocalHost));
    QTest::newRow("port that refuses") << "root@127.0.0.1:" + QString::number(wasFree.serverPort());
}

void SystemdSourceTest::refusesRemoteWithoutPrompting()
{
    QFETCH(QString, server);
    std::unique_ptr<ServiceCollection> services;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(List(server.toStdString(), services, 5s));
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY(!Ran("askpass"));
}

QTEST_GUILESS_MAIN(SystemdSourceTest)
#include "tst_systemdsource.moc"
