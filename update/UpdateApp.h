// The updater's application object and its one run.
//
// Everything happens in InitInstance: decide which packages apply (the
// target table), close what holds their files, extract each package under
// the progress window, start the service again and report in message
// boxes. InitInstance always returns FALSE, so no message loop runs; the
// exit code tells an installer script the outcome (ExitCode).
//
// A build made with the maker's certificate gives the application object
// the hash of that certificate's public key: such a run extracts only
// packages the maker signed (CPackageVault). Without it every package is
// taken as it lies.
#pragma once
#include "afxwin.h"

class CUpdateItem;

// Probe kinds of the target table.
enum {
    PROBE_SHORTCUT = 1,
    PROBE_APPPATH = 2,
    PROBE_APPPATH_MEDIA = 3,
    PROBE_APPPATH_SMALLTUNER = 4,
    PROBE_APPPATH_LARGETUNER = 5,
    PROBE_SYSTEMDIR = 6,
    PROBE_FILEPATH = 7,
    PROBE_RUNKEY = 8,
};

// Application types: what is stopped before a package is extracted.
enum {
    APPTYPE_NONE = 0,
    APPTYPE_MEDIAHUB = 1,
    APPTYPE_VIEWER = 2,
    APPTYPE_SERVICE = 3,
    APPTYPE_LEDUTILITY = 4,
};

// Process exit codes of a run.
enum ExitCode {
    EXIT_UPDATED = 0,      // every package was extracted
    EXIT_FAILED = 1,       // at least one package failed
    EXIT_NOTHING_TO_DO = 2 // nothing applied
};

class CUpdateApp : public CWinApp {
public:
    // pbPackagePin: 32 bytes (see CPackageVault), or null.
    explicit CUpdateApp(const BYTE* pbPackagePin = nullptr) : m_pbPackagePin(pbPackagePin) {}
    ~CUpdateApp() override = default;

    BOOL InitInstance() override;
    int ExitInstance() override;

    BOOL BuildUpdateList();
    int AddUpdateItem(LPCSTR lpszPackage, LPCSTR lpszKey, int nProbeKind, int nAppType);
    void CloseRunningTargets();
    void RestartTargetServices();

    CPtrList m_updateList;  // CUpdateItem*, in table order

protected:
    const BYTE* m_pbPackagePin;
    int m_nExitCode = EXIT_NOTHING_TO_DO;

    DECLARE_MESSAGE_MAP()
};

BOOL StopServiceByName(LPCSTR lpszServiceName);
BOOL StartServiceByName(LPCSTR lpszServiceName);
