// The shipped VelraUpdate.exe, copied into a folder of its own with its
// packages, over a machine staged with a target for every row of its
// table: the testbed's windows running from the targets' folders, the
// stand-in service installed there and the BIOS library in the system
// folder. The event log and the target folders, watched while it runs,
// give the order of closing, stopping, extracting and starting.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <memory>
#include <set>

#include "Files.h"
#include "MessageBoxes.h"
#include "Programs.h"
#include "Registry.h"
#include "TargetsTestSupport.h"
#include "TestbedLog.h"
#include "UpdateTestSupport.h"
#include "Waits.h"

namespace {
typedef std::vector<std::string> Lines;

std::string SystemFolder(const char* sub)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    return std::string(sys) + "\\" + sub;
}

// The event log at the moment the first new name shows up in any of the
// watched folders, and at the moment one shows up in the last of them.
class FolderWatch {
public:
    explicit FolderWatch(std::vector<std::string> folders) : m_folders(std::move(folders))
    {
        for (const std::string& f : m_folders)
            m_before.push_back(tst::FileNames(f));
        m_poll.reset(new tst::BackgroundPoll([this] { return Look(); }));
    }
    void Stop() { m_poll->Stop(); }
    bool sawFirst = false, sawLast = false;
    Lines atFirst, atLast;

private:
    bool Look()
    {
        for (size_t i = 0; i < m_folders.size(); ++i) {
            if (tst::FileNames(m_folders[i]) == m_before[i])
                continue;
            if (!sawFirst) {
                atFirst = tst::TestbedEvents();
                sawFirst = true;
            }
            if (i + 1 == m_folders.size()) {
                atLast = tst::TestbedEvents();
                sawLast = true;
            }
        }
        return !sawLast;
    }
    std::vector<std::string> m_folders;
    std::vector<std::set<std::string>> m_before;
    std::unique_ptr<tst::BackgroundPoll> m_poll;  // last: stopped before the rest goes
};

// Each packaged file holds "<package> <file>".
void ExpectFromPackage(const std::string& folder, const char* package, std::initializer_list<const char*> files)
{
    for (const char* f : files) {
        EXPECT_EQ(tst::ReadBytes(folder + f), std::string(package) + " " + f + "\r\n") << folder << f;
        EXPECT_TRUE(tgt::CameFromPackage(folder + f)) << folder << f;
    }
}

class StagedMachine : public ::testing::Test {
protected:
    StagedMachine()
    {
        tgt::EndTestbedWindows();
        tst::CopyTo(tgt::Bin("VelraUpdate.exe"), updater / "VelraUpdate.exe");
        tst::CopyTo(tgt::Bin("velsvc_s.exe"), hub / "velsvc_s.exe");
    }
    ~StagedMachine() override
    {
        tgt::EndTestbedWindows();
        service.reset();
        // The service's process may still hold its program for a moment.
        tst::WaitFor("the service's program to be deleted",
                     [this] { return DeleteFileA((hub / "velsvc_s.exe").c_str()) != FALSE; }, 30000, false);
    }
    void Packages(std::initializer_list<const char*> names)
    {
        for (const char* n : names)
            ASSERT_TRUE(tst::CopyTo(tgt::TestData(n), updater / n)) << n;
    }
    tst::RunResult Run(tst::BoxHook onBox = nullptr, void* ctx = nullptr)
    {
        return tst::RunAndAnswer("\"" + (updater / "VelraUpdate.exe") + "\"", 120000, onBox, ctx);
    }

    tst::TempDir updater{"upd"}, hub{"hub"};
    upd::AppPathEntry hubEntry{"VelraHomedeck.exe", hub / "VelraHomedeck.exe"};
    std::unique_ptr<tgt::Service> service;
};
}  // namespace

TEST_F(StagedMachine, EveryTargetClosedAndStoppedBeforeExtractionAndTheServiceStartedAfter)
{
    // Row 1: the fixed path of the screen-mode tool.
    const std::string scrnmode = "C:\\Program Files\\KANDELO\\SCRNMODE\\";
    ASSERT_TRUE(tst::MakeDirs(scrnmode));
    struct RemoveKandelo {
        ~RemoveKandelo() { tst::RemoveTree("C:\\Program Files\\KANDELO"); }
    } removeKandelo;
    tst::WriteBytes(scrnmode + "Scrnmode.exe", "old");
    // Rows 2 to 5: both shortcut forms of both learning applications.
    tst::TempDir words("words"), sums("sums"), viewer("view"), led("led");
    tst::WriteBytes(words / "Words.exe", "old");
    tst::WriteBytes(sums / "Sums.exe", "old");
    const std::string menu = upd::StartMenu(CSIDL_PROGRAMS) + "VelraTargetsRun\\";
    struct RemoveMenu {
        std::string path;
        ~RemoveMenu() { tst::RemoveTree(path); }
    } removeMenu{menu};
    ASSERT_TRUE(tst::MakeDirs(menu + "Learn"));
    ASSERT_TRUE(upd::MakeShortcut(menu + "VelraWords.LNK", words / "Words.exe"));
    ASSERT_TRUE(upd::MakeShortcut(menu + "Learn\\Velra Words.LNK", words / "Words.exe"));
    ASSERT_TRUE(upd::MakeShortcut(menu + "VelraSums.LNK", sums / "Sums.exe"));
    ASSERT_TRUE(upd::MakeShortcut(menu + "Learn\\Velra Sums.LNK", sums / "Sums.exe"));
    // Rows 6 to 14: the media hub without MediaObj.dll or TunerCtl.dll, so
    // rows 12 to 14 apply and rows 10 and 11 do not; the viewer (row 7).
    upd::AppPathEntry viewerEntry("VelraLumoView.exe", viewer / "VelraLumoView.exe");
    // Row 15: the tray utility.
    tst::ScopedValue run(HKEY_LOCAL_MACHINE, upd::kRunKey, "VelraLumoLEDUtility.EXE",
                         "\"" + led.Path() + "VelraLumoLEDUtility.EXE\"");
    // Row 16: a machine with the card slot.
    tst::ScopedKey machine(HKEY_LOCAL_MACHINE, "Software\\VelraTestbed");
    machine.SetDword("MachineType", 22);
    // The library is only ever taken from the system folder. Planted beside
    // the updater, where the plain name would search first, a library of
    // that name and one for the common controls log as they load; Wine is
    // told to search for the latter as Windows does (its own first
    // otherwise). Neither may show in the log.
    ASSERT_TRUE(tst::CopyTo(tgt::Bin("VLBIOSIF.DLL"), SystemFolder("VLBIOSIF.DLL")));
    ASSERT_TRUE(tst::CopyTo(tgt::Bin("VLBIOSIF_PLANTED.DLL"), updater / "VLBIOSIF.DLL"));
    ASSERT_TRUE(tst::CopyTo(tgt::Bin("VLBIOSIF_PLANTED.DLL"), updater / "comctl32.dll"));
    char overrides[512] = "";
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof(overrides));
    struct RestoreOverrides {
        std::string old;
        ~RestoreOverrides() { SetEnvironmentVariableA("WINEDLLOVERRIDES", old.c_str()); }
    } restoreOverrides{overrides};
    SetEnvironmentVariableA("WINEDLLOVERRIDES", (std::string(overrides) + ";comctl32=n,b").c_str());
    const std::string slk = SystemFolder("SLK\\");
    struct RemoveSlk {
        std::string path;
        ~RemoveSlk() { tst::RemoveTree(path); }
    } removeSlk{slk};
    tst::RemoveTree(slk);
    Packages({"SCRNMODE.cab", "VLWORD.cab", "VLMATH.cab", "Homedeck.cab", "LumoView.cab", "velsvc_s.cab", "CORE.cab",
              "VCORE.cab", "VTUNE.cab", "VPAD.cab", "XCORE.cab", "LEDUtility.cab", "SLOTLOCK.cab"});

    // The programs run from the files their packages replace; a running
    // program's file cannot be replaced, so a package extracted before its
    // program has ended fails.
    tst::CopyTo(tgt::Bin("tbwindow.exe"), hub / "VelraHomedeck.exe");
    tst::CopyTo(tgt::Bin("tbwindow.exe"), viewer / "VelraLumoView.exe");
    tst::CopyTo(tgt::Bin("tbwindow.exe"), led / "VelraLumoLEDUtility.EXE");
    tst::ClearTestbedEvents();
    std::unique_ptr<tst::Process> windows[] = {
        std::unique_ptr<tst::Process>(tgt::StartWindow("VelraHomedeck --ring-on-close", hub / "VelraHomedeck.exe")),
        std::unique_ptr<tst::Process>(tgt::StartWindow("VelraLumoView", viewer / "VelraLumoView.exe")),
        std::unique_ptr<tst::Process>(tgt::StartWindow("PADWIN")),
        std::unique_ptr<tst::Process>(tgt::StartWindow("VelraLEDUtility - --hidden", led / "VelraLumoLEDUtility.EXE")),
    };
    service.reset(new tgt::Service(hub / "velsvc_s.exe"));
    ASSERT_TRUE(service->Start());
    ASSERT_FALSE(tst::CopyTo(tgt::Bin("tbwindow.exe"), hub / "VelraHomedeck.exe"))
        << "a running program's file can be replaced here, so the order of the run goes unchecked";
    tst::ClearTestbedEvents();

    FolderWatch watch({scrnmode, words.Path(), sums.Path(), hub.Path(), viewer.Path(), led.Path(), slk});
    tst::RunResult r = Run();
    watch.Stop();
    ASSERT_TRUE(upd::Ended(r, 0, {upd::DoneText()}));

    // Row 6 closes the hub and the ring it brings up, and the companion;
    // row 7 the viewer; row 8 stops the service; row 15 the utility.
    // The service takes longer to stop than the fixed second after its stop
    // request, and its program file is replaced: it is waited for.
    const Lines beforeExtraction{"biosif query 22",           "VelraHomedeck SC_CLOSE", "VelraLumoRingWnd ready",
                                 "VelraLumoRingWnd SC_CLOSE", "PADWIN WM_CLOSE",        "VelraLumoView SC_CLOSE",
                                 "velsvc_s stopping",         "velsvc_s stop",          "VelraLEDUtility WM_CLOSE"};
    EXPECT_TRUE(tgt::WaitForEvent("velsvc_s start"));
    Lines all = beforeExtraction;
    all.push_back("velsvc_s start");
    EXPECT_EQ(tst::TestbedEvents(), all);
    EXPECT_TRUE(watch.sawFirst && watch.sawLast);
    EXPECT_EQ(watch.atFirst, beforeExtraction);
    EXPECT_EQ(watch.atLast, beforeExtraction) << "the service started before the last package";
    EXPECT_TRUE(service->WaitForState(SERVICE_RUNNING));

    EXPECT_EQ(tst::FileNames(scrnmode), (std::set<std::string>{"Scrnmode.exe"}));
    ExpectFromPackage(scrnmode, "SCRNMODE.cab", {"Scrnmode.exe"});
    EXPECT_EQ(tst::FileNames(words.Path()), (std::set<std::string>{"Words.exe", "words.dic"}));
    ExpectFromPackage(words.Path(), "VLWORD.cab", {"Words.exe", "words.dic"});
    EXPECT_EQ(tst::FileNames(sums.Path()), (std::set<std::string>{"Sums.exe", "sums.dat"}));
    ExpectFromPackage(sums.Path(), "VLMATH.cab", {"Sums.exe", "sums.dat"});
    EXPECT_EQ(tst::FileNames(hub.Path()), (std::set<std::string>{"VelraHomedeck.exe", "homedeck.dat", "velsvc_s.exe",
                                                                 "core.dll", "vcore.dll", "vpad.dll", "xcore.dll"}));
    ExpectFromPackage(hub.Path(), "Homedeck.cab", {"VelraHomedeck.exe", "homedeck.dat"});
    ExpectFromPackage(hub.Path(), "CORE.cab", {"core.dll"});
    ExpectFromPackage(hub.Path(), "VCORE.cab", {"vcore.dll"});
    ExpectFromPackage(hub.Path(), "VPAD.cab", {"vpad.dll"});
    ExpectFromPackage(hub.Path(), "XCORE.cab", {"xcore.dll"});
    EXPECT_TRUE(tgt::CameFromPackage(hub / "velsvc_s.exe"));
    EXPECT_EQ(tst::ReadBytes(hub / "velsvc_s.exe"), tst::ReadBytes(tgt::Bin("velsvc_s.exe")));
    EXPECT_EQ(tst::FileNames(viewer.Path()), (std::set<std::string>{"VelraLumoView.exe"}));
    ExpectFromPackage(viewer.Path(), "LumoView.cab", {"VelraLumoView.exe"});
    EXPECT_EQ(tst::FileNames(led.Path()), (std::set<std::string>{"VelraLumoLEDUtility.EXE"}));
    ExpectFromPackage(led.Path(), "LEDUtility.cab", {"VelraLumoLEDUtility.EXE"});
    EXPECT_EQ(tst::FileNames(slk), (std::set<std::string>{"slotlock.sys"}));
    ExpectFromPackage(slk, "SLOTLOCK.cab", {"slotlock.sys"});

    // Closed programs are not started again.
    for (const char* cls : {"VelraLumoRingWnd", "VelraHomedeck", "VelraLumoView", "PADWIN", "VelraLEDUtility"})
        EXPECT_EQ(FindWindowA(cls, nullptr), nullptr) << cls;
    for (auto& w : windows)
        EXPECT_FALSE(w->Running());
}

namespace {
void RecordEvents(const tst::SeenBox&, HWND, DWORD, void* ctx) { *static_cast<Lines*>(ctx) = tst::TestbedEvents(); }
}  // namespace

TEST_F(StagedMachine, StoppedServiceIsStartedAfterTheRunEvenWhenAPackageFailed)
{
    Packages({"Homedeck.cab", "velsvc_s.cab"});
    tst::WriteBytes(updater / "CORE.cab", "MSCF" + std::string(60, '\0'));
    service.reset(new tgt::Service(hub / "velsvc_s.exe"));
    ASSERT_EQ(service->State(), DWORD(SERVICE_STOPPED));
    tst::ClearTestbedEvents();

    Lines atFailure{"unseen"};
    tst::RunResult r = Run(RecordEvents, &atFailure);
    ASSERT_TRUE(upd::Ended(r, 1, {upd::FailedText()}));
    // The failure of the last package is reported before the service starts.
    EXPECT_EQ(atFailure, Lines{});
    EXPECT_TRUE(tgt::WaitForEvent("velsvc_s start"));
    EXPECT_EQ(tst::TestbedEvents(), Lines{"velsvc_s start"});
    EXPECT_TRUE(service->WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(tst::FileNames(hub.Path()), (std::set<std::string>{"VelraHomedeck.exe", "homedeck.dat", "velsvc_s.exe"}));
    EXPECT_TRUE(tgt::CameFromPackage(hub / "velsvc_s.exe"));
}
