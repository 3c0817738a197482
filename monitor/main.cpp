#include "monitor/qtwindowplatform.h"
#include "monitor/tarvikbrokerservicecheck.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvik Broker ServiceCheck"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QtWindowPlatform platform;
    TarvikBrokerServiceCheck window(platform.Services(), platform.Winsock1);
    window.show();
    return QApplication::exec();
}
