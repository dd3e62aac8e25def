#include "agent/shell/AgentDlg.h"

#include <windows.h>

#include <string.h>

#include "agent/certreg/certtable.h"
#include "agent/config/config.h"
#include "agent/res/resource.h"
#include "agent/shell/AboutDlg.h"
#include "agent/shell/framework/WinApp.h"
#include "agent/shell/log.h"
#include "agent/shell/tokenflags.h"
#include "agent/shell/tokenpass.h"
#include "agent/token/gmsmartapi.h"
#include "agent/webpage/openurl.h"

char g_szMonitorName[MONITOR_NAME_BYTES];
int g_nNcPaintHide = 2;

const char kFixedWindowTitle[] = "Quillmere.exe";

CAgentDlg::CAgentDlg(CWnd* parent)
    : CDialog(IDD_MAIN_DIALOG, parent),
      m_bTokenInserted(0),
      m_hIcon(NULL),
      m_uMsgMonitorDone(0),
      m_uMsgRegDone(0),
      m_uMsgOpenUrl(0),
      m_uMsgKeyInserted(0),
      m_uMsgKeyRemoved(0),
      m_uMsgKeyNInserted()
{
    m_hIcon = LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ClearPageChoiceFlags();
}

CAgentDlg::~CAgentDlg()
{
    // While this class's handlers are still there; also ends the timer.
    DestroyWindow();
}

const MessageTable* CAgentDlg::GetMessageTable() const
{
    static const MessageEntry entries[] = {
        {WM_SYSCOMMAND, QM_HANDLER(CAgentDlg, OnSysCommand)},
        {WM_PAINT, QM_HANDLER(CAgentDlg, OnPaint)},
        {WM_QUERYDRAGICON, QM_HANDLER(CAgentDlg, OnQueryDragIcon)},
        {WM_TIMER, QM_HANDLER(CAgentDlg, OnTimer)},
        {WM_NCPAINT, QM_HANDLER(CAgentDlg, OnNcPaint)},
        {WM_DEVICECHANGE, QM_HANDLER(CAgentDlg, OnDeviceChangeMessage)},
        QM_END_OF_TABLE,
    };
    static const MessageTable table = {CDialog::GetMessageTable(), entries};
    return &table;
}

void CAgentDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_EDIT_NEWPIN, m_strNewPin);
    DDX_Text(pDX, IDC_EDIT_OLDPIN, m_strOldPin);
}

BOOL CAgentDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    AddAboutMenuEntry();
    SetIcons();
    ClearCertTable();
    SetWindowTitle();
    ReadMonitorName();
    m_iniKeyList.SetPath(GetKeyListPath());
    RegisterMessages();
    SetMsgFilter(m_uMsgMonitorDone);
    SetMsgFilter(WM_DEVICECHANGE);
    if (SetTimer(m_hWnd, IDT_WATCH_MONITOR, WATCH_MONITOR_PERIOD_MS, NULL) == 0)
        WriteLogF("SetTimer err dwlasterr=0x%X", (unsigned)GetLastError());
    LoadStandardLibrary();
    return TRUE;
}

void CAgentDlg::AddAboutMenuEntry()
{
    HMENU menu = GetSystemMenu(m_hWnd, FALSE);
    if (menu == NULL)
        return;
    char text[256] = {};
    if (LoadStringA(AfxGetInstanceHandle(), IDS_ABOUTBOX, text, sizeof text) <= 0 || text[0] == '\0')
        return;
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, text);
}

void CAgentDlg::SetIcons()
{
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, (LPARAM)m_hIcon);
}

void CAgentDlg::SetWindowTitle()
{
    std::string exeName = CWinApp::GetExeFileName();
    SetWindowTextA(m_hWnd, exeName.empty() ? kFixedWindowTitle : exeName.c_str());
}

// The monitor's window title is the part of its path after the agent's folder: the
// configured PlugWatch value or the default name.
void CAgentDlg::ReadMonitorName()
{
    char path[PATH_FIELD_BYTES] = {};
    int length = 0;
    int nameAt = GetMonitorPath(path, sizeof path, &length);
    memset(g_szMonitorName, 0, sizeof g_szMonitorName);
    if (nameAt >= 0 && nameAt <= length && length < (int)sizeof path)
        strncpy(g_szMonitorName, path + nameAt, sizeof g_szMonitorName - 1);
    if (g_szMonitorName[0] == '\0')
        strcpy(g_szMonitorName, kDefaultMonitorName);
    WriteLog(CWinApp::GetExeFileName().c_str());
    WriteLog(g_szMonitorName);
}

void CAgentDlg::RegisterMessages()
{
    UINT* const fields[REGISTERED_MESSAGE_COUNT] = {
        &m_uMsgMonitorDone,     &m_uMsgRegDone,         &m_uMsgKeyInserted,     &m_uMsgKeyRemoved,
        &m_uMsgOpenUrl,         &m_uMsgKeyNInserted[0], &m_uMsgKeyNInserted[1], &m_uMsgKeyNInserted[2],
        &m_uMsgKeyNInserted[3], &m_uMsgKeyNInserted[4],
    };
    for (int i = 0; i < REGISTERED_MESSAGE_COUNT; ++i) {
        *fields[i] = RegisterWindowMessageA(kRegisteredMessageNames[i]);
        if (*fields[i] == 0)
            WriteLogF("RegisterWindowMessage err %s dwlasterr=0x%X", kRegisteredMessageNames[i],
                      (unsigned)GetLastError());
    }
}

typedef BOOL(WINAPI* ChangeWindowMessageFilterFn)(UINT message, DWORD flag);

void CAgentDlg::SetMsgFilter(UINT message)
{
    WriteLogF("msg=0x%X", message);
    DWORD version = GetVersion();
    WriteLogF("GetVersion()=0x%X", (unsigned)version);
    if (LOBYTE(LOWORD(version)) < 6) {
        WriteLog("不是Vista以上系统!不需要进行消息过虑设置!");
        return;
    }
    WriteLog("是Vista以上系统!要进行消息过虑设置!");

    // From the system folder only, never through the search order.
    char path[MAX_PATH + 16] = {};
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    HMODULE user32 = NULL;
    if (n > 0 && n < MAX_PATH) {
        strcat(path, "\\user32.dll");
        user32 = LoadLibraryA(path);
    }
    if (user32 == NULL) {
        WriteLog("LoadLibrary user32.dll err !");
        WriteLogF("dwlasterr=0x%X", (unsigned)GetLastError());
        return;
    }
    ChangeWindowMessageFilterFn changeFilter = reinterpret_cast<ChangeWindowMessageFilterFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    if (changeFilter == NULL) {
        DWORD error = GetLastError();
        FreeLibrary(user32);
        WriteLog("GetProcAddress err!");
        WriteLogF("dwlasterr=0x%X", (unsigned)error);
        return;
    }
    if (changeFilter(message, MSGFLT_ADD)) {
        WriteLog("ChangeWindowMessageFilter ok");
        FreeLibrary(user32);
        return;
    }
    DWORD error = GetLastError();
    FreeLibrary(user32);
    WriteLog("ChangeWindowMessageFilter err");
    WriteLogF("dwlasterr=0x%X", (unsigned)error);
}

// The standard token library is loaded here, once, when it is configured.
void CAgentDlg::LoadStandardLibrary()
{
    if (ReadAppNum() <= 0)
        return;
    if (LoadGMSmartAPI() == 1)
        WriteLog("LoadLibrary LoadGMSmartAPI ok");
    else
        WriteLog("LoadLibrary LoadGMSmartAPI err 证书注册失败");
}

// An identifier of 0 means its registration failed: it stands for no message, so that
// WM_NULL (0) can never start a pass or change the flags.
static bool IsRegistered(UINT message, UINT identifier)
{
    return identifier != 0 && message == identifier;
}

bool CAgentDlg::OnTokenMessage(UINT message)
{
    // Each test on its own: a message that matches one is still compared with the later ones.
    if (IsRegistered(message, m_uMsgMonitorDone) &&
        RunMonitorFinishedPass(m_iniKeyList, &m_bTokenInserted, m_uMsgRegDone) == 0)
        return false;
    if (IsRegistered(message, m_uMsgKeyInserted)) {
        WriteLog("收到Ukey插入消息");
        g_bTokenPresent = 1;
        m_bTokenInserted = 1;
    }
    if (IsRegistered(message, m_uMsgKeyRemoved)) {
        WriteLog("收到Ukey移除消息");
        g_bTokenPresent = 0;
        m_bTokenInserted = 0;
    }
    for (int n = 0; n < ANNOUNCED_KEY_COUNT; ++n) {
        if (IsRegistered(message, m_uMsgKeyNInserted[n])) {
            WriteLogF("收到 %d号Ukey插入消息", n);
            g_bTokenPresent = 1;
            g_nAnnouncedToken = n;
        }
    }
    return true;
}

LRESULT CAgentDlg::OnDeviceChangeMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return OnDeviceChange((UINT)wParam, (DWORD_PTR)lParam);
}

// The uninstaller asks with two fixed numbers; every other device change is the system's.
BOOL CAgentDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData)
{
    if (nEventType == UNINSTALL_EVENT_TYPE && dwData == UNINSTALL_EVENT_DATA) {
        WriteLog("OnDeviceChange 收到 来自卸载程序发来的 自定义 设备变化消息 \n现在进行证书和配置文件删除操作!");
        UninstallCleanUp();
        return TRUE;
    }
    WriteLog("OnDeviceChange 收到 系统 设备变化消息");
    return TRUE;
}

LRESULT CAgentDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!OnTokenMessage(message))
        return 0;
    return CDialog::WindowProc(message, wParam, lParam);
}

LRESULT CAgentDlg::OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Commands 16 to 31: the low four bits of a system command are the system's own.
    if ((wParam & ~(WPARAM)0xF) == IDM_ABOUT) {
        CAgentAboutDlg about;
        about.DoModal();
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CAgentDlg::OnPaint(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!IsIconic(m_hWnd))
        return DefWindowProc(message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, (WPARAM)dc, 0);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CAgentDlg::OnQueryDragIcon(UINT message, WPARAM wParam, LPARAM lParam)
{
    return (LRESULT)m_hIcon;
}

LRESULT CAgentDlg::OnTimer(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (wParam == IDT_WATCH_MONITOR)
        WatchMonitor();
    return DefWindowProc(message, wParam, lParam);
}

// The template is visible, so the window shows for an instant when it is created; its
// first frame paints hide it for good.
LRESULT CAgentDlg::OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_nNcPaintHide > 0) {
        --g_nNcPaintHide;
        ShowWindow(m_hWnd, SW_HIDE);
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

void CAgentDlg::WatchMonitor()
{
    if (FindWindowA(NULL, g_szMonitorName) != NULL)
        return;
    // Read afresh for every start; the title looked for stays the one read at start-up.
    char path[PATH_FIELD_BYTES] = {};
    int length = 0;
    if (GetMonitorPath(path, sizeof path, &length) < 0 || length == 0)
        return;
    // Quoted, so that a folder with blanks ("C:\Program Files (x86)\...") cannot make
    // the system start a program at a shorter prefix of the path.
    std::string commandLine = std::string("\"") + path + "\"";
    WinExec(commandLine.c_str(), SW_SHOWNORMAL);
}
