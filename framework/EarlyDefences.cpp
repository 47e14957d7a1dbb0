// The process's defences, set up before any other code of the program
// runs: a TLS callback, which the loader calls before the entry point (XP
// included), so before the C runtime's start-up, the static constructors
// and the libraries' initialisers linked into the image.
//
// The updater runs elevated from a download folder, where anyone can leave
// a library of a name the system looks for. So, first of all:
// - the stack canary is seeded here. The stack-protector runtime would
//   otherwise seed it from a constructor through the crypto provider,
//   which loads libraries by plain name before anything else could narrow
//   the search; it leaves a canary that is already set alone;
// - the search for libraries loaded by name is narrowed to the system
//   folder where the system allows it (Windows 8 on, Vista and 7 with the
//   update that added SetDefaultDllDirectories); elsewhere at least the
//   current directory leaves it (XP SP1 on: the program's own folder stays
//   first there, so the programs load nothing by name that is not a Known
//   DLL);
// - DEP for good where a program may ask for it itself (XP SP3 on; the
//   image's NX flag asks on Vista and later);
// - a probe of an empty removable drive fails quietly instead of stopping
//   the run with the system's "no disk" box.
//
// The C runtime is not initialised yet: this calls nothing but what the
// import table gives, and it is built without the stack protector, since it
// changes the canary under its own frame.
#include <windows.h>

extern "C" void* __stack_chk_guard;

namespace {
// One step of a 64-bit mixing function (the finaliser of splitmix64):
// every bit of the result depends on every bit put in.
ULONGLONG Mix(ULONGLONG x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

void SeedStackCanary()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    volatile int onStack = 0;
    ULONGLONG seed = Mix(ULONGLONG(counter.QuadPart));
    seed = Mix(seed ^ (ULONGLONG(now.dwHighDateTime) << 32 | now.dwLowDateTime));
    seed = Mix(seed ^ (ULONGLONG(GetCurrentProcessId()) << 32 | GetCurrentThreadId()));
    seed = Mix(seed ^ ULONGLONG(reinterpret_cast<ULONG_PTR>(&onStack)) ^ GetTickCount());
    ULONG_PTR guard = ULONG_PTR(seed ^ (seed >> 32));
    __stack_chk_guard = reinterpret_cast<void*>(guard ? guard : ULONG_PTR(0xFF0A0D00));
}

template <class Fn> Fn KernelFunction(const char* pszName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("KERNEL32.DLL"), pszName)));
}

void HardenLibrarySearch()
{
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    SetDefaultDllDirectoriesFn pfnDefault = KernelFunction<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    if (pfnDefault && pfnDefault(kSearchSystem32))
        return;
    if (SetDllDirectoryFn pfnSet = KernelFunction<SetDllDirectoryFn>("SetDllDirectoryA"))
        pfnSet("");
}

void NTAPI SetUpDefences(PVOID, DWORD dwReason, PVOID)
{
    if (dwReason != DLL_PROCESS_ATTACH)
        return;
    SeedStackCanary();
    HardenLibrarySearch();
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    typedef BOOL(WINAPI * SetProcessDEPPolicyFn)(DWORD);
    if (SetProcessDEPPolicyFn pfnDep = KernelFunction<SetProcessDEPPolicyFn>("SetProcessDEPPolicy"))
        pfnDep(1 /* PROCESS_DEP_ENABLE */);
}
}  // namespace

// The loader calls the callbacks between .CRT$XLA and .CRT$XLZ in the order
// of their section names: this one before the C runtime's own (.CRT$XLC on).
extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK g_pfnSetUpDefences = SetUpDefences;
