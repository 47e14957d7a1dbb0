#include "Files.h"

#include <shlwapi.h>
#include <stdio.h>

#include "Programs.h"
#include "Waits.h"

namespace tst {

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

}  // namespace tst
