#include "ExtractCabinet.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "CabinetReader.h"
#include "UpdateProgressDlg.h"
#include "res/resource.h"

char g_szTargetFolder[260];
CUpdateProgressDlg* g_pProgressDlg = nullptr;

namespace {
// Open flags and permission mode as the C runtime spells them.
const int kPackageOpenFlags = _O_BINARY | _O_SEQUENTIAL | _O_RDONLY;  // 0x8020
const int kOutputOpenFlags = _O_BINARY | _O_CREAT | _O_SEQUENTIAL | _O_WRONLY | _O_TRUNC;
const int kOutputMode = _S_IREAD | _S_IWRITE;  // 0x0180
const unsigned short kAttribUtf8Name = 0x80;
const DWORD kRestoredAttributes = 0x27;  // read-only, hidden, system, archive
const size_t kMaxDestinationPath = 255;
const size_t kMaxFolderOrName = 259;

void* CabAlloc(unsigned cb) { return malloc(cb); }
void CabFree(void* pv) { free(pv); }
intptr_t CabOpen(const char* pszFile, int oflag, int pmode) { return _open(pszFile, oflag, pmode); }
unsigned CabRead(intptr_t hf, void* pv, unsigned cb) { return unsigned(_read(int(hf), pv, cb)); }
unsigned CabWrite(intptr_t hf, const void* pv, unsigned cb) { return unsigned(_write(int(hf), pv, cb)); }
int CabClose(intptr_t hf) { return _close(int(hf)); }
long CabSeek(intptr_t hf, long dist, int seektype) { return _lseek(int(hf), dist, seektype); }

const cab::Hooks kHooks = {CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek};

// The file being written: the data goes to a temporary file beside the
// destination, which replaces the destination only once it is complete, so
// a failed extraction never leaves a half-written program file behind.
struct PendingFile {
    char szDestination[MAX_PATH];
    char szTemporary[MAX_PATH];
    bool bOpen;
};
PendingFile g_pending;

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
// stream, no root, no parent step. Walked by character, since a
// double-byte character's second byte may equal the separator.
bool IsSafeRelativeName(const char* pszName)
{
    if (!*pszName || *pszName == '\\' || *pszName == '/')
        return false;
    const char* pComponent = pszName;
    for (const char* p = pszName;; ++p) {
        if (*p && IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            ++p;
            continue;
        }
        if (*p == ':')
            return false;
        if (*p == '\\' || *p == '/' || !*p) {
            if (p - pComponent == 2 && pComponent[0] == '.' && pComponent[1] == '.')
                return false;
            if (!*p)
                return true;
            pComponent = p + 1;
        }
    }
}

// The temporary file's name: in the destination's own folder, so that the
// final rename never crosses volumes.
void MakeTemporaryName(const char* pszDestination, char* pszTemporary)
{
    lstrcpyA(pszTemporary, pszDestination);
    char* pCut = pszTemporary;
    for (char* p = pszTemporary; *p; p = CharNextA(p))
        if (*p == '\\' || *p == '/')
            pCut = p + 1;
    wsprintfA(pCut, "~vu%lx.tmp", GetCurrentProcessId());
}

void DiscardPendingFile()
{
    if (g_pending.bOpen)
        DeleteFileA(g_pending.szTemporary);
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

    CString strStatus;
    strStatus.Format(IDS_COPYING_FILE, szName);
    if (g_pProgressDlg)
        g_pProgressDlg->ShowStatusText(strStatus);

    // A read-only, hidden or system file must become replaceable.
    SetFileAttributesA(g_pending.szDestination, FILE_ATTRIBUTE_ARCHIVE);

    MakeTemporaryName(g_pending.szDestination, g_pending.szTemporary);
    intptr_t hf = CabOpen(g_pending.szTemporary, kOutputOpenFlags, kOutputMode);
    g_pending.bOpen = hf != -1;
    return hf;
}

intptr_t OnFileComplete(const cab::Notification* pn)
{
    // The stamp goes on through the handle still open for writing: the
    // rename below keeps it, and no second open of the file is needed.
    FILETIME ftLocal, ftUtc;
    HANDLE hFile = reinterpret_cast<HANDLE>(_get_osfhandle(int(pn->handle)));
    if (hFile != INVALID_HANDLE_VALUE && DosDateTimeToFileTime(pn->date, pn->time, &ftLocal) &&
        LocalFileTimeToFileTime(&ftLocal, &ftUtc))
        SetFileTime(hFile, &ftUtc, nullptr, &ftUtc);
    if (CabClose(pn->handle) != 0 ||
        !MoveFileExA(g_pending.szTemporary, g_pending.szDestination, MOVEFILE_REPLACE_EXISTING)) {
        DiscardPendingFile();
        return -1;
    }
    g_pending.bOpen = false;
    SetFileAttributesA(g_pending.szDestination, pn->attribs & kRestoredAttributes);
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
    case cab::Event::NextCabinet:
    default:
        return 0;
    }
}

struct ReaderHolder {
    cab::Reader* p;
    ~ReaderHolder() { cab::Reader::Destroy(p); }
};
}  // namespace

BOOL ExtractCabinet(LPCSTR cabinetPath, LPCSTR targetFolder)
{
    if (lstrlenA(targetFolder) > int(kMaxFolderOrName))
        return FALSE;
    lstrcpyA(g_szTargetFolder, targetFolder);

    ReaderHolder reader{cab::Reader::Create(kHooks)};
    if (!reader.p)
        return FALSE;

    intptr_t hf = CabOpen(cabinetPath, kPackageOpenFlags, 0);
    if (hf == -1)
        return FALSE;
    BOOL bIsCabinet = reader.p->IsCabinet(hf);
    _close(int(hf));
    if (!bIsCabinet)
        return FALSE;

    char szDrive[_MAX_DRIVE], szDir[_MAX_DIR], szBase[_MAX_FNAME], szExt[_MAX_EXT];
    _splitpath(cabinetPath, szDrive, szDir, szBase, szExt);
    if (lstrlenA(szDrive) + lstrlenA(szDir) > int(kMaxFolderOrName) ||
        lstrlenA(szBase) + lstrlenA(szExt) > int(kMaxFolderOrName))
        return FALSE;
    char szCabFolder[MAX_PATH], szCabName[MAX_PATH];
    lstrcpyA(szCabFolder, szDrive);
    lstrcatA(szCabFolder, szDir);
    lstrcpyA(szCabName, szBase);
    lstrcatA(szCabName, szExt);

    g_pending.bOpen = false;
    BOOL bOk = reader.p->Copy(szCabName, szCabFolder, CabinetNotify, nullptr);
    // The reader has closed a handle it was writing when it failed; the
    // unfinished file goes, and the previous version stays.
    DiscardPendingFile();
    return bOk;
}
