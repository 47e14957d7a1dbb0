// Helpers for the extraction tests: a writer of small stored cabinets with
// whatever odd fields a case needs, folder snapshots, the test data made at
// build time, what a dialog is sent, and a hook on one system call of this
// program.
#pragma once
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ImportHook.h"
#include "Recorders.h"

namespace ext {

// A cabinet entry; stored names are raw bytes (CP932, or UTF-8 with 0x80).
struct Entry {
    std::string name;
    std::string data;
    unsigned short attribs = 0x20;
    unsigned short folder = 0;  // 0xFFFD, 0xFFFF: in the first folder, 0xFFFE: in the last
};
struct CabPlan {
    std::vector<Entry> entries;
    unsigned short flags = 0;  // 1: previous cabinet, 2: next cabinet (names are written)
    int corruptBlock = -1;     // this data block gets a wrong checksum, counted across folders
    int folders = -1;          // at least this many folder records; -1: one when there are entries
};
// Stored folders, as many as the entries' indices name, each cut into 32 KB
// blocks (checksum 0 = unchecked).
std::string StoredCabinet(const CabPlan& plan);

std::string TestData(const std::string& name);  // full path under bin\testdata
std::vector<std::string> CorpusNames();         // the libmspack corpus, file names

// Every file under a folder: relative path -> contents and attributes.
std::map<std::string, std::string> Snapshot(const std::string& folder);

// What a tst::MsgRecorder takes of one dialog: the texts set on its
// controls as they are sent (where: the control's id; a text set twice shows
// twice, one left alone not at all), and the commands it receives, sent or
// posted (where: "command", what: the id).
tst::MsgRecorder::Picker DialogTraffic(HWND hDlg);

using tst::ImportHook;

}  // namespace ext
