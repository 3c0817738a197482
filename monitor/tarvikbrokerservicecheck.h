#pragma once

#include "mail/notificationmail.h"

#include <QLabel>
#include <QWidget>

// The monitor's one window: the operator's settings, the report, the mail status, and
// the socket the notification mail goes over.
class TarvikBrokerServiceCheck final : public QWidget {
public:
    TarvikBrokerServiceCheck(WindowServices services, MailSocket &winsock1);

    void SendEmail(const std::string &MailServerName, const std::string &FromName,
                   const std::string &FromEmailAddress, const std::string &ToName,
                   const std::string &ToEmailAddress, const std::string &EmailSubject,
                   const std::string &EmailBodyOfMessage);
    void WaitFor(const std::string &ResponseCode);

    QLabel *StatusTxt;

private:
    NotificationMail Mail;
};
