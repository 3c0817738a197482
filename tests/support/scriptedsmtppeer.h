#pragma once

#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>

// An SMTP relay on port 25 of a loopback address that follows a script, for what a real one
// will not do on demand: "S:text" sends text and CR LF, "C:line" expects that line from the
// client, "RST" resets the connection. What it sends is Latin-1, so any byte can be scripted.
class ScriptedSmtpPeer final : public QObject {
public:
    ScriptedSmtpPeer(const QString &address, QStringList script) : Script(std::move(script))
    {
        Server.listen(QHostAddress(address), 25);
        connect(&Server, &QTcpServer::newConnection, this, [this] {
            Client = Server.nextPendingConnection();
            ++Connections;
            connect(Client, &QTcpSocket::readyRead, this, &ScriptedSmtpPeer::RunSteps);
            RunSteps();
        });
    }

    // True when every step ran and every client line was the expected one.
    bool RanWholeScript() const { return Step == Script.size() && Mismatches.isEmpty(); }

    QStringList Mismatches;
    int Connections = 0;

private:
    void RunSteps()
    {
        for (; Client && Step < Script.size(); ++Step) {
            const QString &step = Script[Step];
            if (step.startsWith("S:")) {
                Client->write(step.mid(2).toLatin1() + "\r\n");
            } else if (step == "RST") {
                // Lingering for no time makes the close a reset instead of an orderly end.
                const linger abortive{1, 0};
                setsockopt(int(Client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
                Client->abort();
                Client = nullptr;
            } else if (Client->canReadLine()) {
                const QString line = QString::fromUtf8(Client->readLine()).chopped(2);
                if (line != step.mid(2))
                    Mismatches << QStringLiteral("expected \"%1\", got \"%2\"").arg(step.mid(2), line);
            } else {
                return;
            }
        }
    }

    QStringList Script;
    qsizetype Step = 0;
    QTcpServer Server;
    QTcpSocket *Client = nullptr;
};
