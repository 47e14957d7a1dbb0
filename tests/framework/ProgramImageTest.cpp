// What the built programs carry for the system's loader: the application
// manifest (execution level, spelled so that Windows XP SP2 accepts it), the
// libraries and functions they import, and the hardening asked of the image.
// The shipped 32-bit programs are read as files.
#include <string.h>

#include <string>
#include <vector>

#include "Files.h"
#include "Folders.h"
#include "PeImage.h"
#include "gtest/gtest.h"

namespace {
struct Program {
    const char* file;
    ACTCTX_REQUESTED_RUN_LEVEL runLevel;
};
const Program kPrograms[] = {{"VelraUpdate.exe", ACTCTX_RUN_LEVEL_REQUIRE_ADMIN},
                             {"VelraLumoLEDUtility.EXE", ACTCTX_RUN_LEVEL_AS_INVOKER}};

// The run level as the system's own manifest reader takes it from the
// program's manifest; ACTCTX_RUN_LEVEL_NUMBERS when it refuses the manifest.
DWORD RunLevelRead(const std::string& path)
{
    ACTCTXA ctx{};
    ctx.cbSize = sizeof(ctx);
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = path.c_str();
    ctx.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE h = CreateActCtxA(&ctx);
    if (h == INVALID_HANDLE_VALUE)
        return ACTCTX_RUN_LEVEL_NUMBERS;
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info{};
    SIZE_T cb = 0;
    if (!QueryActCtxW(0, h, nullptr, RunlevelInformationInActivationContext, &info, sizeof(info), &cb))
        info.RunLevel = ACTCTX_RUN_LEVEL_NUMBERS;
    ReleaseActCtx(h);
    return info.RunLevel;
}

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR lParam)
{
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

// The manifest resources' count and the text of type 24, id 1.
std::string ManifestOf(const std::string& path, int* pnManifests)
{
    HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!h)
        return "";
    *pnManifests = 0;
    EnumResourceNamesA(h, MAKEINTRESOURCEA(24), CountName, reinterpret_cast<LONG_PTR>(pnManifests));
    std::string text;
    if (HRSRC hRes = FindResourceA(h, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)))
        text.assign(static_cast<const char*>(LockResource(LoadResource(h, hRes))), SizeofResource(h, hRes));
    FreeLibrary(h);
    return text;
}

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(Manifest, EachProgramAsksForItsLevelWithOneNamespaceOnTrustInfo)
{
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.file);
        int nManifests = 0;
        std::string manifest = ManifestOf(tst::ShippedFile(program.file), &nManifests);
        ASSERT_FALSE(manifest.empty());
        EXPECT_EQ(nManifests, 1);
        EXPECT_EQ(CountOf(manifest, "<trustInfo"), 1u);
        size_t begin = manifest.find("<trustInfo");
        std::string tag = manifest.substr(begin, manifest.find('>', begin) - begin);
        EXPECT_EQ(CountOf(tag, "xmlns"), 1u) << tag;
        EXPECT_EQ(CountOf(tag, " xmlns=\"urn:schemas-microsoft-com:asm.v3\""), 1u) << tag;
        EXPECT_EQ(RunLevelRead(tst::ShippedFile(program.file)), DWORD(program.runLevel));
        // Classic common controls: no dependency, least of all on version 6.
        EXPECT_EQ(CountOf(manifest, "dependency"), 0u);
        EXPECT_EQ(CountOf(manifest, "Common-Controls"), 0u);
    }
}

// Functions the toolchain's runtime or our code could import that Windows
// XP SP2 lacks, with the first version that has them (Microsoft's API
// reference, "Minimum supported client" of each function).
const char* const kAfterXpSp2[] = {
    "GetTickCount64",               // Vista
    "InitializeCriticalSectionEx",  // Vista
    "InitOnceExecuteOnce",          // Vista
    "InitializeSRWLock",            // Vista
    "AcquireSRWLockExclusive",      // Vista
    "AcquireSRWLockShared",         // Vista
    "ReleaseSRWLockExclusive",      // Vista
    "ReleaseSRWLockShared",         // Vista
    "TryAcquireSRWLockExclusive",   // 7
    "InitializeConditionVariable",  // Vista
    "SleepConditionVariableCS",     // Vista
    "SleepConditionVariableSRW",    // Vista
    "WakeConditionVariable",        // Vista
    "WakeAllConditionVariable",     // Vista
    "CreateEventExA",               // Vista
    "CreateEventExW",               // Vista
    "CreateMutexExW",               // Vista
    "CreateSemaphoreExW",           // Vista
    "FlsAlloc",                     // Vista (Server 2003)
    "FlsGetValue",                  // Vista (Server 2003)
    "FlsSetValue",                  // Vista (Server 2003)
    "FlsFree",                      // Vista (Server 2003)
    "GetCurrentProcessorNumber",    // Vista
    "GetErrorMode",                 // Vista
    "SetThreadErrorMode",           // 7
    "GetFileInformationByHandleEx", // Vista
    "SetFileInformationByHandle",   // Vista
    "GetFinalPathNameByHandleA",    // Vista
    "GetFinalPathNameByHandleW",    // Vista
    "CreateSymbolicLinkA",          // Vista
    "CreateSymbolicLinkW",          // Vista
    "CancelIoEx",                   // Vista
    "QueryFullProcessImageNameA",   // Vista
    "QueryFullProcessImageNameW",   // Vista
    "CompareStringEx",              // Vista
    "LCMapStringEx",                // Vista
    "GetLocaleInfoEx",              // Vista
    "GetUserDefaultLocaleName",     // Vista
    "InterlockedCompareExchange64", // Vista (as a KERNEL32 export)
    "SetProcessDEPPolicy",          // XP SP3
    "GetProcessDEPPolicy",          // XP SP3
    "SetDefaultDllDirectories",     // 8 (Vista and 7 with KB2533623)
    "AddDllDirectory",              // 8 (Vista and 7 with KB2533623)
    "GetSystemTimePreciseAsFileTime", // 8
    "SetProcessDPIAware",           // Vista
    "ChangeWindowMessageFilter",    // Vista
    "ShutdownBlockReasonCreate",    // Vista
};

// Libraries every Windows from XP on maps from the system folder whatever
// lies beside the program: its Known DLLs, and the C runtime that those
// load from there before the program's own imports are looked for.
const char* const kFromSystemFolder[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                         "shell32.dll",  "ole32.dll",  "oleaut32.dll", "msvcrt.dll"};

// What the loader checks before any of the program's code runs, read from
// the shipped files: imports XP SP2 has, from no library that a file
// planted beside the program could stand in for, and ASLR (with the
// relocations it needs), DEP and terminal-server awareness asked for.
TEST(ShippedImage, LoadsOnXpSp2FromTheSystemFolderOnlyAndIsHardened)
{
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.file);
        std::string file = tst::ReadBytes(tst::ShippedFile(program.file));
        tst::PeImage image(file.data(), file.size(), false);
        std::vector<tst::PeImage::Import> imports = image.Imports();
        EXPECT_GT(imports.size(), 50u);
        for (const auto& import : imports) {
            bool known = false;
            for (const char* dll : kFromSystemFolder)
                known = known || _stricmp(import.dll.c_str(), dll) == 0;
            EXPECT_TRUE(known) << import.dll << "!" << import.function;
            for (const char* late : kAfterXpSp2)
                EXPECT_NE(import.function, late) << import.dll;
        }
        const WORD kHardened =
            IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT | 0x8000 /* TERMINAL_SERVER_AWARE */;
        EXPECT_EQ(image.DllCharacteristics() & kHardened, kHardened);
        EXPECT_GT(image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u);
    }
}
