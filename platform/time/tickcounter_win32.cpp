#include "platform/time/tickcounter_win32.h"

#include "platform/os/windows_win32.h"

uint32_t Win32TickCounter::GetTickCount()
{
    return ::GetTickCount();
}
