#include "Recorders.h"

#include <gtest/gtest.h>

namespace tst {

namespace {
thread_local MsgRecorder* t_watching = nullptr;

std::string HowName(int how)
{
    std::string s;
    for (auto [bit, name] : {std::pair<int, const char*>{kSent, "sent"}, {kReturned, "returned"}, {kPosted, "posted"}})
        if (how & bit)
            s += std::string(s.empty() ? "" : "|") + name;
    return s.empty() ? "any" : s;
}
}  // namespace

bool MsgStep::operator==(const MsgStep& o) const
{
    return message == o.message && where == o.where && what == o.what && (!how || !o.how || how == o.how);
}

std::ostream& operator<<(std::ostream& os, const MsgStep& s)
{
    os << "{0x" << std::hex << s.message << std::dec << " " << s.where;
    if (!s.what.empty())
        os << " '" << s.what << "'";
    return os << " " << HowName(s.how) << "}";
}

// The first recorder on a thread hooks the three ways for all that follow
// it there; each takes the ways it was asked for.
MsgRecorder::MsgRecorder(Picker pick, int hows) : m_pick(std::move(pick)), m_hows(hows), m_pOuter(t_watching)
{
    t_watching = this;
    if (!m_pOuter)
        for (auto [idHook, proc] :
             {std::pair<int, HOOKPROC>{WH_CALLWNDPROC, Sent}, {WH_CALLWNDPROCRET, Returned}, {WH_GETMESSAGE, Posted}})
            m_hooks.push_back(SetWindowsHookExA(idHook, proc, nullptr, GetCurrentThreadId()));
}

MsgRecorder::~MsgRecorder()
{
    for (HHOOK h : m_hooks)
        UnhookWindowsHookEx(h);
    if (m_pick)
        t_watching = m_pOuter;
}

void MsgRecorder::Add(UINT message, const std::string& where, const std::string& what, int how)
{
    m_steps.push_back({message, where, what, how});
}

// Each recorder alive on the thread is offered the step, the latest first.
void MsgRecorder::Offer(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, int how)
{
    MsgStep step{message, "", "", how};
    if ((m_hows & how) && m_pick(hWnd, message, wParam, lParam, step))
        m_steps.push_back(step);
    if (m_pOuter)
        m_pOuter->Offer(hWnd, message, wParam, lParam, how);
}

LRESULT CALLBACK MsgRecorder::Sent(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* p = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && t_watching)
        t_watching->Offer(p->hwnd, p->message, p->wParam, p->lParam, kSent);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MsgRecorder::Returned(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* p = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && t_watching)
        t_watching->Offer(p->hwnd, p->message, p->wParam, p->lParam, kReturned);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MsgRecorder::Posted(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* p = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && t_watching)
        t_watching->Offer(p->hwnd, p->message, p->wParam, p->lParam, kPosted);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<MsgStep> MsgRecorder::Only(std::initializer_list<UINT> filter) const
{
    std::vector<MsgStep> out;
    for (const MsgStep& s : m_steps)
        for (UINT m : filter)
            if (s.message == m)
                out.push_back(s);
    return out;
}

std::vector<std::string> MsgRecorder::What(UINT message, const std::string& where) const
{
    std::vector<std::string> out;
    for (const MsgStep& s : m_steps)
        if (s.message == message && s.where == where)
            out.push_back(s.what);
    return out;
}

::testing::AssertionResult SequenceIs(const std::vector<MsgStep>& seen, const std::vector<MsgStep>& expected)
{
    for (size_t i = 0; i < seen.size() || i < expected.size(); ++i) {
        if (i < seen.size() && i < expected.size() && seen[i] == expected[i])
            continue;
        ::testing::AssertionResult r = ::testing::AssertionFailure();
        r << "step " << i << ": expected ";
        if (i < expected.size())
            r << expected[i];
        else
            r << "no more";
        r << ", seen ";
        if (i < seen.size())
            r << seen[i];
        else
            r << "no more";
        return r << " (" << seen.size() << " steps seen, " << expected.size() << " expected)";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace tst
