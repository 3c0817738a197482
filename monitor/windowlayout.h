#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

// The monitor window as data, so that every platform's window builds the same controls at
// the same places. Positions and sizes are in twips, 1440 to the inch.

enum class Control {
    Label1,
    mBrokerID,
    Label2_0, // Label2 element 0
    mToAddress,
    Label2_1, // Label2 element 1
    mSmtpID,
    Label5,
    mInterval,
    mKeepRunning,
    mSendMail,
    txChanges,
    Label3,
    StatusTxt,
    Label4,
    CheckBroker_1, // CheckBroker element 1, the array's only element
    ExitProgram,
};

enum class ControlKind { Label, TextBox, ReportBox, CheckBox, Button };

struct ControlLayout {
    Control Id;
    ControlKind Kind;
    const char *Text; // caption or initial text
    int Left, Top, Width, Height;
    int TabIndex;
    bool Bold = false;
};

namespace WindowLayout {

constexpr const char *Caption = "Broker Services Monitor";
constexpr int ClientWidth = 5160;
constexpr int ClientHeight = 6705;
constexpr double TwipsPerInch = 1440.0;
constexpr const char *FontFace = "MS Sans Serif";
constexpr double FontPoints = 8.25;

// A fresh start monitors this machine and mails its local administrator through its own
// relay: every start begins with these texts.
constexpr std::array<ControlLayout, 16> Controls{{
    {Control::Label1, ControlKind::Label, "Broker Server Name/IP", 120, 120, 2295, 255, 1},
    {Control::mBrokerID, ControlKind::TextBox, "localhost", 2520, 120, 2535, 285, 7},
    {Control::Label2_0, ControlKind::Label, "Notification eMail Address", 120, 480, 2295, 255, 2},
    {Control::mToAddress, ControlKind::TextBox, "root@localhost", 2520, 480, 2535, 285, 9},
    {Control::Label2_1, ControlKind::Label, "SMTP Server Name/IP", 120, 840, 2295, 255, 6},
    {Control::mSmtpID, ControlKind::TextBox, "localhost", 2520, 840, 2535, 285, 8},
    {Control::Label5, ControlKind::Label, "Interval (minutes)", 120, 1200, 1695, 255, 14},
    {Control::mInterval, ControlKind::TextBox, "1", 2520, 1200, 2535, 285, 15},
    {Control::mKeepRunning, ControlKind::CheckBox, "Keep Running", 120, 1560, 1575, 375, 13},
    {Control::mSendMail, ControlKind::CheckBox, "Send eMails", 2520, 1560, 1215, 375, 3},
    {Control::txChanges, ControlKind::ReportBox, "", 120, 1920, 4935, 2895, 0},
    {Control::Label3, ControlKind::Label, "eMail Status", 600, 5040, 975, 255, 10},
    // Out to the window's edge, 345 twips wider than drawn: the outage's line, "Tarvik Broker
    // Error Notification Mail Not Sent", needs 218 pixels at 96 DPI where 209 were drawn, and
    // at 150% its hinted face grows a little faster than the scale.
    {Control::StatusTxt, ControlKind::Label, "N/A", 1680, 5040, 3480, 255, 5},
    {Control::Label4, ControlKind::Label,
     "NOTE: allways wait for processing to stop (use the above checkbox) before terminating this program!!",
     240, 5400, 4935, 495, 11, true},
    {Control::CheckBroker_1, ControlKind::Button, "Check Broker Instances", 240, 6000, 2175, 615, 4},
    {Control::ExitProgram, ControlKind::Button, "Exit", 3000, 6000, 2055, 615, 12},
}};

// Each label and the control it names for a screen reader: a field is spoken by the caption
// beside it, and the status line by its label, its caption being what it says.
struct ControlLabel {
    Control Label;
    Control Named;
};
constexpr std::array<ControlLabel, 5> Labels{{
    {Control::Label1, Control::mBrokerID},
    {Control::Label2_0, Control::mToAddress},
    {Control::Label2_1, Control::mSmtpID},
    {Control::Label5, Control::mInterval},
    {Control::Label3, Control::StatusTxt},
}};
// The report box has no label beside it; this is what a screen reader calls it.
constexpr const char *ReportBoxName = "Broker Service Report";

// A length of the table on a screen of `dpi` dots per inch, rounded the same on every platform.
inline int Pixels(int twips, int dpi)
{
    return static_cast<int>(std::lround(twips * dpi / TwipsPerInch));
}

// The controls in the order of their tab indexes: made in this order, they are also the
// order Tab walks them in on every platform.
inline std::vector<ControlLayout> ControlsInTabOrder()
{
    std::vector<ControlLayout> ordered(Controls.begin(), Controls.end());
    std::sort(ordered.begin(), ordered.end(),
              [](const ControlLayout &a, const ControlLayout &b) { return a.TabIndex < b.TabIndex; });
    return ordered;
}

} // namespace WindowLayout
