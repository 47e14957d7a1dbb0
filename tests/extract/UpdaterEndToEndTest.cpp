// The shipped VelraUpdate.exe on a staged machine: packages beside it, the
// targets found through App Paths and the Run key, its boxes answered and
// its progress window read from outside while it works.
#include <gtest/gtest.h>
#include <set>

#include "ExtractTestSupport.h"
#include "Files.h"
#include "Folders.h"
#include "MessageBoxes.h"
#include "Programs.h"
#include "Registry.h"
#include "Text.h"
#include "UpdateTestSupport.h"
#include "Waits.h"

namespace {
struct ProgressView {
    std::string title, status, percent;
};

BOOL CALLBACK FindProgress(HWND hWnd, LPARAM lParam)
{
    auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(lParam);
    if ((!found->first || tst::ProcessOf(hWnd) == found->first) &&
        FindWindowExA(hWnd, nullptr, "msctls_progress32", nullptr)) {
        found->second = hWnd;
        return FALSE;
    }
    return TRUE;
}

bool ReadProgress(DWORD pid, ProgressView& view)
{
    std::pair<DWORD, HWND> found{pid, nullptr};
    EnumWindows(FindProgress, reinterpret_cast<LPARAM>(&found));
    if (!found.second || !IsWindowVisible(found.second))
        return false;
    view.title = tst::WindowText(found.second);
    view.status = tst::WindowText(GetDlgItem(found.second, 1000));
    view.percent = tst::WindowText(GetDlgItem(found.second, 1002));
    return true;
}

// Status lines seen while the run goes on, and the window under each box.
struct Watch {
    std::set<std::string> statuses;
    std::vector<ProgressView> underBoxes;
    std::string replacement, replaced;  // moved over it while the first box is up
    bool Poll()
    {
        ProgressView v;
        if (ReadProgress(0, v))
            statuses.insert(v.status);
        return true;
    }
    static void OnBox(const tst::SeenBox&, HWND, DWORD pid, void* p)
    {
        ProgressView v;
        static_cast<Watch*>(p)->underBoxes.push_back(ReadProgress(pid, v) ? v : ProgressView{"none"});
    }
};

// A build made with a certificate: its updater takes only packages signed
// with it (testdata\signed), and the same program without that check
// (bin\unsigned) runs the packages that the tests make as they run.
bool ChecksPackages() { return GetFileAttributesA(tst::BinFile("unsigned\\VelraUpdate.exe").c_str()) != INVALID_FILE_ATTRIBUTES; }
std::string Updater(bool bChecking) { return tst::BinFile(bChecking || !ChecksPackages() ? "VelraUpdate.exe" : "unsigned\\VelraUpdate.exe"); }
// A package of the test data as the build's updater takes it.
std::string Signed(const std::string& name)
{
    return ChecksPackages() ? tst::ReadBytes(ext::TestData("signed\\" + name.substr(name.rfind('\\') + 1)))
                            : tst::ReadBytes(ext::TestData(name));
}

// The hub takes two packages (Homedeck, CORE), the viewer and the tray
// utility one each.
struct Packages {
    std::string homedeck, viewer, core, led;
};
Packages Unchecked(const std::string& core, const std::string& led = tst::ReadBytes(ext::TestData("three-stored.cab")))
{
    return {tst::ReadBytes(ext::TestData("three-mszip.cab")),
            tst::ReadBytes(ext::TestData("corpus\\mszip_lzx_qtm.cab")), core, led};
}

struct Machine {
    explicit Machine(const Packages& p, bool bChecking = false)
    {
        tst::CopyTo(Updater(bChecking), updater / "VelraUpdate.exe");
        tst::WriteBytes(updater / "Homedeck.cab", p.homedeck);
        tst::WriteBytes(updater / "LumoView.cab", p.viewer);
        tst::WriteBytes(updater / "CORE.cab", p.core);
        tst::WriteBytes(updater / "LEDUtility.cab", p.led);
    }
    tst::RunResult Run(Watch& watch, tst::BoxHook onBox = Watch::OnBox)
    {
        tst::BackgroundPoll poll([&watch] { return watch.Poll(); });
        tst::RunResult r = tst::RunAndAnswer("\"" + (updater / "VelraUpdate.exe") + "\"", 180000, onBox, &watch);
        poll.Stop();
        return r;
    }

    tst::TempDir updater{"upd"}, hub{"hub"}, viewer{"view"}, led{"led"};
    upd::AppPathEntry hubEntry{"VelraHomedeck.exe", hub / "VelraHomedeck.exe"};
    upd::AppPathEntry viewerEntry{"VelraLumoView.exe", viewer / "VelraLumoView.exe"};
    tst::ScopedValue runEntry{HKEY_LOCAL_MACHINE, upd::kRunKey, "VelraLumoLEDUtility.EXE",
                              led / "VelraLumoLEDUtility.EXE"};
};

const std::set<std::string> kThree = {"alpha.txt", "bravo.log", "charlie.dat"};
// The files of many.cab.
std::set<std::string> Modules()
{
    std::set<std::string> modules;
    for (int i = 1; i <= 60; ++i)
        modules.insert("module" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".dll");
    return modules;
}
}  // namespace

TEST(UpdaterEndToEnd, ExtractsEveryPackageUnderTheWindowAndReportsCompletion)
{
    Machine m({Signed("three-mszip.cab"), Signed("corpus\\mszip_lzx_qtm.cab"), Signed("many.cab"),
               Signed("three-stored.cab")},
              true);
    Watch watch;
    tst::RunResult r = m.Run(watch);
    ASSERT_TRUE(upd::Ended(r, 0, {upd::DoneText()}));
    // The window is still up under the last box, on the last package's last file.
    ASSERT_EQ(watch.underBoxes.size(), 1u);
    EXPECT_EQ(watch.underBoxes[0].title, tst::Cp932("ｱｯﾌﾟﾃﾞｰﾄﾌｧｲﾙをｲﾝｽﾄｰﾙしています."));
    EXPECT_EQ(watch.underBoxes[0].status, upd::Copying("charlie.dat"));
    EXPECT_EQ(watch.underBoxes[0].percent, "100%");
    int moduleNames = 0;
    for (const std::string& s : watch.statuses)
        moduleNames += s.find("module") != std::string::npos;
    EXPECT_GT(moduleNames, 0) << "no file name of the big package was seen while it was extracted";

    std::set<std::string> hubFiles = Modules();
    hubFiles.insert(kThree.begin(), kThree.end());
    EXPECT_EQ(tst::FileNames(m.hub.Path()), hubFiles);
    EXPECT_EQ(tst::ReadBytes(m.hub / "module37.dll"), tst::ReadBytes(ext::TestData("src\\many\\module37.dll")));
    EXPECT_EQ(tst::FileNames(m.viewer.Path()), (std::set<std::string>{"mszip.txt", "lzx.txt", "qtm.txt"}));
    EXPECT_EQ(tst::FileNames(m.led.Path()), kThree);
    EXPECT_EQ(tst::ReadBytes(m.led / "bravo.log"), tst::ReadBytes(ext::TestData("src\\three\\bravo.log")));
}

TEST(UpdaterEndToEnd, OneCorruptPackageIsReportedOnceAndTheOthersStillLand)
{
    // CORE.cab fails inside bravo.log, which Homedeck.cab has just installed.
    ext::CabPlan core{{{"core.dll", "core"}, {"bravo.log", std::string(70000, 'X')}}};
    core.corruptBlock = 1;
    Machine m(Unchecked(ext::StoredCabinet(core)));
    Watch watch;
    tst::RunResult r = m.Run(watch);
    ASSERT_TRUE(upd::Ended(r, 1, {upd::FailedText()}));
    ASSERT_EQ(watch.underBoxes.size(), 1u);
    EXPECT_EQ(watch.underBoxes[0].status, upd::Copying("bravo.log"));

    std::set<std::string> hubFiles = kThree;
    hubFiles.insert("core.dll");
    EXPECT_EQ(tst::FileNames(m.hub.Path()), hubFiles);
    EXPECT_EQ(tst::ReadBytes(m.hub / "bravo.log"), tst::ReadBytes(ext::TestData("src\\three\\bravo.log")));
    EXPECT_EQ(tst::FileNames(m.viewer.Path()), (std::set<std::string>{"mszip.txt", "lzx.txt", "qtm.txt"}));
    EXPECT_EQ(tst::FileNames(m.led.Path()), kThree);
}

TEST(UpdaterEndToEnd, TwoFailedPackagesGiveTwoReportsAndNoCompletion)
{
    // CORE.cab fails inside its second file; LEDUtility.cab, the last
    // package, is no cabinet at all and fails before its first file, so
    // the status line still reads what the run set before it.
    ext::CabPlan core{{{"core.dll", "core"}, {"bravo.log", std::string(70000, 'X')}}};
    core.corruptBlock = 1;
    Machine m(Unchecked(ext::StoredCabinet(core), "not a cabinet"));
    Watch watch;
    tst::RunResult r = m.Run(watch);
    ASSERT_TRUE(upd::Ended(r, 1, {upd::FailedText(), upd::FailedText()}));
    ASSERT_EQ(watch.underBoxes.size(), 2u);
    EXPECT_EQ(watch.underBoxes[0].status, upd::Copying("bravo.log"));
    EXPECT_EQ(watch.underBoxes[1].status, tst::Cp932("準備中..."));
    EXPECT_EQ(tst::FileNames(m.viewer.Path()), (std::set<std::string>{"mszip.txt", "lzx.txt", "qtm.txt"}));
    EXPECT_TRUE(tst::FileNames(m.led.Path()).empty());
}

namespace {
// Replaces the hub's second package beside the updater with another one
// that the maker signed, while the first box is up.
void ReplaceCore(const tst::SeenBox&, HWND, DWORD, void* p)
{
    Watch& watch = *static_cast<Watch*>(p);
    if (watch.underBoxes.empty()) {
        EXPECT_TRUE(MoveFileExA(watch.replacement.c_str(), watch.replaced.c_str(), MOVEFILE_REPLACE_EXISTING));
    }
    watch.underBoxes.push_back({});
}
}  // namespace

TEST(UpdaterEndToEnd, OnlyTheMakersPackagesAsTheyWereTakenAreExtracted)
{
    if (!ChecksPackages())
        GTEST_SKIP() << "a build without a certificate takes every package";
    // Unsigned, signed by someone else, signed by the maker, and signed with
    // the signature cut off; the maker's is replaced by another of the
    // maker's once the run is under way.
    Machine m({tst::ReadBytes(ext::TestData("three-mszip.cab")), Signed("other-signer.cab"), Signed("many.cab"),
               Signed("cut-off.cab")},
              true);
    Watch watch;
    watch.replacement = m.updater / "replacement.cab";
    watch.replaced = m.updater / "CORE.cab";
    tst::CopyTo(ext::TestData("signed\\replacement.cab"), watch.replacement);
    tst::RunResult r = m.Run(watch, ReplaceCore);
    ASSERT_TRUE(upd::Ended(r, 1, std::vector<std::string>(3, upd::FailedText())));
    EXPECT_EQ(tst::ReadBytes(m.updater / "CORE.cab"), tst::ReadBytes(ext::TestData("signed\\replacement.cab")));
    EXPECT_EQ(tst::FileNames(m.hub.Path()), Modules());
    EXPECT_TRUE(tst::FileNames(m.viewer.Path()).empty());
    EXPECT_TRUE(tst::FileNames(m.led.Path()).empty());
}
