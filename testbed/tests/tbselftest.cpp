// Self-test of the stand-ins, run under Wine by ctest (testbed.selftest).
//
// The product tests rely on what these stand-ins log and how they respond,
// so this checks that contract through the real Win32 paths: the event log
// under concurrent writers, the library's export and registry value, close
// requests to the window program, the service and the driver through the
// SCM. Needs an X display (window cases) and a prefix where we are admin.
#include "EventLog.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int g_failures = 0;

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::printf("  FAILED %s:%d: %s\n", __FILE__, __LINE__, #cond);                        \
            ++g_failures;                                                                          \
        }                                                                                          \
    } while (0)

const char kLogFile[] = "C:\\testbed\\events.log";

// Compares the whole log with the expected lines and shows it on mismatch.
#define CHECK_LOG(...)                                                                             \
    do {                                                                                           \
        auto actual = ReadLog();                                                                   \
        if (actual != std::vector<std::string>{__VA_ARGS__}) {                                     \
            std::printf("  FAILED %s:%d: log is\n", __FILE__, __LINE__);                           \
            for (const auto& l : actual)                                                           \
                std::printf("    %s\n", l.c_str());                                                \
            ++g_failures;                                                                          \
        }                                                                                          \
    } while (0)

std::string Bin(const char* name)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    while (n > 0 && path[n - 1] != '\\')
        --n;
    path[n] = '\0';
    return std::string(path) + name;
}

void ClearLog() { DeleteFileA(kLogFile); }

std::vector<std::string> ReadLog()
{
    std::vector<std::string> lines;
    std::ifstream in(kLogFile, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t CountLine(const std::string& wanted)
{
    size_t n = 0;
    for (const auto& l : ReadLog())
        n += l == wanted;
    return n;
}

bool WaitForLine(const std::string& wanted, size_t count = 1, DWORD timeoutMs = 5000)
{
    for (DWORD waited = 0; waited <= timeoutMs; waited += 20) {
        if (CountLine(wanted) >= count)
            return true;
        Sleep(20);
    }
    return false;
}

HANDLE Start(const std::string& args)
{
    std::string cmd = args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Exit code of the finished process, or -1 if it did not start or end in time.
int Finish(HANDLE proc, DWORD timeoutMs = 20000)
{
    if (!proc)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(proc, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(proc, &code);
    else
        TerminateProcess(proc, 99);
    CloseHandle(proc);
    return static_cast<int>(code);
}

int Run(const std::string& args) { return Finish(Start(args)); }

std::string Quoted(const char* exe) { return "\"" + Bin(exe) + "\""; }

void EventLogKeepsConcurrentLinesWhole()
{
    // The folder goes too (when nothing else is in it): writers create it.
    ClearLog();
    RemoveDirectoryA("C:\\testbed");
    const int threads = 8, perThread = 150;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t] {
            char details[64];
            for (int i = 0; i < perThread; ++i) {
                std::snprintf(details, sizeof details, "%d %d padding-padding-padding", t, i);
                TbLogEvent("writer", "line", details);
            }
        });
    for (auto& th : pool)
        th.join();
    TbLogEvent("writer", "bare");
    TbLogEvent("writer", "empty", "");

    auto lines = ReadLog();
    CHECK(lines.size() == threads * perThread + 2);
    std::vector<int> next(threads, 0);
    bool ordered = true;
    for (size_t i = 0; i + 2 < lines.size(); ++i) {
        int t = -1, n = -1;
        char tail[32] = "";
        if (std::sscanf(lines[i].c_str(), "writer line %d %d %31s", &t, &n, tail) != 3 || t < 0 ||
            t >= threads || n != next[t]++ || std::strcmp(tail, "padding-padding-padding"))
            ordered = false;
    }
    CHECK(ordered);
    CHECK(lines.size() >= 2 && lines[lines.size() - 2] == "writer bare");
    CHECK(!lines.empty() && lines.back() == "writer empty");
}

void BiosLibraryReportsMachineType()
{
    typedef int(WINAPI * GetBiosString)();
    const char key[] = "Software\\VelraTestbed";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    ClearLog();

    HMODULE lib = LoadLibraryA(Bin("VLBIOSIF.DLL").c_str());
    CHECK(lib != nullptr);
    if (!lib)
        return;
    auto query = reinterpret_cast<GetBiosString>(reinterpret_cast<void*>(GetProcAddress(lib, "VLBIOSIF_GetBiosString")));
    CHECK(query != nullptr);
    if (query) {
        CHECK(query() == 0);
        HKEY k;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                        nullptr);
        DWORD code = 22;
        RegSetValueExA(k, "MachineType", 0, REG_DWORD, reinterpret_cast<BYTE*>(&code), sizeof code);
        CHECK(query() == 22);
        RegSetValueExA(k, "MachineType", 0, REG_SZ, reinterpret_cast<const BYTE*>("22"), 3);
        CHECK(query() == 0);
        RegCloseKey(k);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
        CHECK_LOG("biosif query 0", "biosif query 22", "biosif query 0");
    }
    FreeLibrary(lib);

    HMODULE bare = LoadLibraryA(Bin("VLBIOSIF_NOEXPORT.DLL").c_str());
    CHECK(bare != nullptr);
    if (bare) {
        CHECK(GetProcAddress(bare, "VLBIOSIF_GetBiosString") == nullptr);
        CHECK(GetProcAddress(bare, "VLBIOSIF_GetBiosString@0") == nullptr);
        FreeLibrary(bare);
    }
}

void WindowProgramRecordsCloseRequests()
{
    ClearLog();
    HANDLE hub = Start(Quoted("tbwindow.exe") + " VelraHomedeck");
    HANDLE pad = Start(Quoted("tbwindow.exe") + " PADWIN -");
    HANDLE led = Start(Quoted("tbwindow.exe") + " VelraLEDUtility --hidden");
    CHECK(WaitForLine("VelraHomedeck ready") && WaitForLine("PADWIN ready") &&
          WaitForLine("VelraLEDUtility ready"));

    HWND hubWnd = FindWindowA("VelraHomedeck", "VelraHomedeck");
    HWND padWnd = FindWindowA("PADWIN", "");
    HWND ledWnd = FindWindowA("VelraLEDUtility", nullptr);
    CHECK(hubWnd && IsWindowVisible(hubWnd));
    CHECK(padWnd && GetWindowTextLengthA(padWnd) == 0);
    CHECK(ledWnd && !IsWindowVisible(ledWnd));

    SendMessageA(hubWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(padWnd, WM_CLOSE, 0, 0);
    SendMessageA(ledWnd, WM_CLOSE, 0, 0);
    CHECK(Finish(hub, 5000) == 0);
    CHECK(Finish(pad, 5000) == 0);
    CHECK(Finish(led, 5000) == 0);
    CHECK(CountLine("VelraHomedeck SC_CLOSE") == 1);
    CHECK(CountLine("VelraHomedeck WM_CLOSE") == 0);
    CHECK(CountLine("PADWIN WM_CLOSE") == 1);
    CHECK(CountLine("VelraLEDUtility WM_CLOSE") == 1);
}

void RingWindowExistsWhenSysCloseReturns()
{
    ClearLog();
    HANDLE hub = Start(Quoted("tbwindow.exe") + " VelraHomedeck VelraHomedeck --ring-on-close");
    CHECK(WaitForLine("VelraHomedeck ready"));
    HWND hubWnd = FindWindowA("VelraHomedeck", nullptr);
    CHECK(FindWindowA("VelraLumoRingWnd", nullptr) == nullptr);
    SendMessageA(hubWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND ring = FindWindowA("VelraLumoRingWnd", nullptr);
    CHECK(ring != nullptr);
    CHECK(Finish(hub, 5000) == 0);

    // A second close while the ring is up must not start another one.
    hub = Start(Quoted("tbwindow.exe") + " VelraHomedeck --ring-on-close");
    CHECK(WaitForLine("VelraHomedeck ready", 2));
    SendMessageA(FindWindowA("VelraHomedeck", nullptr), WM_SYSCOMMAND, SC_CLOSE, 0);
    CHECK(Finish(hub, 5000) == 0);
    SendMessageA(ring, WM_CLOSE, 0, 0);
    CHECK(WaitForLine("VelraLumoRingWnd WM_CLOSE"));
    CHECK_LOG("VelraHomedeck ready", "VelraHomedeck SC_CLOSE", "VelraLumoRingWnd ready",
              "VelraHomedeck ready", "VelraHomedeck SC_CLOSE", "VelraLumoRingWnd WM_CLOSE");
}

DWORD ServiceState(const char* name)
{
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE svc = scm ? OpenServiceA(scm, name, SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS st = {};
    DWORD state = svc && QueryServiceStatus(svc, &st) ? st.dwCurrentState : 0;
    if (svc)
        CloseServiceHandle(svc);
    if (scm)
        CloseServiceHandle(scm);
    return state;
}

// "type start path" of an installed service, empty when it is not there.
std::string ServiceConfig(const char* name)
{
    std::string result;
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE svc = scm ? OpenServiceA(scm, name, SERVICE_QUERY_CONFIG) : nullptr;
    union {
        QUERY_SERVICE_CONFIGA config;
        char space[8192];
    } buf;
    DWORD needed = 0;
    if (svc && QueryServiceConfigA(svc, &buf.config, sizeof buf, &needed))
        result = std::to_string(buf.config.dwServiceType) + " " +
                 std::to_string(buf.config.dwStartType) + " " + buf.config.lpBinaryPathName;
    if (svc)
        CloseServiceHandle(svc);
    if (scm)
        CloseServiceHandle(scm);
    return result;
}

void ServiceLogsStartAndStop()
{
    std::string svc = Quoted("velsvc_s.exe");
    ClearLog();
    CHECK(Run(svc + " --install") == 0);
    CHECK(Run(svc + " --install") == 0);
    CHECK(ServiceState("velsvc_s") == SERVICE_STOPPED);
    CHECK(ServiceConfig("velsvc_s") == "16 3 " + svc);  // own process, demand start, quoted
    CHECK(Run(svc + " --start") == 0);
    CHECK(ServiceState("velsvc_s") == SERVICE_RUNNING);
    CHECK(CountLine("velsvc_s start") == 1);
    // It takes its time to stop, as a real service does; --stop waits.
    DWORD before = GetTickCount();
    CHECK(Run(svc + " --stop") == 0);
    CHECK(GetTickCount() - before >= 1900);
    CHECK(ServiceState("velsvc_s") == SERVICE_STOPPED);
    CHECK_LOG("velsvc_s start", "velsvc_s stopping", "velsvc_s stop");

    // Removal of a running service stops it first.
    CHECK(Run(svc + " --start") == 0);
    CHECK(Run(svc + " --uninstall") == 0);
    CHECK(ServiceState("velsvc_s") == 0);
    CHECK(CountLine("velsvc_s stop") == 2);
    CHECK(Run(svc) != 0);  // not started by the SCM
}

void DriverAnswersOnlyWhileStarted()
{
    std::string ctl = Quoted("tbdriver.exe"), client = Quoted("tbdevclient.exe");
    CHECK(Run(ctl + " install") == 0);
    CHECK(ServiceConfig("VelraEIO") == "1 3 " + Bin("VelraEIO.sys"));  // kernel driver, demand
    CHECK(Run(ctl + " start") == 0);
    // Under Wine the client's CloseHandle returns before the driver has
    // handled IRP_MJ_CLOSE, so its line may come after the client exits.
    ClearLog();
    CHECK(Run(client + " 2") == 0);
    CHECK(WaitForLine("driver close"));
    CHECK_LOG("driver open", "driver ioctl 0022C400 4 02000000", "driver close");
    ClearLog();
    CHECK(Run(client + " 0x0A0B0C0D 0022C404") == 2);
    CHECK(WaitForLine("driver close"));
    CHECK_LOG("driver open", "driver ioctl 0022C404 4 0D0C0B0A", "driver close");

    // The driver's lines and those of user-mode writers must not overwrite
    // each other (Wine's append is not atomic across processes).
    ClearLog();
    std::atomic<bool> clientsDone{false};
    std::atomic<size_t> written{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&] {
            while (!clientsDone) {
                TbLogEvent("writer", "line", "padding-padding-padding");
                ++written;
            }
        });
    const size_t clients = 20;
    for (size_t i = 0; i < clients; ++i)
        Run(client + " 3");
    clientsDone = true;
    for (auto& w : writers)
        w.join();
    CHECK(WaitForLine("driver close", clients));
    CHECK(CountLine("writer line padding-padding-padding") == written);
    CHECK(CountLine("driver ioctl 0022C400 4 03000000") == clients);
    CHECK(ReadLog().size() == written + 3 * clients);

    CHECK(Run(ctl + " stop") == 0);
    CHECK(Run(client + " 2") == 1);
    CHECK(Run(ctl + " start") == 0);
    CHECK(Run(client + " 2") == 0);
    CHECK(Run(ctl + " uninstall") == 0);
    CHECK(ServiceState("VelraEIO") == 0);
    CHECK(Run(client + " 2") == 1);
    CHECK(Run(ctl + " bogus") == 2);
}

}  // namespace

int main()
{
    struct {
        const char* name;
        void (*run)();
    } cases[] = {
        {"EventLogKeepsConcurrentLinesWhole", EventLogKeepsConcurrentLinesWhole},
        {"BiosLibraryReportsMachineType", BiosLibraryReportsMachineType},
        {"WindowProgramRecordsCloseRequests", WindowProgramRecordsCloseRequests},
        {"RingWindowExistsWhenSysCloseReturns", RingWindowExistsWhenSysCloseReturns},
        {"ServiceLogsStartAndStop", ServiceLogsStartAndStop},
        {"DriverAnswersOnlyWhileStarted", DriverAnswersOnlyWhileStarted},
    };
    for (const auto& c : cases) {
        int before = g_failures;
        DWORD t0 = GetTickCount();
        c.run();
        std::printf("%s %s (%lu ms)\n", g_failures == before ? "ok  " : "FAIL", c.name,
                    GetTickCount() - t0);
    }
    ClearLog();
    std::printf("%d failure(s)\n", g_failures);
    return g_failures ? 1 : 0;
}
