#pragma once

#include "monitor/windowlayout.h"
#include "platform/os/windowhandle.h"

#include <cstdint>
#include <string>

// What the window's handlers do to its controls. Each platform's window implements it over
// the controls it built from the layout; the tests over plain values.
class MonitorView {
public:
    virtual ~MonitorView() = default;

    // A text box's text or a label's, button's or check box's caption. The report box's
    // lines end in CR LF whatever the platform's control keeps.
    virtual std::string Text(Control control) = 0;
    virtual void SetText(Control control, const std::string &text) = 0;
    // 0 unchecked, 1 checked, 2 greyed.
    virtual int CheckBoxValue(Control control) = 0;
    virtual void SetCheckBoxValue(Control control, int value) = 0;
    virtual WindowHandle Handle() = 0;
    // Takes the window off the screen; the program ends once the handlers have returned.
    virtual void Unload() = 0;
};

// Where a platform's window sends the operator's presses.
class MonitorHandlers {
public:
    virtual ~MonitorHandlers() = default;
    virtual void CheckBrokerPressed(int16_t Index) = 0;
    virtual void ExitProgramPressed() = 0;
    // The window manager's, the taskbar's or Alt+F4's request to close the window.
    virtual void CloseRequested() = 0;
};
