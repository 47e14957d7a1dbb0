// Code page 932 and UTF-8 text, and the strings of resource templates.
#pragma once
#include <windows.h>

#include <string>

namespace tst {

// Japanese text of the UTF-8 source as code page 932 bytes.
std::string Cp932(const char* utf8);
// UTF-16 text (n characters, or up to its zero) as UTF-8.
std::string Utf8(const WCHAR* w, int n = -1);
// A zero-ended string of a resource template as UTF-8; p moves past it.
std::string TakeString(const WORD*& p);

}  // namespace tst
