#include "tests/support/scriptedsmtppeer.h"

#include <QTimer>

namespace {
constexpr int PieceGapMs = 40;
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
        if (Client) {
            socket->deleteLater();
            continue;
        }
        Client = socket;
        Client->setParent(this);
        connect(Client, &QTcpSocket::readyRead, this, &ScriptedSmtpPeer::TakeClientLines);
        RunSteps();
    }
}

void ScriptedSmtpPeer::TakeClientLines()
{
    Unread += Client->readAll();
    for (qsizetype end; (end = Unread.indexOf("\r\n")) >= 0;) {
        const QString line = QString::fromUtf8(Unread.left(end));
        Unread.remove(0, end + 2);
        ClientLines << line;
        PendingLines << line;
    }
    RunSteps();
}

void ScriptedSmtpPeer::RunSteps()
{
    while (Client && Step < Script.size()) {
        const QString step = Script[Step];
        if (step.startsWith("S:")) {
            Client->write(step.mid(2).toUtf8() + "\r\n");
        } else if (step.startsWith("P:")) {
            Client->write(step.mid(2).toUtf8());
            Client->flush();
            ++Step;
            QTimer::singleShot(PieceGapMs, this, &ScriptedSmtpPeer::RunSteps);
            return;
        } else if (step == "CLOSE") {
            Client->disconnectFromHost();
            Client = nullptr;
        } else if (!TakeExpectedLines(step)) {
            return;
        }
        ++Step;
    }
}

// Consumes the client lines of a "C:" or "MESSAGE" step; false while the step needs more.
bool ScriptedSmtpPeer::TakeExpectedLines(const QString &step)
{
    while (!PendingLines.isEmpty()) {
        const QString line = PendingLines.takeFirst();
        if (step != "MESSAGE") {
            if (line != step.mid(2))
                Mismatches << QStringLiteral("expected \"%1\", got \"%2\"").arg(step.mid(2), line);
            return true;
        }
        if (line == ".")
            return true;
        MessageLines << line;
    }
    return false;
}
