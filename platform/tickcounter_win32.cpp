#include "platform/tickcounter_win32.h"

#include "platform/windows_win32.h"

uint32_t Win32TickCounter::GetTickCount()
{
    return ::GetTickCount();
}
