// The target table and the registration that turns it into the update list.
#include <new>

#include "GetMachineType.h"
#include "UpdateApp.h"
#include "UpdateItem.h"

namespace {
struct TargetRow {
    const char* package;
    const char* key;
    int nProbeKind;
    int nAppType;
};

// Registered in this order; the list, and so the order of extraction,
// follows it.
const TargetRow kTargetTable[] = {
    {"SCRNMODE.cab", "C:\\Program Files\\KANDELO\\SCRNMODE\\Scrnmode.exe", PROBE_FILEPATH, APPTYPE_NONE},
    {"VLWORD.cab", "VelraWords.LNK", PROBE_SHORTCUT, APPTYPE_NONE},
    {"VLWORD.cab", "Velra Words.LNK", PROBE_SHORTCUT, APPTYPE_NONE},
    {"VLMATH.cab", "VelraSums.LNK", PROBE_SHORTCUT, APPTYPE_NONE},
    {"VLMATH.cab", "Velra Sums.LNK", PROBE_SHORTCUT, APPTYPE_NONE},
    {"Homedeck.cab", "VelraHomedeck.exe", PROBE_APPPATH, APPTYPE_MEDIAHUB},
    {"LumoView.cab", "VelraLumoView.exe", PROBE_APPPATH, APPTYPE_VIEWER},
    {"velsvc_s.cab", "VelraHomedeck.exe", PROBE_APPPATH, APPTYPE_SERVICE},
    {"CORE.cab", "VelraHomedeck.exe", PROBE_APPPATH, APPTYPE_MEDIAHUB},
    {"VCORE.cab", "VelraHomedeck.exe", PROBE_APPPATH_MEDIA, APPTYPE_MEDIAHUB},
    {"VTUNE.cab", "VelraHomedeck.exe", PROBE_APPPATH_MEDIA, APPTYPE_MEDIAHUB},
    {"VCORE.cab", "VelraHomedeck.exe", PROBE_APPPATH_SMALLTUNER, APPTYPE_MEDIAHUB},
    {"VPAD.cab", "VelraHomedeck.exe", PROBE_APPPATH_SMALLTUNER, APPTYPE_MEDIAHUB},
    {"XCORE.cab", "VelraHomedeck.exe", PROBE_APPPATH_LARGETUNER, APPTYPE_MEDIAHUB},
    {"LEDUtility.cab", "VelraLumoLEDUtility.EXE", PROBE_RUNKEY, APPTYPE_LEDUTILITY},
};
// Added only on the machine types that have the card slot.
const TargetRow kCardSlotRow = {"SLOTLOCK.cab", "SLK", PROBE_SYSTEMDIR, APPTYPE_NONE};

const ULONGLONG kTunerCtlSizeLimit = 80000;

// The media-hub variants are told apart by two libraries in its folder.
BOOL CheckMediaLibraries(const CString& strFolder, int nProbeKind)
{
    CFileFind finder;
    BOOL bMedia = finder.FindFile(strFolder + "MediaObj.dll");
    if (nProbeKind == PROBE_APPPATH_MEDIA)
        return bMedia;
    if (bMedia)
        return FALSE;
    if (!finder.FindFile(strFolder + "TunerCtl.dll"))
        return TRUE;
    finder.FindNextFile();
    ULONGLONG nLength = finder.GetLength();
    return nProbeKind == PROBE_APPPATH_SMALLTUNER ? nLength <= kTunerCtlSizeLimit : nLength >= kTunerCtlSizeLimit;
}
}  // namespace

int CUpdateApp::AddUpdateItem(LPCSTR lpszPackage, LPCSTR lpszKey, int nProbeKind, int nAppType)
{
    CUpdateItem* pItem = new (std::nothrow) CUpdateItem(lpszPackage);
    if (!pItem)
        return 0;
    if (!pItem->IsPackagePresent()) {
        delete pItem;
        return 0;
    }
    BOOL bApplies = FALSE;
    switch (nProbeKind) {
    case PROBE_SHORTCUT:
        // The shortcut is read through a COM object: OLE is started here, the
        // first time a shortcut row's package is present (it stays up to the
        // end of the run; the framework ends it on exit).
        AfxOleInit();
        bApplies = pItem->ProbeShortcut(lpszKey);
        break;
    case PROBE_APPPATH:
        bApplies = pItem->ProbeAppPath(lpszKey);
        break;
    case PROBE_APPPATH_MEDIA:
    case PROBE_APPPATH_SMALLTUNER:
    case PROBE_APPPATH_LARGETUNER:
        bApplies = pItem->ProbeAppPath(lpszKey) && CheckMediaLibraries(pItem->m_strTargetFolder, nProbeKind);
        break;
    case PROBE_SYSTEMDIR:
        bApplies = pItem->ProbeSystemFolder(lpszKey);
        // The folder is made here so that the extraction has somewhere to
        // write; whether that worked shows only when the extraction fails.
        if (bApplies && lpszKey && GetFileAttributesA(pItem->m_strTargetFolder) == INVALID_FILE_ATTRIBUTES)
            CreateDirectoryA(pItem->m_strTargetFolder, nullptr);
        break;
    case PROBE_FILEPATH:
        bApplies = pItem->ProbeFilePath(lpszKey);
        break;
    case PROBE_RUNKEY:
        bApplies = pItem->ProbeRunEntry(lpszKey);
        break;
    default:
        break;
    }
    if (!bApplies) {
        delete pItem;
        return 0;
    }
    pItem->m_nAppType = nAppType;
    m_updateList.AddTail(pItem);
    return 1;
}

BOOL CUpdateApp::BuildUpdateList()
{
    for (const TargetRow& row : kTargetTable)
        AddUpdateItem(row.package, row.key, row.nProbeKind, row.nAppType);

    BOOL bCardSlotPackage = CUpdateItem(kCardSlotRow.package).IsPackagePresent();
    if (bCardSlotPackage) {
        if (CGetMachineType* pProbe = new (std::nothrow) CGetMachineType) {
            pProbe->CreateThread(0, 0, nullptr);
            WaitForSingleObject(pProbe->m_hThread, INFINITE);
            int nMachineType = pProbe->m_nMachineType;
            delete pProbe;
            if (nMachineType == 20 || nMachineType == 22 || nMachineType == 23)
                AddUpdateItem(kCardSlotRow.package, kCardSlotRow.key, kCardSlotRow.nProbeKind, kCardSlotRow.nAppType);
        }
    }
    return m_updateList.GetCount() > 0;
}
