// The install-location probes against a real registry, real Start Menu
// folders with real shortcuts, and real files.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include "Files.h"
#include "Folders.h"
#include "Registry.h"
#include "UpdateItem.h"
#include "UpdateTestSupport.h"

namespace {
class Probes : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

// Replaces IShellLinkA::Resolve in the shell's link class (its table is
// shared by every link object) while it lives, noting the flags.
class ResolveFlags {
public:
    ResolveFlags()
    {
        IShellLinkA* pLink = nullptr;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&pLink)))) {
            ADD_FAILURE() << "no shell link object";
            return;
        }
        // IUnknown's three, then GetPath ... SetRelativePath: Resolve is the 20th.
        m_pSlot = *reinterpret_cast<void***>(pLink) + 19;
        pLink->Release();
        s_pfnOriginal = reinterpret_cast<Fn>(*m_pSlot);
        s_flags.clear();
        Patch(reinterpret_cast<void*>(&Record));
    }
    ~ResolveFlags()
    {
        if (m_pSlot)
            Patch(reinterpret_cast<void*>(s_pfnOriginal));
    }
    static std::vector<DWORD> s_flags;

private:
    typedef HRESULT(STDMETHODCALLTYPE* Fn)(IShellLinkA*, HWND, DWORD);
    static HRESULT STDMETHODCALLTYPE Record(IShellLinkA* pThis, HWND hWnd, DWORD fFlags)
    {
        s_flags.push_back(fFlags);
        return s_pfnOriginal(pThis, hWnd, fFlags);
    }
    void Patch(void* p)
    {
        DWORD old;
        VirtualProtect(m_pSlot, sizeof(void*), PAGE_READWRITE, &old);
        *m_pSlot = p;
        VirtualProtect(m_pSlot, sizeof(void*), old, &old);
    }
    void** m_pSlot = nullptr;
    static Fn s_pfnOriginal;
};
std::vector<DWORD> ResolveFlags::s_flags;
ResolveFlags::Fn ResolveFlags::s_pfnOriginal;

bool SameFolder(const CString& found, const std::string& folder)
{
    // The shortcut probe asks for the short form; some systems give the long one.
    char shortForm[MAX_PATH] = "";
    GetShortPathNameA(folder.c_str(), shortForm, MAX_PATH);
    return lstrcmpiA(found, folder.c_str()) == 0 || lstrcmpiA(found, shortForm) == 0;
}
}  // namespace

TEST_F(Probes, ShortcutDeepInTheUserTreeIsFoundAfterTheAllUsersTree)
{
    tst::TempDir target("lnk");
    tst::WriteBytes(target / "Words.exe", "MZ");
    std::string deep = upd::StartMenu(CSIDL_PROGRAMS) + "VelraTestA\\B\\C\\";
    ASSERT_TRUE(tst::MakeDirs(deep));
    ASSERT_TRUE(upd::MakeShortcut(deep + "VelraWords.LNK", target / "Words.exe"));

    CUpdateItem item("VLWORD.cab");
    EXPECT_TRUE(item.ProbeShortcut("velrawords.lnk"));  // names match as the file system does
    EXPECT_TRUE(SameFolder(item.m_strTargetFolder, target.Path())) << item.m_strTargetFolder;
    EXPECT_EQ(item.m_strTargetFolder[item.m_strTargetFolder.GetLength() - 1], '\\');
    EXPECT_FALSE(item.m_strAllUsersStartMenu.IsEmpty());
    tst::RemoveTree(upd::StartMenu(CSIDL_PROGRAMS) + "VelraTestA");

    CUpdateItem gone("VLWORD.cab");
    EXPECT_FALSE(gone.ProbeShortcut("VelraWords.LNK"));
    EXPECT_TRUE(gone.m_strTargetFolder.IsEmpty());
}

TEST_F(Probes, ShortcutToAMissingTargetFailsAndIsLeftAsItWas)
{
    // The target's folder is still there; its program is deleted. (Renamed,
    // it would be found again by Windows' link tracking, which the probe
    // keeps, as it would by a searching resolution.)
    tst::TempDir target("miss");
    tst::WriteBytes(target / "Words.exe", "MZ");
    std::string dir = upd::StartMenu(CSIDL_PROGRAMS) + "VelraTestM\\";
    ASSERT_TRUE(tst::MakeDirs(dir));
    const std::string link = dir + "VelraWords.LNK";
    ASSERT_TRUE(upd::MakeShortcut(link, target / "Words.exe"));
    ASSERT_TRUE(DeleteFileA((target / "Words.exe").c_str()));
    // Stamps a minute in the past, so that a rewrite now would show.
    FILETIME now, past;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= 10000000ull * 60;
    past.dwLowDateTime = t.LowPart;
    past.dwHighDateTime = t.HighPart;
    HANDLE h = CreateFileA(link.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetFileTime(h, &past, &past, &past);
    CloseHandle(h);
    const std::string bytes = tst::ReadBytes(link);
    WIN32_FILE_ATTRIBUTE_DATA before, after;
    ASSERT_TRUE(GetFileAttributesExA(link.c_str(), GetFileExInfoStandard, &before));

    {
        ResolveFlags resolve;
        CUpdateItem item("VLWORD.cab");
        EXPECT_FALSE(item.ProbeShortcut("VelraWords.LNK"));
        EXPECT_TRUE(item.m_strTargetFolder.IsEmpty()) << item.m_strTargetFolder;
        EXPECT_TRUE(CInstallLocator().ResolveShortcut(link.c_str(), nullptr).IsEmpty());
        // Windows would search, ask and rewrite without these: no dialog, no
        // update of the file, and a short time-out in the high word.
        ASSERT_EQ(ResolveFlags::s_flags.size(), 2u);
        for (DWORD flags : ResolveFlags::s_flags) {
            EXPECT_EQ(LOWORD(flags), SLR_NO_UI | SLR_NOUPDATE);
            EXPECT_GT(HIWORD(flags), 0);
            EXPECT_LE(HIWORD(flags), 3000);
        }
    }

    EXPECT_EQ(tst::ReadBytes(link), bytes);
    ASSERT_TRUE(GetFileAttributesExA(link.c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(CompareFileTime(&after.ftLastWriteTime, &before.ftLastWriteTime), 0);
    EXPECT_EQ(CompareFileTime(&after.ftCreationTime, &before.ftCreationTime), 0);
    EXPECT_EQ(after.dwFileAttributes, before.dwFileAttributes);
    tst::RemoveTree(dir);
}

TEST_F(Probes, SameShortcutInBothTreesTakesTheAllUsersOne)
{
    tst::TempDir common("c"), user("u");
    tst::WriteBytes(common / "Sums.exe", "MZ");
    tst::WriteBytes(user / "Sums.exe", "MZ");
    std::string commonDir = upd::StartMenu(CSIDL_COMMON_PROGRAMS) + "VelraTestB\\";
    std::string userDir = upd::StartMenu(CSIDL_PROGRAMS) + "VelraTestB\\";
    tst::MakeDirs(commonDir);
    tst::MakeDirs(userDir);
    ASSERT_TRUE(upd::MakeShortcut(commonDir + "Velra Sums.LNK", common / "Sums.exe"));
    ASSERT_TRUE(upd::MakeShortcut(userDir + "Velra Sums.LNK", user / "Sums.exe"));

    CUpdateItem item("VLMATH.cab");
    EXPECT_TRUE(item.ProbeShortcut("Velra Sums.LNK"));
    EXPECT_TRUE(SameFolder(item.m_strTargetFolder, common.Path())) << item.m_strTargetFolder;
    tst::RemoveTree(commonDir);
    tst::RemoveTree(userDir);
}

TEST_F(Probes, ShortcutSearchDoesNotFollowLinkLoops)
{
    // A directory link from inside the tree back to its root would make a
    // walk that enters links recurse until the stack runs out.
    std::string root = upd::StartMenu(CSIDL_PROGRAMS) + "VelraLoop\\";
    tst::MakeDirs(root + "inner");
    std::string loop = root + "inner\\back";
    ASSERT_TRUE(tst::MakeDirLink(loop, root));

    // A shortcut reachable only through a link is not taken either.
    tst::TempDir outside("out"), target("tgt");
    tst::WriteBytes(target / "Words.exe", "MZ");
    ASSERT_TRUE(upd::MakeShortcut(outside / "VelraWords.LNK", target / "Words.exe"));
    std::string side = root + "inner\\side";
    ASSERT_TRUE(tst::MakeDirLink(side, outside.Path()));

    CUpdateItem item("VLWORD.cab");
    EXPECT_FALSE(item.ProbeShortcut("NoSuchShortcut.LNK"));
    EXPECT_FALSE(item.ProbeShortcut("VelraWords.LNK"));
    tst::RemoveTree(root);
    EXPECT_EQ(GetFileAttributesA(root.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((outside / "VelraWords.LNK").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Probes, AppPathsDefaultValue)
{
    // Plain, quoted, expandable (as setup programs often write it) and on a
    // share; a folder that is not absolute would be taken against the
    // elevated run's current directory, and drops the row.
    char programFiles[MAX_PATH];
    ExpandEnvironmentStringsA("%ProgramFiles%", programFiles, MAX_PATH);
    const struct {
        const char* value;
        DWORD type;
        std::string folder;  // empty: no target
    } cases[] = {
        {"C:\\Apps\\Hub\\Hub.exe", REG_SZ, "C:\\Apps\\Hub\\"},
        {"\"C:\\Apps\\Velra Hub\\Hub.exe\"", REG_SZ, "C:\\Apps\\Velra Hub\\"},
        {"%ProgramFiles%\\Velra\\Hub.exe", REG_EXPAND_SZ, std::string(programFiles) + "\\Velra\\"},
        {"\\\\hub\\apps\\Hub.exe", REG_SZ, "\\\\hub\\apps\\"},
        {"%ProgramFiles%\\Velra\\Hub.exe", REG_SZ, ""},
        {"Velra\\Hub.exe", REG_SZ, ""},
        {"\\Velra\\Hub.exe", REG_SZ, ""},
        {"C:Velra\\Hub.exe", REG_SZ, ""},
        {"\\\\.\\C:\\Hub.exe", REG_SZ, ""},
    };
    for (const auto& c : cases) {
        upd::AppPathEntry entry("VelraProbeHub.exe", "");
        entry.key.SetString("", c.value, c.type);
        CUpdateItem item("Homedeck.cab");
        EXPECT_EQ(item.ProbeAppPath("VelraProbeHub.exe"), !c.folder.empty()) << c.value;
        if (!c.folder.empty()) {
            EXPECT_EQ(std::string(item.m_strTargetFolder), c.folder) << c.value;
        }
    }
    {
        // An expansion longer than the value's 260 bytes.
        SetEnvironmentVariableA("VELRA_PROBE_LONG", std::string(250, 'a').c_str());
        upd::AppPathEntry entry("VelraProbeHub.exe", "");
        entry.key.SetString("", "C:\\%VELRA_PROBE_LONG%\\Hub.exe", REG_EXPAND_SZ);
        EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
        SetEnvironmentVariableA("VELRA_PROBE_LONG", "a");
        EXPECT_TRUE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
        SetEnvironmentVariableA("VELRA_PROBE_LONG", nullptr);
    }
    {
        // A key without a default value.
        tst::ScopedKey key(HKEY_LOCAL_MACHINE, std::string(upd::kAppPaths) + "VelraProbeHub.exe");
        key.SetString("Path", "C:\\Apps\\Hub");
        EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
    }
    EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
}

TEST_F(Probes, AppPathsValueLengthBoundaries)
{
    std::string longest = "C:\\" + std::string(248, 'a') + "\\Hub.exe";  // 259 characters
    ASSERT_EQ(longest.size(), 259u);
    {
        upd::AppPathEntry entry("VelraProbeHub.exe", longest);
        CUpdateItem item("Homedeck.cab");
        EXPECT_TRUE(item.ProbeAppPath("VelraProbeHub.exe"));
        EXPECT_EQ(std::string(item.m_strTargetFolder), longest.substr(0, longest.size() - 7));
    }
    {
        upd::AppPathEntry entry("VelraProbeHub.exe", longest + "x");  // 260 characters
        EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
    }
    {
        // 260 bytes without a terminator fill the buffer exactly: never read past it.
        upd::AppPathEntry entry("VelraProbeHub.exe", "");
        std::string raw = longest + "x";
        entry.key.SetBinary("", raw.data(), DWORD(raw.size()), REG_SZ);
        EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
    }
}

TEST_F(Probes, ValuesThatAreNotTextNeverMakeATargetFolder)
{
    // "C:\\" spelt by the bytes of a number, and a path stored as binary data.
    const char path[] = "C:\\Apps\\Hub\\Hub.exe";
    const DWORD dwPathLike = 0x005C3A43;
    {
        upd::AppPathEntry entry("VelraProbeHub.exe", "");
        entry.key.SetBinary("", &dwPathLike, sizeof(dwPathLike), REG_DWORD);
        EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
        entry.key.SetBinary("", path, sizeof(path), REG_BINARY);
        EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
        entry.key.SetBinary("", path, sizeof(path), REG_EXPAND_SZ);
        EXPECT_TRUE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
        entry.key.SetBinary("", "", 0, REG_SZ);  // empty, no terminator at all
        EXPECT_FALSE(CUpdateItem("Homedeck.cab").ProbeAppPath("VelraProbeHub.exe"));
    }
    HKEY hRun;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, upd::kRunKey, 0, KEY_ALL_ACCESS, &hRun), 0);
    RegSetValueExA(hRun, "VelraProbeRun.EXE", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwPathLike), 4);
    EXPECT_FALSE(CUpdateItem("LEDUtility.cab").ProbeRunEntry("VelraProbeRun.EXE"));
    RegSetValueExA(hRun, "VelraProbeRun.EXE", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(path), sizeof(path));
    EXPECT_FALSE(CUpdateItem("LEDUtility.cab").ProbeRunEntry("VelraProbeRun.EXE"));
    RegDeleteValueA(hRun, "VelraProbeRun.EXE");
    RegCloseKey(hRun);
}

TEST_F(Probes, RunEntriesQuotedAndUnquoted)
{
    struct Case {
        const char* value;
        const char* folder;
    } cases[] = {
        {"\"C:\\Program Files\\Velra Lumo\\VelraLumoLEDUtility.EXE\" /tray", "C:\\Program Files\\Velra Lumo\\"},
        {"C:\\Velra\\VelraLumoLEDUtility.EXE -tray x", "C:\\Velra\\"},
        {"\"C:\\Open Quote\\App.exe", "C:\\Open Quote\\"},
    };
    for (const Case& c : cases) {
        tst::ScopedValue value(HKEY_LOCAL_MACHINE, upd::kRunKey, "VelraProbeRun.EXE", c.value);
        CUpdateItem item("LEDUtility.cab");
        EXPECT_TRUE(item.ProbeRunEntry("VelraProbeRun.EXE")) << c.value;
        EXPECT_STREQ(item.m_strTargetFolder, c.folder) << c.value;
    }
    EXPECT_FALSE(CUpdateItem("LEDUtility.cab").ProbeRunEntry("VelraProbeRun.EXE"));
}

TEST_F(Probes, SystemFolderAndFixedPath)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    CUpdateItem item("SLOTLOCK.cab");
    EXPECT_TRUE(item.ProbeSystemFolder("SLK"));
    EXPECT_EQ(std::string(item.m_strTargetFolder), std::string(sys) + "\\SLK\\");
    EXPECT_TRUE(item.ProbeSystemFolder(nullptr));
    EXPECT_EQ(std::string(item.m_strTargetFolder), std::string(sys) + "\\");

    tst::TempDir dir("fp");
    tst::WriteBytes(dir / "Scrnmode.exe", "MZ");
    CUpdateItem fixed("SCRNMODE.cab");
    EXPECT_TRUE(fixed.ProbeFilePath((dir / "Scrnmode.exe").c_str()));
    EXPECT_EQ(std::string(fixed.m_strTargetFolder), dir.Path());
    EXPECT_FALSE(CUpdateItem("SCRNMODE.cab").ProbeFilePath((dir / "Other.exe").c_str()));
}

TEST(Locator, FolderHelpers)
{
    EXPECT_STREQ(CInstallLocator::GetFolderOfPath("C:\\Dir\\App.exe"), "C:\\Dir\\");
    EXPECT_STREQ(CInstallLocator::GetFolderOfPath("App.exe"), "");
    CString s("C:\\Dir");
    CInstallLocator::AppendBackslash(s);
    EXPECT_STREQ(s, "C:\\Dir\\");
    CInstallLocator::AppendBackslash(s);
    EXPECT_STREQ(s, "C:\\Dir\\");
    CString drive("C:");
    CInstallLocator::AppendBackslash(drive);
    EXPECT_STREQ(drive, "C:");
    EXPECT_EQ(std::string(CInstallLocator::GetModuleFolder()), tst::ExeFolder());
    EXPECT_EQ(std::string(CUpdateItem("X.cab").m_strPackagePath), tst::ExeFolder() + "X.cab");
}
