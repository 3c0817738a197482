#pragma once

#include "tests/support/simulatedplatform.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// An SMTP relay on port 25 of a loopback address that follows a script, for what a real one
// will not do on demand: "S:text" sends text and CR LF, "W:text" the text alone, "C:line"
// expects that line from the client, "R:pattern" a line matching that pattern, "P:seconds" pauses for that long on the platform's
// virtual time, and "CLOSE" ends the connection. What it sends is Latin-1, so any byte can
// be scripted. Anything the client sends beyond the script is a mismatch.
class ScriptedSmtpPeer final : public QObject {
public:
    ScriptedSmtpPeer(const QString &address, QStringList script, SimulatedPlatform &time)
        : Script(std::move(script)), Time(time)
    {
        Server.listen(QHostAddress(address), 25);
        connect(&Server, &QTcpServer::newConnection, this, [this] {
            Client = Server.nextPendingConnection();
            connect(Client, &QTcpSocket::readyRead, this, &ScriptedSmtpPeer::RunSteps);
            connect(Client, &QTcpSocket::disconnected, this, [this] { Client = nullptr; });
            RunSteps();
        });
    }

    // The client has gone, or never came: all it sent has been read.
    bool ClientGone() const { return !Client; }
    // True when every line the client was to send came, as expected, and nothing else.
    bool RanWholeScript() const
    {
        return Mismatches.isEmpty() && Script.mid(Step).filter(QRegularExpression("^C:")).isEmpty();
    }

    QStringList Mismatches;

private:
    void RunSteps()
    {
        for (; Client && Step < Script.size(); ++Step) {
            const QString &step = Script[Step];
            if (step.startsWith("S:")) {
                Client->write(step.mid(2).toLatin1() + "\r\n");
            } else if (step.startsWith("W:")) {
                Client->write(step.mid(2).toLatin1());
            } else if (step.startsWith("P:")) {
                Time.At(Time.Now + step.mid(2).toDouble(), [this] { RunSteps(); });
                ++Step;
                return;
            } else if (step == "CLOSE") {
                std::exchange(Client, nullptr)->disconnectFromHost();
            } else if (Client->canReadLine()) {
                const QString line = QString::fromUtf8(Client->readLine()).chopped(2);
                if (step.startsWith("R:") ? !QRegularExpression("^" + step.mid(2) + "$").match(line).hasMatch()
                                          : line != step.mid(2))
                    Mismatches << QStringLiteral("expected \"%1\", got \"%2\"").arg(step.mid(2), line);
            } else {
                return;
            }
        }
        if (Client && Client->bytesAvailable() > 0)
            Mismatches << "beyond the script: " + QString::fromUtf8(Client->readAll());
    }

    QStringList Script;
    SimulatedPlatform &Time;
    qsizetype Step = 0;
    QTcpServer Server;
    QTcpSocket *Client = nullptr;
};
