#pragma once

#include "inspection/brokerservicescan.h"
#include "mail/notificationmail.h"
#include "monitor/monitorplatform.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <map>
#include <optional>

// The monitor's one window: the operator's settings, the report, the mail status, the
// start/cancel and exit buttons, and the socket the notification mail goes over.
class TarvikBrokerServiceCheck final : public QWidget, private ScanFields {
public:
    explicit TarvikBrokerServiceCheck(MonitorPlatform platform);

    void SendEmail(const std::string &MailServerName, const std::string &FromName,
                   const std::string &FromEmailAddress, const std::string &ToName,
                   const std::string &ToEmailAddress, const std::string &EmailSubject,
                   const std::string &EmailBodyOfMessage);
    void WaitFor(const std::string &ResponseCode);

    void CheckBrokerPressed(int16_t Index);
    void ExitProgramPressed();
    bool IsProcessing() const { return Processing; }

    QLabel *Label1;
    QLineEdit *mBrokerID;
    std::array<QLabel *, 2> Label2;
    QLineEdit *mToAddress;
    QLineEdit *mSmtpID;
    QLabel *Label5;
    QLineEdit *mInterval;
    QCheckBox *mKeepRunning;
    QCheckBox *mSendMail;
    QPlainTextEdit *txChanges;
    QLabel *Label3;
    QLabel *StatusTxt;
    QLabel *Label4;
    std::map<int16_t, QPushButton *> CheckBroker; // a button array with the one element 1
    QPushButton *ExitProgram;

private:
    void BuildControls();
    void WindowLoaded();
    bool RunOneCycle();
    std::optional<int32_t> IntervalMilliseconds();

    std::string BrokerServer() override;
    int SendMailValue() override;
    std::string ReportText() override;
    void SetReportText(const std::string &text) override;

    MonitorPlatform Platform;
    NotificationMail Mail;
    BrokerServiceScan Scan;
    bool Processing = false;
    std::string MailBody;
};

// 0 unchecked, 1 checked, 2 greyed.
int CheckBoxValue(const QCheckBox &box);
