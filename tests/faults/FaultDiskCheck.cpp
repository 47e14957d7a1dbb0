// Extraction when the target's file system refuses to take the data:
//   fault_disk_check <target folder> <cabinet> <file> <previous contents>
// The extraction must fail and leave <file> with its previous contents and
// no temporary file beside it. Prints the closing line "N passed, M failed".
#include <stdio.h>

#include <string>

#include "ExtractCabinet.h"
#include "Files.h"
#include "WinApp.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: fault_disk_check <target folder> <cabinet> <file> <previous contents>\n");
        return 2;
    }
    AfxWinInit(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_HIDE);
    std::string folder = argv[1], file = folder + argv[3];
    int passed = 0, failed = 0;
    auto check = [&](bool ok, const char* what) {
        printf("%s: %s\n", ok ? "ok" : "FAILED", what);
        ok ? ++passed : ++failed;
    };
    check(!ExtractCabinet(argv[2], folder.c_str()), "the extraction reports failure");
    check(tst::ReadBytes(file) == argv[4], "the previous file is intact");
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "*.tmp").c_str(), &fd);
    check(h == INVALID_HANDLE_VALUE, "no temporary file is left");
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
