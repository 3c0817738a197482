#pragma once

#include <QString>

// The reply wait's two messages, as the operator reads them.
inline const QString TimedOut = "SMTP service error, timed out while waiting for response";

inline QString WrongCode(const QString &expected, const QString &received)
{
    return "SMTP service error, impromper response code. Code should have been: " + expected +
           " Code recieved: " + received;
}
