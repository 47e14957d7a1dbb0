// Started programs, ended by force if they still run, and their windows.
#pragma once
#include <windows.h>

#include <string>

namespace tst {

// A started program, ended by force at the end if it still runs.
class Process {
public:
    explicit Process(const std::string& commandLine, DWORD creationFlags = 0, const char* workDir = nullptr);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // A Unix program started through Wine has no process handle.
    bool Started() const { return m_started; }
    bool Running() const;
    HANDLE Handle() const { return m_pi.hProcess; }
    DWORD Id() const { return m_pi.dwProcessId; }
    void Resume() const { ResumeThread(m_pi.hThread); }
    // The exit code; DWORD(-1) while it still runs after timeoutMs.
    DWORD Wait(DWORD timeoutMs = 30000) const;

private:
    PROCESS_INFORMATION m_pi{};
    bool m_started = false;
};

DWORD ProcessOf(HWND hWnd);
std::string WindowText(HWND hWnd);  // its caption or text (GetWindowTextA)
// A top-level window of that process and class (shown, with that title,
// if asked), once there is one.
HWND WaitForWindow(DWORD pid, const char* cls, bool shown = false, const char* title = nullptr);

}  // namespace tst
