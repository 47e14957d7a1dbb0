// Appends one event line to C:\testbed\events.log (see EventLog.h).
#include "EventLog.h"

#include <windows.h>

#include <string>

namespace {

const char kLogDir[] = "C:\\testbed";
const char kLogFile[] = "C:\\testbed\\events.log";

// Every writer (these stand-ins and the driver) holds an exclusive lock on
// this byte, far past any real end of file, while it appends. Wine turns an
// append into "fstat, then pwrite at that size", so without the lock two
// processes writing at once overwrite each other's line.
const DWORD kLockOffset = 0x7FFFFFF0;

HANDLE OpenForAppend()
{
    CreateDirectoryA(kLogDir, nullptr);
    // Read access only so the handle may hold a byte-range lock; with
    // FILE_APPEND_DATA and no FILE_WRITE_DATA every write goes to the end.
    return CreateFileA(kLogFile, FILE_APPEND_DATA | FILE_READ_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void TbLogEvent(const char* source, const char* event, const char* details)
{
    std::string line = std::string(source) + " " + event;
    if (details && *details)
        line += std::string(" ") + details;
    line += "\r\n";

    // A test may hold the file without write sharing, or have just deleted
    // it while another writer still had it open (delete pending: access
    // denied); wait that out briefly rather than lose the event.
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100; ++attempt) {
        h = OpenForAppend();
        DWORD err = GetLastError();
        if (h != INVALID_HANDLE_VALUE ||
            (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED))
            break;
        Sleep(10);
    }
    if (h == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED at = {};
    at.Offset = kLockOffset;
    BOOL locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
    DWORD written = 0;
    WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (locked)
        UnlockFileEx(h, 0, 1, 0, &at);
    CloseHandle(h);
}
