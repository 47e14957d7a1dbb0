#include "TestSupport.h"

#include <shlwapi.h>
#include <stdio.h>
#include <string.h>

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

namespace {
void DispatchAll()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
}  // namespace

bool WaitFor(const char* what, const std::function<bool()>& done, DWORD limitMs, bool pump)
{
    for (DWORD start = GetTickCount();;) {
        if (pump)
            DispatchAll();
        if (done())
            return true;
        if (GetTickCount() - start >= limitMs) {
            ADD_FAILURE() << "timed out after " << limitMs << " ms waiting for " << what;
            return false;
        }
        if (pump)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        else
            Sleep(10);
    }
}

bool WaitForQuit()
{
    return WaitFor("WM_QUIT", [] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return true;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return false;
    }, 30000, false);
}

BackgroundPoll::BackgroundPoll(std::function<bool()> step) : m_step(std::move(step))
{
    m_hThread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DWORD WINAPI BackgroundPoll::Run(void* self)
{
    auto* p = static_cast<BackgroundPoll*>(self);
    while (!InterlockedCompareExchange(&p->m_stop, 0, 0) && p->m_step())
        Sleep(1);
    return 0;
}

void BackgroundPoll::Stop()
{
    if (!m_hThread)
        return;
    InterlockedExchange(&m_stop, 1);
    // A step stuck for a minute will not come back: better a leak than a hang.
    if (WaitForSingleObject(m_hThread, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the polling thread did not end";
        TerminateThread(m_hThread, 1);
    }
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

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

namespace {
const char kEventLog[] = "C:\\testbed\\events.log";
}

std::vector<std::string> TestbedEvents()
{
    std::vector<std::string> lines;
    std::string text = ReadBytes(kEventLog);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

void ClearTestbedEvents()
{
    // A writer may still hold the file for a moment.
    WaitFor("the event log to be deleted", [] {
        DeleteFileA(kEventLog);
        return GetFileAttributesA(kEventLog) == INVALID_FILE_ATTRIBUTES;
    }, 30000, false);
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

namespace {
void CollectNames(const std::string& folder, const std::string& prefix, std::set<std::string>& out)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + prefix + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != "." && name != "..")
                CollectNames(folder, prefix + name + "\\", out);
        } else {
            out.insert(prefix + name);
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}
}  // namespace

std::set<std::string> FileNames(const std::string& folder)
{
    std::set<std::string> out;
    CollectNames(folder, "", out);
    return out;
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
bool RunUnix(const std::string& cmd, const std::function<bool()>& done)
{
    Process p(cmd);
    return p.Started() && WaitFor(cmd.c_str(), done, 30000, false);
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

std::string Utf8(const WCHAR* w, int n)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, w, n, nullptr, 0, nullptr, nullptr);
    std::string s(cb, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, n, &s[0], cb, nullptr, nullptr);
    if (n < 0 && !s.empty())
        s.pop_back();
    return s;
}

std::string TakeString(const WORD*& p)
{
    std::string s = Utf8(reinterpret_cast<const WCHAR*>(p));
    while (*p++) {
    }
    return s;
}

PeImage::PeImage(const void* base, size_t size, bool mapped)
    : m_base(static_cast<const BYTE*>(base)), m_size(size), m_mapped(mapped)
{
    if (size < sizeof(IMAGE_DOS_HEADER))
        return;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(m_base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || size_t(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > size)
        return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(m_base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return;
    m_plus = nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    m_nt = nt;
}

PeImage::PeImage(HMODULE loaded)
    : PeImage(loaded,
              reinterpret_cast<const IMAGE_NT_HEADERS32*>(reinterpret_cast<const BYTE*>(loaded) +
                                                          reinterpret_cast<const IMAGE_DOS_HEADER*>(loaded)->e_lfanew)
                  ->OptionalHeader.SizeOfImage,
              true)
{
}

const BYTE* PeImage::At(DWORD rva) const
{
    if (!m_nt || !rva)
        return nullptr;
    if (m_mapped)
        return rva < m_size ? m_base + rva : nullptr;
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(m_nt);
    for (int i = 0; i < m_nt->FileHeader.NumberOfSections; ++i) {
        const IMAGE_SECTION_HEADER& sec = sections[i];
        if (rva >= sec.VirtualAddress && rva < sec.VirtualAddress + sec.SizeOfRawData &&
            sec.PointerToRawData + (rva - sec.VirtualAddress) < m_size)
            return m_base + sec.PointerToRawData + (rva - sec.VirtualAddress);
    }
    return nullptr;
}

const IMAGE_SECTION_HEADER* PeImage::Section(const char* name) const
{
    if (!m_nt)
        return nullptr;
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(m_nt);
    for (int i = 0; i < m_nt->FileHeader.NumberOfSections; ++i)
        if (strncmp(reinterpret_cast<const char*>(sections[i].Name), name, IMAGE_SIZEOF_SHORT_NAME) == 0)
            return &sections[i];
    return nullptr;
}

IMAGE_DATA_DIRECTORY PeImage::Directory(int entry) const
{
    // DllCharacteristics sits at the same place in both optional headers;
    // the directories do not.
    if (!m_nt)
        return IMAGE_DATA_DIRECTORY{};
    return m_plus ? reinterpret_cast<const IMAGE_NT_HEADERS64*>(m_nt)->OptionalHeader.DataDirectory[entry]
                  : m_nt->OptionalHeader.DataDirectory[entry];
}

std::vector<PeImage::Import> PeImage::Imports() const
{
    std::vector<Import> out;
    if (!m_nt)
        return out;
    const IMAGE_DATA_DIRECTORY dir = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    const size_t thunkSize = m_plus ? 8 : 4;
    for (auto* desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(dir.VirtualAddress)); desc && desc->Name;
         ++desc) {
        const char* dll = reinterpret_cast<const char*>(At(desc->Name));
        DWORD names = desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
        for (DWORD i = 0;; ++i) {
            const BYTE* thunk = At(DWORD(names + i * thunkSize));
            if (!thunk)
                break;
            ULONGLONG value = 0;
            memcpy(&value, thunk, thunkSize);
            if (!value)
                break;
            const ULONGLONG ordinalFlag = m_plus ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32;
            std::string function;
            if (value & ordinalFlag) {
                function = "#" + std::to_string(value & 0xFFFF);
            } else if (const BYTE* byName = At(DWORD(value))) {
                function = reinterpret_cast<const char*>(byName + 2);  // after the hint
            }
            out.push_back({dll ? dll : "", function, DWORD(desc->FirstThunk + i * thunkSize)});
        }
    }
    return out;
}

namespace {
// A name-or-ordinal field of a dialog template; p moves past it.
std::string TemplateField(const WORD*& p, bool isClass = false)
{
    if (*p == 0xFFFF) {
        WORD n = p[1];
        p += 2;
        static const char* const kClasses[] = {"button", "edit", "static", "listbox", "scrollbar", "combobox"};
        return isClass && n >= 0x80 && n <= 0x85 ? kClasses[n - 0x80] : "#" + std::to_string(n);
    }
    std::string s = TakeString(p);
    if (isClass)
        CharLowerBuffA(&s[0], DWORD(s.size()));  // class names are not case-sensitive
    return s;
}

template <class T> T Take(const BYTE*& p)
{
    T v;
    memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return v;
}
}  // namespace

Dialog ParseDialog(const void* resource)
{
    Dialog d;
    const BYTE* p = static_cast<const BYTE*>(resource);
    const WORD* w = static_cast<const WORD*>(resource);
    d.extended = w[0] == 1 && w[1] == 0xFFFF;
    WORD count;
    if (d.extended) {
        p += 8;  // version, signature, help id
        d.exStyle = Take<DWORD>(p);
        d.style = Take<DWORD>(p);
    } else {
        d.style = Take<DWORD>(p);
        d.exStyle = Take<DWORD>(p);
    }
    count = Take<WORD>(p);
    d.x = Take<short>(p), d.y = Take<short>(p), d.cx = Take<short>(p), d.cy = Take<short>(p);
    w = reinterpret_cast<const WORD*>(p);
    d.menu = TemplateField(w);
    d.cls = TemplateField(w);
    d.title = TemplateField(w);
    if (d.style & DS_SETFONT) {
        d.points = *w++;
        if (d.extended)
            w += 2;  // weight, italic and character set
        d.font = TemplateField(w);
    }
    for (int i = 0; i < count; ++i) {
        p = reinterpret_cast<const BYTE*>((reinterpret_cast<UINT_PTR>(w) + 3) & ~UINT_PTR(3));
        DialogItem item;
        if (d.extended) {
            p += 4;  // help id
            item.exStyle = Take<DWORD>(p);
            item.style = Take<DWORD>(p);
        } else {
            item.style = Take<DWORD>(p);
            item.exStyle = Take<DWORD>(p);
        }
        item.x = Take<short>(p), item.y = Take<short>(p), item.cx = Take<short>(p), item.cy = Take<short>(p);
        item.id = d.extended ? int(Take<DWORD>(p)) : short(Take<WORD>(p));
        w = reinterpret_cast<const WORD*>(p);
        item.cls = TemplateField(w, true);
        item.text = TemplateField(w);
        WORD cbData = *w++;  // creation data: its size in bytes, then the bytes
        w = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(w) + cbData);
        d.items.push_back(item);
    }
    return d;
}

ImportHook::ImportHook(const char* dll, const char* function, void* replacement)
{
    HMODULE hExe = GetModuleHandleA(nullptr);
    BYTE* base = reinterpret_cast<BYTE*>(hExe);
    for (const PeImage::Import& imp : PeImage(hExe).Imports()) {
        if ((dll && lstrcmpiA(imp.dll.c_str(), dll) != 0) || imp.function != function)
            continue;
        m_slot = reinterpret_cast<void**>(base + imp.slotRva);
        m_original = *m_slot;
        DWORD old;
        VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &old);
        *m_slot = replacement;
        VirtualProtect(m_slot, sizeof(void*), old, &old);
        return;
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
