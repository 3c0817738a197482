#include "platform/ui/messagebox_win32.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

// What a standing box's thread and the window's thread share.
class Win32StandingBox final : public StandingBox {
public:
    bool Standing() const override { return Up; }

    // From the window's thread: the box closes as soon as it is there, or at once if it is.
    void Close()
    {
        Closing = true;
        EnumThreadWindows(ThreadId, CloseWindow, 0);
    }

    std::atomic<bool> Up = true;
    std::atomic<bool> Closing = false;
    std::atomic<DWORD> ThreadId = 0;

private:
    static BOOL CALLBACK CloseWindow(HWND window, LPARAM)
    {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return TRUE;
    }
};

namespace {

// The system's box disables its owner for as long as it stands, as a modal box must. A standing
// box is no modal one: as it first comes up, its owner takes input again.
thread_local HWND BoxOwner = nullptr;
thread_local Win32StandingBox *ShownBox = nullptr;
thread_local bool OwnerEnabled = false;

LRESULT CALLBACK KeepOwnerAnswering(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && !OwnerEnabled) {
        OwnerEnabled = true;
        EnableWindow(BoxOwner, TRUE);
        if (ShownBox->Closing)
            PostMessageW(reinterpret_cast<HWND>(wParam), WM_CLOSE, 0, 0);
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
        box->Up = false;
        return box;
    }
    // The thread owns its share of the box and its texts: nobody waits for it, and the program
    // may end while it stands.
    try {
        std::thread([box, owner = HwndOf(Owner), type = TypeOf(style), text = WideFromUtf8(ShownPart(text)),
                     caption = WideFromUtf8(title.value_or(ApplicationTitle))] {
            box->ThreadId = GetCurrentThreadId();
            BoxOwner = owner;
            ShownBox = box.get();
            const HookPtr hook(SetWindowsHookExW(WH_CBT, KeepOwnerAnswering, nullptr, GetCurrentThreadId()));
            MessageBoxW(owner, text.c_str(), caption.c_str(), type);
            box->Up = false;
        }).detach();
    } catch (const std::system_error &) {
        box->Up = false;
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
