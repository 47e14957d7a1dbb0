// The update packages as a build made with the maker's certificate takes
// them: only the maker's, and only the bytes that were checked.
//
// The updater runs elevated while its packages lie in a folder that the
// logged-on user can write, and one of them becomes a service's program. So
// such a build extracts a package only if it carries an Authenticode
// signature whose object and signature checks pass and whose signer holds
// the public key the build is pinned to. The trust is that pin, not a chain
// to a root: the maker's certificate may come from a private authority, and
// a signature without a time stamp outlives its certificate's dates.
//
// Each package is copied once, before the first extraction, into a folder of
// the run's own that only administrators and the system may change, kept
// open so that it cannot be renamed away, and checked and extracted there:
// whatever another program later does to the package beside the updater
// (rewriting it, replacing it, or writing through a mapping it made before
// the copy) changes nothing. The copies go with the vault.
//
// The update run (CUpdateApp) owns one while it works; copying and checking
// a large package takes seconds on an old machine, so each runs on a worker
// thread while the progress window goes on answering.
#pragma once
#include "afxwin.h"

class CPackageVault {
public:
    // pbPin: SHA-256 of the DER form of the maker's certificate's
    // SubjectPublicKeyInfo (32 bytes).
    explicit CPackageVault(const BYTE* pbPin);
    ~CPackageVault();
    CPackageVault(const CPackageVault&) = delete;
    CPackageVault& operator=(const CPackageVault&) = delete;

    // The checked copy's path, or empty when the package is not the maker's
    // or cannot be copied. A package taken twice is copied once.
    CString Take(LPCSTR lpszPackagePath);

private:
    // A package taken: its copy, held open (sharing only reading) until the
    // vault goes.
    struct Taken {
        CPackageVault* pVault;
        CString strSource, strCopy;
        HANDLE hCopy;
        bool bMakers;
    };
    static DWORD WINAPI TakeOnWorker(void* pTaken);
    bool MakeFolder();
    bool CopyAndCheck(Taken& taken);
    bool IsMakers(HANDLE hFile, LPCSTR lpszPath);
    bool SignedByPinnedKey(HANDLE hState);

    BYTE m_pin[32];
    CString m_strFolder;  // ends with a backslash once made
    HANDLE m_hFolder = INVALID_HANDLE_VALUE;
    static const int kMaxTaken = 32;  // the target table has 16 rows
    Taken m_taken[kMaxTaken];
    int m_nTaken = 0;

    HMODULE m_hLibraries[5] = {};  // those of the check, kept loaded
    LONG(WINAPI* m_pfnWinVerifyTrust)(HWND, GUID*, LPVOID) = nullptr;
    void*(WINAPI* m_pfnProvData)(HANDLE) = nullptr;
    void*(WINAPI* m_pfnProvSigner)(void*, DWORD, BOOL, DWORD) = nullptr;
    void*(WINAPI* m_pfnProvCert)(void*, DWORD) = nullptr;
    BOOL(WINAPI* m_pfnEncodeObject)(DWORD, LPCSTR, const void*, BYTE*, DWORD*) = nullptr;
};
