// Resource identifiers of Quillmere.rc.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDI_PANEL_ICON 131

#define IDC_EDIT_OLDPIN 1000
#define IDC_EDIT_NEWPIN 1001
#define IDC_BUTTON_CHANGE 1002

// System-menu command of the about box (low four bits free, as system commands need).
#define IDM_ABOUT 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
