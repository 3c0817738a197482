#include "tests/support/scriptedsmtppeer.h"

#include <QTimer>

#include <sys/socket.h>

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
    while (Client && Drip.isEmpty() && Step < Script.size()) {
        const QString step = Script[Step];
        if (step.startsWith("S:")) {
            if (!RepliedAhead)
                Client->write(step.mid(2).toUtf8() + "\r\n");
        } else if (step == "AHEAD") {
            SendAhead();
        } else if (step.startsWith("BYTES:")) {
            const QString bytes = step.mid(6);
            Client->write(QByteArray::fromHex(bytes.section('x', 1).toLatin1())
                              .repeated(bytes.section('x', 0, 0).toInt()));
        } else if (step.startsWith("DRIP:")) {
            DripGapMs = step.section(':', 1, 1).toInt();
            Drip = step.section(':', 2).toUtf8() + "\r\n";
            ++Step;
            DripNextByte();
            return;
        } else if (step.startsWith("P:")) {
            Client->write(step.mid(2).toUtf8());
            Client->flush();
            ++Step;
            QTimer::singleShot(PieceGapMs, this, &ScriptedSmtpPeer::RunSteps);
            return;
        } else if (step == "CLOSE") {
            Client->disconnectFromHost();
            Client = nullptr;
        } else if (step == "RST") {
            Reset();
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

// One write, so that the client's first read takes every reply together.
void ScriptedSmtpPeer::SendAhead()
{
    QByteArray replies;
    for (const QString &step : Script.mid(Step + 1))
        if (step.startsWith("S:"))
            replies += step.mid(2).toUtf8() + "\r\n";
    Client->write(replies);
    RepliedAhead = true;
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

void ScriptedSmtpPeer::DripNextByte()
{
    if (!Client) {
        Drip.clear();
        return;
    }
    Client->write(Drip.left(1));
    Client->flush();
    Drip.remove(0, 1);
    if (Drip.isEmpty())
        QTimer::singleShot(DripGapMs, this, &ScriptedSmtpPeer::RunSteps);
    else
        QTimer::singleShot(DripGapMs, this, &ScriptedSmtpPeer::DripNextByte);
}
