// Waiting for a condition, for WM_QUIT, and polling on a thread of its own.
#pragma once
#include <windows.h>

#include <functional>

namespace tst {

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

}  // namespace tst
