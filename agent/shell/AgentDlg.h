// The agent's main window: a modeless dialog (template 102) that hides itself at its first
// frame paints and lives on invisibly as the receiver of the token monitor's messages. A
// one-second timer keeps the monitor program running.
#pragma once

#include <string>

#include "agent/config/IniReader.h"
#include "agent/shell/framework/Dialog.h"
#include "agent/shell/msgnames.h"

// The only timer; period 1000 ms.
#define IDT_WATCH_MONITOR 6754226
#define WATCH_MONITOR_PERIOD_MS 1000

enum { MONITOR_NAME_BYTES = 512 };

// The uninstaller's request: WM_DEVICECHANGE with these two numbers together.
enum { UNINSTALL_EVENT_TYPE = 12345, UNINSTALL_EVENT_DATA = 54321 };

// The monitor's window title looked for at every tick; read once at initialisation.
extern char g_szMonitorName[MONITOR_NAME_BYTES];
// How many more frame-paint requests hide the window (starts at 2).
extern int g_nNcPaintHide;

// Title used when the executable's file name cannot be found.
extern const char kFixedWindowTitle[];  // "Quillmere.exe"

class CAgentDlg : public CDialog {
public:
    explicit CAgentDlg(CWnd* parent = NULL);
    ~CAgentDlg() override;

    // One timer tick: starts the monitor program unless its window exists.
    void WatchMonitor();
    // Lets one message identifier through the message filter of Vista and later.
    void SetMsgFilter(UINT message);
    // The uninstaller's request or a system device change; always TRUE.
    BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);

    int m_bTokenInserted;
    CIniReader m_iniKeyList;  // the per-user token list
    std::string m_strNewPin;
    std::string m_strOldPin;
    HICON m_hIcon;
    UINT m_uMsgMonitorDone;
    UINT m_uMsgRegDone;
    UINT m_uMsgOpenUrl;
    UINT m_uMsgKeyInserted;
    UINT m_uMsgKeyRemoved;
    UINT m_uMsgKeyNInserted[ANNOUNCED_KEY_COUNT];

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    const MessageTable* GetMessageTable() const override;

    LRESULT OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnDeviceChangeMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    void AddAboutMenuEntry();
    void SetIcons();
    void SetWindowTitle();
    void ReadMonitorName();
    void RegisterMessages();
    void LoadStandardLibrary();
    // The token monitor's messages, looked at before the framework's handling. False:
    // the message must not reach the framework.
    bool OnTokenMessage(UINT message);
};
