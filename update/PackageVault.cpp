#include "PackageVault.h"

#include <wintrust.h>
#include <softpub.h>
#include <string.h>

#include "Sha256.h"
#include "UpdateProgressDlg.h"

namespace {
// Libraries that the signature check loads, the first of them by full path.
// Those it loads by plain name itself (the crypto provider, the chain
// engine's URL retrieval) would be searched for in the updater's folder first
// on XP, where the library search cannot be narrowed: loaded here from the
// system folder first, they are found already loaded instead.
const char* const kCheckLibraries[] = {"wintrust.dll", "crypt32.dll", "msasn1.dll", "rsaenh.dll", "cryptnet.dll"};
enum { kWintrust, kCrypt32 };

// What the check may answer for a package that is the maker's. The signer's
// certificate need not chain to a root this machine trusts (a private
// authority, a test certificate), and an expired one still holds the pinned
// key: the packages carry no time stamp, and a date would make a set of them
// stop installing on a given day, with nothing the user could do about it.
// Anything else (a changed file, no signature, a distrusted or revoked
// certificate, a wrong use) refuses it.
bool IsAcceptedStatus(LONG lStatus)
{
    return lStatus == ERROR_SUCCESS || lStatus == LONG(CERT_E_UNTRUSTEDROOT) || lStatus == LONG(CERT_E_CHAINING) ||
           lStatus == LONG(CERT_E_EXPIRED);
}

// The checks that must have passed whatever the answer: the file read and
// its signature found, parsed and verified against its signer.
const DWORD kCleanSteps[] = {TRUSTERROR_STEP_FINAL_WVTINIT, TRUSTERROR_STEP_FINAL_INITPROV,
                             TRUSTERROR_STEP_FINAL_OBJPROV, TRUSTERROR_STEP_FINAL_SIGPROV};

const DWORD kCopyBuffer = 256 * 1024;

// Administrators and the system have full control of the folder and of what
// it holds, nobody else any access; nothing is inherited from the folder it
// lies in.
class AdminOnly {
public:
    AdminOnly()
    {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        m_bOk = AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                         0, 0, &m_pAdmins) &&
                AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &m_pSystem);
        ACL* pAcl = reinterpret_cast<ACL*>(m_acl);
        const DWORD kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        m_bOk = m_bOk && InitializeAcl(pAcl, sizeof(m_acl), ACL_REVISION) &&
                AddAccessAllowedAceEx(pAcl, ACL_REVISION, kInherit, FILE_ALL_ACCESS, m_pAdmins) &&
                AddAccessAllowedAceEx(pAcl, ACL_REVISION, kInherit, FILE_ALL_ACCESS, m_pSystem) &&
                InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&m_sd, TRUE, pAcl, FALSE) &&
                SetSecurityDescriptorControl(&m_sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        m_sa = {sizeof(m_sa), &m_sd, FALSE};
    }
    ~AdminOnly()
    {
        if (m_pAdmins)
            FreeSid(m_pAdmins);
        if (m_pSystem)
            FreeSid(m_pSystem);
    }
    SECURITY_ATTRIBUTES* Get() { return m_bOk ? &m_sa : nullptr; }

private:
    PSID m_pAdmins = nullptr, m_pSystem = nullptr;
    DWORD m_acl[64];
    SECURITY_DESCRIPTOR m_sd;
    SECURITY_ATTRIBUTES m_sa;
    bool m_bOk;
};

template <class Fn> void Resolve(Fn& pfn, HMODULE hModule, const char* pszName)
{
    pfn = hModule ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(hModule, pszName))) : nullptr;
}
}  // namespace

CPackageVault::CPackageVault(const BYTE* pbPin)
{
    memcpy(m_pin, pbPin, sizeof(m_pin));
    static_assert(sizeof(m_hLibraries) / sizeof(m_hLibraries[0]) == sizeof(kCheckLibraries) / sizeof(kCheckLibraries[0]),
                  "one handle for each library");
    for (int i = 0; i < int(sizeof(kCheckLibraries) / sizeof(kCheckLibraries[0])); ++i)
        m_hLibraries[i] = AfxLoadSystemLibrary(kCheckLibraries[i]);
    Resolve(m_pfnWinVerifyTrust, m_hLibraries[kWintrust], "WinVerifyTrust");
    Resolve(m_pfnProvData, m_hLibraries[kWintrust], "WTHelperProvDataFromStateData");
    Resolve(m_pfnProvSigner, m_hLibraries[kWintrust], "WTHelperGetProvSignerFromChain");
    Resolve(m_pfnProvCert, m_hLibraries[kWintrust], "WTHelperGetProvCertFromChain");
    Resolve(m_pfnEncodeObject, m_hLibraries[kCrypt32], "CryptEncodeObject");
}

CPackageVault::~CPackageVault()
{
    for (int i = 0; i < m_nTaken; ++i) {
        if (m_taken[i].hCopy != INVALID_HANDLE_VALUE)
            CloseHandle(m_taken[i].hCopy);
        if (!m_taken[i].strCopy.IsEmpty())
            DeleteFileA(m_taken[i].strCopy);
    }
    if (m_hFolder != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFolder);
        RemoveDirectoryA(m_strFolder);
    }
    for (HMODULE hModule : m_hLibraries)
        if (hModule)
            FreeLibrary(hModule);
}

CString CPackageVault::Take(LPCSTR lpszPackagePath)
{
    for (int i = 0; i < m_nTaken; ++i)
        if (!lstrcmpiA(m_taken[i].strSource, lpszPackagePath))
            return m_taken[i].bMakers ? m_taken[i].strCopy : CString();
    if (m_nTaken == kMaxTaken || !MakeFolder())
        return CString();
    Taken& taken = m_taken[m_nTaken];
    taken.pVault = this;
    taken.strSource = lpszPackagePath;
    taken.strCopy.Format("%s%02d.cab", static_cast<LPCSTR>(m_strFolder), m_nTaken);
    taken.hCopy = INVALID_HANDLE_VALUE;
    taken.bMakers = false;
    ++m_nTaken;
    if (HANDLE hWorker = CreateThread(nullptr, 0, TakeOnWorker, &taken, 0, nullptr)) {
        CUpdateProgressDlg::WaitAnswering(hWorker, INFINITE);
        CloseHandle(hWorker);
    } else {
        TakeOnWorker(&taken);
    }
    return taken.bMakers ? taken.strCopy : CString();
}

DWORD WINAPI CPackageVault::TakeOnWorker(void* pTaken)
{
    Taken& taken = *static_cast<Taken*>(pTaken);
    taken.bMakers = taken.pVault->CopyAndCheck(taken);
    return 0;
}

// In the system's own temporary folder where there is one, which the user
// cannot clear out from under the run, else in the user's; a name nobody
// has taken, held open without sharing deletion, so that it cannot be
// renamed or removed while the run uses it.
bool CPackageVault::MakeFolder()
{
    if (m_hFolder != INVALID_HANDLE_VALUE)
        return true;
    char szBase[MAX_PATH];
    UINT cch = GetWindowsDirectoryA(szBase, MAX_PATH - 6);
    if (cch && cch < MAX_PATH - 6) {
        if (szBase[cch - 1] != '\\')
            szBase[cch++] = '\\';
        lstrcpyA(szBase + cch, "Temp\\");
    }
    DWORD dwAttributes = cch ? GetFileAttributesA(szBase) : INVALID_FILE_ATTRIBUTES;
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        cch = GetTempPathA(MAX_PATH, szBase);
        if (!cch || cch >= MAX_PATH)
            return false;
    }
    AdminOnly security;
    if (!security.Get())
        return false;
    for (int n = 0; n < 100; ++n) {
        CString strFolder;
        strFolder.Format("%s~vupkg%lx.%d", szBase, GetCurrentProcessId(), n);
        if (strFolder.GetLength() > MAX_PATH - 16)
            return false;
        if (!CreateDirectoryA(strFolder, security.Get())) {
            if (GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return false;
        }
        m_hFolder = CreateFileA(strFolder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (m_hFolder == INVALID_HANDLE_VALUE) {
            RemoveDirectoryA(strFolder);
            return false;
        }
        m_strFolder = strFolder + "\\";
        return true;
    }
    return false;
}

bool CPackageVault::CopyAndCheck(Taken& taken)
{
    HANDLE hIn = CreateFileA(taken.strSource, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (hIn == INVALID_HANDLE_VALUE)
        return false;
    taken.hCopy = CreateFileA(taken.strCopy, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    void* pBuffer = taken.hCopy != INVALID_HANDLE_VALUE ? VirtualAlloc(nullptr, kCopyBuffer, MEM_COMMIT, PAGE_READWRITE)
                                                         : nullptr;
    bool bCopied = pBuffer != nullptr;
    for (DWORD cbRead, cbWritten; bCopied;) {
        bCopied = ReadFile(hIn, pBuffer, kCopyBuffer, &cbRead, nullptr);
        if (!bCopied || !cbRead)
            break;
        bCopied = WriteFile(taken.hCopy, pBuffer, cbRead, &cbWritten, nullptr) && cbWritten == cbRead;
    }
    if (pBuffer)
        VirtualFree(pBuffer, 0, MEM_RELEASE);
    CloseHandle(hIn);
    return bCopied && SetFilePointer(taken.hCopy, 0, nullptr, FILE_BEGIN) == 0 && IsMakers(taken.hCopy, taken.strCopy);
}

bool CPackageVault::IsMakers(HANDLE hFile, LPCSTR lpszPath)
{
    WCHAR wszPath[MAX_PATH];
    if (!m_pfnWinVerifyTrust || !MultiByteToWideChar(CP_ACP, 0, lpszPath, -1, wszPath, MAX_PATH))
        return false;
    WINTRUST_FILE_INFO file = {sizeof(file), wszPath, hFile, nullptr};
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // Without it a certificate that chains to no trusted root sends the
    // chain engine to the network for the missing ones, which offline stalls.
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    HWND hNoUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
    LONG lStatus = m_pfnWinVerifyTrust(hNoUser, &action, &data);
    bool bMakers = IsAcceptedStatus(lStatus) && SignedByPinnedKey(data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    m_pfnWinVerifyTrust(hNoUser, &action, &data);
    return bMakers;
}

bool CPackageVault::SignedByPinnedKey(HANDLE hState)
{
    if (!hState || !m_pfnProvData || !m_pfnProvSigner || !m_pfnProvCert || !m_pfnEncodeObject)
        return false;
    const CRYPT_PROVIDER_DATA* pData = static_cast<CRYPT_PROVIDER_DATA*>(m_pfnProvData(hState));
    if (!pData || !pData->padwTrustStepErrors || pData->cdwTrustStepErrors <= TRUSTERROR_STEP_FINAL_SIGPROV)
        return false;
    for (DWORD dwStep : kCleanSteps)
        if (pData->padwTrustStepErrors[dwStep] != ERROR_SUCCESS)
            return false;
    void* pSigner = m_pfnProvSigner(const_cast<CRYPT_PROVIDER_DATA*>(pData), 0, FALSE, 0);
    const CRYPT_PROVIDER_CERT* pCert = pSigner ? static_cast<CRYPT_PROVIDER_CERT*>(m_pfnProvCert(pSigner, 0)) : nullptr;
    if (!pCert || !pCert->pCert || !pCert->pCert->pCertInfo)
        return false;
    // The key as its certificate encodes it (DER), hashed as the build
    // hashed the maker's.
    const CERT_PUBLIC_KEY_INFO* pKey = &pCert->pCert->pCertInfo->SubjectPublicKeyInfo;
    BYTE encoded[4096];
    DWORD cbEncoded = sizeof(encoded);
    if (!m_pfnEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, pKey, encoded, &cbEncoded))
        return false;
    unsigned char digest[32];
    Sha256(encoded, cbEncoded, digest);
    return memcmp(digest, m_pin, sizeof(digest)) == 0;
}
