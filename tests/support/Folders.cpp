#include "Folders.h"

#include "Files.h"
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

}  // namespace tst
