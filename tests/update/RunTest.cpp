// The real VelraUpdate.exe, started as a process from a folder of its own,
// its message boxes read off the screen and answered; then the run in this
// process, where every status line and box can be seen in order.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "Files.h"
#include "Folders.h"
#include "MessageBoxes.h"
#include "Programs.h"
#include "Recorders.h"
#include "Text.h"
#include "UpdateApp.h"
#include "UpdateTestSupport.h"
#include "res/resource.h"

namespace {
struct Updater {
    tst::TempDir dir{"run"};
    Updater() { tst::CopyTo(tst::BinFile("VelraUpdate.exe"), dir / "VelraUpdate.exe"); }
    tst::RunResult Run(const std::string& args = "")
    {
        std::string cmd = "\"" + (dir / "VelraUpdate.exe") + "\"";
        if (!args.empty())
            cmd += " " + args;
        return tst::RunAndAnswer(cmd, 120000);
    }
};
const char kDriverTitle[] = "Velra用ﾄﾞﾗｲﾊﾞｰをｱｯﾌﾟﾃﾞｰﾄ";
const char kNotInstalled[] = "ｱｯﾌﾟﾃﾞｰﾄ対象がｲﾝｽﾄｰﾙされていません.\nｲﾝｽﾄｰﾙを中止します.";
}  // namespace

TEST(UpdaterRun, NoPackageShowsNotInstalledAndExitsWithTwo)
{
    Updater u;
    tst::RunResult r = u.Run();
    EXPECT_TRUE(upd::Ended(r, 2, {tst::Cp932(kNotInstalled)}));
}

TEST(UpdaterRun, AnyArgumentSwitchesTheCaptionOnly)
{
    Updater u;
    for (const char* args : {"x", "/driver  more"}) {
        tst::RunResult r = u.Run(args);
        EXPECT_TRUE(upd::Ended(r, 2, {tst::Cp932(kNotInstalled)}, tst::Cp932(kDriverTitle))) << args;
    }
    // Blanks after the program name are no argument.
    EXPECT_TRUE(upd::Ended(u.Run("   "), 2, {tst::Cp932(kNotInstalled)}));
}

// The run in this process, on a staged Start Menu: what the status line
// shows and which boxes come up, in order, seen from a hook on this thread
// that also answers the boxes.
namespace {
// The status lines set on the progress window and the text of each box,
// which is then answered.
bool RunTraffic(HWND hWnd, UINT message, WPARAM, LPARAM, tst::MsgStep& step)
{
    if (message == WM_SETTEXT && step.how == tst::kReturned && GetDlgCtrlID(hWnd) == IDC_STATUS_TEXT &&
        GetDlgItem(GetParent(hWnd), IDC_PROGRESS_BAR)) {
        step.where = "status";
    } else if (message == WM_INITDIALOG && step.how == tst::kReturned && GetDlgItem(hWnd, 0xFFFF)) {
        step.where = "box";
        hWnd = GetDlgItem(hWnd, 0xFFFF);
        PostMessageA(GetParent(hWnd), WM_COMMAND, IDOK, 0);
    } else {
        return false;
    }
    step.what = tst::WindowText(hWnd);
    return true;
}

class InProcessRun : public ::testing::Test {
protected:
    InProcessRun() : module(packages.Path()) { tst::MakeDirs(menu + "Learn"); }
    ~InProcessRun() override { tst::RemoveTree(menu); }
    // The run's status lines and boxes, in order.
    std::vector<tst::MsgStep> Run()
    {
        tst::MsgRecorder recorder(RunTraffic, tst::kReturned);
        CUpdateApp app;
        EXPECT_FALSE(app.InitInstance());
        return recorder.Steps();
    }

    upd::EveryChangePainted painted;
    tst::TempDir packages{"pkg"}, words{"w"}, sums{"s"};
    tst::ScopedModuleFolder module;
    std::string menu = upd::StartMenu(CSIDL_PROGRAMS) + "VelraRunTest\\";
    static tst::MsgStep Status(const std::string& text) { return {WM_SETTEXT, "status", text}; }
    static tst::MsgStep Box(const std::string& text) { return {WM_INITDIALOG, "box", text}; }
    const tst::MsgStep preparing = Status(tst::Cp932("準備中..."));
    const std::vector<tst::MsgStep> threeFiles{Status(upd::Copying("alpha.txt")), Status(upd::Copying("bravo.log")),
                                               Status(upd::Copying("charlie.dat"))};
};
}  // namespace

TEST_F(InProcessRun, EveryPackageStartsWithPreparingAndOneFoundTwiceRunsTwiceInARow)
{
    // VLWORD.cab through both of its shortcut rows, VLMATH.cab through one.
    tst::WriteBytes(words / "Words.exe", "MZ");
    tst::WriteBytes(sums / "Sums.exe", "MZ");
    ASSERT_TRUE(upd::MakeShortcut(menu + "VelraWords.LNK", words / "Words.exe"));
    ASSERT_TRUE(upd::MakeShortcut(menu + "Learn\\Velra Words.LNK", words / "Words.exe"));
    ASSERT_TRUE(upd::MakeShortcut(menu + "VelraSums.LNK", sums / "Sums.exe"));
    for (const char* p : {"VLWORD.cab", "VLMATH.cab"})
        ASSERT_TRUE(tst::CopyTo(tst::BinFile("testdata\\three-stored.cab"), packages / p));

    std::vector<tst::MsgStep> expected;
    for (int i = 0; i < 3; ++i) {
        expected.push_back(preparing);
        expected.insert(expected.end(), threeFiles.begin(), threeFiles.end());
    }
    expected.push_back(Box(upd::DoneText()));
    EXPECT_TRUE(tst::SequenceIs(Run(), expected));
    EXPECT_EQ(tst::ReadBytes(words / "charlie.dat"), tst::ReadBytes(tst::BinFile("testdata\\src\\three\\charlie.dat")));
    EXPECT_EQ(tst::ReadBytes(sums / "alpha.txt"), tst::ReadBytes(tst::BinFile("testdata\\src\\three\\alpha.txt")));
}

TEST_F(InProcessRun, TwoFailedPackagesGiveTwoFailureBoxesAndNoCompletion)
{
    tst::WriteBytes(words / "Words.exe", "MZ");
    tst::WriteBytes(sums / "Sums.exe", "MZ");
    ASSERT_TRUE(upd::MakeShortcut(menu + "VelraWords.LNK", words / "Words.exe"));
    ASSERT_TRUE(upd::MakeShortcut(menu + "VelraSums.LNK", sums / "Sums.exe"));
    tst::WriteBytes(packages / "VLWORD.cab", "not a cabinet");
    tst::WriteBytes(packages / "VLMATH.cab", "MSCF, but nothing more");

    const tst::MsgStep failed = Box(upd::FailedText());
    EXPECT_TRUE(tst::SequenceIs(Run(), {preparing, failed, preparing, failed}));
}
