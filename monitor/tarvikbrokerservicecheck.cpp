#include "monitor/tarvikbrokerservicecheck.h"

#include "util/modclosebtn.h"

TarvikBrokerServiceCheck::TarvikBrokerServiceCheck(MonitorPlatform platform, MonitorView &view)
    : Platform(platform), View(view),
      Mail(platform.Winsock1,
           {platform.Services.Clock, platform.Services.Ticks, platform.Services.Wait, platform.Services.Pump,
            platform.CredentialsWorker, platform.Credentials},
           [this](const std::string &caption) { View.SetText(Control::StatusTxt, caption); })
{
    WindowLoaded();
}

// From here on the window is left only through the exit button and its guard. A platform
// that refuses leaves a working close box, which is no reason to stop.
void TarvikBrokerServiceCheck::WindowLoaded()
{
    const int16_t enable = 0;
    modCloseBtn::SetCloseButtonEnabled(View.Handle(), enable, Platform.CloseBox);
}

void TarvikBrokerServiceCheck::ExitProgramPressed()
{
    if (Processing) {
        Platform.Services.Boxes.MessageBox("First Cancel processing before exiting this program!",
                                           MessageBoxStyle::OkOnly, std::nullopt);
        return;
    }
    Unloaded = true;
    View.Unload();
    Platform.EndProgram();
}

// Whatever the platform's frame shows, while the close box is off only the exit button
// leaves; with it on, a close request is that button's press, guard included.
void TarvikBrokerServiceCheck::CloseRequested()
{
    const auto state = Platform.CloseBox.CloseItemState(View.Handle(), CloseItem::EnabledId);
    if (state && (*state & CloseItem::GreyBits) == 0)
        ExitProgramPressed();
}

MailResult TarvikBrokerServiceCheck::SendEmail(const std::string &MailServerName, const std::string &FromName,
                                               const std::string &FromEmailAddress, const std::string &ToName,
                                               const std::string &ToEmailAddress, const std::string &EmailSubject,
                                               const std::string &EmailBodyOfMessage)
{
    return Mail.SendEmail(MailServerName, FromName, FromEmailAddress, ToName, ToEmailAddress, EmailSubject,
                          EmailBodyOfMessage);
}
