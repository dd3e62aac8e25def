#include "agent/shell/framework/Wnd.h"

#include "agent/shell/framework/WinApp.h"

// Window property that holds the attached object.
static const char kObjectProperty[] = "QmFrameworkWnd";

static const MessageEntry kNoEntries[] = {QM_END_OF_TABLE};
static const MessageTable kWndTable = {NULL, kNoEntries};

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL) {}

CWnd::~CWnd()
{
    // The derived parts are gone by now, so the last messages get the default handling.
    if (m_hWnd != NULL)
        ::DestroyWindow(m_hWnd);
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == NULL)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (hwnd == NULL)
        return NULL;
    return static_cast<CWnd*>(GetPropA(hwnd, kObjectProperty));
}

const MessageTable* CWnd::GetMessageTable() const
{
    return &kWndTable;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (const MessageTable* table = GetMessageTable(); table != NULL; table = table->base) {
        for (const MessageEntry* entry = table->entries; entry->handler != NULL; ++entry) {
            if (entry->message == message)
                return (this->*entry->handler)(message, wParam, lParam);
        }
    }
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != NULL)
        return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

void CWnd::Attach(HWND hwnd)
{
    m_hWnd = hwnd;
    SetPropA(hwnd, kObjectProperty, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AttachedWndProc)));
}

void CWnd::Detach()
{
    if (m_pfnSuper != NULL)
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    RemovePropA(m_hWnd, kObjectProperty);
    m_pfnSuper = NULL;
    m_hWnd = NULL;
}

LRESULT CALLBACK CWnd::AttachedWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = FromHandle(hwnd);
    if (wnd == NULL)
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    if (message != WM_NCDESTROY)
        return wnd->WindowProc(message, wParam, lParam);

    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    wnd->Detach();
    // Without its main window the application has nothing left to do.
    CWinApp* app = AfxGetApp();
    if (app != NULL && app->m_pMainWnd == wnd) {
        app->m_pMainWnd = NULL;
        PostQuitMessage(0);
    }
    wnd->PostNcDestroy();
    return result;
}
