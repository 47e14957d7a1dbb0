// The resources as they came out of the resource compiler, read from the
// built VelraLumoLEDUtility.EXE and VelraUpdate.exe: what the compiler or
// the build can get wrong and a look at the windows would not show. The
// texts in code page 932 (dialogs, menu, strings, version), the ids the
// programs look up (dialogs, controls and their classes, menu commands,
// accelerators, icon), the icon's image size, the one size the compiler is
// known to drop (an icon control's), and the version fields Windows shows.
// Where controls stand and which styles they have is seen on the screen.
#include <stdarg.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "DialogTemplate.h"
#include "Folders.h"
#include "Text.h"
#include "gtest/gtest.h"

namespace {

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

class Module {
public:
    explicit Module(const char* exe)
        : m_path(tst::ShippedFile(exe)), m_h(LoadLibraryExA(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~Module() { FreeLibrary(m_h); }
    // The Japanese resource of that type and id; null when there is none.
    const BYTE* Find(LPCSTR type, int id, DWORD* pSize = nullptr) const
    {
        HRSRC r = FindResourceExA(m_h, type, MAKEINTRESOURCEA(id), kJapanese);
        if (pSize)
            *pSize = r ? SizeofResource(m_h, r) : 0;
        return r ? static_cast<const BYTE*>(LockResource(LoadResource(m_h, r))) : nullptr;
    }
    std::string String(int id) const
    {
        const WCHAR* p = nullptr;
        int n = LoadStringW(m_h, id, reinterpret_cast<WCHAR*>(&p), 0);
        return n > 0 ? tst::Utf8(p, n) : "(none)";
    }
    std::vector<std::string> Dialog(int id) const;
    std::vector<std::string> Menu(int id) const;
    int Accelerators(int id) const;
    std::string GroupIcon(int id) const;
    std::vector<std::string> Version() const;

private:
    std::string m_path;
    HMODULE m_h;
};

std::string Printf(const char* fmt, ...)
{
    char buf[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buf, sizeof(buf), fmt, args);
    va_end(args);
    return buf;
}

// First line: title and font; then per control its id, class and text.
std::vector<std::string> Module::Dialog(int id) const
{
    const BYTE* t = Find(MAKEINTRESOURCEA(5), id);  // RT_DIALOG
    if (!t)
        return {"(none)"};
    tst::Dialog d = tst::ParseDialog(t);
    std::string font = d.style & DS_SETFONT ? std::to_string(d.points) + " " + d.font : "none";
    std::vector<std::string> out{"'" + d.title + "' font " + font};
    for (const tst::DialogItem& it : d.items)
        out.push_back(Printf("#%d %s '%s'", it.id, it.cls.c_str(), it.text.c_str()));
    return out;
}

// One line per item as the system loads the menu, indented by level: the
// command (or "popup") and the text.
std::vector<std::string> Module::Menu(int id) const
{
    std::vector<std::string> out;
    std::function<void(HMENU, int)> walk = [&](HMENU hMenu, int level) {
        for (int i = 0; i < GetMenuItemCount(hMenu); ++i) {
            WCHAR text[128] = L"";
            GetMenuStringW(hMenu, i, text, 128, MF_BYPOSITION);
            HMENU hSub = GetSubMenu(hMenu, i);
            out.push_back(std::string(2 * level, ' ') + (hSub ? "popup" : std::to_string(GetMenuItemID(hMenu, i))) +
                          " '" + tst::Utf8(text) + "'");
            if (hSub)
                walk(hSub, level + 1);
        }
    };
    HMENU hMenu = LoadMenuA(m_h, MAKEINTRESOURCEA(id));
    if (!hMenu)
        return {"(none)"};
    walk(hMenu, 0);
    DestroyMenu(hMenu);
    return out;
}

// How many entries the table has, as the system loads it; -1 without one.
int Module::Accelerators(int id) const
{
    HACCEL hAccel = LoadAcceleratorsA(m_h, MAKEINTRESOURCEA(id));
    int n = hAccel ? CopyAcceleratorTableA(hAccel, nullptr, 0) : -1;
    if (hAccel)
        DestroyAcceleratorTable(hAccel);
    return n;
}

// "images: 32x32 8 bits" and so on.
std::string Module::GroupIcon(int id) const
{
    const BYTE* b = Find(MAKEINTRESOURCEA(14), id);  // RT_GROUP_ICON
    if (!b)
        return "(none)";
    WORD count;
    memcpy(&count, b + 4, 2);
    std::string s = "images:";
    for (int i = 0; i < count; ++i) {
        const BYTE* e = b + 6 + 14 * i;
        WORD bits;
        memcpy(&bits, e + 6, 2);
        s += Printf(" %dx%d %d bits", e[0] ? e[0] : 256, e[1] ? e[1] : 256, bits);
    }
    return s;
}

std::vector<std::string> Module::Version() const
{
    DWORD size = GetFileVersionInfoSizeA(m_path.c_str(), nullptr);
    std::vector<BYTE> data(size);
    if (!size || !GetFileVersionInfoA(m_path.c_str(), 0, size, data.data()))
        return {"(none)"};
    VS_FIXEDFILEINFO* f = nullptr;
    UINT n = 0;
    VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&f), &n);
    std::vector<std::string> out{Printf("%lu.%lu.%lu.%lu / %lu.%lu.%lu.%lu", HIWORD(f->dwFileVersionMS),
                                        LOWORD(f->dwFileVersionMS), HIWORD(f->dwFileVersionLS),
                                        LOWORD(f->dwFileVersionLS), HIWORD(f->dwProductVersionMS),
                                        LOWORD(f->dwProductVersionMS), HIWORD(f->dwProductVersionLS),
                                        LOWORD(f->dwProductVersionLS))};
    WORD* lang = nullptr;
    VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&lang), &n);
    out.push_back(lang && n >= 4 ? Printf("%04x %u", lang[0], lang[1]) : "no translation");
    for (const char* name : {"FileDescription", "InternalName", "ProductName", "OriginalFilename"}) {
        char* value = nullptr;
        std::string key = Printf("\\StringFileInfo\\%04x%04x\\%s", lang ? lang[0] : 0, lang ? lang[1] : 0, name);
        out.push_back(std::string(name) + " " +
                      (VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &n) ? value : "-"));
    }
    return out;
}

typedef std::vector<std::string> Lines;
}  // namespace

TEST(BuiltUtility, VersionDialogAndBrightnessPanel)
{
    Module exe("VelraLumoLEDUtility.EXE");
    // IDD_ABOUT; the legal notice's wording is the maker's.
    Lines about = exe.Dialog(100);
    ASSERT_EQ(about.size(), 5u);
    EXPECT_EQ(about[3].substr(0, 14), "#-1 static 'Co");
    about.erase(about.begin() + 3);
    EXPECT_EQ(about, (Lines{"'ﾊﾞｰｼﾞｮﾝ情報' font 9 ＭＳ Ｐゴシック", "#-1 static '#128'",
                            "#-1 static 'Velra ﾊﾟﾜｰ ｲﾝｼﾞｹｰﾀｰ輝度設定 Version 1.0'", "#1 button 'OK'"}));
    // The icon keeps its 20 x 21 units: the compiler's ICON statement drops them.
    tst::Dialog d = tst::ParseDialog(exe.Find(MAKEINTRESOURCEA(5), 100));
    ASSERT_FALSE(d.items.empty());
    EXPECT_EQ(d.items[0].cx, 20);
    EXPECT_EQ(d.items[0].cy, 21);
    EXPECT_EQ(exe.Dialog(130),
              (Lines{"'' font 9 ＭＳ Ｐゴシック", "#1000 msctls_trackbar32 ''", "#-1 static 'OFF'",
                     "#-1 static '明るい'", "#-1 static 'ﾊﾟﾜｰ\nｲﾝｼﾞｹｰﾀｰ\n輝度設定'"}));
}

TEST(BuiltUtility, MenuAcceleratorsStringsIconAndVersion)
{
    Module exe("VelraLumoLEDUtility.EXE");
    EXPECT_EQ(exe.Menu(128), (Lines{"popup 'ﾌｧｲﾙ(&F)'", "  57665 'ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)'", "  0 ''",
                                    "  57664 'ﾊﾞｰｼﾞｮﾝ情報(&A)...'", "  129 '設定を変更する(&S)'"}));
    EXPECT_EQ(exe.Accelerators(128), 7);
    EXPECT_EQ(exe.String(57344), "Velra ﾊﾟﾜｰ ｲﾝｼﾞｹｰﾀｰ輝度設定");
    EXPECT_EQ(exe.String(128), "VelraLumoLEDUtility\n\nVelraL\n\n\nVelraLumoLEDUtility.Document\nVelraL Document");
    EXPECT_EQ(exe.String(57664), "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示\nﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(exe.String(57665), "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\n終了");
    EXPECT_EQ(exe.GroupIcon(128), "images: 32x32 8 bits");
    EXPECT_EQ(exe.Version(),
              (Lines{"1.0.0.3 / 1.0.0.1", "0411 1200", "FileDescription VelraLumoLEDUtility",
                     "InternalName VelraLumoLEDUtility", "ProductName VelraLumoLEDUtility",
                     "OriginalFilename VelraLumoLEDUtility.EXE"}));
}

TEST(BuiltUpdater, ProgressDialogStringsIconAndVersion)
{
    Module exe("VelraUpdate.exe");
    EXPECT_EQ(exe.Dialog(100), (Lines{"'' font 9 ＭＳ Ｐゴシック", "#1000 static ''", "#1001 msctls_progress32 'Progress1'",
                                      "#1002 static ' 0 %'"}));
    const std::pair<int, const char*> strings[] = {
        {57344, "Velra用ｱﾌﾟﾘｹｰｼｮﾝをｱｯﾌﾟﾃﾞｰﾄ"},
        {107, "Velra用ﾄﾞﾗｲﾊﾞｰをｱｯﾌﾟﾃﾞｰﾄ"},
        {106, "ｱｯﾌﾟﾃﾞｰﾄ対象がｲﾝｽﾄｰﾙされていません.\nｲﾝｽﾄｰﾙを中止します."},
        {104, "準備中..."},
        {105, "ｲﾝｽﾄｰﾙ対象ﾌｧｲﾙの展開に失敗しました."},
        {103, "ｱｯﾌﾟﾃﾞｰﾄが完了しました."},
        {101, "ｱｯﾌﾟﾃﾞｰﾄﾌｧｲﾙをｲﾝｽﾄｰﾙしています."},
        {102, "ﾌｧｲﾙ: %s をｺﾋﾟｰしています."},
    };
    for (const auto& s : strings)
        EXPECT_EQ(exe.String(s.first), s.second) << "string " << s.first;
    EXPECT_NE(exe.GroupIcon(128), "(none)");
    EXPECT_EQ(exe.Version(), (Lines{"2.0.0.6 / 2.0.0.1", "0411 1200", "FileDescription VelraUpdate",
                                    "InternalName VelraUpdate", "ProductName VelraUpdate",
                                    "OriginalFilename VelraUpdate.exe"}));
}
