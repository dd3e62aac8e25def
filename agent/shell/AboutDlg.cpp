#include "agent/shell/AboutDlg.h"

#include "agent/res/resource.h"

CAgentAboutDlg::CAgentAboutDlg() : CDialog(IDD_ABOUTBOX) {}
