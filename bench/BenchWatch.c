/* Runs one program of the whole-run bench and answers its message boxes,
 * the same way for every contender: it starts the program and waits for it
 * to end; when a dialog of the program's with an OK button takes the focus
 * (a box showing) it presses OK. It learns of the focus through a window
 * event hook, so it costs the program and the shared Wine server nothing
 * while it waits (a watcher polling every millisecond made the updater's
 * extraction, with its window, 15% slower); every 50 ms it also looks at
 * all top-level dialogs, in case an event was missed.
 * usage: bench_watch "COMMAND LINE"
 *        bench_watch --hold
 * Prints, in microseconds from just before CreateProcess: when the last box
 * took the focus, when the program had ended; then the number of boxes, the
 * exit code and the start on the QueryPerformanceCounter clock in
 * microseconds. Exit 0 when the program ran to its end, 1 when it had to
 * be stopped (120 s), 2 on a usage or start failure.
 *
 * --hold keeps the desktop up until it is killed. Wine closes the desktop
 * (and its explorer.exe) a second after the last program using it has
 * ended, and starts it again for the next one: several thousand server
 * requests that a user, whose desktop is always up, never waits for. The
 * bench runs one holder for its whole run. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static LARGE_INTEGER freq, t0;
static long long elapsed_us(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (t.QuadPart - t0.QuadPart) * 1000000 / freq.QuadPart;
}

/* Windows of the program's seen so far that are not boxes (its progress
 * window), and the boxes already answered; a box that took the focus
 * before it was visible. */
static HWND seen[64];
static int nseen, boxes;
static long long box_us = -1;
static DWORD program;
static HWND pending;

static void consider(HWND h)
{
    DWORD pid = 0;
    char cls[16] = "";
    for (int i = 0; i < nseen; ++i)
        if (seen[i] == h)
            return;
    if (!h || !GetWindowThreadProcessId(h, &pid) || pid != program)
        return;
    GetClassNameA(h, cls, sizeof cls);
    HWND ok = strcmp(cls, "#32770") == 0 ? GetDlgItem(h, IDOK) : NULL;
    if (!IsWindowVisible(h)) {
        if (ok)
            pending = h;
        return;
    }
    if (ok) {
        box_us = elapsed_us();
        ++boxes;
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)ok);
    }
    if (pending == h)
        pending = NULL;
    if (nseen < 64)
        seen[nseen++] = h;
}

static void CALLBACK on_focus(HWINEVENTHOOK hook, DWORD event, HWND h, LONG object, LONG child, DWORD thread,
                              DWORD time)
{
    (void)hook, (void)event, (void)object, (void)child, (void)thread, (void)time;
    consider(GetAncestor(h, GA_ROOT));
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--hold") == 0) {
        CreateWindowExA(0, "STATIC", "bench_watch --hold", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
        for (;;)
            Sleep(INFINITE);
    }
    if (argc != 2) {
        fprintf(stderr, "usage: bench_watch \"COMMAND LINE\" | --hold\n");
        return 2;
    }
    STARTUPINFOA si = {0};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessA(NULL, argv[1], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL, &si, &pi)) {
        fprintf(stderr, "bench_watch: cannot start %s (%lu)\n", argv[1], GetLastError());
        return 2;
    }
    program = pi.dwProcessId;
    SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, NULL, on_focus, program, 0, WINEVENT_OUTOFCONTEXT);
    ResumeThread(pi.hThread);
    for (;;) {
        DWORD wait = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, pending ? 1 : 50, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0)
            break;
        if (elapsed_us() > 120000000) {
            TerminateProcess(pi.hProcess, 255);
            WaitForSingleObject(pi.hProcess, 5000);
            fprintf(stderr, "bench_watch: stopped %s after 120 s\n", argv[1]);
            return 1;
        }
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);  /* the hook's calls come as messages */
        if (pending)
            consider(pending);
        if (wait == WAIT_TIMEOUT)
            for (HWND h = NULL; (h = FindWindowExA(NULL, h, "#32770", NULL)) != NULL;)
                consider(h);
    }
    long long exit_us = elapsed_us();
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    printf("%lld %lld %d %lu %lld\n", box_us, exit_us, boxes, code, t0.QuadPart * 1000000 / freq.QuadPart);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}
