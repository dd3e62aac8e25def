#include "agent/shell/framework/Dialog.h"

#include "agent/shell/framework/WinApp.h"

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParent(parent) {}

CDialog::~CDialog() {}

const MessageTable* CDialog::GetMessageTable() const
{
    static const MessageEntry entries[] = {
        {WM_COMMAND, QM_HANDLER(CDialog, OnCommand)},
        QM_END_OF_TABLE,
    };
    static const MessageTable table = {CWnd::GetMessageTable(), entries};
    return &table;
}

HWND CDialog::ParentHwnd() const
{
    if (m_pParent != NULL)
        return m_pParent->m_hWnd;
    // A modal dialog without a parent belongs to the main window, as in MFC.
    CWinApp* app = AfxGetApp();
    if (app != NULL && app->m_pMainWnd != NULL && app->m_pMainWnd != this)
        return app->m_pMainWnd->m_hWnd;
    return NULL;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nTemplateId = templateId;
    m_pParent = parent;
    HWND hwnd = CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(templateId), parent ? parent->m_hWnd : NULL,
                                   FrameworkDlgProc, reinterpret_cast<LPARAM>(this));
    return hwnd != NULL;
}

BOOL CDialog::CreateIndirect(const void* dialogTemplate, CWnd* parent)
{
    m_pParent = parent;
    HWND hwnd = CreateDialogIndirectParamA(AfxGetInstanceHandle(), static_cast<LPCDLGTEMPLATEA>(dialogTemplate),
                                           parent ? parent->m_hWnd : NULL, FrameworkDlgProc,
                                           reinterpret_cast<LPARAM>(this));
    return hwnd != NULL;
}

INT_PTR CDialog::DoModal()
{
    return DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_nTemplateId), ParentHwnd(), FrameworkDlgProc,
                           reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate != FALSE);
    DoDataExchange(&dx);
    return dx.m_bFailed ? FALSE : TRUE;
}

void CDialog::EndDialog(int result)
{
    // For a modeless dialog this only hides the window, as in MFC.
    if (m_hWnd != NULL)
        ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialog::OnCommand(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return 0;
    case IDCANCEL:
        OnCancel();
        return 0;
    default:
        return DefWindowProc(message, wParam, lParam);
    }
}

// The dialog procedure of every framework dialog, called by the system's dialog
// procedure. WM_INITDIALOG arrives twice: first straight from the system, when the
// object attaches itself and hands the message to WindowProc; then, through the default
// handling, back here, when OnInitDialog answers it.
INT_PTR CALLBACK CDialog::FrameworkDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* dialog = static_cast<CDialog*>(CWnd::FromHandle(hwnd));
    if (dialog != NULL)
        return dialog->OnInitDialog();
    dialog = reinterpret_cast<CDialog*>(lParam);
    if (dialog == NULL)
        return FALSE;
    dialog->Attach(hwnd);
    return dialog->WindowProc(message, wParam, lParam);
}
