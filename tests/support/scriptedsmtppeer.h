#pragma once

#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// An SMTP relay that follows a script, for what a real one will not do on demand.
// Steps: "S:text" sends text and CR LF; "P:text" sends text alone and pauses, so it
// arrives by itself; "C:line" expects that line from the client; "MESSAGE" takes the
// header block and body up to the end mark; "CLOSE" drops the connection.
// Faults a real relay will not produce: "RST" resets the connection; "BYTES:<n>x<hex>"
// sends the hex bytes n times, with no line end; "DRIP:<ms>:text" sends text and CR LF
// one byte every ms milliseconds; "AHEAD" sends every later "S:" reply at once, and
// those steps then only mark their place.
class ScriptedSmtpPeer final : public QObject {
    Q_OBJECT
public:
    explicit ScriptedSmtpPeer(QStringList script);

    quint16 Port() const { return Server.serverPort(); }
    // True when every step ran and every client line was the expected one.
    bool RanWholeScript() const { return Step == Script.size() && Mismatches.isEmpty(); }

    QStringList Mismatches;
    QStringList MessageLines;
    QStringList ClientLines;
    int Connections = 0;

private:
    void Accept();
    void TakeClientLines();
    void RunSteps();
    bool TakeExpectedLines(const QString &step);
    void SendAhead();
    void Reset();
    void DripNextByte();

    QStringList Script;
    qsizetype Step = 0;
    QTcpServer Server;
    QTcpSocket *Client = nullptr;
    QByteArray Unread;
    QStringList PendingLines;
    bool RepliedAhead = false;
    QByteArray Drip;
    int DripGapMs = 0;
};
