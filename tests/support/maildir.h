#pragma once

#include <QDir>
#include <QFile>

// The messages a relay delivered into a Maildir, oldest first, as stored.
inline QList<QByteArray> Delivered(const QString &maildir)
{
    QList<QByteArray> messages;
    for (const QFileInfo &file : QDir(maildir + "/new").entryInfoList(QDir::Files, QDir::Time | QDir::Reversed)) {
        QFile message(file.filePath());
        messages << (message.open(QIODevice::ReadOnly) ? message.readAll() : QByteArray());
    }
    return messages;
}
