#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Debian's aiosmtpd on a free loopback port, delivering into a Maildir.
class AiosmtpdServer {
public:
    AiosmtpdServer();
    ~AiosmtpdServer();

    // False when the server did not come up; Failure says why. Port 0 picks a free one.
    bool Start(quint16 port = 0);
    quint16 Port() const { return ListenPort; }
    // The delivered messages, oldest first, each as the bytes in the Maildir.
    QList<QByteArray> Messages() const;

    QString Failure;

private:
    // aiosmtpd creates the Maildir itself, so it must not exist yet.
    QString MailboxPath() const { return Maildir.path() + "/Maildir"; }

    QTemporaryDir Maildir;
    QProcess Server;
    quint16 ListenPort = 0;
};
