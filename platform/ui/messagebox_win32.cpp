#include "platform/ui/messagebox_win32.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

// What a standing box's thread and the window's thread share.
class Win32StandingBox final : public StandingBox {
public:
    bool Standing() const override { return Up; }

    // From the window's thread: the box closes as soon as it is there, or at once if it is.
    void Close()
    {
        const std::lock_guard lock(Guard);
        Closing = true;
        if (Window)
            PostMessageW(Window, WM_CLOSE, 0, 0);
    }

    // From the box's thread, as its window comes and goes.
    void Appeared(HWND window)
    {
        const std::lock_guard lock(Guard);
        Window = window;
        if (Closing)
            PostMessageW(window, WM_CLOSE, 0, 0);
    }
    void Gone()
    {
        const std::lock_guard lock(Guard);
        Window = nullptr;
        Up = false;
    }

private:
    std::atomic<bool> Up = true;
    std::mutex Guard;
    HWND Window = nullptr;
    bool Closing = false;
};

namespace {

// The system's box disables the owner it is given for as long as it stands, as a modal box must,
// and enables it again as it goes, even under a modal box shown meanwhile. A standing box is
// given none, and takes its owner as it is made: it stays above the window and disables nothing.
thread_local HWND BoxOwner = nullptr;
thread_local Win32StandingBox *MadeBox = nullptr;

LRESULT CALLBACK GiveTheBoxItsOwner(int code, WPARAM wParam, LPARAM lParam)
{
    const auto box = reinterpret_cast<HWND>(wParam);
    wchar_t name[8] = {};
    if (code == HCBT_CREATEWND && MadeBox && GetClassNameW(box, name, 8) && std::wstring_view(name) == L"#32770") {
        SetWindowLongPtrW(box, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(BoxOwner));
        std::exchange(MadeBox, nullptr)->Appeared(box);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct HookDeleter {
    void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using HookPtr = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookDeleter>;

UINT TypeOf(int32_t style)
{
    return style == MessageBoxStyle::OkInformation ? MB_OK | MB_ICONINFORMATION : MB_OK;
}

} // namespace

void Win32MessageBox::MessageBox(const std::string &text, int32_t style,
                                 const std::optional<std::string> &title)
{
    if (Abandoned)
        return;
    MessageBoxW(HwndOf(Owner), WideFromUtf8(ShownPart(text)).c_str(),
                WideFromUtf8(title.value_or(ApplicationTitle)).c_str(), TypeOf(style));
}

std::shared_ptr<StandingBox> Win32MessageBox::ShowStanding(const std::string &text, int32_t style,
                                                           const std::optional<std::string> &title)
{
    auto box = std::make_shared<Win32StandingBox>();
    if (Abandoned) {
        box->Gone();
        return box;
    }
    // The thread owns its share of the box and its texts: nobody waits for it, and the program
    // may end while it stands.
    try {
        std::thread([box, owner = HwndOf(Owner), type = TypeOf(style), text = WideFromUtf8(ShownPart(text)),
                     caption = WideFromUtf8(title.value_or(ApplicationTitle))] {
            BoxOwner = owner;
            MadeBox = box.get();
            const HookPtr hook(SetWindowsHookExW(WH_CBT, GiveTheBoxItsOwner, nullptr, GetCurrentThreadId()));
            MessageBoxW(nullptr, text.c_str(), caption.c_str(), type);
            box->Gone();
        }).detach();
    } catch (const std::system_error &) {
        box->Gone();
        return box;
    }
    std::erase_if(Standing, [](const std::shared_ptr<Win32StandingBox> &standing) { return !standing->Standing(); });
    Standing.push_back(box);
    return box;
}

void Win32MessageBox::Abandon()
{
    Abandoned = true;
    for (const std::shared_ptr<Win32StandingBox> &box : Standing)
        box->Close();
    Standing.clear();
}
