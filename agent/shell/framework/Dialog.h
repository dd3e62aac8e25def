// Dialogs from dialog templates in the manner of MFC: modeless with Create, modal with
// DoModal.
//
// The template's window procedure stays the system's dialog procedure. At WM_INITDIALOG
// (which carries the object's address) the object attaches itself to the window, and from
// then on every message goes through WindowProc; messages before it get the system's
// handling only. OnInitDialog runs as the dialog procedure's answer to WM_INITDIALOG.
#pragma once

#include "agent/shell/framework/DataExchange.h"
#include "agent/shell/framework/Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = NULL);
    ~CDialog() override;

    // Modeless: creates the window from the template; FALSE when that fails.
    BOOL Create(UINT templateId, CWnd* parent = NULL);
    // Modeless from a template in memory (DLGTEMPLATE or DLGTEMPLATEEX, DWORD-aligned).
    BOOL CreateIndirect(const void* dialogTemplate, CWnd* parent = NULL);
    // Modal: runs the dialog until EndDialog; its result, or -1 when it cannot be created.
    INT_PTR DoModal();

    // Runs DoDataExchange in the given direction; FALSE when a control was missing.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    void EndDialog(int result);

protected:
    // The base runs UpdateData(FALSE) and returns TRUE (let the system set the focus).
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX) {}
    // Enter or the OK button: UpdateData(TRUE), then EndDialog(IDOK).
    virtual void OnOK();
    // Escape, the close box or the Cancel button: EndDialog(IDCANCEL).
    virtual void OnCancel();

    const MessageTable* GetMessageTable() const override;
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplateId;
    CWnd* m_pParent;

private:
    HWND ParentHwnd() const;
    static INT_PTR CALLBACK FrameworkDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};
