#include "agent/shell/framework/DataExchange.h"

#include <windows.h>

#include <vector>

#include "agent/shell/framework/Wnd.h"
#include "agent/shell/log.h"

CDataExchange::CDataExchange(CWnd* dialog, bool saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog), m_bFailed(false)
{
}

void DDX_Text(CDataExchange* pDX, int controlId, std::string& value)
{
    HWND control = GetDlgItem(pDX->m_pDlgWnd->m_hWnd, controlId);
    if (control == NULL) {
        WriteLogF("DDX_Text: no control %d", controlId);
        pDX->m_bFailed = true;
        return;
    }
    if (!pDX->m_bSaveAndValidate) {
        SetWindowTextA(control, value.c_str());
        return;
    }
    // The length is only a hint (it may be larger than the text); the copy is bounded by it.
    int length = GetWindowTextLengthA(control);
    if (length < 0)
        length = 0;
    std::vector<char> text((size_t)length + 1, '\0');
    int copied = GetWindowTextA(control, text.data(), length + 1);
    if (copied < 0)
        copied = 0;
    value.assign(text.data(), (size_t)copied);
}
