// Where the test program and the build's files are, and a stand-in for
// "the program's folder" of the code under test.
#pragma once
#include <windows.h>

#include <string>

namespace tst {

std::string ExeFolder();                 // the test program's folder, with backslash
std::string BinFile(const char* name);   // a file of the build's bin folder
// A shipped 32-bit program, for reading its image: the build's own where it
// is 32-bit, the 32-bit build's where this one is 64-bit.
std::string ShippedFile(const char* name);

// Points the framework's instance handle at a small library copied into
// `folder`, so that code asking for "the program's folder" sees `folder`.
// Resources still come from the test program.
class ScopedModuleFolder {
public:
    explicit ScopedModuleFolder(const std::string& folder);
    ~ScopedModuleFolder();

private:
    HMODULE m_hModule = nullptr;
    HINSTANCE m_hOld = nullptr;
};

}  // namespace tst
