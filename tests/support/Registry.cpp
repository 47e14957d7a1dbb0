#include "Registry.h"

#include <shlwapi.h>

namespace tst {

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

}  // namespace tst
