// Helpers for the test programs: waiting, temporary folders and files,
// registry keys that remove themselves, started programs (answering their
// message boxes), the testbed's event log, reading program images and
// dialog templates, and recorders for message sequences and hooks.
#pragma once
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace tst {

std::string ExeFolder();                 // the test program's folder, with backslash
std::string BinFile(const char* name);   // a file of the build's bin folder
// A shipped 32-bit program, for reading its image: the build's own where it
// is 32-bit, the 32-bit build's where this one is 64-bit.
std::string ShippedFile(const char* name);

// Waits until done() holds, dispatching this thread's messages meanwhile
// unless pump is false. The limit only keeps a broken run from hanging the
// suite: when it passes, the test fails naming what was awaited.
bool WaitFor(const char* what, const std::function<bool()>& done, DWORD limitMs = 30000, bool pump = true);
// Dispatches this thread's messages until WM_QUIT comes.
bool WaitForQuit();

// Calls step on a thread of its own, about every millisecond, until step
// returns false or Stop() is called.
class BackgroundPoll {
public:
    explicit BackgroundPoll(std::function<bool()> step);
    ~BackgroundPoll() { Stop(); }
    BackgroundPoll(const BackgroundPoll&) = delete;
    BackgroundPoll& operator=(const BackgroundPoll&) = delete;
    void Stop();

private:
    static DWORD WINAPI Run(void* self);
    std::function<bool()> m_step;
    volatile LONG m_stop = 0;
    HANDLE m_hThread = nullptr;
};

// A started program, ended by force at the end if it still runs.
class Process {
public:
    explicit Process(const std::string& commandLine, DWORD creationFlags = 0, const char* workDir = nullptr);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // A Unix program started through Wine has no process handle.
    bool Started() const { return m_started; }
    bool Running() const;
    HANDLE Handle() const { return m_pi.hProcess; }
    DWORD Id() const { return m_pi.dwProcessId; }
    void Resume() const { ResumeThread(m_pi.hThread); }
    // The exit code; DWORD(-1) while it still runs after timeoutMs.
    DWORD Wait(DWORD timeoutMs = 30000) const;

private:
    PROCESS_INFORMATION m_pi{};
    bool m_started = false;
};

DWORD ProcessOf(HWND hWnd);
std::string WindowText(HWND hWnd);  // its caption or text (GetWindowTextA)
// A top-level window of that process and class (shown, with that title,
// if asked), once there is one.
HWND WaitForWindow(DWORD pid, const char* cls, bool shown = false, const char* title = nullptr);

// C:\testbed\events.log, where the testbed's programs and driver log what
// they are asked to do: whole lines without their CRLF.
std::vector<std::string> TestbedEvents();
void ClearTestbedEvents();

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
// UTF-16 text (n characters, or up to its zero) as UTF-8.
std::string Utf8(const WCHAR* w, int n = -1);
// A zero-ended string of a resource template as UTF-8; p moves past it.
std::string TakeString(const WORD*& p);

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

// A dialog template (DLGTEMPLATE or DLGTEMPLATEEX) as text: names as UTF-8,
// "#n" for ordinals, the predefined control classes by lower-case name.
struct DialogItem {
    DWORD style, exStyle;
    short x, y, cx, cy;
    int id;
    std::string cls, text;
};
struct Dialog {
    bool extended = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, cls, title;
    int points = 0;  // with its font only
    std::string font;
    std::vector<DialogItem> items;
};
Dialog ParseDialog(const void* resource);

// Hook procedures reach the one recorder alive on the test's thread through
// Current(); a recorder registers itself for its lifetime.
template <class T> class HookRecorder {
public:
    static T* Current() { return s_current; }

protected:
    HookRecorder() { s_current = static_cast<T*>(this); }
    ~HookRecorder()
    {
        for (HHOOK h : m_hooks)
            UnhookWindowsHookEx(h);
        s_current = nullptr;
    }
    HookRecorder(const HookRecorder&) = delete;
    HookRecorder& operator=(const HookRecorder&) = delete;
    void Hook(int idHook, HOOKPROC proc)
    {
        m_hooks.push_back(SetWindowsHookExA(idHook, proc, nullptr, GetCurrentThreadId()));
    }

private:
    static T* s_current;
    std::vector<HHOOK> m_hooks;
};
template <class T> T* HookRecorder<T>::s_current = nullptr;

}  // namespace tst
