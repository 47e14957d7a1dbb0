// One package of the target table and what the registration found out about
// it: where the package lies, the folder its target is installed in, and the
// application type that decides what is closed before it is extracted.
// The probes each find a target folder in one way (shortcut, App Paths,
// system folder, fixed path, Run key) and report whether they did; a
// folder that is not an absolute one on a drive or share is none.
#pragma once
#include "InstallLocator.h"

class CUpdateItem : public CInstallLocator {
public:
    explicit CUpdateItem(LPCSTR lpszPackageName);
    ~CUpdateItem() override = default;

    BOOL IsPackagePresent() const;
    BOOL ProbeShortcut(LPCSTR lpszShortcutName);
    BOOL ProbeAppPath(LPCSTR lpszExeName);
    BOOL ProbeSystemFolder(LPCSTR lpszSubFolder);
    BOOL ProbeFilePath(LPCSTR lpszPath);
    BOOL ProbeRunEntry(LPCSTR lpszValueName);

    int m_nAppType = 0;
    CString m_strTargetFolder;
    // In a build that checks its packages, the run puts the checked copy's
    // path here before the first extraction, or nothing for a package that
    // is refused.
    CString m_strPackagePath;

private:
    // The target folder is the folder of that path; TRUE when it is an
    // absolute one.
    BOOL TakeFolderOf(LPCSTR lpszPath);
};
