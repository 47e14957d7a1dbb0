#include "ExtractTestSupport.h"

#include "Files.h"
#include "Folders.h"

#include <algorithm>

namespace ext {
namespace {
void Put16(std::string& s, unsigned v) { s += char(v & 0xFF), s += char(v >> 8 & 0xFF); }
void Put32(std::string& s, unsigned v) { Put16(s, v & 0xFFFF), Put16(s, v >> 16); }
}  // namespace

std::string StoredCabinet(const CabPlan& plan)
{
    // Continuations from an earlier cabinet lie in the first folder, those
    // into the next one in the last.
    unsigned nFolders = plan.folders >= 0 ? unsigned(plan.folders) : plan.entries.empty() ? 0 : 1;
    for (const Entry& e : plan.entries)
        if (e.folder < 0xFFFD)
            nFolders = std::max(nFolders, unsigned(e.folder) + 1);
    auto folderOf = [&](unsigned short f) { return f == 0xFFFE ? nFolders - 1 : f > 0xFFFE || f == 0xFFFD ? 0 : f; };
    std::string strings, files, blocks;
    if (plan.flags & 1)
        strings += std::string("prev.cab\0disk 0\0", 16);
    if (plan.flags & 2)
        strings += std::string("next.cab\0disk 2\0", 16);
    std::vector<std::string> data(nFolders);
    for (const Entry& e : plan.entries) {
        std::string& d = data[folderOf(e.folder)];
        Put32(files, unsigned(e.data.size()));
        Put32(files, unsigned(d.size()));
        Put16(files, e.folder);
        Put16(files, 0x5264);  // 2021-03-04
        Put16(files, 0x28c4);  // 05:06:08
        Put16(files, e.attribs);
        files += e.name + '\0';
        d += e.data;
    }
    unsigned offFolders = 36 + unsigned(strings.size());
    unsigned offFiles = offFolders + 8 * nFolders;
    unsigned offData = offFiles + unsigned(files.size());
    std::string folders;
    int nBlock = 0;
    for (const std::string& d : data) {
        Put32(folders, offData + unsigned(blocks.size()));
        unsigned nBlocks = 0;
        for (size_t at = 0; at < d.size(); at += 32768, ++nBlocks, ++nBlock) {
            std::string chunk = d.substr(at, 32768);
            Put32(blocks, nBlock == plan.corruptBlock ? 0x12345678u : 0);
            Put16(blocks, unsigned(chunk.size()));
            Put16(blocks, unsigned(chunk.size()));
            blocks += chunk;
        }
        Put16(folders, nBlocks);
        Put16(folders, 0);
    }
    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, offData + unsigned(blocks.size()));
    Put32(cab, 0);
    Put32(cab, offFiles);
    Put32(cab, 0);
    cab += "\x03\x01";
    Put16(cab, nFolders);
    Put16(cab, unsigned(plan.entries.size()));
    Put16(cab, plan.flags);
    Put16(cab, 0x1234);
    Put16(cab, (plan.flags & 1) ? 1 : 0);
    return cab + strings + folders + files + blocks;
}

std::string TestData(const std::string& name) { return tst::ExeFolder() + "testdata\\" + name; }

std::vector<std::string> CorpusNames()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(TestData("corpus\\*.cab").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            names.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> out;
    for (const std::string& name : tst::FileNames(folder))
        out[name] = tst::ReadBytes(folder + name) + "|attr " +
                    std::to_string(GetFileAttributesA((folder + name).c_str()));
    return out;
}

tst::MsgRecorder::Picker DialogTraffic(HWND hDlg)
{
    return [hDlg](HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, tst::MsgStep& step) {
        if (message == WM_SETTEXT && step.how == tst::kSent && GetParent(hWnd) == hDlg) {
            step.where = std::to_string(GetDlgCtrlID(hWnd));
            step.what = reinterpret_cast<const char*>(lParam);
            return true;
        }
        if (message == WM_COMMAND && hWnd == hDlg) {
            step.where = "command";
            step.what = std::to_string(LOWORD(wParam));
            return true;
        }
        return false;
    };
}

}  // namespace ext
