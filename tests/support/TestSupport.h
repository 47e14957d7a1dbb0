// Helpers for the test programs: temporary folders and files, registry keys
// that remove themselves, starting a program and answering its message
// boxes, and a recorder for message sequences.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace tst {

std::string ExeFolder();                 // the test program's folder, with backslash
std::string BinFile(const char* name);   // a file of the build's bin folder
// A shipped 32-bit program, for reading its image: the build's own where it
// is 32-bit, the 32-bit build's where this one is 64-bit.
std::string ShippedFile(const char* name);

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
std::string ReadBytes(const std::string& path);
bool MakeDirs(const std::string& path);
void RemoveTree(const std::string& path);
bool CopyTo(const std::string& from, const std::string& to);
// A directory link at `link` to the folder `target`, as a Unix symbolic
// link: Wine lists those as reparse points, while the links its own
// CreateSymbolicLink makes are left out of directory listings.
bool MakeDirLink(const std::string& link, const std::string& target);
bool RemoveDirLink(const std::string& link);

// Creates (or opens) a key and deletes the whole key when destroyed.
class ScopedKey {
public:
    ScopedKey(HKEY root, const std::string& subKey);
    ~ScopedKey();
    HKEY Get() const { return m_key; }
    void SetString(const char* name, const std::string& value, DWORD type = REG_SZ);
    void SetBinary(const char* name, const void* data, DWORD size, DWORD type);
    void SetDword(const char* name, DWORD value);
    void DeleteValue(const char* name);

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

// A message box seen by the watcher.
struct SeenBox {
    std::string caption;
    std::string text;
    bool ownerVisible;  // the box had an owner window on screen
};

struct RunResult {
    DWORD exitCode = DWORD(-1);
    bool finished = false;
    std::vector<SeenBox> boxes;
};

// Starts a program, answers each message box of the process with OK (after
// calling onBox, if given, while the box is up) and waits for its end.
typedef void (*BoxHook)(const SeenBox& box, HWND hBox, DWORD pid, void* ctx);
RunResult RunAndAnswer(const std::string& commandLine, DWORD timeoutMs = 60000, BoxHook onBox = nullptr,
                       void* ctx = nullptr, const char* workDir = nullptr);

// Message sequences: handlers and default procedures append what they saw;
// a test compares the record with an expected table.
struct MsgStep {
    UINT message;
    const char* where;  // which handler (or "def" for the default procedure)
    bool operator==(const MsgStep& o) const;
};
class MsgRecorder {
public:
    void Add(UINT message, const char* where) { m_steps.push_back({message, where}); }
    void Clear() { m_steps.clear(); }
    // The steps for the messages in `filter` only, in order.
    std::vector<MsgStep> Only(std::initializer_list<UINT> filter) const;
    const std::vector<MsgStep>& Steps() const { return m_steps; }

private:
    std::vector<MsgStep> m_steps;
};
std::ostream& operator<<(std::ostream& os, const MsgStep& s);

// Points the framework's instance handle at a small library copied into
// `folder`, so that code asking for "the program's folder" sees `folder`.
// Resources still come from the test program.
class ScopedModuleFolder {
public:
    explicit ScopedModuleFolder(const std::string& folder);
    ~ScopedModuleFolder();

private:
    HMODULE m_hModule = nullptr;
    HINSTANCE m_hOld = nullptr;
};

// Japanese text of the UTF-8 source as code page 932 bytes.
std::string Cp932(const char* utf8);

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
