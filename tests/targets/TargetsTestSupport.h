// Helpers for the target tests: the testbed's programs and event log, the
// stand-in service, and the update list filled by hand.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "ImportHook.h"
#include "Programs.h"

class CUpdateApp;

namespace tgt {

std::string Bin(const char* name);       // a file of the build's bin folder
std::string TestData(const char* name);  // a package made at build time

using tst::Process;
// Waits until `line` is in the testbed's event log `count` times.
bool WaitForEvent(const std::string& line, size_t count = 1);

// tbwindow.exe (or a copy of it at `exe`) with these arguments; the first
// argument is the window class, whose "ready" line is awaited.
Process* StartWindow(const std::string& args, const std::string& exe = "");
// Several at once, each given as tbwindow.exe's arguments.
std::vector<Process*> StartWindows(std::initializer_list<const char*> args);
// Ends every process that owns a window of one of the testbed's classes.
void EndTestbedWindows();

// The stand-in service "velsvc_s", installed from `exe` (the bin copy by
// default) and removed at the end.
class Service {
public:
    // Slow: it stays starting for a while, and its process outlives its stop.
    explicit Service(const std::string& exe = "", bool slow = false);
    ~Service();
    bool Start();  // waits until it runs
    bool Begin();  // asks for the start and returns while it may still be starting
    bool Stop();   // waits until it stopped
    DWORD State() const;  // SERVICE_RUNNING, SERVICE_STOPPED, ...; 0 when it cannot be asked
    bool WaitForState(DWORD state) const;

private:
    std::string m_exe;
};

// Appends items of these application types to the list; the destructor
// releases every item of the list.
class ListItems {
public:
    ListItems(CUpdateApp& app, std::initializer_list<int> types);
    ~ListItems();

private:
    CUpdateApp& m_app;
};

using tst::ImportHook;

// While it lives, the updater's fixed pauses (its one-second Sleep calls)
// are noted, each at the point of the event log where it ended. Lines()
// gives the log with a "pause" line there, without the window programs'
// "ready" lines (a program started by a close request logs that line on
// its own time).
class PauseTimeline {
public:
    PauseTimeline();
    ~PauseTimeline();
    std::vector<std::string> Lines() const;
    size_t Pauses() const;

private:
    static void WINAPI Sleep(DWORD ms);
    ImportHook m_hook;
};

// While it lives, the flags and time-out of every SendMessageTimeoutA.
class SendTimeouts {
public:
    struct Call {
        UINT message, flags, timeout;
    };
    SendTimeouts();
    ~SendTimeouts();
    std::vector<Call> Calls() const;

private:
    static LRESULT WINAPI Send(HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR);
    ImportHook m_hook;
};

// The file's last write time is the one the packages carry.
bool CameFromPackage(const std::string& path);

}  // namespace tgt
