// Extracting one update package (a cabinet file) into its target folder.
//
// Called by the update run once per applicable package while the progress
// window is up; the window is reached through g_pProgressDlg, which the run
// sets before the first call. Every file of the cabinet is written under the
// target folder with its stored time stamp and attributes; each one replaces
// its destination only once it is complete, so a failure leaves the previous
// version in place (a destination that another program holds open, sharing
// writing, is overwritten in place instead), and a run ended by force leaves
// no half-written file under a destination's name. Stored names that would leave
// the target folder, UTF-8 names with no code page form, and cabinets that
// go on in another cabinet of a set or begin in an earlier one fail the
// extraction.
#pragma once
#include <windows.h>

class CUpdateProgressDlg;

// The current extraction's target folder (ends with a backslash).
extern char g_szTargetFolder[260];
extern CUpdateProgressDlg* g_pProgressDlg;

// TRUE when every file of the cabinet was extracted.
BOOL ExtractCabinet(LPCSTR cabinetPath, LPCSTR targetFolder);
