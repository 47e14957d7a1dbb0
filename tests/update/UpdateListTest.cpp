// The target table against a staged machine: packages next to the program,
// the media hub in App Paths with its libraries, shortcuts, the Run entry.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "Files.h"
#include "Folders.h"
#include "Registry.h"
#include "UpdateApp.h"
#include "UpdateItem.h"
#include "UpdateTestSupport.h"

namespace {
using upd::Registered;

class UpdateList : public ::testing::Test {
protected:
    UpdateList() : packages("pkg"), hub("hub"), module(packages.Path()) { CoInitialize(nullptr); }
    ~UpdateList() override
    {
        for (POSITION pos = app.m_updateList.GetHeadPosition(); pos;)
            delete static_cast<CUpdateItem*>(app.m_updateList.GetNext(pos));
        CoUninitialize();
    }

    void Package(const char* name) { tst::WriteBytes(packages / name, "MSCF"); }

    std::vector<Registered> Build()
    {
        app.BuildUpdateList();
        std::vector<Registered> out;
        for (POSITION pos = app.m_updateList.GetHeadPosition(); pos;) {
            CUpdateItem* p = static_cast<CUpdateItem*>(app.m_updateList.GetNext(pos));
            std::string path(p->m_strPackagePath);
            EXPECT_EQ(path.substr(0, packages.Path().size()), packages.Path());
            out.push_back({path.substr(packages.Path().size()), std::string(p->m_strTargetFolder), p->m_nAppType});
        }
        return out;
    }

    tst::TempDir packages, hub;
    tst::ScopedModuleFolder module;
    CUpdateApp app;
};
}  // namespace

TEST_F(UpdateList, NothingPresentMeansNothingApplies)
{
    // The hub is installed, but no package lies next to the program.
    upd::AppPathEntry entry("VelraHomedeck.exe", hub / "VelraHomedeck.exe");
    EXPECT_FALSE(app.BuildUpdateList());
    EXPECT_EQ(app.m_updateList.GetCount(), 0);
}

TEST_F(UpdateList, PackageWithoutTargetDoesNotApply)
{
    Package("Homedeck.cab");
    Package("LumoView.cab");
    EXPECT_FALSE(app.BuildUpdateList());
}

TEST_F(UpdateList, MediaObjSelectsTheMediaRows)
{
    upd::AppPathEntry entry("VelraHomedeck.exe", hub / "VelraHomedeck.exe");
    for (const char* p : {"VCORE.cab", "VTUNE.cab", "VPAD.cab", "XCORE.cab"})
        Package(p);
    tst::WriteBytes(hub / "MediaObj.dll", "x");
    tst::WriteBytes(hub / "TunerCtl.dll", std::string(90000, 't'));
    std::string f = hub.Path();
    EXPECT_EQ(Build(), (std::vector<Registered>{{"VCORE.cab", f, 1}, {"VTUNE.cab", f, 1}}));
}

TEST_F(UpdateList, TunerCtlSizeDecidesBetweenSmallAndLargeRows)
{
    upd::AppPathEntry entry("VelraHomedeck.exe", hub / "VelraHomedeck.exe");
    for (const char* p : {"VCORE.cab", "VTUNE.cab", "VPAD.cab", "XCORE.cab"})
        Package(p);
    std::string f = hub.Path();
    std::vector<Registered> small{{"VCORE.cab", f, 1}, {"VPAD.cab", f, 1}};
    std::vector<Registered> large{{"XCORE.cab", f, 1}};
    std::vector<Registered> both{{"VCORE.cab", f, 1}, {"VPAD.cab", f, 1}, {"XCORE.cab", f, 1}};
    struct {
        int size;
        const std::vector<Registered>* expected;
    } cases[] = {{79999, &small}, {80000, &both}, {80001, &large}, {-1, &both}};
    for (const auto& c : cases) {
        DeleteFileA((hub / "TunerCtl.dll").c_str());
        if (c.size >= 0)
            tst::WriteBytes(hub / "TunerCtl.dll", std::string(c.size, 't'));
        for (POSITION pos = app.m_updateList.GetHeadPosition(); pos;)
            delete static_cast<CUpdateItem*>(app.m_updateList.GetNext(pos));
        app.m_updateList.RemoveAll();
        EXPECT_EQ(Build(), *c.expected) << "TunerCtl.dll size " << c.size;
    }
}

TEST_F(UpdateList, EveryRowInTableOrder)
{
    // Row 1: the fixed path of the screen-mode tool.
    const std::string scrnmode = "C:\\Program Files\\KANDELO\\SCRNMODE\\";
    tst::MakeDirs(scrnmode);
    tst::WriteBytes(scrnmode + "Scrnmode.exe", "MZ");
    // Rows 2 to 5: both shortcut forms of both learning applications.
    tst::TempDir words("w"), sums("s");
    tst::WriteBytes(words / "Words.exe", "MZ");
    tst::WriteBytes(sums / "Sums.exe", "MZ");
    std::string menu = upd::StartMenu(CSIDL_PROGRAMS) + "VelraTestAll\\";
    tst::MakeDirs(menu + "Learn");
    upd::MakeShortcut(menu + "VelraWords.LNK", words / "Words.exe");
    upd::MakeShortcut(menu + "Learn\\Velra Words.LNK", words / "Words.exe");
    upd::MakeShortcut(menu + "VelraSums.LNK", sums / "Sums.exe");
    upd::MakeShortcut(menu + "Learn\\Velra Sums.LNK", sums / "Sums.exe");
    // Rows 6 to 14: the media hub without MediaObj.dll and a TunerCtl.dll
    // of exactly 80000 bytes, so that every hub row applies; the viewer.
    tst::TempDir viewer("v");
    upd::AppPathEntry hubEntry("VelraHomedeck.exe", hub / "VelraHomedeck.exe");
    upd::AppPathEntry viewerEntry("VelraLumoView.exe", viewer / "VelraLumoView.exe");
    tst::WriteBytes(hub / "TunerCtl.dll", std::string(80000, 't'));
    // Row 15: the tray utility's Run entry.
    tst::TempDir led("l");
    tst::ScopedValue run(HKEY_LOCAL_MACHINE, upd::kRunKey, "VelraLumoLEDUtility.EXE",
                         "\"" + led.Path() + "VelraLumoLEDUtility.EXE\"");
    for (const char* p : {"SCRNMODE.cab", "VLWORD.cab", "VLMATH.cab", "Homedeck.cab", "LumoView.cab", "velsvc_s.cab",
                          "CORE.cab", "VCORE.cab", "VTUNE.cab", "VPAD.cab", "XCORE.cab", "LEDUtility.cab"})
        Package(p);

    std::vector<Registered> got = Build();
    tst::RemoveTree(menu);
    tst::RemoveTree("C:\\Program Files\\KANDELO");

    auto shortForm = [](const std::string& f) {
        // Shortcut targets come back in the short form where the system has one.
        char s[MAX_PATH] = "";
        GetShortPathNameA(f.c_str(), s, MAX_PATH);
        return std::string(s);
    };
    std::string h = hub.Path();
    std::vector<Registered> expected{
        {"SCRNMODE.cab", scrnmode, 0},          {"VLWORD.cab", words.Path(), 0}, {"VLWORD.cab", words.Path(), 0},
        {"VLMATH.cab", sums.Path(), 0},         {"VLMATH.cab", sums.Path(), 0},  {"Homedeck.cab", h, 1},
        {"LumoView.cab", viewer.Path(), 2},     {"velsvc_s.cab", h, 3},          {"CORE.cab", h, 1},
        {"VCORE.cab", h, 1},                    {"VPAD.cab", h, 1},              {"XCORE.cab", h, 1},
        {"LEDUtility.cab", led.Path(), 4},
    };
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i].package == "VLWORD.cab" || got[i].package == "VLMATH.cab") {
            EXPECT_TRUE((got[i] == expected[i] ||
                         got[i] == Registered{expected[i].package, shortForm(expected[i].folder), 0}))
                << "row " << i << ": " << got[i];
        } else {
            EXPECT_EQ(got[i], expected[i]) << "row " << i;
        }
    }
}
