#include "ImportHook.h"

#include "gtest/gtest.h"

#include "PeImage.h"

namespace tst {

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
