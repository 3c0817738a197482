#pragma once

#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// An SMTP relay that follows a script, for what a real one will not do on demand.
// Steps: "S:text" sends text and CR LF; "P:text" sends text alone and pauses, so it
// arrives by itself; "C:line" expects that line from the client; "CLOSE" drops the
// connection and "RST" resets it. What it sends is Latin-1, so any byte can be scripted.
class ScriptedSmtpPeer final : public QObject {
    Q_OBJECT
public:
    explicit ScriptedSmtpPeer(QStringList script);

    quint16 Port() const { return Server.serverPort(); }
    // True when every step ran and every client line was the expected one.
    bool RanWholeScript() const { return Step == Script.size() && Mismatches.isEmpty(); }

    QStringList Mismatches;
    QStringList ClientLines;
    int Connections = 0;

private:
    void Accept();
    void TakeClientLines();
    void RunSteps();
    void Reset();

    QStringList Script;
    qsizetype Step = 0;
    QTcpServer Server;
    QTcpSocket *Client = nullptr;
    QByteArray Unread;
    qsizetype TakenLines = 0;
};
