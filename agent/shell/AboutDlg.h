// The about box (template 100), opened from the main window's system menu.
#pragma once

#include "agent/shell/framework/Dialog.h"

class CAgentAboutDlg : public CDialog {
public:
    CAgentAboutDlg();
};
