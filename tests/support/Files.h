// Temporary folders, whole files, folder listings and directory links.
#pragma once
#include <windows.h>

#include <set>
#include <string>

namespace tst {

// A fresh folder under the temp folder, removed with its contents.
class TempDir {
public:
    explicit TempDir(const char* tag = "t");
    ~TempDir();
    const std::string& Path() const { return m_path; }  // ends with a backslash
    std::string operator/(const std::string& rel) const { return m_path + rel; }

private:
    std::string m_path;
};

bool WriteBytes(const std::string& path, const std::string& bytes);
// The files under a folder, by their paths relative to it.
std::set<std::string> FileNames(const std::string& folder);
std::string ReadBytes(const std::string& path);
bool MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);
bool CopyTo(const std::string& from, const std::string& to);
// A directory link at `link` to the folder `target`, as a Unix symbolic
// link: Wine lists those as reparse points, while the links its own
// CreateSymbolicLink makes are left out of directory listings.
bool MakeDirLink(const std::string& link, const std::string& target);
bool RemoveDirLink(const std::string& link);

}  // namespace tst
