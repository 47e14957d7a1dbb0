// Registry keys and values that are put back as they were.
#pragma once
#include <windows.h>

#include <string>

namespace tst {

// Creates (or opens) a key and deletes the whole key when destroyed.
class ScopedKey {
public:
    ScopedKey(HKEY root, const std::string& subKey);
    ~ScopedKey();
    HKEY Get() const { return m_key; }
    void SetString(const char* name, const std::string& value, DWORD type = REG_SZ);
    void SetBinary(const char* name, const void* data, DWORD size, DWORD type);
    void SetDword(const char* name, DWORD value);

private:
    HKEY m_root;
    std::string m_subKey;
    HKEY m_key = nullptr;
};

// Sets one value of an existing key for the test's lifetime and restores
// the previous state afterwards.
class ScopedValue {
public:
    ScopedValue(HKEY root, const std::string& subKey, const char* name, const std::string& value);
    ~ScopedValue();

private:
    HKEY m_root;
    std::string m_subKey, m_name, m_old;
    DWORD m_oldType = 0;
    bool m_hadOld = false;
};

}  // namespace tst
