// The program entry point; linked only into programs that define a
// CWinApp object (test programs bring their own main). Being an object
// linked whole into each program, it also carries the import slot below;
// the process's defences are set up before it (EarlyDefences.cpp).
#include "WinApp.h"

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR, int nCmdShow)
{
    // Computed here rather than taken from the C runtime so that the rule is
    // the framework's own.
    return AfxWinMain(hInstance, hPrevInstance, AfxSkipProgramName(::GetCommandLineA()), nCmdShow);
}

namespace {
// The thread library that the C++ runtime links in statically imports
// GetTickCount64, which Windows has only from Vista on: with that import
// the loader refuses the program on XP. Its import slot is filled here
// instead, so the linker takes no import from KERNEL32: the system's
// function where there is one, otherwise the 32-bit count carried on past
// its wrap (it is only compared over short spans).
ULONGLONG WINAPI TickCount64()
{
    typedef ULONGLONG(WINAPI * TickCount64Fn)();
    static const TickCount64Fn pfnSystem = reinterpret_cast<TickCount64Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("KERNEL32.DLL"), "GetTickCount64")));
    if (pfnSystem)
        return pfnSystem();
    static volatile ULONGLONG s_last;  // wraps seen so far : last count
    for (;;) {
        ULONGLONG last = s_last;
        DWORD now = ::GetTickCount();
        ULONGLONG wraps = (last >> 32) + (now < DWORD(last) ? 1 : 0);
        ULONGLONG next = (wraps << 32) | now;
        if (__sync_bool_compare_and_swap(&s_last, last, next))
            return next;
    }
}
}  // namespace

#ifdef _WIN64
extern "C" ULONGLONG(WINAPI* const g_pfnTickCount64)() __asm__("__imp_GetTickCount64") = TickCount64;
#else
extern "C" ULONGLONG(WINAPI* const g_pfnTickCount64)() __asm__("__imp__GetTickCount64@0") = TickCount64;
#endif
