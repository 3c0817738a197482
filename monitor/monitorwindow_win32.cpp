#include "monitor/monitorwindow_win32.h"

#include "platform/os/widetext_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr const wchar_t *WindowClassName = L"TarvikBrokerServiceCheck";
// The icon group's name in the program's resources (monitor_win32.rc.in).
constexpr const wchar_t *IconName = L"MONITOR";
// A fixed frame: the controls sit at fixed places.
constexpr DWORD FrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The layout was drawn for the classic bitmap face, which comes in a few sizes only: at any
// scale but 100% its text would snap to the nearest of them. Windows' TrueType face of the
// same proportions scales with the screen.
constexpr const wchar_t *FontFace = L"Microsoft Sans Serif";

struct ControlClass {
    const wchar_t *Name;
    DWORD Style;
    DWORD ExtendedStyle;
};

ControlClass ClassOf(ControlKind kind)
{
    switch (kind) {
    case ControlKind::TextBox:
        return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::ReportBox:
        return {L"EDIT",
                WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL,
                WS_EX_CLIENTEDGE};
    case ControlKind::CheckBox:
        return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case ControlKind::Button:
        return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::Label:
        break;
    }
    return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
}

HICON LoadIconSized(int metric)
{
    const int size = GetSystemMetrics(metric);
    // Shared: the system keeps one copy however often a window asks for it.
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), IconName, IMAGE_ICON, size, size, LR_SHARED));
}

WNDCLASSEXW Look()
{
    WNDCLASSEXW look{};
    look.hIcon = LoadIconSized(SM_CXICON);
    look.hIconSm = LoadIconSized(SM_CXSMICON);
    look.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    look.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    return look;
}

// Each control goes below those made before it, so Tab walks them in the order they are made.
// Accessibility names an edit after the label just above it in that order, so each label is
// made directly before the control it names; labels take no focus, and Tab's order stays the
// table's.
std::vector<ControlLayout> ControlsInCreationOrder()
{
    std::vector<ControlLayout> ordered = WindowLayout::ControlsInTabOrder();
    const auto find = [&ordered](Control id) {
        return std::find_if(ordered.begin(), ordered.end(), [id](const ControlLayout &made) { return made.Id == id; });
    };
    for (const auto &[label, named] : WindowLayout::Labels) {
        const auto from = find(label);
        const ControlLayout moved = *from;
        ordered.erase(from);
        ordered.insert(find(named), moved);
    }
    return ordered;
}

} // namespace

Win32MonitorWindow::Win32MonitorWindow()
{
    // The manifest's version 6 of the controls draws them in the system's visual style.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Sized once it is there, to the scale of the screen it is on.
    Window.reset(Create(this, Look(), WindowClassName, FrameStyle, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                        WideFromUtf8(WindowLayout::Caption).c_str()));
    for (const ControlLayout &layout : ControlsInCreationOrder())
        Build(layout);
    FitTo(static_cast<int>(GetDpiForWindow(Window.get())));
    LastFocus = Controls.at(Control::txChanges);
}

void Win32MonitorWindow::Build(const ControlLayout &layout)
{
    const ControlClass kind = ClassOf(layout.Kind);
    // The check boxes reach a pixel into the report box; clipped by it, they leave its border whole.
    Controls[layout.Id] = CreateWindowExW(kind.ExtendedStyle, kind.Name, WideFromUtf8(layout.Text).c_str(),
                                          WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | kind.Style, 0, 0, 0, 0, Window.get(),
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(layout.Id))),
                                          GetModuleHandleW(nullptr), nullptr);
}

// Every place, size and font of the layout, at `dpi` dots per inch.
void Win32MonitorWindow::FitTo(int dpi)
{
    Dpi = dpi;
    // The fonts of the old scale go only once no control draws with them any more.
    FontPtr font = MakeFont(FW_NORMAL), bold = MakeFont(FW_BOLD);
    for (const ControlLayout &layout : WindowLayout::Controls) {
        const HWND control = Controls.at(layout.Id);
        SetWindowPos(control, nullptr, Pixels(layout.Left), Pixels(layout.Top), Pixels(layout.Width),
                     Pixels(layout.Height), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(layout.Bold ? bold.get() : font.get()), TRUE);
    }
    Font = std::move(font);
    BoldFont = std::move(bold);
    // The frame as it is drawn now, around a client area of the layout's size.
    RECT frame{}, client{};
    GetWindowRect(Window.get(), &frame);
    GetClientRect(Window.get(), &client);
    const int width = frame.right - frame.left - client.right + Pixels(WindowLayout::ClientWidth);
    const int height = frame.bottom - frame.top - client.bottom + Pixels(WindowLayout::ClientHeight);
    SetWindowPos(Window.get(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Win32MonitorWindow::FontPtr Win32MonitorWindow::MakeFont(int weight) const
{
    const int height = -static_cast<int>(std::lround(WindowLayout::FontPoints * Dpi / 72.0));
    return FontPtr(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, FontFace));
}

int Win32MonitorWindow::Pixels(int twips) const
{
    return WindowLayout::Pixels(twips, Dpi);
}

void Win32MonitorWindow::Show()
{
    ShowWindow(Window.get(), SW_SHOWDEFAULT);
    UpdateWindow(Window.get());
}

LRESULT Win32MonitorWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED || !Handlers)
            return 0;
        if (LOWORD(wParam) == ControlId(Control::CheckBroker_1))
            Handlers->CheckBrokerPressed(1);
        else if (LOWORD(wParam) == ControlId(Control::ExitProgram))
            Handlers->ExitProgramPressed();
        return 0;
    case WM_CLOSE:
        // Alt+F4 and the taskbar ask through here whatever the system menu shows.
        if (Handlers)
            Handlers->CloseRequested();
        return 0;
    case WM_DPICHANGED: {
        // Moved to a screen of another scale: the system suggests the new frame, the layout
        // says the rest.
        const RECT &suggested = *reinterpret_cast<const RECT *>(lParam);
        SetWindowPos(Window.get(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                     suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        FitTo(HIWORD(wParam));
        return 0;
    }
    case WM_NEXTDLGCTL:
        // Tab asks here, through IsDialogMessageW or the multi-line report box, as it would ask a
        // dialog; a plain window would leave the focus where it is.
        if (LOWORD(lParam) == FALSE)
            SetFocus(GetNextDlgTabItem(Window.get(), GetFocus(), wParam != 0));
        return 0;
    case WM_ACTIVATE:
        // The focus leaves for a message box and comes back to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE)
            LastFocus = GetFocus();
        else if (LastFocus)
            SetFocus(LastFocus);
        return 0;
    }
    return DefWindowProcW(Window.get(), message, wParam, lParam);
}

std::string Win32MonitorWindow::Text(Control control)
{
    const HWND item = Controls.at(control);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return Utf8FromWide(text);
}

void Win32MonitorWindow::SetText(Control control, const std::string &text)
{
    SetWindowTextW(Controls.at(control), WideFromUtf8(text).c_str());
}

int Win32MonitorWindow::CheckBoxValue(Control control)
{
    // BST_UNCHECKED, BST_CHECKED and BST_INDETERMINATE are the view's 0, 1 and 2.
    return static_cast<int>(SendMessageW(Controls.at(control), BM_GETCHECK, 0, 0));
}

void Win32MonitorWindow::SetCheckBoxValue(Control control, int value)
{
    SendMessageW(Controls.at(control), BM_SETCHECK, static_cast<WPARAM>(std::clamp(value, 0, 2)), 0);
}

WindowHandle Win32MonitorWindow::Handle()
{
    return WindowHandleOf(Window.get());
}

void Win32MonitorWindow::Unload()
{
    // Destroyed only by its owner, once the handlers on the stack have returned.
    ShowWindow(Window.get(), SW_HIDE);
}
