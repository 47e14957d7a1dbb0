// Placeholder until the cabinet reader lands.
#include "ExtractCabinet.h"

char g_szTargetFolder[260];
CUpdateProgressDlg* g_pProgressDlg = nullptr;

BOOL ExtractCabinet(LPCSTR, LPCSTR) { return FALSE; }
