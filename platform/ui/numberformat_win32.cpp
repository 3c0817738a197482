#include "platform/ui/numberformat_win32.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

#include <oleauto.h>

namespace {

// The blanks the Linux build trims too, so that a field reads the same on both.
constexpr const char *Blanks = " \t\n\v\f\r";

std::string Trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(Blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

} // namespace

std::optional<double> Win32NumberFormat::NumberFromText(const std::string &text)
{
    std::wstring wide = WideFromUtf8(Trimmed(text));
    double value = 0.0;
    if (FAILED(VarR8FromStr(wide.data(), LOCALE_USER_DEFAULT, 0, &value)))
        return std::nullopt;
    return value;
}
