#include "tests/support/aiosmtpdserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool Accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

AiosmtpdServer::AiosmtpdServer() = default;

AiosmtpdServer::~AiosmtpdServer()
{
    Server.terminate();
    if (!Server.waitForFinished(5000))
        Server.kill();
    Server.waitForFinished(5000);
}

bool AiosmtpdServer::Start(quint16 port)
{
    ListenPort = port != 0 ? port : FreeLoopbackPort();
    // Debian's interpreter: the one on PATH may lack Debian's modules.
    Server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Server.start("/usr/bin/python3",
                 {"-m", "aiosmtpd", "-n", "-l", QStringLiteral("127.0.0.1:%1").arg(ListenPort),
                  "-c", "aiosmtpd.handlers.Mailbox", MailboxPath()});
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (Server.state() == QProcess::NotRunning) {
            Failure = "aiosmtpd exited: " + Server.errorString();
            return false;
        }
        if (Accepts(ListenPort))
            return true;
        QThread::msleep(100);
    }
    Failure = "aiosmtpd did not accept connections within 20 s";
    return false;
}

QList<QByteArray> AiosmtpdServer::Messages() const
{
    QList<QByteArray> messages;
    QFileInfoList files = QDir(MailboxPath() + "/new").entryInfoList(QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo &file : files) {
        QFile message(file.filePath());
        if (message.open(QIODevice::ReadOnly))
            messages << message.readAll();
    }
    return messages;
}
