// ExtractCabinet on real files: gcab cabinets (stored, MSZIP), libmspack's
// corpus (LZX, Quantum, broken ones) and stored cabinets written here for
// the odd fields, with a real progress window as g_pProgressDlg.
#include "ExtractCabinet.h"
#include "ExtractTestSupport.h"

#include <set>

#include "UpdateProgressDlg.h"
#include "res/resource.h"

namespace {
using ext::CabPlan;
using ext::Entry;

template <class F> F Real(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

// Windows will not rename over a read-only file; Wine will. The tests hold
// the code to the stricter rule.
BOOL WINAPI StrictMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    DWORD a = GetFileAttributesA(to);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return Real<decltype(&MoveFileExA)>("MoveFileExA")(from, to, flags);
}

// Wine drops attribute bits it does not know, so what reaches the system is
// recorded: the last value per path.
std::map<std::string, DWORD> g_attributesSet;
BOOL WINAPI RecordingSetFileAttributesA(LPCSTR path, DWORD attributes)
{
    g_attributesSet[path] = attributes;
    return Real<decltype(&SetFileAttributesA)>("SetFileAttributesA")(path, attributes);
}

ULONGLONG Ull(const FILETIME* ft) { return ft ? ULONGLONG(ft->dwHighDateTime) << 32 | ft->dwLowDateTime : 0; }

// Wine reads the last-write time back as the creation time, so the stamps
// handed to the system are recorded as well: creation, last access, last write.
std::vector<std::vector<ULONGLONG>> g_timesSet;
BOOL WINAPI RecordingSetFileTime(HANDLE h, const FILETIME* created, const FILETIME* accessed, const FILETIME* written)
{
    g_timesSet.push_back({Ull(created), Ull(accessed), Ull(written)});
    return Real<decltype(&SetFileTime)>("SetFileTime")(h, created, accessed, written);
}

ULONGLONG Utc(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s)
{
    SYSTEMTIME st{y, mo, 0, d, h, mi, s, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return ULONGLONG(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
}

class Extract : public ::testing::Test {
protected:
    Extract()
    {
        target = sandbox / "target\\";
        CreateDirectoryA(target.c_str(), nullptr);
        tst::WriteBytes(sandbox / "outside.txt", "keep");
        g_attributesSet.clear();
        dlg.Create();
        g_pProgressDlg = &dlg;
    }
    ~Extract() override { g_pProgressDlg = nullptr; }

    std::string Write(const std::string& bytes, const std::string& name = "test.cab")
    {
        tst::WriteBytes(sandbox / name, bytes);
        return sandbox / name;
    }
    std::string Write(const CabPlan& plan) { return Write(ext::StoredCabinet(plan)); }
    BOOL Run(const std::string& cabinet) { return ExtractCabinet(cabinet.c_str(), target.c_str()); }
    void EmptyTarget()
    {
        tst::RemoveTree(target);
        CreateDirectoryA(target.c_str(), nullptr);
    }
    // Everything in the sandbox but the target folder.
    std::map<std::string, std::string> Outside()
    {
        auto all = ext::Snapshot(sandbox.Path());
        for (auto it = all.begin(); it != all.end();)
            it = it->first.rfind("target\\", 0) == 0 ? all.erase(it) : std::next(it);
        return all;
    }
    std::string Text(int nId)
    {
        char text[256] = "";
        GetDlgItemTextA(dlg.m_hWnd, nId, text, sizeof(text));
        return text;
    }
    LRESULT Bar(UINT message, WPARAM wParam = 0)
    {
        return SendDlgItemMessageA(dlg.m_hWnd, IDC_PROGRESS_BAR, message, wParam, 0);
    }

    tst::TempDir sandbox{"x"};
    std::string target;
    ext::ImportHook strictMove{"kernel32.dll", "MoveFileExA", reinterpret_cast<void*>(StrictMoveFileExA)};
    ext::ImportHook recordAttributes{"kernel32.dll", "SetFileAttributesA",
                                     reinterpret_cast<void*>(RecordingSetFileAttributesA)};
    ext::ImportHook recordTimes{"kernel32.dll", "SetFileTime", reinterpret_cast<void*>(RecordingSetFileTime)};
    CUpdateProgressDlg dlg;
};
}  // namespace

TEST_F(Extract, ThreeFilesKeepNamesContentsTimesAndMoveTheBar)
{
    TIME_ZONE_INFORMATION tz;
    GetTimeZoneInformation(&tz);
    ASSERT_EQ(tz.Bias, -540) << "run with TZ=Asia/Tokyo, so that the local-to-UTC step shows";
    // The cabinets hold these wall-clock times; in Tokyo they are 9 hours ahead of UTC.
    const struct {
        const char* name;
        ULONGLONG utc;
    } files[] = {{"alpha.txt", Utc(2021, 3, 3, 20, 6, 8)},
                 {"bravo.log", Utc(1999, 12, 31, 14, 59, 58)},
                 {"charlie.dat", Utc(2010, 7, 15, 3, 0, 0)}};
    for (const char* cab : {"three-stored.cab", "three-mszip.cab"}) {
        SCOPED_TRACE(cab);
        EmptyTarget();
        ext::DialogRecorder seen(dlg.m_hWnd);
        g_timesSet.clear();
        ASSERT_TRUE(Run(ext::TestData(cab)));
        EXPECT_EQ(ext::Names(target), (std::set<std::string>{"alpha.txt", "bravo.log", "charlie.dat"}));
        std::vector<std::string> statuses;
        std::vector<std::vector<ULONGLONG>> times;
        for (const auto& f : files) {
            std::string expected = tst::ReadBytes(ext::TestData(std::string("src\\three\\") + f.name));
            EXPECT_EQ(tst::ReadBytes(target + f.name), expected);
            WIN32_FILE_ATTRIBUTE_DATA d{};
            ASSERT_TRUE(GetFileAttributesExA((target + f.name).c_str(), GetFileExInfoStandard, &d));
            EXPECT_EQ(Ull(&d.ftLastWriteTime), f.utc) << f.name;
            times.push_back({f.utc, 0, f.utc});
            EXPECT_EQ(d.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE)) << f.name;
            statuses.push_back(tst::Cp932((std::string("ﾌｧｲﾙ: ") + f.name + " をｺﾋﾟｰしています.").c_str()));
        }
        EXPECT_EQ(g_timesSet, times);
        EXPECT_EQ(seen.TextsOf(IDC_STATUS_TEXT), statuses);
        EXPECT_EQ(seen.TextsOf(IDC_PERCENT_TEXT), (std::vector<std::string>{"0%", "33%", "66%", "100%"}));
        EXPECT_EQ(Bar(PBM_GETPOS), 3);
        EXPECT_EQ(Bar(PBM_GETRANGE, FALSE), 3);
    }
}

TEST_F(Extract, LzxQuantumAndMszipFoldersDecode)
{
    ASSERT_TRUE(Run(ext::TestData("corpus\\mszip_lzx_qtm.cab")));
    for (const char* name : {"mszip.txt", "lzx.txt", "qtm.txt"})
        EXPECT_EQ(tst::ReadBytes(target + name), tst::ReadBytes(ext::TestData(std::string("src\\mixed\\") + name)));
}

TEST_F(Extract, OnlyReadOnlyHiddenSystemAndArchiveAreApplied)
{
    // 0x40 (run after extraction), 0x80 (UTF-8 name) and 0x100 are the
    // cabinet's own or unknown bits; the system must never be given them.
    CabPlan plan{{{"ro.txt", "1", 0x61}, {"hs.txt", "2", 0xA6}, {"plain.txt", "3", 0x1A0}}};
    ASSERT_TRUE(Run(Write(plan)));
    const std::pair<const char*, DWORD> expected[] = {{"ro.txt", 0x21}, {"hs.txt", 0x26}, {"plain.txt", 0x20}};
    for (const auto& e : expected)
        EXPECT_EQ(GetFileAttributesA((target + e.first).c_str()) & 0x27, e.second) << e.first;
    EXPECT_EQ(g_attributesSet[target + "ro.txt"], 0x21u);
    EXPECT_EQ(g_attributesSet[target + "hs.txt"], 0x26u);
    for (const auto& set : g_attributesSet)
        EXPECT_EQ(set.second & ~0x27u, 0u) << set.first;
}

TEST_F(Extract, ExistingDestinationsEndAsExactlyTheExtractedFile)
{
    const std::string alpha = target + "alpha.txt", bravo = target + "bravo.log";
    tst::WriteBytes(alpha, std::string(5000, 'o'));
    SetFileAttributesA(alpha.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    tst::WriteBytes(bravo, std::string(200000, 'o'));  // longer than the new one
    ASSERT_TRUE(Run(ext::TestData("three-stored.cab")));
    EXPECT_EQ(tst::ReadBytes(alpha), "Velra\r\n");
    EXPECT_EQ(GetFileAttributesA(alpha.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(tst::ReadBytes(bravo), tst::ReadBytes(ext::TestData("src\\three\\bravo.log")));
}

TEST_F(Extract, StoredFolderMustAlreadyExist)
{
    EXPECT_FALSE(Run(ext::TestData("subfolder.cab")));
    EXPECT_TRUE(ext::Snapshot(target).empty());
    CreateDirectoryA((target + "sub").c_str(), nullptr);
    EXPECT_TRUE(Run(ext::TestData("subfolder.cab")));
    EXPECT_EQ(tst::ReadBytes(target + "sub\\file.dat"), "in a folder\n");
}

TEST_F(Extract, ZeroFilesSucceedAtZeroPercent)
{
    EXPECT_TRUE(Run(Write(CabPlan{})));
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), "0%");
    EXPECT_EQ(Bar(PBM_GETPOS), 0);
    EXPECT_EQ(Bar(PBM_GETRANGE, FALSE), 100);
}

TEST_F(Extract, WhatIsNoCabinetTouchesNothing)
{
    dlg.ShowStatusText("before");
    std::string newer = ext::StoredCabinet({{{"a.txt", "a"}}});
    newer[24] = 4;  // format 1.4
    for (const std::string& path :
         {sandbox / "absent.cab", ext::TestData("corpus\\bad_signature.cab"), Write(newer, "newer.cab")}) {
        EXPECT_FALSE(Run(path)) << path;
    }
    EXPECT_TRUE(ext::Snapshot(target).empty());
    EXPECT_EQ(Text(IDC_STATUS_TEXT), "before");
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), " 0 %");

    // A package path with no folder part is opened in the current folder.
    char old[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, old);
    Write(ext::StoredCabinet({{{"here.txt", "here"}}}), "here.cab");
    SetCurrentDirectoryA(sandbox.Path().c_str());
    EXPECT_TRUE(Run("here.cab"));
    SetCurrentDirectoryA(old);
    EXPECT_EQ(tst::ReadBytes(target + "here.txt"), "here");
}

TEST_F(Extract, CorpusCabinetsEndCleanlyAndNeverWriteOutsideTheTarget)
{
    // Sets after the first hold only entries continued from earlier
    // cabinets: skipped, so nothing is written and the result is TRUE.
    const std::set<std::string> whole = {"mszip_lzx_qtm.cab",   "normal_2files_1folder.cab",
                                         "normal_2files_2folders.cab", "multi_basic_pt2.cab",
                                         "multi_basic_pt3.cab", "multi_basic_pt4.cab", "multi_basic_pt5.cab"};
    std::vector<std::string> names = ext::CorpusNames();
    ASSERT_GT(names.size(), 40u);
    CreateDirectoryA((sandbox / "pkg").c_str(), nullptr);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string cab = sandbox / ("pkg\\" + name);
        tst::CopyTo(ext::TestData("corpus\\" + name), cab);
        auto before = Outside();
        bool good = whole.count(name) || name.rfind("reserve_", 0) == 0;
        EXPECT_EQ(Run(cab), good ? TRUE : FALSE);
        EXPECT_EQ(Outside(), before);
        for (const auto& f : ext::Snapshot(target))
            EXPECT_EQ(f.first.find(".tmp"), std::string::npos) << "left behind: " << f.first;
        EmptyTarget();
    }
}

TEST_F(Extract, FailureInsideAFileKeepsThePreviousVersion)
{
    const std::string a = target + "a.dat", b = target + "b.dat";
    tst::WriteBytes(a, "old a");
    tst::WriteBytes(b, "previous b");
    SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    // b.dat spans three data blocks; the second one is damaged.
    CabPlan plan{{{"a.dat", "new a"}, {"b.dat", std::string(70000, 'b')}}};
    plan.corruptBlock = 1;
    EXPECT_FALSE(Run(Write(plan)));
    EXPECT_EQ(tst::ReadBytes(a), "new a");
    EXPECT_EQ(tst::ReadBytes(b), "previous b");
    EXPECT_EQ(GetFileAttributesA(b.c_str()), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(ext::Names(target), (std::set<std::string>{"a.dat", "b.dat"}));

    // Without a previous version, the part written goes again.
    SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(b.c_str());
    EXPECT_FALSE(Run(Write(plan)));
    EXPECT_EQ(ext::Names(target), (std::set<std::string>{"a.dat"}));
}

TEST_F(Extract, DestinationHeldOpenElsewhereKeepsThePreviousVersion)
{
    const std::string b = target + "b.dat";
    tst::WriteBytes(b, "previous b");
    // Another process holds b.dat open without sharing: our handle is handed
    // to a running program and closed here.
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + tst::BinFile("tbwindow.exe") + "\" VelraHolderWnd - --hidden";
    ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HANDLE hMine = CreateFileA(b.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hMine, INVALID_HANDLE_VALUE);
    HANDLE hTheirs = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hMine, pi.hProcess, &hTheirs, 0, FALSE,
                                DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));

    EXPECT_FALSE(Run(Write(CabPlan{{{"a.dat", "new a"}, {"b.dat", "new b"}}})));
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(tst::ReadBytes(b), "previous b");
    EXPECT_EQ(ext::Names(target), (std::set<std::string>{"a.dat", "b.dat"})) << "no temporary file is left";
}

TEST_F(Extract, NamesThatWouldLeaveTheTargetAreRefused)
{
    CreateDirectoryA((target + "a").c_str(), nullptr);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string elsewhere[] = {std::string(temp) + "evil.txt", "C:\\evil.txt"};
    for (const char* bad : {"..\\evil.txt", "a\\..\\..\\evil.txt", "..\\..\\evil.txt", "...\\evil.txt", ".. \\evil.txt",
                            "a\\..\\evil.txt", "C:evil.txt", "C:\\evil.txt", "\\evil.txt", "/evil.txt",
                            "ok.txt:evil", "a\\\\evil.txt", ""}) {
        SCOPED_TRACE(bad);
        std::string cab = Write(CabPlan{{{"first.txt", "1"}, {bad, "evil"}}});
        auto before = Outside();
        EXPECT_FALSE(Run(cab));
        EXPECT_EQ(Outside(), before);
        for (const std::string& path : elsewhere) {
            EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
            DeleteFileA(path.c_str());
        }
        EXPECT_EQ(ext::Names(target), std::set<std::string>{"first.txt"});
    }
}

TEST_F(Extract, Utf8NamesAreConvertedOrRefused)
{
    const std::string kana = tst::Cp932("更新ﾌｧｲﾙ.txt"), so = tst::Cp932("ソフト.txt");
    EXPECT_TRUE(Run(ext::TestData("utf8-kana.cab")));
    EXPECT_EQ(tst::ReadBytes(target + kana), "kana\n");
    EXPECT_FALSE(Run(ext::TestData("utf8-latin.cab")));  // "café.txt" has no code page 932 form
    EXPECT_FALSE(Run(Write(CabPlan{{{"bad\xff.txt", "x", 0xA0}}})));
    // Code page 932 names pass unchanged, 0x5C trail bytes included.
    EXPECT_TRUE(Run(Write(CabPlan{{{so, "so"}}})));
    EXPECT_EQ(ext::Names(target), (std::set<std::string>{kana, so}));
}

TEST_F(Extract, PathLengthLimits)
{
    const std::string name = "abcdefghijklmnop.txt";  // 20 characters
    const std::string deep = target + std::string(255 - name.size() - target.size() - 1, 'd') + "\\";
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    EXPECT_TRUE(ExtractCabinet(Write(CabPlan{{{name, "255"}}}).c_str(), deep.c_str()));  // 255 characters
    EXPECT_EQ(tst::ReadBytes(deep + name), "255");
    EXPECT_FALSE(ExtractCabinet(Write(CabPlan{{{"x" + name, "256"}}}).c_str(), deep.c_str()));
    EXPECT_EQ(GetFileAttributesA((deep + "x" + name).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(Run(ext::TestData("corpus\\normal_255c_filename.cab")));
    const std::string longFolder = target + std::string(260 - target.size(), 'f') + "\\";
    EXPECT_FALSE(ExtractCabinet(ext::TestData("three-stored.cab").c_str(), longFolder.c_str()));
}

TEST_F(Extract, CabinetSetsFailWithoutWaitingForTheNextOne)
{
    EXPECT_FALSE(Run(ext::TestData("corpus\\multi_basic_pt1.cab")));
    EmptyTarget();
    CabPlan plan{{{"first.txt", "1"}, {"spans.txt", "2", 0x20, 0xFFFE}}, 2};
    EXPECT_FALSE(Run(Write(plan)));
    EXPECT_EQ(ext::Names(target), std::set<std::string>{"first.txt"});
}
