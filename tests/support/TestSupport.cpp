#include "TestSupport.h"

#include <shlwapi.h>
#include <stdio.h>

#include "WinApp.h"

namespace tst {

std::string ExeFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.rfind('\\') + 1);
}

std::string BinFile(const char* name) { return ExeFolder() + name; }

std::string ShippedFile(const char* name)
{
#ifdef VELRA_SHIPPED_BIN
    return std::string(VELRA_SHIPPED_BIN) + name;
#else
    return BinFile(name);
#endif
}

TempDir::TempDir(const char* tag)
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static unsigned counter;
    for (;;) {
        char name[64];
        snprintf(name, sizeof(name), "velra_%s_%lu_%u", tag, GetCurrentProcessId(), ++counter);
        m_path = std::string(base) + name + "\\";
        if (CreateDirectoryA(m_path.c_str(), nullptr))
            break;
    }
}

TempDir::~TempDir() { RemoveTree(m_path); }

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD n = 0;
    BOOL ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(h);
    return ok && n == bytes.size();
}

std::string ReadBytes(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string s;
    char buf[65536];
    DWORD n;
    while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n)
        s.append(buf, n);
    CloseHandle(h);
    return s;
}

bool MakeDirs(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path)
{
    std::string dir = path;
    if (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = dir + "\\" + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(full);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirLink(full);  // a link: never enter it
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
}

bool CopyTo(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE); }

namespace {
std::string UnixName(std::string path)
{
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    static UnixNameFn pfnUnixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!pfnUnixName)
        return std::string();
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    WCHAR w[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w, MAX_PATH);
    char* p = pfnUnixName(w);
    std::string s = p ? p : "";
    HeapFree(GetProcessHeap(), 0, p);
    return s;
}

// Runs a Unix command and waits until `done` holds: a Unix child's
// handle does not report its end.
template <class Done> bool RunUnix(std::string cmd, Done done)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 100; ++i, Sleep(50))
        if (done())
            return true;
    return false;
}
}  // namespace

bool MakeDirLink(const std::string& link, const std::string& target)
{
    std::string uLink = UnixName(link), uTarget = UnixName(target);
    if (uLink.empty() || uTarget.empty())
        return false;
    return RunUnix("/bin/ln -s \"" + uTarget + "\" \"" + uLink + "\"", [&] {
               return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
           }) &&
           (GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RemoveDirLink(const std::string& link)
{
    std::string uLink = UnixName(link);
    return !uLink.empty() && RunUnix("/bin/rm -f \"" + uLink + "\"", [&] {
        return GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES;
    });
}

ScopedKey::ScopedKey(HKEY root, const std::string& subKey) : m_root(root), m_subKey(subKey)
{
    RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
}

ScopedKey::~ScopedKey()
{
    if (m_key)
        RegCloseKey(m_key);
    SHDeleteKeyA(m_root, m_subKey.c_str());
}

void ScopedKey::SetString(const char* name, const std::string& value, DWORD type)
{
    RegSetValueExA(m_key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
}

void ScopedKey::SetBinary(const char* name, const void* data, DWORD size, DWORD type)
{
    RegSetValueExA(m_key, name, 0, type, static_cast<const BYTE*>(data), size);
}

void ScopedKey::SetDword(const char* name, DWORD value) { SetBinary(name, &value, sizeof(value), REG_DWORD); }

void ScopedKey::DeleteValue(const char* name) { RegDeleteValueA(m_key, name); }

ScopedValue::ScopedValue(HKEY root, const std::string& subKey, const char* name, const std::string& value)
    : m_root(root), m_subKey(subKey), m_name(name)
{
    HKEY key;
    if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0)
        return;
    char buf[4096];
    DWORD cb = sizeof(buf);
    if (RegQueryValueExA(key, name, nullptr, &m_oldType, reinterpret_cast<BYTE*>(buf), &cb) == 0) {
        m_hadOld = true;
        m_old.assign(buf, cb);
    }
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(key);
}

ScopedValue::~ScopedValue()
{
    HKEY key;
    if (RegOpenKeyExA(m_root, m_subKey.c_str(), 0, KEY_ALL_ACCESS, &key) != 0)
        return;
    if (m_hadOld)
        RegSetValueExA(key, m_name.c_str(), 0, m_oldType, reinterpret_cast<const BYTE*>(m_old.data()),
                       DWORD(m_old.size()));
    else
        RegDeleteValueA(key, m_name.c_str());
    RegCloseKey(key);
}

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
        char text[1024] = "";
        GetWindowTextA(hChild, text, sizeof(text));
        if (text[0]) {
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
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    char cls[32];
    GetClassNameA(hWnd, cls, sizeof(cls));
    if (pid != st->pid || lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hWnd))
        return TRUE;
    // Only message boxes: they have an OK button and no progress bar.
    if (!GetDlgItem(hWnd, IDOK) || FindWindowExA(hWnd, nullptr, "msctls_progress32", nullptr))
        return TRUE;
    for (HWND h : st->answered)
        if (h == hWnd)
            return TRUE;
    SeenBox box;
    char caption[512] = "";
    GetWindowTextA(hWnd, caption, sizeof(caption));
    box.caption = caption;
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
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, workDir, &si, &pi))
        return result;
    WatchState st{pi.dwProcessId, &result.boxes, onBox, ctx, {}};
    DWORD start = GetTickCount();
    for (;;) {
        EnumWindows(FindBoxes, reinterpret_cast<LPARAM>(&st));
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) {
            result.finished = true;
            break;
        }
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(pi.hProcess, 255);
            WaitForSingleObject(pi.hProcess, 5000);
            break;
        }
    }
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

bool MsgStep::operator==(const MsgStep& o) const { return message == o.message && std::string(where) == o.where; }

std::vector<MsgStep> MsgRecorder::Only(std::initializer_list<UINT> filter) const
{
    std::vector<MsgStep> out;
    for (const MsgStep& s : m_steps)
        for (UINT m : filter)
            if (s.message == m)
                out.push_back(s);
    return out;
}

std::ostream& operator<<(std::ostream& os, const MsgStep& s)
{
    return os << "{0x" << std::hex << s.message << std::dec << ", " << s.where << "}";
}

ScopedModuleFolder::ScopedModuleFolder(const std::string& folder)
{
    std::string copy = folder + "anchor.dll";
    CopyTo(BinFile("test_anchor.dll"), copy);
    m_hModule = LoadLibraryA(copy.c_str());
    m_hOld = AfxGetModuleState()->m_hCurrentInstanceHandle;
    if (m_hModule)
        AfxGetModuleState()->m_hCurrentInstanceHandle = m_hModule;
}

ScopedModuleFolder::~ScopedModuleFolder()
{
    AfxGetModuleState()->m_hCurrentInstanceHandle = m_hOld;
    if (m_hModule)
        FreeLibrary(m_hModule);
}

std::string Cp932(const char* utf8)
{
    int nw = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring w(nw, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], nw);
    int n = WideCharToMultiByte(932, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(932, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? n - 1 : 0);
    return s;
}

ImportHook::ImportHook(const char* dll, const char* function, void* replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (dll && lstrcmpiA(reinterpret_cast<char*>(base + imp->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) != 0)
                continue;
            m_slot = reinterpret_cast<void**>(&slots->u1.Function);
            m_original = *m_slot;
            DWORD old;
            VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &old);
            *m_slot = replacement;
            VirtualProtect(m_slot, sizeof(void*), old, &old);
            return;
        }
    }
    ADD_FAILURE() << "no import " << (dll ? dll : "") << "!" << function;
}

ImportHook::~ImportHook()
{
    if (!m_slot)
        return;
    DWORD old;
    VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &old);
    *m_slot = m_original;
    VirtualProtect(m_slot, sizeof(void*), old, &old);
}

}  // namespace tst
