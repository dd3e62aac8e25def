// A window object in the manner of MFC, reduced to what the agent needs.
//
// Every message of an attached window goes through the virtual WindowProc. The default
// WindowProc looks the message up in the class's message table (then in its base class's,
// and so on); a message with no entry goes to DefWindowProc, which hands it to the window
// procedure the window had before it was attached (for a dialog: the system's dialog
// procedure). Handlers get the message itself and call DefWindowProc when they want the
// default handling as well.
#pragma once

#include <windows.h>

class CWnd;

typedef LRESULT (CWnd::*MessageHandler)(UINT message, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT message;
    MessageHandler handler;  // NULL ends the table
};

struct MessageTable {
    const MessageTable* base;  // the base class's table, or NULL
    const MessageEntry* entries;
};

// One row of a derived class's table: { WM_TIMER, QM_HANDLER(CMyDlg, OnTimer) }.
#define QM_HANDLER(cls, fn) static_cast<MessageHandler>(&cls::fn)
#define QM_END_OF_TABLE { 0, NULL }

class CWnd {
public:
    CWnd();
    // Destroys the window if it still exists.
    virtual ~CWnd();

    HWND m_hWnd;

    BOOL DestroyWindow();

    // The window object attached to hwnd, or NULL.
    static CWnd* FromHandle(HWND hwnd);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's own procedure from before it was attached (DefWindowProcA if none).
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual const MessageTable* GetMessageTable() const;
    // Called after the window's last message (WM_NCDESTROY), once it is detached.
    virtual void PostNcDestroy() {}

    // Links the object to hwnd and routes the window's messages through WindowProc.
    void Attach(HWND hwnd);

private:
    void Detach();
    static LRESULT CALLBACK AttachedWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper;

    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
};
