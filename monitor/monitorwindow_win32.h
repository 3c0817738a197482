#pragma once

#include "monitor/monitorview.h"
#include "platform/ui/basewindow_win32.h"

#include <map>

// Each control's id is its place in the layout's enumeration, so that whoever drives the
// window from outside (an accessibility tool, the tests) finds a control by the same name.
constexpr int ControlId(Control control)
{
    return 100 + static_cast<int>(control);
}

// The monitor window in Win32: the controls of the layout, the presses handed on to the
// handlers, and whatever the handlers write shown, at the scale of the screen it is on. Made
// hidden; Show puts it on the screen.
class Win32MonitorWindow final : public MonitorView, private BaseWindow<Win32MonitorWindow> {
public:
    Win32MonitorWindow();

    void Wire(MonitorHandlers &handlers) { Handlers = &handlers; }
    void Show();

    std::string Text(Control control) override;
    void SetText(Control control, const std::string &text) override;
    int CheckBoxValue(Control control) override;
    void SetCheckBoxValue(Control control, int value) override;
    WindowHandle Handle() override;
    void Unload() override;

private:
    struct FontDeleter {
        void operator()(HFONT font) const { DeleteObject(font); }
    };
    using FontPtr = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

    friend class BaseWindow<Win32MonitorWindow>;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Build(const ControlLayout &layout);
    void FitTo(int dpi);
    FontPtr MakeFont(int weight) const;
    int Pixels(int twips) const;

    int Dpi = 96;
    FontPtr Font, BoldFont;
    std::map<Control, HWND> Controls;
    HWND LastFocus = nullptr;
    MonitorHandlers *Handlers = nullptr;
    // Declared last, so that it goes first: the messages of its destruction still find
    // everything above, and the fonts outlive the controls drawn with them.
    WindowPtr Window;
};
