// ExtractCabinet on real files: gcab cabinets (stored, MSZIP), libmspack's
// corpus (LZX, Quantum, broken ones) and stored cabinets written here for
// the odd fields, with a real progress window as g_pProgressDlg.
#include "ExtractCabinet.h"
#include "ExtractTestSupport.h"
#include "Files.h"
#include "Folders.h"
#include "Programs.h"
#include "Text.h"
#include "UpdateTestSupport.h"

#include <gtest/gtest.h>
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

// The names of the files the code under test handles, as the recorded
// calls show them: the last part of the path, "<temp>" for its temporary
// files.
std::string Shown(std::string path)
{
    path = path.substr(path.find_last_of('\\') + 1);
    return path.rfind("~vu", 0) == 0 ? "<temp>" : path;
}

// Renames and time stamps, in the order the code under test asks for them.
std::vector<std::string> g_calls;

// Windows will not rename over a read-only file; Wine will. The tests hold
// the code to the stricter rule. A test can also have the next renames
// refused with an error of its choice.
int g_moveRefusals;
DWORD g_moveRefusal;
BOOL WINAPI StrictMoveFileExA(LPCSTR from, LPCSTR to, DWORD flags)
{
    DWORD a = to ? GetFileAttributesA(to) : INVALID_FILE_ATTRIBUTES;
    DWORD error = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) ? ERROR_ACCESS_DENIED : 0;
    if (!error && g_moveRefusals > 0 && g_moveRefusals--)
        error = g_moveRefusal;
    BOOL ok = !error && Real<decltype(&MoveFileExA)>("MoveFileExA")(from, to, flags);
    if (!ok && !error)
        error = GetLastError();
    g_calls.push_back("move " + Shown(from) + " " + Shown(to ? to : "") +
                      (flags & MOVEFILE_DELAY_UNTIL_REBOOT ? " at restart" : "") +
                      (ok ? "" : " refused " + std::to_string(error)));
    SetLastError(error);
    return ok;
}

// Wine drops attribute bits it does not know, so what reaches the system is
// recorded: the last value per path.
std::map<std::string, DWORD> g_attributesSet;
BOOL WINAPI RecordingSetFileAttributesA(LPCSTR path, DWORD attributes)
{
    g_attributesSet[path] = attributes;
    return Real<decltype(&SetFileAttributesA)>("SetFileAttributesA")(path, attributes);
}

// A file pending deletion: its attributes are refused.
std::string g_unreadable;
DWORD WINAPI UnreadableGetFileAttributesA(LPCSTR path)
{
    if (!g_unreadable.empty() && g_unreadable == path)
        return SetLastError(ERROR_ACCESS_DENIED), INVALID_FILE_ATTRIBUTES;
    return Real<decltype(&GetFileAttributesA)>("GetFileAttributesA")(path);
}

ULONGLONG Ull(const FILETIME* ft) { return ft ? ULONGLONG(ft->dwHighDateTime) << 32 | ft->dwLowDateTime : 0; }

// Wine reads the last-write time back as the creation time, so the stamps
// handed to the system are recorded as well: creation, last access, last
// write; and in the calls, the name the file has when it gets them.
std::vector<std::vector<ULONGLONG>> g_timesSet;
BOOL WINAPI RecordingSetFileTime(HANDLE h, const FILETIME* created, const FILETIME* accessed, const FILETIME* written)
{
    g_timesSet.push_back({Ull(created), Ull(accessed), Ull(written)});
    char path[2 * MAX_PATH] = "?";
    Real<DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD)>("GetFinalPathNameByHandleA")(h, path, sizeof(path), 0);
    g_calls.push_back("time " + Shown(path));
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
        g_calls.clear();
        g_moveRefusals = 0;
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
    std::string Text(int nId) { return tst::WindowText(GetDlgItem(dlg.m_hWnd, nId)); }
    LRESULT Bar(UINT message, WPARAM wParam = 0)
    {
        return SendDlgItemMessageA(dlg.m_hWnd, IDC_PROGRESS_BAR, message, wParam, 0);
    }

    upd::EveryChangePainted painted;
    tst::TempDir sandbox{"x"};
    std::string target;
    ext::ImportHook strictMove{"kernel32.dll", "MoveFileExA", reinterpret_cast<void*>(StrictMoveFileExA)};
    ext::ImportHook recordAttributes{"kernel32.dll", "SetFileAttributesA",
                                     reinterpret_cast<void*>(RecordingSetFileAttributesA)};
    ext::ImportHook unreadable{"kernel32.dll", "GetFileAttributesA",
                               reinterpret_cast<void*>(UnreadableGetFileAttributesA)};
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
        tst::MsgRecorder seen(ext::DialogTraffic(dlg.m_hWnd));
        g_timesSet.clear();
        ASSERT_TRUE(Run(ext::TestData(cab)));
        EXPECT_EQ(tst::FileNames(target), (std::set<std::string>{"alpha.txt", "bravo.log", "charlie.dat"}));
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
            statuses.push_back(upd::Copying(f.name));
        }
        EXPECT_EQ(g_timesSet, times);
        EXPECT_EQ(seen.What(WM_SETTEXT, std::to_string(IDC_STATUS_TEXT)), statuses);
        EXPECT_EQ(seen.What(WM_SETTEXT, std::to_string(IDC_PERCENT_TEXT)),
                  (std::vector<std::string>{"0%", "33%", "66%", "100%"}));
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
    // A replacement is stamped by its final name once it has it (NTFS would
    // give it the replaced file's creation time otherwise); a new file
    // through its own handle. The read-only one is renamed once reset.
    EXPECT_EQ(g_calls, (std::vector<std::string>{"move <temp> alpha.txt refused 5", "move <temp> alpha.txt",
                                                 "time alpha.txt", "move <temp> bravo.log", "time bravo.log",
                                                 "time charlie.dat"}));
    WIN32_FILE_ATTRIBUTE_DATA d{};
    ASSERT_TRUE(GetFileAttributesExA(bravo.c_str(), GetFileExInfoStandard, &d));
    EXPECT_EQ(Ull(&d.ftLastWriteTime), Utc(1999, 12, 31, 14, 59, 58));
}

TEST_F(Extract, ARefusedReplacementIsTriedAgainThenMadeAsideOrInPlace)
{
    const std::string a = target + "a.dat";
    const std::string cab = Write(CabPlan{{{"a.dat", "new a", 0x21}}});
    auto prepare = [&](const char* old, int refusals, DWORD error) {
        SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_NORMAL);
        tst::WriteBytes(a, old);
        g_calls.clear();
        g_moveRefusals = refusals;
        g_moveRefusal = error;
    };
    const std::string refused = "move <temp> a.dat refused ";

    // Refused for a moment, as by a virus scanner: tried again after 50,
    // then 100 ms, then renamed.
    prepare("old", 2, ERROR_SHARING_VIOLATION);
    DWORD dwStart = GetTickCount();
    EXPECT_TRUE(Run(cab));
    EXPECT_GE(GetTickCount() - dwStart, 140u);
    EXPECT_EQ(g_calls, (std::vector<std::string>{refused + "32", refused + "32", "move <temp> a.dat", "time a.dat"}));
    EXPECT_EQ(tst::ReadBytes(a), "new a");

    // Refused seven times in 2.55 s: the old file is renamed aside, the new
    // one takes its name, and the old one goes.
    std::vector<std::string> tries(7, refused + "5");
    prepare("older and longer", 7, ERROR_ACCESS_DENIED);
    dwStart = GetTickCount();
    EXPECT_TRUE(Run(cab));
    EXPECT_GE(GetTickCount() - dwStart, 2500u);
    std::vector<std::string> calls = tries;
    calls.insert(calls.end(), {"move a.dat <temp>", "move <temp> a.dat", "time a.dat"});
    EXPECT_EQ(g_calls, calls);
    EXPECT_EQ(tst::ReadBytes(a), "new a");
    EXPECT_EQ(tst::FileNames(target), std::set<std::string>{"a.dat"});

    // Refused every time, aside too: the bytes go over the old ones, to the
    // new length, and the stamp and attributes follow.
    prepare("older and longer", 100, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Run(cab));
    calls = tries;
    calls.insert(calls.end(), {"move a.dat <temp> refused 5", "time a.dat"});
    EXPECT_EQ(g_calls, calls);
    EXPECT_EQ(tst::ReadBytes(a), "new a");
    EXPECT_EQ(GetFileAttributesA(a.c_str()), 0x21u);
    EXPECT_EQ(g_timesSet.back(), (std::vector<ULONGLONG>{Utc(2021, 3, 3, 20, 6, 8), 0, Utc(2021, 3, 3, 20, 6, 8)}));
    EXPECT_EQ(tst::FileNames(target), std::set<std::string>{"a.dat"});

    // Pending deletion, the old file's attributes cannot be read: it goes
    // through the tries like a file in use.
    prepare("old", 2, ERROR_ACCESS_DENIED);
    g_unreadable = a;
    EXPECT_TRUE(Run(cab));
    g_unreadable.clear();
    EXPECT_EQ(g_calls, (std::vector<std::string>{refused + "5", refused + "5", "move <temp> a.dat", "time a.dat"}));

    // Any other refusal is not a file in use: no second try, no overwrite.
    prepare("old", 100, ERROR_NOT_SAME_DEVICE);
    EXPECT_FALSE(Run(cab));
    EXPECT_EQ(g_calls, std::vector<std::string>{refused + "17"});
    EXPECT_EQ(tst::ReadBytes(a), "old");
    EXPECT_EQ(tst::FileNames(target), std::set<std::string>{"a.dat"});
}

// An overwrite in place that fails part-way: SetEndOfFile refused, as for a
// file its holder maps, or a write cut short, as on a full disk.
DWORD g_endRefusal, g_writeRefusal;
BOOL WINAPI FailingSetEndOfFile(HANDLE h)
{
    if (g_endRefusal)
        return SetLastError(g_endRefusal), FALSE;
    return Real<decltype(&SetEndOfFile)>("SetEndOfFile")(h);
}
BOOL WINAPI FailingWriteFile(HANDLE h, LPCVOID p, DWORD cb, LPDWORD pcbDone, LPOVERLAPPED pOverlapped)
{
    if (g_writeRefusal)
        return *pcbDone = cb / 2, SetLastError(g_writeRefusal), FALSE;
    return Real<decltype(&WriteFile)>("WriteFile")(h, p, cb, pcbDone, pOverlapped);
}

// The moves the system is to make at the next restart, as MoveFileEx left
// them: "<destination's name, or delete> <- <what its source holds>".
std::multiset<std::string> RestartMoves()
{
    static char list[65536];
    DWORD cb = sizeof(list) - 2;
    HKEY hKey;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &hKey);
    if (RegQueryValueExA(hKey, "PendingFileRenameOperations", nullptr, nullptr, (BYTE*)list, &cb) != ERROR_SUCCESS)
        cb = 0;
    RegCloseKey(hKey);
    std::multiset<std::string> moves;
    for (const char* p = list; p < list + cb && *p; p += lstrlenA(p) + 1) {
        std::string from = tst::ReadBytes(p + 4);  // after "\\??\\"
        p += lstrlenA(p) + 1;
        moves.insert((*p ? Shown(p) : "delete") + " <- " + from);
    }
    return moves;
}

TEST_F(Extract, NoFailedReplacementLosesBothVersions)
{
    ext::ImportHook end{"kernel32.dll", "SetEndOfFile", reinterpret_cast<void*>(FailingSetEndOfFile)};
    ext::ImportHook write{"kernel32.dll", "WriteFile", reinterpret_cast<void*>(FailingWriteFile)};
    // Two packages into one folder, each with an overwrite that fails
    // part-way: each complete new file is kept under a name of its own, to
    // take the old one's place at the next restart, and the old one is
    // read-only again. The extractions fail.
    for (DWORD* refusal : {&g_endRefusal, &g_writeRefusal}) {
        const std::string name = refusal == &g_endRefusal ? "a.dat" : "b.dat", path = target + name;
        const std::string cab = Write(CabPlan{{{name, "new " + name, 0x20}}});
        tst::WriteBytes(path, "older and longer");
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        g_moveRefusals = 8;  // the replacement's seven tries, and aside
        g_moveRefusal = ERROR_SHARING_VIOLATION;
        *refusal = refusal == &g_endRefusal ? ERROR_USER_MAPPED_FILE : ERROR_DISK_FULL;
        g_calls.clear();
        EXPECT_FALSE(Run(cab));
        *refusal = 0;
        ASSERT_GE(g_calls.size(), 2u);
        EXPECT_EQ(g_calls.back(), "move <temp> " + name + " at restart");
        EXPECT_EQ(g_calls[g_calls.size() - 2], "move <temp> <temp>");
        EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_EQ(RestartMoves(), (std::multiset<std::string>{"a.dat <- new a.dat", "b.dat <- new b.dat"}));

    // A killed run's temporary file goes with the next extraction; a file
    // kept for the restart stays, whatever its name. A folder by a file's
    // name (customised, so read-only and system) fails it at once, with no
    // retries, and keeps its attributes.
    EmptyTarget();
    const std::string a = target + "a.dat", b = target + "b.dat";
    tst::WriteBytes(target + "~vu1234.tmp", "left by a killed run");
    tst::WriteBytes(target + "~vu1234.new", "kept for the restart");
    tst::WriteBytes(target + "~vu1234-7.tmp", "kept for the restart");
    MoveFileExA((target + "~vu1234-7.tmp").c_str(), a.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    CreateDirectoryA(b.c_str(), nullptr);
    SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    const DWORD dwFolder = GetFileAttributesA(b.c_str());
    g_calls.clear();
    g_attributesSet.clear();
    EXPECT_FALSE(Run(Write(CabPlan{{{"a.dat", "new a"}, {"b.dat", "new b"}}})));
    EXPECT_EQ(tst::FileNames(target), (std::set<std::string>{"a.dat", "~vu1234.new", "~vu1234-7.tmp"}));
    EXPECT_EQ(g_calls, std::vector<std::string>{"time a.dat"});
    EXPECT_EQ(g_attributesSet.count(b), 0u);
    EXPECT_EQ(GetFileAttributesA(b.c_str()), dwFolder);
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
    for (int folders : {0, 1}) {  // a folder record with no file in it is no failure either
        SCOPED_TRACE(folders);
        CabPlan plan;
        plan.folders = folders;
        EXPECT_TRUE(Run(Write(plan)));
        EXPECT_EQ(Text(IDC_PERCENT_TEXT), "0%");
        EXPECT_EQ(Bar(PBM_GETPOS), 0);
        EXPECT_EQ(Bar(PBM_GETRANGE, FALSE), 100);
    }
    EXPECT_TRUE(ext::Snapshot(target).empty());
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
    // Cabinets of a set fail: the first goes on in the next, and the others
    // hold only entries continued from earlier ones, which are never written.
    // One with a folder but no files has nothing to extract.
    const std::set<std::string> whole = {"mszip_lzx_qtm.cab", "normal_2files_1folder.cab",
                                         "normal_2files_2folders.cab", "bad_nofiles.cab"};
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
    EXPECT_EQ(tst::FileNames(target), (std::set<std::string>{"a.dat", "b.dat"}));

    // Without a previous version, the part written goes again.
    SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(b.c_str());
    EXPECT_FALSE(Run(Write(plan)));
    EXPECT_EQ(tst::FileNames(target), (std::set<std::string>{"a.dat"}));
}

// Ends the process, as the task manager or a logoff would, at the write
// that takes the bytes written past 40000.
size_t g_cbWritten;
int(__cdecl* g_realWrite)(int, const void*, unsigned);
int __cdecl KilledWrite(int fd, const void* p, unsigned cb)
{
    if ((g_cbWritten += cb) > 40000)
        TerminateProcess(GetCurrentProcess(), 3);
    return g_realWrite(fd, p, cb);
}

TEST_F(Extract, ARunKilledInTheMiddleOfANewFileLeavesNothingUnderItsName)
{
    // The run is this program started again up to the statement below, with
    // a sandbox of its own: it writes into a folder both know.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string killed = std::string(temp) + "velra_killed\\";
    tst::RemoveTree(killed);
    CreateDirectoryA(killed.c_str(), nullptr);
    const std::string cab = Write(CabPlan{{{"a.dat", "new a"}, {"b.dat", std::string(70000, 'b')}}});
    auto extract = [&] {
        ext::ImportHook write{nullptr, "_write", reinterpret_cast<void*>(KilledWrite)};
        g_realWrite = reinterpret_cast<decltype(g_realWrite)>(write.Original());
        ExtractCabinet(cab.c_str(), killed.c_str());
    };
    EXPECT_EXIT(extract(), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(tst::FileNames(killed), std::set<std::string>{"a.dat"});  // what was complete stays
    EXPECT_EQ(tst::ReadBytes(killed + "a.dat"), "new a");
    tst::RemoveTree(killed);
}

namespace {
// Another process holds a file open for reading with the given sharing: a
// handle opened here is handed to a running program and closed here.
class HeldElsewhere {
public:
    HeldElsewhere(const std::string& path, DWORD dwShare)
        : m_holder("\"" + tst::BinFile("tbwindow.exe") + "\" VelraHolderWnd - --hidden")
    {
        EXPECT_TRUE(m_holder.Started());
        HANDLE hMine = CreateFileA(path.c_str(), GENERIC_READ, dwShare, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(hMine, INVALID_HANDLE_VALUE);
        HANDLE hTheirs = nullptr;
        EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), hMine, m_holder.Handle(), &hTheirs, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
    }

private:
    tst::Process m_holder;  // ended, and so the handle closed, at the end
};
}  // namespace

TEST_F(Extract, DestinationHeldOpenElsewhereIsOverwrittenOnlyIfItsHolderSharesWriting)
{
    // A program asked to close may still hold a data file, as the C runtime
    // opens it (reading and writing shared, deleting not): no rename can
    // replace it, but writing over it in place can. Without sharing, the
    // previous version stays.
    const std::string b = target + "b.dat";
    for (DWORD dwShare : {DWORD(0), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)}) {
        for (DWORD dwOld : {DWORD(FILE_ATTRIBUTE_ARCHIVE), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE)}) {
            SCOPED_TRACE("sharing " + std::to_string(dwShare) + ", attributes " + std::to_string(dwOld));
            EmptyTarget();
            tst::WriteBytes(b, "previous b, longer than the new one");
            SetFileAttributesA(b.c_str(), dwOld);
            std::string cab = Write(CabPlan{{{"a.dat", "new a"}, {"b.dat", "new b", 0x21}}});
            g_calls.clear();
            BOOL bOk;
            {
                HeldElsewhere held(b, dwShare);
                bOk = Run(cab);
            }
            EXPECT_EQ(tst::FileNames(target), (std::set<std::string>{"a.dat", "b.dat"})) << "no temporary file is left";
            EXPECT_EQ(tst::ReadBytes(target + "a.dat"), "new a");
            if (!dwShare) {
                EXPECT_FALSE(bOk);
                EXPECT_EQ(tst::ReadBytes(b), "previous b, longer than the new one");
                EXPECT_EQ(GetFileAttributesA(b.c_str()), dwOld);
                continue;
            }
            EXPECT_TRUE(bOk);
            EXPECT_EQ(tst::ReadBytes(b), "new b");
            EXPECT_EQ(GetFileAttributesA(b.c_str()), 0x21u);
            EXPECT_EQ(g_calls.back(), "time b.dat");
            WIN32_FILE_ATTRIBUTE_DATA d{};
            ASSERT_TRUE(GetFileAttributesExA(b.c_str(), GetFileExInfoStandard, &d));
            EXPECT_EQ(Ull(&d.ftLastWriteTime), Utc(2021, 3, 3, 20, 6, 8));
        }
    }
}

// A file someone holds open cannot be deleted, as a running program's
// image cannot, though it can be renamed (Wine deletes a file whose holder
// shares deleting).
BOOL WINAPI HeldFilesStayDeleteFileA(LPCSTR path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    CloseHandle(h);
    return Real<decltype(&DeleteFileA)>("DeleteFileA")(path);
}

TEST_F(Extract, ProgramsRunningInOneFolderAreEachRenamedAsideUnderANameOfTheirOwn)
{
    ext::ImportHook undeletable{"kernel32.dll", "DeleteFileA", reinterpret_cast<void*>(HeldFilesStayDeleteFileA)};
    const std::string a = target + "a.exe", b = target + "b.exe";
    tst::WriteBytes(a, "old a");
    tst::WriteBytes(b, "old b");
    {
        HeldElsewhere heldA(a, FILE_SHARE_READ | FILE_SHARE_DELETE), heldB(b, FILE_SHARE_READ | FILE_SHARE_DELETE);
        EXPECT_TRUE(Run(Write(CabPlan{{{"a.exe", "new a"}, {"b.exe", "new b"}}})));
    }
    EXPECT_EQ(tst::ReadBytes(a) + ", " + tst::ReadBytes(b), "new a, new b");
    // Each old image is left for the restart to delete.
    EXPECT_EQ(RestartMoves(), (std::multiset<std::string>{"delete <- old a", "delete <- old b"}));
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
        EXPECT_EQ(tst::FileNames(target), std::set<std::string>{"first.txt"});
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
    EXPECT_EQ(tst::FileNames(target), (std::set<std::string>{kana, so}));
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
    EXPECT_EQ(tst::FileNames(target), std::set<std::string>{"first.txt"});
}

TEST_F(Extract, EntriesBegunInAnEarlierCabinetAreNeverMissingWithSuccess)
{
    // The first entry continues from the previous cabinet of a set, whose
    // data is not there; the second has a folder of its own. The other is
    // extracted and the bar ends one short, but the result is a failure.
    CabPlan plan{{{"cont.txt", "tail", 0x20, 0xFFFD}, {"own.txt", "own", 0x20, 1}}, 1};
    EXPECT_FALSE(Run(Write(plan)));
    EXPECT_EQ(tst::FileNames(target), std::set<std::string>{"own.txt"});
    EXPECT_EQ(tst::ReadBytes(target + "own.txt"), "own");
    EXPECT_EQ(Bar(PBM_GETPOS), 1);
    EXPECT_EQ(Bar(PBM_GETRANGE, FALSE), 2);
    EXPECT_EQ(Text(IDC_PERCENT_TEXT), "50%");
    // A later cabinet of a set, with nothing but such entries.
    EmptyTarget();
    EXPECT_FALSE(Run(ext::TestData("corpus\\multi_basic_pt3.cab")));
    EXPECT_TRUE(ext::Snapshot(target).empty());
}
