// BuildUpdateList against Start Menu trees holding N entries: the cost of
// the shortcut rows (kind 1), which walk both trees when the shortcut is
// not there. Run from a folder of its own: the packages that make the
// shortcut rows apply are put beside this program.
// usage: bench_updatelist N [REPEATS]
// Prints: N, shortcut rows probed, median milliseconds per build, per row.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "UpdateApp.h"
#include "UpdateItem.h"
#include "WinApp.h"

namespace {
const char* const kShortcutPackages[] = {"VLWORD.cab", "VLMATH.cab"};
const int kShortcutRows = 4;  // two shortcut names for each package
const int kPerFolder = 50;
const char kTreeName[] = "VelraBenchTree";

std::string StartMenu(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, TRUE);
    return std::string(path) + "\\";
}

// n entries under root, kPerFolder to a folder, the folders two deep.
void Populate(const std::string& root, int n)
{
    CreateDirectoryA(root.c_str(), nullptr);
    for (int i = 0; i < n; ++i) {
        char group[32], folder[64], file[32];
        sprintf(group, "g%03d\\", i / (kPerFolder * 20));
        sprintf(folder, "f%04d\\", i / kPerFolder);
        sprintf(file, "entry%05d.lnk", i);
        std::string dir = root + group;
        if (i % (kPerFolder * 20) == 0)
            CreateDirectoryA(dir.c_str(), nullptr);
        dir += folder;
        if (i % kPerFolder == 0)
            CreateDirectoryA(dir.c_str(), nullptr);
        HANDLE h = CreateFileA((dir + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(h);
    }
}

// The whole tree, through the shell (the path list ends with two nulls).
void Remove(const std::string& root)
{
    std::string from = root.substr(0, root.size() - 1) + '\0';
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationA(&op);
}

std::string ModuleFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *strrchr(path, '\\') = 0;
    return std::string(path) + "\\";
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_updatelist N [REPEATS]\n");
        return 2;
    }
    int n = atoi(argv[1]);
    int repeats = argc > 2 ? atoi(argv[2]) : 5;
    char empty[] = "";
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, empty, SW_SHOWNORMAL);
    CoInitialize(nullptr);

    std::string roots[] = {StartMenu(CSIDL_COMMON_STARTMENU) + kTreeName + "\\",
                           StartMenu(CSIDL_STARTMENU) + kTreeName + "\\"};
    Populate(roots[0], n / 2);
    Populate(roots[1], n - n / 2);
    for (const char* package : kShortcutPackages) {
        HANDLE h = CreateFileA((ModuleFolder() + package).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                               nullptr);
        DWORD written;
        WriteFile(h, "MSCF", 4, &written, nullptr);
        CloseHandle(h);
    }

    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::vector<double> ms;
    int applied = 0;
    for (int r = 0; r <= repeats; ++r) {  // the first walk only warms the caches
        CUpdateApp app;
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        app.BuildUpdateList();
        QueryPerformanceCounter(&t1);
        applied = int(app.m_updateList.GetCount());
        for (POSITION pos = app.m_updateList.GetHeadPosition(); pos;)
            delete static_cast<CUpdateItem*>(app.m_updateList.GetNext(pos));
        if (r)
            ms.push_back(double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart));
    }
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];

    for (const char* package : kShortcutPackages)
        DeleteFileA((ModuleFolder() + package).c_str());
    Remove(roots[0]);
    Remove(roots[1]);
    CoUninitialize();
    printf("%d %d %.2f %.3f\n", n, kShortcutRows, median, median / kShortcutRows);
    return applied == 0 ? 0 : 1;  // nothing may apply: the shortcuts are not there
}
