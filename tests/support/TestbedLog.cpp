#include "TestbedLog.h"

#include "Files.h"

#include "Waits.h"

namespace tst {

namespace {
const char kEventLog[] = "C:\\testbed\\events.log";
}

std::vector<std::string> TestbedEvents()
{
    std::vector<std::string> lines;
    std::string text = ReadBytes(kEventLog);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

void ClearTestbedEvents()
{
    // A writer may still hold the file for a moment.
    WaitFor("the event log to be deleted", [] {
        DeleteFileA(kEventLog);
        return GetFileAttributesA(kEventLog) == INVALID_FILE_ATTRIBUTES;
    }, 30000, false);
}

}  // namespace tst
