#include "platform/os/machinename.h"

#include "platform/os/widetext_win32.h"
#include "platform/os/windows_win32.h"

std::string MachineName()
{
    DWORD size = 0;
    GetComputerNameExW(ComputerNameDnsFullyQualified, nullptr, &size);
    std::wstring name(size, L'\0');
    if (size == 0 || !GetComputerNameExW(ComputerNameDnsFullyQualified, name.data(), &size) || size == 0)
        return "localhost";
    name.resize(size);
    return Utf8FromWide(name);
}
