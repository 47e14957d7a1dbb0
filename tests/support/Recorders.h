// What windows go through, recorded as Wine's own tests record it: message
// sequences, compared step by step with an expected table, and hook
// procedures that find the recorder alive on their thread.
#pragma once
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace tst {

// How a message came: sent (seen as the window is about to handle it, or
// once it has), or posted (as it is taken from the queue). An expected
// step with no `how` matches any.
enum MsgHow { kSent = 1, kReturned = 2, kPosted = 4 };

struct MsgStep {
    UINT message;
    std::string where;  // which handler ("def": the default procedure), or what the picker names
    std::string what;   // what the test compares of it (a text, a command); empty for nothing
    int how = 0;
    bool operator==(const MsgStep& o) const;
};
std::ostream& operator<<(std::ostream& os, const MsgStep& s);

class MsgRecorder {
public:
    // Given a step's message, fills in where and what, and says whether to
    // record it; it may also act (answer a box, move a clock).
    typedef std::function<bool(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, MsgStep& step)> Picker;

    // Steps are added by the code under test's handlers (Add).
    MsgRecorder() = default;
    // Also records, while it lives, the messages of this thread's windows
    // that come in the ways `hows` names and that `pick` takes.
    explicit MsgRecorder(Picker pick, int hows = kSent | kPosted);
    ~MsgRecorder();
    MsgRecorder(const MsgRecorder&) = delete;
    MsgRecorder& operator=(const MsgRecorder&) = delete;

    void Add(UINT message, const std::string& where, const std::string& what = "", int how = 0);
    void Clear() { m_steps.clear(); }
    const std::vector<MsgStep>& Steps() const { return m_steps; }
    // The steps for the messages in `filter` only, in order.
    std::vector<MsgStep> Only(std::initializer_list<UINT> filter) const;
    // What the steps of that message and place carried, in order.
    std::vector<std::string> What(UINT message, const std::string& where) const;

private:
    static LRESULT CALLBACK Sent(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK Returned(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK Posted(int code, WPARAM wParam, LPARAM lParam);
    void Offer(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, int how);

    std::vector<MsgStep> m_steps;
    Picker m_pick;
    int m_hows = 0;
    std::vector<HHOOK> m_hooks;
    MsgRecorder* m_pOuter = nullptr;  // the one watching before this one
};

// Passes when the sequences agree step by step; else fails naming the first
// step that differs, and what was seen and expected there.
::testing::AssertionResult SequenceIs(const std::vector<MsgStep>& seen, const std::vector<MsgStep>& expected);

// Hook procedures with state of their own reach the one recorder of their
// kind alive on the test's thread through Current(); it registers itself
// for its lifetime.
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
