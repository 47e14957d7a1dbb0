#include "UpdateTestSupport.h"

#include "Text.h"

#include "UpdateProgressDlg.h"

#include <objbase.h>
#include <shlobj.h>

namespace upd {

const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string AppTitle() { return tst::Cp932("Velra用ｱﾌﾟﾘｹｰｼｮﾝをｱｯﾌﾟﾃﾞｰﾄ"); }
std::string Copying(const std::string& file) { return tst::Cp932(("ﾌｧｲﾙ: " + file + " をｺﾋﾟｰしています.").c_str()); }
std::string DoneText() { return tst::Cp932("ｱｯﾌﾟﾃﾞｰﾄが完了しました."); }
std::string FailedText() { return tst::Cp932("ｲﾝｽﾄｰﾙ対象ﾌｧｲﾙの展開に失敗しました."); }

::testing::AssertionResult Ended(const tst::RunResult& r, DWORD exitCode, const std::vector<std::string>& texts,
                                 const std::string& caption)
{
    if (!r.finished)
        return ::testing::AssertionFailure() << "the run did not end";
    std::vector<std::string> seen, captions;
    for (const tst::SeenBox& box : r.boxes) {
        seen.push_back(box.text);
        captions.push_back(box.caption);
    }
    if (r.exitCode == exitCode && seen == texts && captions == std::vector<std::string>(texts.size(), caption))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit code " << r.exitCode << " after the boxes "
                                         << ::testing::PrintToString(seen) << " under "
                                         << ::testing::PrintToString(captions);
}

std::string StartMenu(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path);
    return std::string(path) + "\\";
}

bool MakeShortcut(const std::string& linkPath, const std::string& target)
{
    CoInitialize(nullptr);
    IShellLinkA* pLink = nullptr;
    bool ok = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&pLink)))) {
        pLink->SetPath(target.c_str());
        IPersistFile* pFile = nullptr;
        if (SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pFile)))) {
            WCHAR w[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, w, MAX_PATH);
            ok = SUCCEEDED(pFile->Save(w, TRUE));
            pFile->Release();
        }
        pLink->Release();
    }
    return ok;
}

AppPathEntry::AppPathEntry(const std::string& exe, const std::string& path)
    : key(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + exe)
{
    key.SetString("", path);
}

namespace {
// A clock that goes back at every read: the window takes every frame as
// due at once and every paint as costing nothing.
DWORD FrameAtEveryRead()
{
    static DWORD s_now;
    return --s_now;
}
}  // namespace

EveryChangePainted::EveryChangePainted() { CUpdateProgressDlg::SetFrameClock(FrameAtEveryRead); }
EveryChangePainted::~EveryChangePainted() { CUpdateProgressDlg::SetFrameClock(nullptr); }

}  // namespace upd
