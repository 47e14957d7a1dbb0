// Staging a machine for the updater's tests: Start Menu shortcuts, App
// Paths and Run entries, installed files, packages next to the program.
#pragma once
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "MessageBoxes.h"
#include "Registry.h"

namespace upd {

extern const char kAppPaths[];  // under HKEY_LOCAL_MACHINE, without the exe name
extern const char kRunKey[];

// What the updater says, as code page 932 bytes: its boxes' caption, the
// status line while a file is copied, and its two reports.
std::string AppTitle();
std::string Copying(const std::string& file);
std::string DoneText();
std::string FailedText();

// The run ended with that exit code after exactly these boxes, in order,
// each under `caption`.
::testing::AssertionResult Ended(const tst::RunResult& r, DWORD exitCode, const std::vector<std::string>& texts,
                                 const std::string& caption = AppTitle());

std::string StartMenu(int csidl);  // with backslash
// Writes a shortcut at linkPath pointing to target (which must exist).
bool MakeShortcut(const std::string& linkPath, const std::string& target);

// An App Paths entry for exe whose default value is `path`; removed at the end.
struct AppPathEntry {
    AppPathEntry(const std::string& exe, const std::string& path);
    tst::ScopedKey key;
};

// One entry of the update list as a test compares it: the package's file
// name, its target folder (compared without regard to case) and its type.
struct Registered {
    std::string package;
    std::string folder;
    int type;
    bool operator==(const Registered& o) const
    {
        return package == o.package && lstrcmpiA(folder.c_str(), o.folder.c_str()) == 0 && type == o.type;
    }
};
inline std::ostream& operator<<(std::ostream& os, const Registered& r)
{
    return os << "{" << r.package << ", " << r.folder << ", " << r.type << "}";
}

// While it lives, a frame of the progress window passes whenever its clock
// is read: every status, position and figure reaches the controls as it is
// given, so that a test sees each of them there.
struct EveryChangePainted {
    EveryChangePainted();
    ~EveryChangePainted();
};

}  // namespace upd
