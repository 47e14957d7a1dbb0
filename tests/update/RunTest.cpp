// The real VelraUpdate.exe, started as a process from a folder of its own;
// its message boxes are read off the screen and answered.
#include "UpdateTestSupport.h"

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
const char kAppTitle[] = "Velra用ｱﾌﾟﾘｹｰｼｮﾝをｱｯﾌﾟﾃﾞｰﾄ";
const char kDriverTitle[] = "Velra用ﾄﾞﾗｲﾊﾞｰをｱｯﾌﾟﾃﾞｰﾄ";
const char kNotInstalled[] = "ｱｯﾌﾟﾃﾞｰﾄ対象がｲﾝｽﾄｰﾙされていません.\nｲﾝｽﾄｰﾙを中止します.";
}  // namespace

TEST(UpdaterRun, NoPackageShowsNotInstalledAndExitsWithTwo)
{
    Updater u;
    tst::RunResult r = u.Run();
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, tst::Cp932(kAppTitle));
    EXPECT_EQ(r.boxes[0].text, tst::Cp932(kNotInstalled));
    EXPECT_EQ(r.exitCode, 2u);
}

TEST(UpdaterRun, AnyArgumentSwitchesTheCaptionOnly)
{
    Updater u;
    for (const char* args : {"x", "/driver  more"}) {
        tst::RunResult r = u.Run(args);
        ASSERT_TRUE(r.finished);
        ASSERT_EQ(r.boxes.size(), 1u) << args;
        EXPECT_EQ(r.boxes[0].caption, tst::Cp932(kDriverTitle)) << args;
        EXPECT_EQ(r.boxes[0].text, tst::Cp932(kNotInstalled));
        EXPECT_EQ(r.exitCode, 2u);
    }
    // Blanks after the program name are no argument.
    tst::RunResult r = u.Run("   ");
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, tst::Cp932(kAppTitle));
}
