// Running a program to its end while its message boxes are read and
// answered.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tst {

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

}  // namespace tst
