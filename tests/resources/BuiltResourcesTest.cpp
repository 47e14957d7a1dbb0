// The resources as they came out of the resource compiler, read from the
// built VelraLumoLEDUtility.EXE and VelraUpdate.exe: dialog templates
// (every field the compiler writes, sizes included: it silently drops some
// statements' sizes), the menu, the accelerators, the strings, the icons
// and the version blocks, all in Japanese.
#include <stdarg.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "TestSupport.h"

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
    // Control styles without the bits in `ignored`.
    std::vector<std::string> Dialog(int id, DWORD ignored = 0) const;
    std::vector<std::string> Menu(int id) const;
    std::vector<std::string> Accelerators(int id) const;
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

// First line: style, extended style, position and size, menu, class,
// title, font; then one line per control.
std::vector<std::string> Module::Dialog(int id, DWORD ignored) const
{
    const BYTE* t = Find(MAKEINTRESOURCEA(5), id);  // RT_DIALOG
    if (!t)
        return {"(none)"};
    tst::Dialog d = tst::ParseDialog(t);
    if (d.extended)
        return {"(extended template)"};
    std::string font = d.style & DS_SETFONT ? std::to_string(d.points) + " " + d.font : "";
    std::vector<std::string> out{Printf("%08lx %lx %d,%d %dx%d menu '%s' class '%s' '%s' font %s", d.style, d.exStyle,
                                        d.x, d.y, d.cx, d.cy, d.menu.c_str(), d.cls.c_str(), d.title.c_str(),
                                        font.c_str())};
    for (const tst::DialogItem& it : d.items)
        out.push_back(Printf("%08lx %lx %d,%d %dx%d #%d %s '%s'", it.style & ~ignored, it.exStyle, it.x, it.y, it.cx,
                             it.cy, it.id, it.cls.c_str(), it.text.c_str()));
    return out;
}

// One line per item, indented by level: the identifier (or "popup") and the
// text, with any flags beyond the template's structure in brackets.
std::vector<std::string> Module::Menu(int id) const
{
    DWORD size = 0;
    const BYTE* b = Find(MAKEINTRESOURCEA(4), id, &size);  // RT_MENU
    if (!b)
        return {"(none)"};
    const WORD* p = reinterpret_cast<const WORD*>(b + 4 + reinterpret_cast<const WORD*>(b)[1]);
    std::vector<std::string> out;
    std::vector<bool> lastAtLevel{false};
    while (!lastAtLevel.empty() && reinterpret_cast<const BYTE*>(p) < b + size) {
        WORD flags = *p++;
        std::string itemId = flags & MF_POPUP ? "popup" : std::to_string(*p++);
        std::string text = tst::TakeString(p);
        std::string line = std::string(2 * (lastAtLevel.size() - 1), ' ') + itemId + " '" + text + "'";
        if (flags & ~(MF_POPUP | MF_END))
            line += Printf(" [%x]", flags & ~(MF_POPUP | MF_END));
        out.push_back(line);
        if (flags & MF_POPUP) {
            lastAtLevel.back() = (flags & MF_END) != 0;
            lastAtLevel.push_back(false);
        } else if (flags & MF_END) {
            lastAtLevel.pop_back();
            while (!lastAtLevel.empty() && lastAtLevel.back())
                lastAtLevel.pop_back();
        }
    }
    return out;
}

// "Ctrl+C 57634" and so on, in table order; every entry a virtual key.
std::vector<std::string> Module::Accelerators(int id) const
{
    DWORD size = 0;
    const BYTE* b = Find(MAKEINTRESOURCEA(9), id, &size);  // RT_ACCELERATOR
    std::vector<std::string> out;
    for (DWORD off = 0; b && off + 8 <= size; off += 8) {
        WORD flags, key, cmd;
        memcpy(&flags, b + off, 2), memcpy(&key, b + off + 2, 2), memcpy(&cmd, b + off + 4, 2);
        std::string name = key == VK_BACK ? "Backspace" : key == VK_F6 ? "F6" : std::string(1, char(key));
        out.push_back(std::string(flags & FVIRTKEY ? "" : "(char)") + (flags & FCONTROL ? "Ctrl+" : "") +
                      (flags & FALT ? "Alt+" : "") + (flags & FSHIFT ? "Shift+" : "") + name + " " +
                      std::to_string(cmd));
        if (flags & 0x80)
            break;
    }
    return out;
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
    // IDD_ABOUT. The icon control keeps its 20 x 21 units; the legal
    // notice's wording is the maker's. Whether a static starts a group
    // makes no difference in dialogs without input fields.
    Lines about = exe.Dialog(100, WS_GROUP);
    ASSERT_EQ(about.size(), 5u);
    const std::string notice = "50000000 0 40,25 119x8 #-1 static '";
    EXPECT_EQ(about[3].substr(0, notice.size()), notice);
    EXPECT_GT(about[3].size(), notice.size() + 1);
    about.erase(about.begin() + 3);
    EXPECT_EQ(about, (Lines{"80c800c0 0 0,0 219x56 menu '' class '' 'ﾊﾞｰｼﾞｮﾝ情報' font 9 ＭＳ Ｐゴシック",
                            "50000003 0 11,17 20x21 #-1 static '#128'",
                            "50000080 0 40,10 136x8 #-1 static 'Velra ﾊﾟﾜｰ ｲﾝｼﾞｹｰﾀｰ輝度設定 Version 1.0'",
                            "50010001 0 181,7 31x16 #1 button 'OK'"}));
    // IDD_BRIGHTNESS: hidden, without caption, topmost, to the front.
    EXPECT_EQ(exe.Dialog(130, WS_GROUP),
              (Lines{"800002c2 0 0,0 43x90 menu '' class '' '' font 9 ＭＳ Ｐゴシック",
                     "50010012 0 4,31 13x55 #1000 msctls_trackbar32 ''", "50000000 0 19,74 20x8 #-1 static 'OFF'",
                     "50000000 0 19,37 20x8 #-1 static '明るい'",
                     "50000001 0 4,4 35x26 #-1 static 'ﾊﾟﾜｰ\nｲﾝｼﾞｹｰﾀｰ\n輝度設定'"}));
}

TEST(BuiltUtility, MenuAcceleratorsStringsIconAndVersion)
{
    Module exe("VelraLumoLEDUtility.EXE");
    EXPECT_EQ(exe.Menu(128), (Lines{"popup 'ﾌｧｲﾙ(&F)'", "  57665 'ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)'", "  0 ''",
                                    "  57664 'ﾊﾞｰｼﾞｮﾝ情報(&A)...'", "  129 '設定を変更する(&S)'"}));
    EXPECT_EQ(exe.Accelerators(128), (Lines{"Ctrl+C 57634", "Ctrl+V 57637", "Alt+Backspace 57643", "F6 57680",
                                            "Shift+F6 57681", "Ctrl+X 57635", "Ctrl+Z 57643"}));
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
    EXPECT_EQ(exe.Dialog(100), (Lines{"90c800c0 0 0,0 218x69 menu '' class '' '' font 9 ＭＳ Ｐゴシック",
                                      "50020000 0 7,7 204x8 #1000 static ''",
                                      "50800000 0 15,29 187x13 #1001 msctls_progress32 'Progress1'",
                                      "50020000 0 99,46 18x8 #1002 static ' 0 %'"}));
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
