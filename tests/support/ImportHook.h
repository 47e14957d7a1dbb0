// Replacing one import of the test program, and so of the code under test.
#pragma once
#include <windows.h>

namespace tst {

// Replaces one import of this program (and so of the code under test, which
// is linked in) for the object's lifetime. dll null: from whichever module.
class ImportHook {
public:
    ImportHook(const char* dll, const char* function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    void* Original() const { return m_original; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

}  // namespace tst
