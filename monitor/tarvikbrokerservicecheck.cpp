#include "monitor/tarvikbrokerservicecheck.h"

#include "platform/closebox_qt.h"
#include "util/modclosebtn.h"

TarvikBrokerServiceCheck::TarvikBrokerServiceCheck(MonitorPlatform platform)
    : Platform(platform),
      Mail(platform.Winsock1, platform.Services,
           [this](const std::string &caption) { StatusTxt->setText(QString::fromStdString(caption)); }),
      Scan(platform.Source, platform.Services.Boxes)
{
    BuildControls();
    connect(CheckBroker.at(1), &QPushButton::clicked, this, [this] { CheckBrokerPressed(1); });
    connect(ExitProgram, &QPushButton::clicked, this, &TarvikBrokerServiceCheck::ExitProgramPressed);
    WindowLoaded();
}

// From here on the window is left only through the exit button and its guard. A platform
// that refuses leaves a working close box, which is no reason to stop.
void TarvikBrokerServiceCheck::WindowLoaded()
{
    const int16_t enable = 0;
    modCloseBtn::SetCloseButtonEnabled(QtCloseBox::HandleOf(this), enable, Platform.CloseBox);
}

void TarvikBrokerServiceCheck::ExitProgramPressed()
{
    if (Processing) {
        Platform.Services.Boxes.MessageBox("First Cancel processing before exiting this program!",
                                           MessageBoxStyle::OkOnly, std::nullopt);
        return;
    }
    close();
    Platform.EndProgram();
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

std::string TarvikBrokerServiceCheck::BrokerServer()
{
    return mBrokerID->text().toStdString();
}

int TarvikBrokerServiceCheck::SendMailValue()
{
    return CheckBoxValue(*mSendMail);
}

// The report's lines end in CR LF; the box keeps them as plain line breaks.
std::string TarvikBrokerServiceCheck::ReportText()
{
    return txChanges->toPlainText().replace('\n', QStringLiteral("\r\n")).toStdString();
}

void TarvikBrokerServiceCheck::SetReportText(const std::string &text)
{
    txChanges->setPlainText(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

int CheckBoxValue(const QCheckBox &box)
{
    switch (box.checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}
