#include "Text.h"

namespace tst {

std::string Cp932(const char* utf8)
{
    int nw = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring w(nw, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], nw);
    int n = WideCharToMultiByte(932, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(932, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? n - 1 : 0);
    return s;
}

std::string Utf8(const WCHAR* w, int n)
{
    int cb = WideCharToMultiByte(CP_UTF8, 0, w, n, nullptr, 0, nullptr, nullptr);
    std::string s(cb, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, n, &s[0], cb, nullptr, nullptr);
    if (n < 0 && !s.empty())
        s.pop_back();
    return s;
}

std::string TakeString(const WORD*& p)
{
    std::string s = Utf8(reinterpret_cast<const WCHAR*>(p));
    while (*p++) {
    }
    return s;
}

}  // namespace tst
