// The shipped VelraUpdate.exe on a staged machine: packages beside it, the
// targets found through App Paths and the Run key, its boxes answered and
// its progress window read from outside while it works.
#include <set>

#include "ExtractTestSupport.h"
#include "UpdateTestSupport.h"

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

// The hub takes two packages (Homedeck, CORE), the viewer and the tray
// utility one each.
struct Machine {
    explicit Machine(const std::string& corePackage,
                     const std::string& ledPackage = tst::ReadBytes(ext::TestData("three-stored.cab")))
    {
        tst::CopyTo(tst::BinFile("VelraUpdate.exe"), updater / "VelraUpdate.exe");
        tst::CopyTo(ext::TestData("three-mszip.cab"), updater / "Homedeck.cab");
        tst::CopyTo(ext::TestData("corpus\\mszip_lzx_qtm.cab"), updater / "LumoView.cab");
        tst::WriteBytes(updater / "CORE.cab", corePackage);
        tst::WriteBytes(updater / "LEDUtility.cab", ledPackage);
    }
    tst::RunResult Run(Watch& watch)
    {
        tst::BackgroundPoll poll([&watch] { return watch.Poll(); });
        tst::RunResult r = tst::RunAndAnswer("\"" + (updater / "VelraUpdate.exe") + "\"", 180000, Watch::OnBox, &watch);
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
}  // namespace

TEST(UpdaterEndToEnd, ExtractsEveryPackageUnderTheWindowAndReportsCompletion)
{
    Machine m(tst::ReadBytes(ext::TestData("many.cab")));
    Watch watch;
    tst::RunResult r = m.Run(watch);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, upd::AppTitle());
    EXPECT_EQ(r.boxes[0].text, upd::DoneText());
    // The window is still up under the last box, on the last package's last file.
    ASSERT_EQ(watch.underBoxes.size(), 1u);
    EXPECT_EQ(watch.underBoxes[0].title, tst::Cp932("ｱｯﾌﾟﾃﾞｰﾄﾌｧｲﾙをｲﾝｽﾄｰﾙしています."));
    EXPECT_EQ(watch.underBoxes[0].status, upd::Copying("charlie.dat"));
    EXPECT_EQ(watch.underBoxes[0].percent, "100%");
    int moduleNames = 0;
    for (const std::string& s : watch.statuses)
        moduleNames += s.find("module") != std::string::npos;
    EXPECT_GT(moduleNames, 0) << "no file name of the big package was seen while it was extracted";

    std::set<std::string> hubFiles = kThree;
    for (int i = 1; i <= 60; ++i)
        hubFiles.insert("module" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".dll");
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
    Machine m(ext::StoredCabinet(core));
    Watch watch;
    tst::RunResult r = m.Run(watch);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1u);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].caption, upd::AppTitle());
    EXPECT_EQ(r.boxes[0].text, upd::FailedText());
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
    Machine m(ext::StoredCabinet(core), "not a cabinet");
    Watch watch;
    tst::RunResult r = m.Run(watch);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1u);
    const std::string failed = upd::FailedText();
    ASSERT_EQ(r.boxes.size(), 2u);
    EXPECT_EQ(r.boxes[0].text, failed);
    EXPECT_EQ(r.boxes[1].text, failed);
    ASSERT_EQ(watch.underBoxes.size(), 2u);
    EXPECT_EQ(watch.underBoxes[0].status, upd::Copying("bravo.log"));
    EXPECT_EQ(watch.underBoxes[1].status, tst::Cp932("準備中..."));
    EXPECT_EQ(tst::FileNames(m.viewer.Path()), (std::set<std::string>{"mszip.txt", "lzx.txt", "qtm.txt"}));
    EXPECT_TRUE(tst::FileNames(m.led.Path()).empty());
}
