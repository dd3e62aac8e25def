// Dialog data exchange: moves values between a dialog's members and its controls.
// UpdateData(FALSE) fills the controls, UpdateData(TRUE) reads them back; both run the
// dialog's DoDataExchange, which lists one DDX_ call per member.
#pragma once

#include <string>

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, bool saveAndValidate);

    bool m_bSaveAndValidate;  // true: controls -> members
    CWnd* m_pDlgWnd;
    bool m_bFailed;           // a control was missing; the members it concerns are unchanged
};

// The text of edit control `controlId` <-> value.
void DDX_Text(CDataExchange* pDX, int controlId, std::string& value);
