#include "TargetsTestSupport.h"

#include "Folders.h"
#include "Programs.h"
#include "TestbedLog.h"
#include "Waits.h"

#include <gtest/gtest.h>
#include <algorithm>

#include "UpdateApp.h"
#include "UpdateItem.h"

namespace tgt {

namespace {
const char* const kTestbedClasses[] = {"VelraLumoRingWnd", "VelraHomedeck", "VelraLumoView", "PADWIN",
                                       "VelraLEDUtility"};

// Runs a testbed controller and gives its exit code.
DWORD Control(const std::string& commandLine)
{
    Process p(commandLine);
    return p.Wait();
}
}  // namespace

std::string Bin(const char* name) { return tst::ExeFolder() + "..\\" + name; }

std::string TestData(const char* name) { return Bin("testdata\\targets\\") + name; }

bool WaitForEvent(const std::string& line, size_t count)
{
    return tst::WaitFor(line.c_str(), [&] {
        std::vector<std::string> events = tst::TestbedEvents();
        return size_t(std::count(events.begin(), events.end(), line)) >= count;
    }, 30000, false);
}

Process* StartWindow(const std::string& args, const std::string& exe)
{
    std::string cls = args.substr(0, args.find(' '));
    std::vector<std::string> events = tst::TestbedEvents();
    size_t before = std::count(events.begin(), events.end(), cls + " ready");
    Process* p = new Process("\"" + (exe.empty() ? Bin("tbwindow.exe") : exe) + "\" " + args);
    EXPECT_TRUE(WaitForEvent(cls + " ready", before + 1)) << "no window " << args;
    return p;
}

std::vector<Process*> StartWindows(std::initializer_list<const char*> args)
{
    std::vector<Process*> started;
    std::vector<std::string> ready;
    for (const char* a : args) {
        started.push_back(new Process("\"" + Bin("tbwindow.exe") + "\" " + a));
        ready.push_back(std::string(a).substr(0, std::string(a).find(' ')) + " ready");
    }
    for (const std::string& line : ready) {
        size_t count = 0;
        for (const std::string& other : ready)
            count += other == line;
        EXPECT_TRUE(WaitForEvent(line, count)) << "no " << line;
    }
    return started;
}

void EndTestbedWindows()
{
    for (const char* cls : kTestbedClasses) {
        for (int i = 0; i < 20; ++i) {
            HWND hWnd = FindWindowA(cls, nullptr);
            if (!hWnd)
                break;
            HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, tst::ProcessOf(hWnd));
            if (h) {
                TerminateProcess(h, 99);
                WaitForSingleObject(h, 5000);
                CloseHandle(h);
            }
        }
    }
}

Service::Service(const std::string& exe, bool slow) : m_exe(exe.empty() ? Bin("velsvc_s.exe") : exe)
{
    EXPECT_EQ(Control("\"" + m_exe + (slow ? "\" --install-slow" : "\" --install")), 0u)
        << "velsvc_s could not be installed";
}

Service::~Service() { Control("\"" + m_exe + "\" --uninstall"); }

bool Service::Start() { return Control("\"" + m_exe + "\" --start") == 0; }

namespace {
// What fn(service) gives with velsvc_s opened for `access`; 0 when it
// cannot be opened.
template <class Fn> DWORD WithVelsvc(DWORD access, Fn fn)
{
    DWORD result = 0;
    if (SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)) {
        if (SC_HANDLE hService = OpenServiceA(hManager, "velsvc_s", access)) {
            result = fn(hService);
            CloseServiceHandle(hService);
        }
        CloseServiceHandle(hManager);
    }
    return result;
}
}  // namespace

bool Service::Begin()
{
    return WithVelsvc(SERVICE_START, [](SC_HANDLE h) { return DWORD(StartServiceA(h, 0, nullptr)); }) != 0;
}

bool Service::Stop() { return Control("\"" + m_exe + "\" --stop") == 0; }

DWORD Service::State() const
{
    return WithVelsvc(SERVICE_QUERY_STATUS, [](SC_HANDLE h) {
        SERVICE_STATUS status{};
        return QueryServiceStatus(h, &status) ? status.dwCurrentState : 0;
    });
}

bool Service::WaitForState(DWORD state) const
{
    return tst::WaitFor(("velsvc_s in state " + std::to_string(state)).c_str(), [&] { return State() == state; },
                        30000, false);
}

ListItems::ListItems(CUpdateApp& app, std::initializer_list<int> types) : m_app(app)
{
    for (int type : types) {
        CUpdateItem* pItem = new CUpdateItem("unused.cab");
        pItem->m_nAppType = type;
        app.m_updateList.AddTail(pItem);
    }
}

ListItems::~ListItems()
{
    for (POSITION pos = m_app.m_updateList.GetHeadPosition(); pos;)
        delete static_cast<CUpdateItem*>(m_app.m_updateList.GetNext(pos));
    m_app.m_updateList.RemoveAll();
}

namespace {
// Not a std::mutex: its implementation may itself sleep through the very
// import that is hooked.
struct HookLock {
    HookLock() { InitializeCriticalSection(&cs); }
    CRITICAL_SECTION cs;
} g_hookCs;
struct Locked {
    Locked() { EnterCriticalSection(&g_hookCs.cs); }
    ~Locked() { LeaveCriticalSection(&g_hookCs.cs); }
};
PauseTimeline* g_pTimeline = nullptr;
std::vector<size_t> g_pausesAt;  // event lines logged when each pause ended
SendTimeouts* g_pSends = nullptr;
std::vector<SendTimeouts::Call> g_sends;
}  // namespace

PauseTimeline::PauseTimeline() : m_hook("kernel32.dll", "Sleep", reinterpret_cast<void*>(&PauseTimeline::Sleep))
{
    Locked lock;
    g_pTimeline = this;
    g_pausesAt.clear();
}

PauseTimeline::~PauseTimeline()
{
    Locked lock;
    g_pTimeline = nullptr;
}

void WINAPI PauseTimeline::Sleep(DWORD ms)
{
    void* original;
    {
        Locked lock;
        original = g_pTimeline->m_hook.Original();
    }
    reinterpret_cast<void(WINAPI*)(DWORD)>(original)(ms);
    if (ms == 1000) {
        size_t n = tst::TestbedEvents().size();
        Locked lock;
        g_pausesAt.push_back(n);
    }
}

std::vector<std::string> PauseTimeline::Lines() const
{
    std::vector<size_t> at;
    {
        Locked lock;
        at = g_pausesAt;
    }
    std::vector<std::string> events = tst::TestbedEvents(), out;
    size_t next = 0;
    for (size_t i = 0; i <= events.size(); ++i) {
        for (; next < at.size() && at[next] == i; ++next)
            out.push_back("pause");
        const std::string kReady = " ready";
        if (i < events.size() && (events[i].size() < kReady.size() ||
                                  events[i].compare(events[i].size() - kReady.size(), kReady.size(), kReady)))
            out.push_back(events[i]);
    }
    return out;
}

size_t PauseTimeline::Pauses() const
{
    Locked lock;
    return g_pausesAt.size();
}

SendTimeouts::SendTimeouts()
    : m_hook("user32.dll", "SendMessageTimeoutA", reinterpret_cast<void*>(&SendTimeouts::Send))
{
    Locked lock;
    g_pSends = this;
    g_sends.clear();
}

SendTimeouts::~SendTimeouts()
{
    Locked lock;
    g_pSends = nullptr;
}

LRESULT WINAPI SendTimeouts::Send(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout,
                                  PDWORD_PTR pResult)
{
    void* original;
    {
        Locked lock;
        g_sends.push_back({message, flags, timeout});
        original = g_pSends->m_hook.Original();
    }
    return reinterpret_cast<decltype(&SendMessageTimeoutA)>(original)(hWnd, message, wParam, lParam, flags, timeout,
                                                                      pResult);
}

std::vector<SendTimeouts::Call> SendTimeouts::Calls() const
{
    Locked lock;
    return g_sends;
}

bool CameFromPackage(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    SYSTEMTIME st;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &st) &&
           st.wYear == 2005 && st.wMonth == 6 && st.wDay == 7;
}

}  // namespace tgt
