// The broker that really runs: a service that reports running until it is told to stop.
#include "platform/os/windows_win32.h"

namespace {

SERVICE_STATUS_HANDLE Status = nullptr;
HANDLE StopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);

void Report(DWORD state)
{
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, NO_ERROR, 0, 0, 0};
    SetServiceStatus(Status, &status);
}

DWORD WINAPI HandleControl(DWORD control, DWORD, void *, void *)
{
    if (control == SERVICE_CONTROL_STOP)
        SetEvent(StopRequested);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t **)
{
    Status = RegisterServiceCtrlHandlerExW(L"", HandleControl, nullptr);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(StopRequested, INFINITE);
    Report(SERVICE_STOPPED);
}

} // namespace

int main()
{
    // An own-process service runs under whatever name its table gives.
    wchar_t name[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
