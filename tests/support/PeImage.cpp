#include "PeImage.h"

namespace tst {

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

}  // namespace tst
