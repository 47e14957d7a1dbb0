#include "Waits.h"

#include "gtest/gtest.h"

namespace tst {

namespace {
void DispatchAll()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
}  // namespace

bool WaitFor(const char* what, const std::function<bool()>& done, DWORD limitMs, bool pump)
{
    for (DWORD start = GetTickCount();;) {
        if (pump)
            DispatchAll();
        if (done())
            return true;
        if (GetTickCount() - start >= limitMs) {
            ADD_FAILURE() << "timed out after " << limitMs << " ms waiting for " << what;
            return false;
        }
        if (pump)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        else
            Sleep(10);
    }
}

bool WaitForQuit()
{
    return WaitFor("WM_QUIT", [] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return true;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return false;
    }, 30000, false);
}

BackgroundPoll::BackgroundPoll(std::function<bool()> step) : m_step(std::move(step))
{
    m_hThread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DWORD WINAPI BackgroundPoll::Run(void* self)
{
    auto* p = static_cast<BackgroundPoll*>(self);
    while (!InterlockedCompareExchange(&p->m_stop, 0, 0) && p->m_step())
        Sleep(1);
    return 0;
}

void BackgroundPoll::Stop()
{
    if (!m_hThread)
        return;
    InterlockedExchange(&m_stop, 1);
    // A step stuck for a minute will not come back: better a leak than a hang.
    if (WaitForSingleObject(m_hThread, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the polling thread did not end";
        TerminateThread(m_hThread, 1);
    }
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

}  // namespace tst
