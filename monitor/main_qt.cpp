#include "mail/relaypassword.h"
#include "monitor/monitorwindow_qt.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_qt.h"
#include "platform/os/secretinput.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (RelayPassword::Asked(arguments)) {
        std::string out;
        SecretServiceStore store;
        const int status = RelayPassword::Run(arguments, store, [] { return ReadSecretLine("Password: "); }, out);
        std::fputs(out.c_str(), stdout);
        return status;
    }
    if (BrokerCheck::Asked(arguments)) {
        QCoreApplication app(argc, argv);
        std::string out;
        const int status = RunBrokerCheck(arguments, out);
        std::fputs(out.c_str(), stdout);
        return status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvik Broker ServiceCheck"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setDesktopFileName(QStringLiteral("tarvik-broker-servicecheck"));
    QIcon icon;
    for (const QFileInfo &png : QDir(QStringLiteral(":/icons")).entryInfoList())
        icon.addFile(png.filePath());
    QApplication::setWindowIcon(icon);
    QtWindowPlatform platform;
    QtMonitorWindow window;
    platform.Attach(&window);
    TarvikBrokerServiceCheck monitor(platform.Monitor(), window);
    window.Wire(monitor);
    window.show();
    return QApplication::exec();
}
