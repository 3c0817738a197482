#include "tests/support/scriptedsmtppeer.h"

#include <QTimer>

#include <sys/socket.h>

namespace {
constexpr int PieceGapMs = 100;
}

ScriptedSmtpPeer::ScriptedSmtpPeer(QStringList script) : Script(std::move(script))
{
    Server.listen(QHostAddress::LocalHost, 0);
    connect(&Server, &QTcpServer::newConnection, this, &ScriptedSmtpPeer::Accept);
}

void ScriptedSmtpPeer::Accept()
{
    while (QTcpSocket *socket = Server.nextPendingConnection()) {
        ++Connections;
        Client = socket;
        Client->setParent(this);
        connect(Client, &QTcpSocket::readyRead, this, &ScriptedSmtpPeer::TakeClientLines);
        RunSteps();
    }
}

void ScriptedSmtpPeer::TakeClientLines()
{
    Unread += qobject_cast<QTcpSocket *>(sender())->readAll();
    for (qsizetype end; (end = Unread.indexOf("\r\n")) >= 0;) {
        ClientLines << QString::fromUtf8(Unread.left(end));
        Unread.remove(0, end + 2);
    }
    RunSteps();
}

void ScriptedSmtpPeer::RunSteps()
{
    for (; Client && Step < Script.size(); ++Step) {
        const QString step = Script[Step];
        if (step.startsWith("S:")) {
            Client->write(step.mid(2).toLatin1() + "\r\n");
        } else if (step.startsWith("P:")) {
            Client->write(step.mid(2).toLatin1());
            Client->flush();
            QTimer::singleShot(PieceGapMs, this, &ScriptedSmtpPeer::RunSteps);
            ++Step;
            return;
        } else if (step == "CLOSE") {
            Client->disconnectFromHost();
            Client = nullptr;
        } else if (step == "RST") {
            Reset();
        } else if (TakenLines < ClientLines.size()) {
            const QString line = ClientLines[TakenLines++];
            if (line != step.mid(2))
                Mismatches << QStringLiteral("expected \"%1\", got \"%2\"").arg(step.mid(2), line);
        } else {
            return;
        }
    }
}

void ScriptedSmtpPeer::Reset()
{
    // Lingering for no time makes the close a reset instead of an orderly end.
    const linger abortive{1, 0};
    setsockopt(static_cast<int>(Client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
               sizeof abortive);
    Client->abort();
    Client = nullptr;
}
