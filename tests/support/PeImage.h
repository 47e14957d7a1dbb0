// Reading a program image: sections, imports, directories.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tst {

// A program image, either as loaded (mapped) or as read from a file, PE32 or
// PE32+. Pointers returned point into the bytes given.
class PeImage {
public:
    PeImage(const void* base, size_t size, bool mapped);
    explicit PeImage(HMODULE loaded);
    // The bytes at an address of the image; null outside it.
    const BYTE* At(DWORD rva) const;
    const IMAGE_SECTION_HEADER* Section(const char* name) const;
    struct Import {
        std::string dll, function;  // "#n" for an import by ordinal
        DWORD slotRva;              // of its entry in the import address table
    };
    std::vector<Import> Imports() const;
    IMAGE_DATA_DIRECTORY Directory(int entry) const;
    WORD DllCharacteristics() const { return m_nt ? m_nt->OptionalHeader.DllCharacteristics : 0; }

private:
    const BYTE* m_base;
    size_t m_size;
    bool m_mapped;
    const IMAGE_NT_HEADERS32* m_nt = nullptr;  // the fields shared by PE32 and PE32+ only
    bool m_plus = false;
};

}  // namespace tst
