// The systemd service source against a real user manager, read directly and through a real
// sshd in front of it, both started by tests/support/with-user-manager.sh.
#include "platform/services/managerbus_systemd.h"
#include "platform/services/servicesource_systemd.h"
#include "tests/support/usermanager.h"

#include <QtTest>

#include <csignal>


namespace {

std::optional<SourceFailure> List(const QString &server, std::unique_ptr<ServiceCollection> &services)
{
    return SystemdServiceSource(std::chrono::seconds(5))
        .InstancesOf(ServiceMonikerPrefix + server.toStdString(), ServiceClassName,
                     "*[Bb][Rr][Oo][Kk][Ee][Rr]*", services);
}

} // namespace

class SystemdTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Ordered after it, the running broker keeps late-broker loaded while it is stopped.
        QVERIFY(UserManager::InstallUnit("tarvik-broker", "[Unit]\nWants=ghost-broker.service\nAfter=late-broker.service\n" +
                                                              UserManager::Sleeper));
        QVERIFY(UserManager::InstallUnit("late-broker"));
        QVERIFY(UserManager::InstallUnit("MyBrokerSvc", "[Service]\nType=exec\nExecStart=/bin/sleep infinity\n"));
        QVERIFY(UserManager::InstallUnit("failing-broker", "[Service]\nType=oneshot\nExecStart=/bin/false\n"));
        QVERIFY(UserManager::InstallUnit("x-broker@"));
        // More services than a system bus lets one connection wait for replies about (128):
        // the odd ones run, the even ones ran once and stopped.
        QStringList running;
        for (int i = 0; i < 150; ++i) {
            const QString name = QString("many-broker-%1").arg(i, 3, 10, QChar('0'));
            QVERIFY(UserManager::InstallUnit(name, i % 2 ? UserManager::Sleeper : "[Service]\nType=oneshot\nExecStart=/bin/true\n"));
            running << (i % 2 ? name : QString());
        }
        const QString units = QDir::homePath() + "/.config/systemd/user/";
        QVERIFY(QFile::link(units + "tarvik-broker.service", units + "alias-broker.service"));
        QCOMPARE(UserManager::Systemctl({"daemon-reload"}), 0);
        QCOMPARE(UserManager::Systemctl(QStringList{"start", "tarvik-broker", "x-broker@one"} + running.filter("many")), 0);
        QCOMPARE(UserManager::Systemctl({"start", "failing-broker"}), 1);
        const auto writeScript = [this](const char *name, const QByteArray &text) {
            QFile script(Scratch.filePath(name));
            return script.open(QIODevice::WriteOnly) && script.write(text) == text.size()
                && script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        };
        // ssh would run the askpass for any question it asked; this one records that it ran.
        QVERIFY(writeScript("askpass", "#!/bin/sh\ntouch \"$0.ran\"\nexit 1\n"));
        qputenv("SSH_ASKPASS", Scratch.filePath("askpass").toUtf8());
        qputenv("SSH_ASKPASS_REQUIRE", "force");
        // The real ssh behind one that, for the user "talkative", says more than a pipe holds
        // before its reason.
        QVERIFY(writeScript("ssh", "#!/bin/sh\ncase \"$*\" in *'-l talkative '*) yes | head -c 80000 >&2\n"
                            "echo 'Permission denied (publickey).' >&2; exit 255;; esac\nPATH=${PATH#*:} exec ssh \"$@\"\n"));
        qputenv("PATH", Scratch.path().toUtf8() + ":" + qgetenv("PATH"));
    }

    void deliversEachInstalledServiceOnce_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type"); // empty: not delivered
        QTest::addColumn<QString>("state"); // a process only when running
        const auto row = [](const char *tag, const char *name, const char *type, const char *state) {
            for (const char *server : {"localhost", "root@127.0.0.1"})
                QTest::addRow("%s, %s", tag, server) << server << name << type << state;
        };
        row("running", "tarvik-broker", "simple", "Running");
        row("installed, never loaded, mixed case", "MyBrokerSvc", "exec", "Stopped");
        row("failed", "failing-broker", "oneshot", "Stopped");
        row("instance of a template", "x-broker@one", "simple", "Running");
        row("template", "x-broker@", "", "");
        row("referred to, never installed", "ghost-broker", "", "");
        row("alias", "alias-broker", "", "");
        // Read past all the reads sent ahead of them, each its own service's.
        row("the last of many, stopped", "many-broker-148", "oneshot", "Stopped");
        row("the last of many, running", "many-broker-149", "simple", "Running");
    }

    void deliversEachInstalledServiceOnce()
    {
        QFETCH(QString, server);
        QFETCH(QString, name);
        QFETCH(QString, type);
        std::unique_ptr<ServiceCollection> services;
        QVERIFY(!List(server, services));
        QStringList names;
        for (std::size_t i = 0; i < services->Count(); ++i)
            names << QString::fromStdString(services->Name(i));
        QCOMPARE(names.count(name), type.isEmpty() ? 0 : 1);
        BrokerService service;
        QVERIFY(type.isEmpty() || !services->Read(names.indexOf(name), service));
        QCOMPARE(QString::fromStdString(service.ServiceType), type);
        QTEST(QString::fromStdString(service.State), "state");
        QCOMPARE(service.ProcessID != 0, service.State == "Running");
    }

    // A broker started between the listing and the reads is still as the listing saw it:
    // stopped, and without the process it has a moment later.
    void readsStateAndProcessOfOneMoment()
    {
        std::unique_ptr<ServiceCollection> services;
        QVERIFY(!List("localhost", services));
        QCOMPARE(UserManager::Systemctl({"start", "late-broker"}), 0);
        std::size_t index = 0;
        while (services->Name(index) != "late-broker") // past the end, Name throws
            ++index;
        BrokerService service;
        QVERIFY(!services->Read(index, service));
        QCOMPARE(service.State, "Stopped");
        QCOMPARE(service.ProcessID, 0u);
        QCOMPARE(UserManager::Systemctl({"stop", "late-broker"}), 0);
    }

    void refusesRemoteInSshsWordsWithoutPrompting_data()
    {
        // The private known_hosts knows the sshd's key for 127.0.0.1 only, and another key for
        // localhost; the sshd takes root's key only and listens on port 22.
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("words");
        QTest::newRow("unknown host key") << "root@127.0.0.2" << "Host key verification failed.";
        QTest::newRow("changed host key") << "root@localhost" << "Host key verification failed.";
        QTest::newRow("key refused") << "nobody@127.0.0.1" << "Permission denied (publickey";
        QTest::newRow("key refused after a long banner") << "talkative@127.0.0.1" << "Permission denied (publickey).";
        QTest::newRow("port refused") << "root@127.0.0.1:2" << "port 2: Connection refused";
        QTest::newRow("host name that does not resolve") << "nonexistent.invalid" << "Could not resolve hostname";
    }

    void refusesRemoteInSshsWordsWithoutPrompting()
    {
        QFETCH(QString, server);
        QFETCH(QString, words);
        std::unique_ptr<ServiceCollection> services;
        const auto failure = List(server, services);
        QVERIFY(failure);
        QCOMPARE(QString::fromStdString(failure->Source), "sd_bus_start");
        QVERIFY2(QString::fromStdString(failure->Description).contains(words), failure->Description.c_str());
        QVERIFY(!QFile::exists(Scratch.filePath("askpass.ran")));
    }

    // The server text check is all that stands between the operator's text and ssh's
    // arguments: what it lets through reaches ssh as a host after "--", never as an option,
    // so ssh is given as many options as for a plain host of the same form.
    void keepsServerTextsOutOfSshsOptions()
    {
        ServerTarget target;
        // Options, blanks, shell characters, no host, ports out of range or no number.
        for (const char *refused : {"-oProxyCommand=reboot", "root@-host", "-l", "[-1::]", "host name", " host", "host\t",
                                    "host\nother", "host;reboot", "$(reboot)", "`reboot`", "a|b", "a&b", "'host'", "\"host\"",
                                    "a>b", "", "root@", "@host", "root@:22", "[]", ":22", "host:0", "host:65536", "host:ssh",
                                    "[::1]:99999", "host:-1"})
            QVERIFY2(ParseServerTarget(refused, target), refused);
        const auto options = [](const std::vector<std::string> &arguments) {
            return std::count_if(arguments.begin(), arguments.end(), [](const std::string &a) { return a.starts_with('-'); });
        };
        // Mostly host-name characters, the same texts on every run.
        QRandomGenerator random(16);
        for (int i = 0; i < 20000; ++i) {
            std::string text(random.bounded(10), ' ');
            for (char &c : text)
                c = random.bounded(4) ? "ab19-."[random.bounded(6)] : "@:@:@:[] ;$`|&'\"\n"[random.bounded(17)];
            if (ParseServerTarget(text, target))
                continue;
            const ServerTarget plain{false, target.User.empty() ? "" : "u", "h", target.Port.empty() ? "" : "1"};
            const auto arguments = SshArguments(target, std::chrono::seconds(1));
            QCOMPARE(options(arguments), options(SshArguments(plain, std::chrono::seconds(1))));
            QCOMPARE(arguments.at(std::find(arguments.begin(), arguments.end(), "--") - arguments.begin() + 1), target.Host);
        }
    }

    void failsWhenTheBusSideDiesMidScan_data()
    {
        // The manager is gone for good after the last row.
        QTest::addColumn<QString>("server");
        QTest::newRow("ssh connection killed") << "root@127.0.0.1";
        QTest::newRow("manager killed") << "localhost";
    }

    void failsWhenTheBusSideDiesMidScan()
    {
        QFETCH(QString, server);
        const bool overSsh = server != "localhost";
        std::unique_ptr<ServiceCollection> services;
        QVERIFY(!List(server, services));
        // The ssh that carries the connection is this process's only child.
        QFile children(QString("/proc/self/task/%1/children").arg(getpid()));
        const pid_t victim = !overSsh ? qEnvironmentVariableIntValue("BROKER_TEST_MANAGER_PID")
                             : children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().toInt() : 0;
        QVERIFY(victim > 0 && kill(victim, SIGKILL) == 0);
        BrokerService service;
        QVERIFY(services->Read(0, service));
        // The next listing connects anew: over ssh it reads the manager again, without a manager
        // it fails.
        QCOMPARE(!List(server, services), overSsh);
    }

private:
    QTemporaryDir Scratch;
};

QTEST_GUILESS_MAIN(SystemdTest)
#include "tst_systemd.moc"
