#include "Programs.h"

#include "Waits.h"

namespace tst {

Process::Process(const std::string& commandLine, DWORD creationFlags, const char* workDir)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    std::string cmd = commandLine;
    m_started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, creationFlags, nullptr, workDir, &si, &m_pi);
    if (!m_started)
        m_pi = PROCESS_INFORMATION{};
}

Process::~Process()
{
    if (!m_pi.hProcess)
        return;
    if (Running()) {
        TerminateProcess(m_pi.hProcess, 255);
        WaitForSingleObject(m_pi.hProcess, 5000);
    }
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

bool Process::Running() const { return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }

DWORD Process::Wait(DWORD timeoutMs) const
{
    DWORD code = DWORD(-1);
    if (m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

DWORD ProcessOf(HWND hWnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    return pid;
}

std::string WindowText(HWND hWnd)
{
    char text[1024] = "";
    GetWindowTextA(hWnd, text, sizeof(text));
    return text;
}

HWND WaitForWindow(DWORD pid, const char* cls, bool shown, const char* title)
{
    HWND found = nullptr;
    WaitFor(cls, [&] {
        for (HWND h = FindWindowExA(nullptr, nullptr, cls, nullptr); h && !found;
             h = FindWindowExA(nullptr, h, cls, nullptr)) {
            if (ProcessOf(h) == pid && (!shown || IsWindowVisible(h)) && (!title || WindowText(h) == title))
                found = h;
        }
        return found != nullptr;
    }, 30000, false);
    return found;
}

}  // namespace tst
