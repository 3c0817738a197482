#include "platform/ui/messagebox_win32.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

void Win32MessageBox::MessageBox(const std::string &text, int32_t style,
                                 const std::optional<std::string> &title)
{
    if (Abandoned)
        return;
    const UINT type = style == MessageBoxStyle::OkInformation ? MB_OK | MB_ICONINFORMATION : MB_OK;
    MessageBoxW(HwndOf(Owner), WideFromUtf8(ShownPart(text)).c_str(),
                WideFromUtf8(title.value_or(ApplicationTitle)).c_str(), type);
}
