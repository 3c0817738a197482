#include "monitor/qtwindowplatform.h"
#include "monitor/tarvikbrokerservicecheck.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvik Broker ServiceCheck"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setDesktopFileName(QStringLiteral("tarvik-broker-servicecheck"));
    QtWindowPlatform platform;
    TarvikBrokerServiceCheck window(platform.Monitor());
    window.show();
    return QApplication::exec();
}
