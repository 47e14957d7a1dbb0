#include "MessageBoxes.h"

#include "Programs.h"
#include "Waits.h"

namespace tst {

namespace {
struct WatchState {
    DWORD pid;
    std::vector<SeenBox>* boxes;
    BoxHook onBox;
    void* ctx;
    std::vector<HWND> answered;
};

BOOL CALLBACK CollectText(HWND hChild, LPARAM lParam)
{
    char cls[32];
    GetClassNameA(hChild, cls, sizeof(cls));
    if (lstrcmpiA(cls, "Static") == 0) {
        std::string text = WindowText(hChild);
        if (!text.empty()) {
            std::string* s = reinterpret_cast<std::string*>(lParam);
            if (!s->empty())
                *s += "|";
            *s += text;
        }
    }
    return TRUE;
}

BOOL CALLBACK FindBoxes(HWND hWnd, LPARAM lParam)
{
    WatchState* st = reinterpret_cast<WatchState*>(lParam);
    char cls[32];
    GetClassNameA(hWnd, cls, sizeof(cls));
    if (ProcessOf(hWnd) != st->pid || lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hWnd))
        return TRUE;
    // Only message boxes: they have an OK button and no progress bar.
    if (!GetDlgItem(hWnd, IDOK) || FindWindowExA(hWnd, nullptr, "msctls_progress32", nullptr))
        return TRUE;
    for (HWND h : st->answered)
        if (h == hWnd)
            return TRUE;
    SeenBox box;
    box.caption = WindowText(hWnd);
    EnumChildWindows(hWnd, CollectText, reinterpret_cast<LPARAM>(&box.text));
    HWND hOwner = GetWindow(hWnd, GW_OWNER);
    box.ownerVisible = hOwner && IsWindowVisible(hOwner);
    st->boxes->push_back(box);
    if (st->onBox)
        st->onBox(box, hWnd, st->pid, st->ctx);
    st->answered.push_back(hWnd);
    PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}
}  // namespace

RunResult RunAndAnswer(const std::string& commandLine, DWORD timeoutMs, BoxHook onBox, void* ctx, const char* workDir)
{
    RunResult result;
    Process p(commandLine, 0, workDir);
    if (!p.Started())
        return result;
    WatchState st{p.Id(), &result.boxes, onBox, ctx, {}};
    result.finished = WaitFor(("the end of " + commandLine).c_str(), [&] {
        EnumWindows(FindBoxes, reinterpret_cast<LPARAM>(&st));
        return WaitForSingleObject(p.Handle(), 50) == WAIT_OBJECT_0;
    }, timeoutMs, false);
    if (result.finished)
        GetExitCodeProcess(p.Handle(), &result.exitCode);
    return result;
}

}  // namespace tst
