#include "monitor/tarvikbrokerservicecheck.h"

TarvikBrokerServiceCheck::TarvikBrokerServiceCheck(WindowServices services, MailSocket &winsock1)
    : StatusTxt(new QLabel(QStringLiteral("N/A"), this)),
      Mail(winsock1, services,
           [this](const std::string &caption) { StatusTxt->setText(QString::fromStdString(caption)); })
{
    setWindowTitle(QStringLiteral("Broker Services Monitor"));
}

void TarvikBrokerServiceCheck::SendEmail(const std::string &MailServerName,
                                         const std::string &FromName,
                                         const std::string &FromEmailAddress,
                                         const std::string &ToName,
                                         const std::string &ToEmailAddress,
                                         const std::string &EmailSubject,
                                         const std::string &EmailBodyOfMessage)
{
    Mail.SendEmail(MailServerName, FromName, FromEmailAddress, ToName, ToEmailAddress,
                   EmailSubject, EmailBodyOfMessage);
}

void TarvikBrokerServiceCheck::WaitFor(const std::string &ResponseCode)
{
    Mail.WaitFor(ResponseCode);
}
