// The machine-type probe with the stand-in BIOS library beside the test
// program (or not), and the card-slot row it decides.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "Files.h"
#include "Folders.h"
#include "GetMachineType.h"
#include "Registry.h"
#include "TargetsTestSupport.h"
#include "TestbedLog.h"
#include "UpdateApp.h"
#include "UpdateItem.h"
#include "UpdateTestSupport.h"

namespace {
std::string SystemFolder(const char* sub)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    return std::string(sys) + "\\" + sub;
}

DWORD NotedThread(const char* name)
{
    char value[16] = "";
    return GetEnvironmentVariableA(name, value, sizeof(value)) ? strtoul(value, nullptr, 10) : 0;
}

// Ends the test program at the first fault raised on a thread other than
// the test's while it lives. A probe thread that faults as it ends has
// already stored its code, so the case would pass, but the fault can leave
// the process heap locked and every later allocation waiting for ever.
class ForeignFaultGuard {
public:
    ForeignFaultGuard()
    {
        s_testThread = GetCurrentThreadId();
        m_hHandler = AddVectoredExceptionHandler(1, OnException);
    }
    ~ForeignFaultGuard() { RemoveVectoredExceptionHandler(m_hHandler); }

private:
    static LONG CALLBACK OnException(EXCEPTION_POINTERS* p)
    {
        if (GetCurrentThreadId() != s_testThread && (p->ExceptionRecord->ExceptionCode & 0xC0000000) == 0xC0000000) {
            // Nothing here may allocate: the heap may be what faulted.
            static const char kMessage[] = "\nFAILED: the probe thread faulted; the test program ends here\n";
            DWORD n;
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), kMessage, sizeof(kMessage) - 1, &n, nullptr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static DWORD s_testThread;
    PVOID m_hHandler;
};
DWORD ForeignFaultGuard::s_testThread;

using upd::Registered;

class MachineTypeProbe : public ::testing::Test {
protected:
    MachineTypeProbe() : packages("pkg"), led("led"), elsewhere("cwd"), module(packages.Path())
    {
        // The tests start in the bin folder, where the stand-in library
        // lies; the library search would take it from the current folder.
        GetCurrentDirectoryA(MAX_PATH, oldCwd);
        SetCurrentDirectoryA(elsewhere.Path().c_str());
        RemoveDirectoryA(SystemFolder("SLK").c_str());
        tst::ClearTestbedEvents();
    }
    ~MachineTypeProbe() override
    {
        ReleaseList();
        SetCurrentDirectoryA(oldCwd);
        DeleteFileA(LibraryBesideProgram().c_str());
        DeleteFileA(SystemFolder("VLBIOSIF.DLL").c_str());
        RemoveDirectoryA(SystemFolder("SLK").c_str());
    }

    static std::string LibraryBesideProgram() { return tst::ExeFolder() + "VLBIOSIF.DLL"; }
    // Puts `library` in the system folder as VLBIOSIF.DLL; empty: none.
    void UseLibrary(const std::string& library)
    {
        DeleteFileA(SystemFolder("VLBIOSIF.DLL").c_str());
        if (!library.empty()) {
            ASSERT_TRUE(tst::CopyTo(library, SystemFolder("VLBIOSIF.DLL")));
        }
    }
    void Package(const char* name) { tst::WriteBytes(packages / name, "MSCF"); }

    std::vector<Registered> Build()
    {
        ReleaseList();
        app.BuildUpdateList();
        std::vector<Registered> out;
        for (POSITION pos = app.m_updateList.GetHeadPosition(); pos;) {
            CUpdateItem* p = static_cast<CUpdateItem*>(app.m_updateList.GetNext(pos));
            std::string path(p->m_strPackagePath);
            out.push_back({path.substr(packages.Path().size()), std::string(p->m_strTargetFolder), p->m_nAppType});
        }
        return out;
    }
    void ReleaseList()
    {
        for (POSITION pos = app.m_updateList.GetHeadPosition(); pos;)
            delete static_cast<CUpdateItem*>(app.m_updateList.GetNext(pos));
        app.m_updateList.RemoveAll();
    }

    char oldCwd[MAX_PATH] = "";
    tst::TempDir packages, led, elsewhere;
    tst::ScopedModuleFolder module;
    tst::ScopedKey machine{HKEY_LOCAL_MACHINE, "Software\\VelraTestbed"};
    // Row 15, so that the card-slot row has a row to follow.
    tst::ScopedValue run{HKEY_LOCAL_MACHINE, upd::kRunKey, "VelraLumoLEDUtility.EXE",
                         "\"" + led.Path() + "VelraLumoLEDUtility.EXE\""};
    CUpdateApp app;
    ForeignFaultGuard guard;
};
}  // namespace

TEST_F(MachineTypeProbe, CodeIsWhatTheLibraryReturnsAndTheLibraryIsReleased)
{
    CRuntimeClass* pClass = CRuntimeClass::FromName("CGetMachineType");
    ASSERT_NE(pClass, nullptr);
    ASSERT_TRUE(pClass->IsDerivedFrom(RUNTIME_CLASS(CWinThread)));
    struct {
        const char* library;  // null: none
        DWORD stored;         // what the stand-in would answer
        int expected;
    } cases[] = {
        {nullptr, 22, 0},
        {"VLBIOSIF_NOEXPORT.DLL", 22, 0},
        {"VLBIOSIF.DLL", 22, 22},
        {"VLBIOSIF.DLL", 24, 24},
        {"VLBIOSIF.DLL", 0x80000001, int(0x80000001)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.library ? c.library : "no library") + ", code " + std::to_string(c.stored));
        UseLibrary(c.library ? tgt::Bin(c.library) : "");
        machine.SetDword("MachineType", c.stored);
        tst::ClearTestbedEvents();

        CGetMachineType* pProbe = static_cast<CGetMachineType*>(pClass->CreateObject());
        ASSERT_NE(pProbe, nullptr);
        EXPECT_FALSE(pProbe->m_bAutoDelete);
        EXPECT_EQ(pProbe->m_nMachineType, 0);
        EXPECT_EQ(GetModuleHandleA("VLBIOSIF.DLL") != nullptr, c.library != nullptr);
        ASSERT_TRUE(pProbe->CreateThread(0, 0, nullptr));
        ASSERT_EQ(WaitForSingleObject(pProbe->m_hThread, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(pProbe->m_nMachineType, c.expected);
        delete pProbe;
        EXPECT_EQ(GetModuleHandleA("VLBIOSIF.DLL"), nullptr);

        std::vector<std::string> queries;
        if (c.expected)
            queries.push_back("biosif query " + std::to_string(c.expected));
        EXPECT_EQ(tst::TestbedEvents(), queries);
    }
}

TEST_F(MachineTypeProbe, SlotCodesAddTheCardSlotRowLastAndMakeItsFolder)
{
    Package("LEDUtility.cab");
    Package("SLOTLOCK.cab");
    const std::vector<Registered> ledOnly{{"LEDUtility.cab", led.Path(), 4}};
    std::vector<Registered> withSlot = ledOnly;
    withSlot.push_back({"SLOTLOCK.cab", SystemFolder("SLK\\"), 0});
    struct {
        const char* library;  // null: none
        int code;
        bool slot;
    } cases[] = {
        {"VLBIOSIF.DLL", 20, true},  {"VLBIOSIF.DLL", 21, false},          {"VLBIOSIF.DLL", 22, true},
        {"VLBIOSIF.DLL", 23, true},  {"VLBIOSIF.DLL", 24, false},          {"VLBIOSIF.DLL", 0, false},
        {nullptr, 22, false},        {"VLBIOSIF_NOEXPORT.DLL", 22, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.library ? c.library : "no library") + ", code " + std::to_string(c.code));
        UseLibrary(c.library ? tgt::Bin(c.library) : "");
        machine.SetDword("MachineType", DWORD(c.code));
        tst::ClearTestbedEvents();
        RemoveDirectoryA(SystemFolder("SLK").c_str());

        EXPECT_EQ(Build(), c.slot ? withSlot : ledOnly);
        DWORD attributes = GetFileAttributesA(SystemFolder("SLK").c_str());
        EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY), c.slot);
        bool queried = c.library && std::string(c.library) == "VLBIOSIF.DLL";
        EXPECT_EQ(tst::TestbedEvents(), queried ? std::vector<std::string>{"biosif query " + std::to_string(c.code)}
                                         : std::vector<std::string>{});
        EXPECT_EQ(GetModuleHandleA("VLBIOSIF.DLL"), nullptr);
    }
}

TEST_F(MachineTypeProbe, WithoutTheCardSlotPackageTheLibraryIsNeverAsked)
{
    Package("LEDUtility.cab");
    UseLibrary(tgt::Bin("VLBIOSIF.DLL"));
    machine.SetDword("MachineType", 22);
    EXPECT_EQ(Build(), (std::vector<Registered>{{"LEDUtility.cab", led.Path(), 4}}));
    EXPECT_EQ(tst::TestbedEvents(), std::vector<std::string>{});
    EXPECT_EQ(GetFileAttributesA(SystemFolder("SLK").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MachineTypeProbe, QueryRunsOnTheProbesThreadAndTheLibraryLivesOnTheCreators)
{
    Package("SLOTLOCK.cab");
    UseLibrary(tgt::Bin("targets\\threadlib\\VLBIOSIF.DLL"));
    for (const char* name : {"VELRA_BIOS_LOADED_ON", "VELRA_BIOS_CALLED_ON", "VELRA_BIOS_FREED_ON"})
        SetEnvironmentVariableA(name, nullptr);

    EXPECT_EQ(Build(), (std::vector<Registered>{{"SLOTLOCK.cab", SystemFolder("SLK\\"), 0}}));
    DWORD self = GetCurrentThreadId();
    EXPECT_EQ(NotedThread("VELRA_BIOS_LOADED_ON"), self);
    EXPECT_NE(NotedThread("VELRA_BIOS_CALLED_ON"), 0u);
    EXPECT_NE(NotedThread("VELRA_BIOS_CALLED_ON"), self);
    EXPECT_EQ(NotedThread("VELRA_BIOS_FREED_ON"), self);
}

namespace {
// The library loading calls of the probe's constructor, in order.
std::vector<std::string> g_loadCalls;
tgt::ImportHook* g_pLoadHook = nullptr;

HMODULE WINAPI RecordingLoadLibraryExA(LPCSTR lpName, HANDLE hFile, DWORD dwFlags)
{
    g_loadCalls.push_back(std::string("LoadLibraryExA ") + lpName + " " + std::to_string(dwFlags));
    return reinterpret_cast<decltype(&LoadLibraryExA)>(g_pLoadHook->Original())(lpName, hFile, dwFlags);
}
}  // namespace

TEST_F(MachineTypeProbe, LibraryComesOnlyFromTheSystemFolderNeverFromBesideTheProgram)
{
    const std::string genuine = SystemFolder("VLBIOSIF.DLL");
    machine.SetDword("MachineType", 22);
    // Planted beside the program and in the current folder: the places the
    // plain name would search first. Its code would run as it loads.
    ASSERT_TRUE(tst::CopyTo(tgt::Bin("VLBIOSIF_PLANTED.DLL"), LibraryBesideProgram()));
    ASSERT_TRUE(tst::CopyTo(tgt::Bin("VLBIOSIF_PLANTED.DLL"), elsewhere / "VLBIOSIF.DLL"));
    const std::string loadCall = "LoadLibraryExA " + genuine + " " + std::to_string(LOAD_WITH_ALTERED_SEARCH_PATH);
    struct {
        bool inSystemFolder;
        int code;
        std::vector<std::string> events;
    } cases[] = {
        {true, 22, {"biosif query 22"}},
        // None in the system folder: no library, as on a machine without it.
        {false, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inSystemFolder ? "in the system folder" : "not in the system folder");
        UseLibrary(c.inSystemFolder ? tgt::Bin("VLBIOSIF.DLL") : "");
        tst::ClearTestbedEvents();
        g_loadCalls.clear();

        CGetMachineType* pProbe;
        {
            tgt::ImportHook load("kernel32.dll", "LoadLibraryExA", reinterpret_cast<void*>(&RecordingLoadLibraryExA));
            g_pLoadHook = &load;
            pProbe = new CGetMachineType;
        }
        EXPECT_EQ(g_loadCalls, std::vector<std::string>{loadCall});
        EXPECT_EQ(pProbe->m_hBiosLib != nullptr, c.inSystemFolder);
        ASSERT_TRUE(pProbe->CreateThread(0, 0, nullptr));
        ASSERT_EQ(WaitForSingleObject(pProbe->m_hThread, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(pProbe->m_nMachineType, c.code);
        delete pProbe;
        EXPECT_EQ(GetModuleHandleA("VLBIOSIF.DLL"), nullptr);
        EXPECT_EQ(tst::TestbedEvents(), c.events);
    }

    // Through the registration: the card-slot row, from the genuine answer.
    ASSERT_TRUE(tst::CopyTo(tgt::Bin("VLBIOSIF.DLL"), genuine));
    Package("SLOTLOCK.cab");
    tst::ClearTestbedEvents();
    EXPECT_EQ(Build(), (std::vector<Registered>{{"SLOTLOCK.cab", SystemFolder("SLK\\"), 0}}));
    EXPECT_EQ(tst::TestbedEvents(), std::vector<std::string>{"biosif query 22"});
}
