#include "ExtractCabinet.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <winternl.h>

#include "CabinetReader.h"
#include "Handle.h"
#include "UpdateProgressDlg.h"
#include "res/resource.h"

char g_szTargetFolder[260];
CUpdateProgressDlg* g_pProgressDlg = nullptr;

namespace {
// Open flags and permission mode as the C runtime spells them.
const int kPackageOpenFlags = _O_BINARY | _O_SEQUENTIAL | _O_RDONLY;  // 0x8020
const unsigned short kAttribUtf8Name = 0x80;
const DWORD kRestoredAttributes = 0x27;  // read-only, hidden, system, archive
const size_t kMaxDestinationPath = 255;
const size_t kMaxTargetFolder = 259;
// A longer path cannot be opened through the ANSI file functions.
const int kMaxOpenablePath = MAX_PATH - 1;

void* CabAlloc(unsigned cb) { return malloc(cb); }
void CabFree(void* pv) { free(pv); }
intptr_t CabOpen(const char* pszFile, int oflag, int pmode) { return _open(pszFile, oflag, pmode); }
unsigned CabRead(intptr_t hf, void* pv, unsigned cb) { return unsigned(_read(int(hf), pv, cb)); }
// Between the blocks of a large file the window goes on showing the work.
unsigned CabWrite(intptr_t hf, const void* pv, unsigned cb)
{
    unsigned cbWritten = unsigned(_write(int(hf), pv, cb));
    if (g_pProgressDlg)
        g_pProgressDlg->KeepShowing();
    return cbWritten;
}
int CabClose(intptr_t hf) { return _close(int(hf)); }
long CabSeek(intptr_t hf, long dist, int seektype) { return _lseek(int(hf), dist, seektype); }

const cab::Hooks kHooks = {CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek};

// The file being written. A destination that does not exist yet is created
// in place, exclusively, so nothing already there is touched, and marked for
// deletion until it is complete: a run ended in the middle of it (a logoff,
// the task manager) leaves no truncated file under its name, and a complete
// one costs no rename. An existing destination gets a temporary file beside
// it, which replaces it only once complete. Either way a failed extraction
// removes what it wrote, so it never leaves a half-written program file.
struct PendingFile {
    char szDestination[MAX_PATH];
    char szTemporary[MAX_PATH + 16];
    bool bOpen;
    bool bInPlace;
    bool bMarked;  // for deletion, until complete
};
PendingFile g_pending;

// An entry of the cabinet was left unwritten: its data begins in an earlier
// cabinet of a set, which a package never comes with. The extraction goes on
// with the other entries but cannot report success.
bool g_bEntrySkipped;

// The stored name as a path of this code page: names flagged UTF-8 are
// converted, and a name that cannot be written exactly is refused.
bool ToAnsiName(const char* pszStored, unsigned short attribs, char* pszOut, int cchOut)
{
    if (!(attribs & kAttribUtf8Name))
        return lstrlenA(pszStored) < cchOut && lstrcpynA(pszOut, pszStored, cchOut);
    WCHAR wsz[MAX_PATH];
    if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pszStored, -1, wsz, MAX_PATH))
        return false;
    BOOL bLossy = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wsz, -1, pszOut, cchOut, nullptr, &bLossy) && !bLossy;
}

// Stored names are relative paths under the target folder: no drive, no
// stream, no root, and no component made only of dots and blanks (Windows
// strips trailing dots and blanks, so ".. " is a parent step, and "..." is
// read as one by some path parsers). Walked by character, since a
// double-byte character's second byte may equal the separator.
bool IsSafeRelativeName(const char* pszName)
{
    if (*pszName == '\\' || *pszName == '/')
        return false;
    bool bOnlyDotsAndBlanks = true;
    for (const char* p = pszName;; ++p) {
        if (*p && IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            ++p;
            bOnlyDotsAndBlanks = false;
            continue;
        }
        if (*p == ':')
            return false;
        if (*p == '\\' || *p == '/' || !*p) {
            if (bOnlyDotsAndBlanks)
                return false;
            if (!*p)
                return true;
            bOnlyDotsAndBlanks = true;
        } else if (*p != '.' && *p != ' ') {
            bOnlyDotsAndBlanks = false;
        }
    }
}

// The second line of defence: whatever the system makes of the joined path
// must still lie inside the target folder.
bool StaysInsideTarget(const char* pszDestination)
{
    char szFolder[MAX_PATH], szFull[MAX_PATH];
    DWORD cchFolder = GetFullPathNameA(g_szTargetFolder, MAX_PATH, szFolder, nullptr);
    DWORD cchFull = GetFullPathNameA(pszDestination, MAX_PATH, szFull, nullptr);
    if (!cchFolder || cchFolder >= MAX_PATH || !cchFull || cchFull >= MAX_PATH || cchFull <= cchFolder)
        return false;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, szFull, int(cchFolder), szFolder,
                          int(cchFolder)) == CSTR_EQUAL;
}

// A temporary file's name: in the destination's own folder, so that a
// rename never crosses volumes, and numbered through the whole run, so that
// no two files of one folder (several packages may go into one) ever share
// one: "~vu<process>-<n>.tmp" for a new file or an old one put aside, and
// ".new" for a new file kept for the next restart. Another run of the same
// process number may have left one of these; a name is only ever taken
// exclusively, so then the next number is tried. False when that path would
// be too long to open.
const char kTemporaryPattern[] = "~vu*.tmp";
unsigned g_nLastTemporary;
bool MakeTemporaryName(const char* pszDestination, char* pszTemporary, const char* pszEnd)
{
    lstrcpyA(pszTemporary, pszDestination);
    char* pCut = pszTemporary;
    for (char* p = pszTemporary; *p; p = CharNextA(p))
        if (*p == '\\' || *p == '/')
            pCut = p + 1;
    wsprintfA(pCut, "~vu%lx-%x%s", GetCurrentProcessId() & 0xFFFFFF, ++g_nLastTemporary, pszEnd);
    return lstrlenA(pszTemporary) <= kMaxOpenablePath;
}
const int kNameTries = 16;
// fnTake takes the name it is given (creates or renames to it) or fails
// with the system's error; a name already there is passed over.
template <class Take> bool TakeTemporaryName(const char* pszFor, char* pszName, const char* pszEnd, Take fnTake)
{
    for (int i = 0; i < kNameTries && MakeTemporaryName(pszFor, pszName, pszEnd); ++i) {
        if (fnTake(pszName))
            return true;
        DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

// The disposition is set through the native call, which every Windows has;
// SetFileInformationByHandle came only with Vista.
bool SetDeleteDisposition(HANDLE hFile, bool bDelete)
{
    typedef LONG(NTAPI * SetInformationFn)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);
    static const SetInformationFn pfnSet = reinterpret_cast<SetInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
    IO_STATUS_BLOCK io;
    BOOLEAN bDisposition = bDelete;
    return pfnSet && pfnSet(hFile, &io, &bDisposition, sizeof(bDisposition), FileDispositionInformation) >= 0;
}

// A file of that name that does not exist yet, as a runtime handle with the
// sharing the runtime's own open gives. Asked to, it is marked for deletion
// until it is complete, and says whether that took (a file system that
// refuses gets the file written as before). -1, with the system's error,
// when the name is taken.
intptr_t CreateDestination(const char* pszPath, bool* pbMarked)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE | (pbMarked ? DELETE : 0), FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return -1;
    if (pbMarked)
        *pbMarked = SetDeleteDisposition(hFile, true);
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), _O_BINARY);
    if (fd == -1) {
        CloseHandle(hFile);
        DeleteFileA(pszPath);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return fd;
}

// Names that the moves pending for the next restart still hold (as source
// or destination, in a registry list of paths): a file kept for the
// restart, or one put aside to be deleted then, whatever its name.
bool IsNamedForRestart(const char* pszFileName)
{
    CRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                      key.Out()) != ERROR_SUCCESS)
        return false;
    bool bNamed = false;
    static const char* const kValues[] = {"PendingFileRenameOperations", "PendingFileRenameOperations2"};
    for (const char* pszValue : kValues) {
        DWORD cb = 0, dwType = REG_NONE;
        if (bNamed || RegQueryValueExA(key.Get(), pszValue, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS ||
            dwType != REG_MULTI_SZ)
            continue;
        char* pList = static_cast<char*>(CabAlloc(cb + 2));
        if (pList &&
            RegQueryValueExA(key.Get(), pszValue, nullptr, nullptr, reinterpret_cast<BYTE*>(pList), &cb) == ERROR_SUCCESS) {
            pList[cb] = pList[cb + 1] = 0;
            // Empty strings (a deletion's destination) sit inside the list,
            // so its end is found by its length.
            for (const char* p = pList; p < pList + cb && !bNamed; p += lstrlenA(p) + 1) {
                const char* pszLast = p;
                for (const char* q = p; *q; q = CharNextA(q))
                    if (*q == '\\')
                        pszLast = q + 1;
                bNamed = *pszLast && lstrcmpiA(pszLast, pszFileName) == 0;
            }
        }
        CabFree(pList);
    }
    return bNamed;
}

// What a killed run left in the target folder: its temporary files, but
// none that a restart is still to move or delete.
void RemoveStaleTemporaries()
{
    char szPattern[MAX_PATH + 16];
    wsprintfA(szPattern, "%s%s", g_szTargetFolder, kTemporaryPattern);
    WIN32_FIND_DATAA fd;
    CFindHandle find(FindFirstFileA(szPattern, &fd));
    if (!find)
        return;
    do {
        char szPath[MAX_PATH + 16];
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            lstrlenA(g_szTargetFolder) + lstrlenA(fd.cFileName) <= kMaxOpenablePath &&
            !IsNamedForRestart(fd.cFileName)) {
            wsprintfA(szPath, "%s%s", g_szTargetFolder, fd.cFileName);
            SetFileAttributesA(szPath, FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(szPath);
        }
    } while (FindNextFileA(find.Get(), &fd));
}

void DiscardPendingFile()
{
    if (g_pending.bOpen)
        DeleteFileA(g_pending.bInPlace ? g_pending.szDestination : g_pending.szTemporary);
    g_pending.bOpen = false;
}

intptr_t OnCopyFile(const cab::Notification* pn)
{
    char szName[MAX_PATH];
    if (!ToAnsiName(pn->name, pn->attribs, szName, MAX_PATH) || !IsSafeRelativeName(szName))
        return -1;
    if (lstrlenA(g_szTargetFolder) + lstrlenA(szName) > int(kMaxDestinationPath))
        return -1;
    sprintf(g_pending.szDestination, "%s%s", g_szTargetFolder, szName);
    if (!StaysInsideTarget(g_pending.szDestination))
        return -1;

    CString strStatus;
    strStatus.Format(IDS_COPYING_FILE, szName);
    if (g_pProgressDlg)
        g_pProgressDlg->ShowStatusText(strStatus);

    intptr_t hf = CreateDestination(g_pending.szDestination, &g_pending.bMarked);
    g_pending.bInPlace = hf != -1;
    if (hf == -1) {
        // A folder (or a link) by that name is nothing to replace: the
        // extraction fails at once, and the folder keeps its attributes.
        DWORD dwExisting = GetFileAttributesA(g_pending.szDestination);
        if (dwExisting != INVALID_FILE_ATTRIBUTES &&
            (dwExisting & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            return -1;
        TakeTemporaryName(g_pending.szDestination, g_pending.szTemporary, ".tmp", [&](const char* pszName) {
            hf = CreateDestination(pszName, nullptr);
            return hf != -1;
        });
    }
    g_pending.bOpen = hf != -1;
    return hf;
}

// A rename that fails with one of these may only meet a file that someone
// holds open: a program still closing, or a virus scanner that looks at every
// file just closed and lets go moments later.
bool IsInUse(DWORD dwError) { return dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_ACCESS_DENIED; }
// Tried again after 50, 100, 200, 400, 800 and 1000 ms: 2.55 s in all.
const DWORD kFirstRetryDelay = 50;  // milliseconds
const DWORD kLongestRetryDelay = 1000;
const DWORD kRetryTime = 2550;
const DWORD kCopyBuffer = 64 * 1024;

// ERROR_SUCCESS, or why the rename failed.
DWORD MoveOverDestination()
{
    if (MoveFileExA(g_pending.szTemporary, g_pending.szDestination, MOVEFILE_REPLACE_EXISTING))
        return ERROR_SUCCESS;
    DWORD dwError = GetLastError();
    return dwError != ERROR_SUCCESS ? dwError : ERROR_GEN_FAILURE;
}

// Creation and last-write time of the file now under the destination name.
// Attribute access is not subject to sharing, so this works on a file that
// someone has opened in the meantime.
void StampByName(const FILETIME* pftStamp)
{
    CFileHandle file(CreateFileA(g_pending.szDestination, FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file)
        SetFileTime(file.Get(), pftStamp, nullptr, pftStamp);
}

enum class Overwrite { Done, Untouched, Damaged };

// The destination is held open by another program, which keeps it from
// being replaced by name. If that program shares writing (as the C runtime
// opens files), the complete file's bytes go over the old ones in place, as
// a plain overwrite of the destination would have done, with the sharing
// such an open uses. Should this copy fail part-way, the complete new file
// takes the destination's place at the next restart.
Overwrite OverwriteDestination(const FILETIME* pftStamp)
{
    CFileHandle in(CreateFileA(g_pending.szTemporary, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in)
        return Overwrite::Untouched;
    void* pBuffer = CabAlloc(kCopyBuffer);
    CFileHandle out(pBuffer ? CreateFileA(g_pending.szDestination, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
                            : INVALID_HANDLE_VALUE);
    Overwrite result = Overwrite::Untouched;
    if (out) {
        bool bOk = true;
        for (DWORD cbRead, cbWritten; bOk;) {
            bOk = ReadFile(in.Get(), pBuffer, kCopyBuffer, &cbRead, nullptr);
            if (!bOk || !cbRead)
                break;
            bOk = WriteFile(out.Get(), pBuffer, cbRead, &cbWritten, nullptr) && cbWritten == cbRead;
        }
        bOk = bOk && SetEndOfFile(out.Get());
        if (bOk && pftStamp)
            SetFileTime(out.Get(), pftStamp, nullptr, pftStamp);
        // The last of the data may be written only as the handle closes.
        bOk = CloseHandle(out.Detach()) && bOk;
        result = bOk ? Overwrite::Done : Overwrite::Damaged;
    }
    CabFree(pBuffer);
    in.Reset();
    if (result == Overwrite::Done) {
        DeleteFileA(g_pending.szTemporary);
    } else if (result == Overwrite::Damaged) {
        // Part of the old file is gone: the complete new one is kept, to
        // take the destination's place at the next restart.
        char szKept[MAX_PATH + 16];
        const char* pszKept = g_pending.szTemporary;
        if (TakeTemporaryName(g_pending.szDestination, szKept, ".new",
                              [](const char* pszName) { return MoveFileExA(g_pending.szTemporary, pszName, 0); }))
            pszKept = szKept;
        MoveFileExA(pszKept, g_pending.szDestination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
        g_pending.bOpen = false;
    }
    return result;
}

// The destination is renamed aside, which its holder allows if it shares
// deleting (and a running program's image allows), and the complete file
// takes its name; the old one goes at once, or at the next restart while
// it is still held. False, with the destination where it was, if either
// rename is refused.
bool ReplaceAside(const FILETIME* pftStamp)
{
    char szAside[MAX_PATH + 16];
    if (!TakeTemporaryName(g_pending.szDestination, szAside, ".tmp",
                           [](const char* pszName) { return MoveFileExA(g_pending.szDestination, pszName, 0); }))
        return false;
    if (!MoveFileExA(g_pending.szTemporary, g_pending.szDestination, 0)) {
        MoveFileExA(szAside, g_pending.szDestination, 0);
        return false;
    }
    if (pftStamp)
        StampByName(pftStamp);
    SetFileAttributesA(szAside, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(szAside))
        MoveFileExA(szAside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return true;
}

// The complete file takes the destination's place, and then gets its time
// stamp by that name: NTFS gives a file that takes a name removed moments
// before the removed file's creation time (name tunnelling). A read-only
// destination cannot be replaced, so then its attributes are reset and the
// replacement tried again. One held open elsewhere (or pending deletion,
// whose attributes cannot be read) is tried again for a few seconds, each
// time a little later, then renamed aside, and only if that is refused
// overwritten in place if its holder shares writing. The attributes are put
// back wherever the destination was not replaced.
bool ReplaceDestination(const FILETIME* pftStamp)
{
    DWORD dwError = MoveOverDestination();
    DWORD dwOld = INVALID_FILE_ATTRIBUTES;
    if (dwError != ERROR_SUCCESS) {
        dwOld = GetFileAttributesA(g_pending.szDestination);
        if (dwOld == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_ACCESS_DENIED)
            return false;
        if (dwOld != INVALID_FILE_ATTRIBUTES && (dwOld & FILE_ATTRIBUTE_READONLY)) {
            SetFileAttributesA(g_pending.szDestination, FILE_ATTRIBUTE_ARCHIVE);
            dwError = MoveOverDestination();
        }
    }
    for (DWORD dwDelay = kFirstRetryDelay, dwWaited = 0; dwWaited < kRetryTime && IsInUse(dwError);
         dwWaited += dwDelay, dwDelay = dwDelay * 2 < kLongestRetryDelay ? dwDelay * 2 : kLongestRetryDelay) {
        CUpdateProgressDlg::WaitAnswering(nullptr, dwDelay);
        dwError = MoveOverDestination();
    }
    if (dwError == ERROR_SUCCESS) {
        if (pftStamp)
            StampByName(pftStamp);
        return true;
    }
    bool bReplaced = IsInUse(dwError) && (ReplaceAside(pftStamp) || OverwriteDestination(pftStamp) == Overwrite::Done);
    if (!bReplaced && dwOld != INVALID_FILE_ATTRIBUTES && (dwOld & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(g_pending.szDestination, dwOld);
    return bReplaced;
}

// The stored attributes, set only where the new file does not carry them
// already (a new file is usually archive and nothing else).
void RestoreAttributes(unsigned short attribs)
{
    DWORD dwWanted = attribs & kRestoredAttributes;
    if (GetFileAttributesA(g_pending.szDestination) != (dwWanted ? dwWanted : FILE_ATTRIBUTE_NORMAL))
        SetFileAttributesA(g_pending.szDestination, dwWanted);
}

intptr_t OnFileComplete(const cab::Notification* pn)
{
    FILETIME ftLocal, ftUtc;
    const FILETIME* pftStamp = nullptr;
    if (DosDateTimeToFileTime(pn->date, pn->time, &ftLocal) && LocalFileTimeToFileTime(&ftLocal, &ftUtc))
        pftStamp = &ftUtc;
    // A file created in place is kept, and stamped through the handle still
    // open for writing, with no second open; a replacement only once it has
    // its name.
    bool bKept = true;
    if (g_pending.bInPlace) {
        HANDLE hFile = reinterpret_cast<HANDLE>(_get_osfhandle(int(pn->handle)));
        bKept = !g_pending.bMarked || SetDeleteDisposition(hFile, false);
        if (bKept && pftStamp)
            SetFileTime(hFile, pftStamp, nullptr, pftStamp);
    }
    if (CabClose(pn->handle) != 0 || !bKept || (!g_pending.bInPlace && !ReplaceDestination(pftStamp))) {
        DiscardPendingFile();
        return -1;
    }
    g_pending.bOpen = false;
    RestoreAttributes(pn->attribs);
    if (g_pProgressDlg)
        g_pProgressDlg->StepBar();
    return 1;
}

intptr_t CabinetNotify(cab::Event event, cab::Notification* pn, void*)
{
    switch (event) {
    case cab::Event::CabinetInfo:
        if (g_pProgressDlg) {
            g_pProgressDlg->SetBarRange(0, 100);
            g_pProgressDlg->SetBarPos(0);
        }
        return 0;
    case cab::Event::FileCount:
        if (pn->filesRemaining != 0 && g_pProgressDlg) {
            g_pProgressDlg->SetBarRange(0, pn->filesRemaining);
            g_pProgressDlg->SetBarStep(1);
            g_pProgressDlg->SetBarPos(0);
        }
        return 0;
    case cab::Event::CopyFile:
        return OnCopyFile(pn);
    case cab::Event::FileComplete:
        return OnFileComplete(pn);
    case cab::Event::ContinuedFile:
        g_bEntrySkipped = true;
        return 0;
    case cab::Event::NextCabinet:
    default:
        return 0;
    }
}
typedef CHandle<HandleTraits<cab::Reader*, NoneIsNull<cab::Reader*>, &cab::Reader::Destroy>> CReaderHandle;
}  // namespace

BOOL ExtractCabinet(LPCSTR cabinetPath, LPCSTR targetFolder)
{
    // A package path that fits MAX_PATH also bounds every part _splitpath
    // writes (it does not check its buffers) and the joined folder and name.
    if (lstrlenA(targetFolder) > int(kMaxTargetFolder) || lstrlenA(cabinetPath) > kMaxOpenablePath)
        return FALSE;
    lstrcpyA(g_szTargetFolder, targetFolder);

    CReaderHandle reader(cab::Reader::Create(kHooks));
    if (!reader)
        return FALSE;

    intptr_t hf = CabOpen(cabinetPath, kPackageOpenFlags, 0);
    if (hf == -1)
        return FALSE;
    BOOL bIsCabinet = reader->IsCabinet(hf);
    _close(int(hf));
    if (!bIsCabinet)
        return FALSE;

    char szDrive[MAX_PATH], szDir[MAX_PATH], szBase[MAX_PATH], szExt[MAX_PATH];
    _splitpath(cabinetPath, szDrive, szDir, szBase, szExt);
    char szCabFolder[MAX_PATH], szCabName[MAX_PATH];
    lstrcpyA(szCabFolder, szDrive);
    lstrcatA(szCabFolder, szDir);
    lstrcpyA(szCabName, szBase);
    lstrcatA(szCabName, szExt);

    RemoveStaleTemporaries();
    g_pending.bOpen = false;
    g_bEntrySkipped = false;
    BOOL bOk = reader->Copy(szCabName, szCabFolder, CabinetNotify, nullptr);
    // The reader has closed a handle it was writing when it failed; the
    // unfinished file goes, and the previous version stays.
    DiscardPendingFile();
    return bOk && !g_bEntrySkipped;
}
