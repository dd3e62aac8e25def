// The window framework: message routing through WindowProc and the message tables, the
// hand-over to the system's dialog procedure, dialog data exchange, and destruction.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "agent/shell/framework/Dialog.h"
#include "tests/support/testsupport.h"

namespace {

enum { EDIT_A = 1000, EDIT_B = 1001, WM_TEST_BASE = WM_APP + 1, WM_TEST_DERIVED = WM_APP + 2, WM_TEST_NONE = WM_APP + 3 };

// A hidden dialog with a caption and the two edit controls EDIT_A and EDIT_B, built in
// memory (the test program has no resources).
class DialogTemplate {
public:
    explicit DialogTemplate(int editCount)
    {
        Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU);
        Dword(0);
        Word((WORD)editCount);
        Word(0), Word(0), Word(100), Word(50);
        Word(0);  // no menu
        Word(0);  // the dialog class
        Text(L"Test");
        for (int i = 0; i < editCount; ++i) {
            while (m_words.size() % 2 != 0)
                Word(0);
            Dword(WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL);
            Dword(0);
            Word(5), Word((WORD)(5 + 20 * i)), Word(80), Word(14);
            Word((WORD)(EDIT_A + i));
            Word(0xFFFF), Word(0x0081);  // edit
            Word(0);                     // no text
            Word(0);                     // no creation data
        }
    }
    const void* Get() const { return m_words.data(); }

private:
    void Word(WORD w) { m_words.push_back(w); }
    void Dword(DWORD d) { Word(LOWORD(d)), Word(HIWORD(d)); }
    void Text(const wchar_t* s)
    {
        do
            Word((WORD)*s);
        while (*s++ != 0);
    }
    std::vector<WORD> m_words;
};

// Counts what reaches it and answers two private messages through its table.
class TestDialog : public CDialog {
public:
    TestDialog() : CDialog(0) {}

    std::string m_strA, m_strB;
    int m_nInitCalls = 0, m_nInitialisations = 0, m_nCancels = 0;
    std::vector<UINT> m_seen;
    UINT m_lastTableMessage = 0;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        m_seen.push_back(message);
        return CDialog::WindowProc(message, wParam, lParam);
    }
    int Seen(UINT message) const
    {
        int n = 0;
        for (UINT m : m_seen)
            n += m == message;
        return n;
    }

protected:
    BOOL OnInitDialog() override
    {
        ++m_nInitCalls;
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, EDIT_A, m_strA);
        DDX_Text(pDX, EDIT_B, m_strB);
    }
    void OnCancel() override { ++m_nCancels; }
    const MessageTable* GetMessageTable() const override
    {
        static const MessageEntry entries[] = {
            {WM_TEST_BASE, QM_HANDLER(TestDialog, OnTestBase)},
            {WM_SETTEXT, QM_HANDLER(TestDialog, OnSetText)},
            QM_END_OF_TABLE,
        };
        static const MessageTable table = {CDialog::GetMessageTable(), entries};
        return &table;
    }
    LRESULT OnTestBase(UINT message, WPARAM wParam, LPARAM lParam)
    {
        m_lastTableMessage = message;
        return 100 + (LRESULT)wParam;
    }
    // Looks, then lets the system's dialog procedure do the work.
    LRESULT OnSetText(UINT message, WPARAM wParam, LPARAM lParam)
    {
        m_lastTableMessage = message;
        return DefWindowProc(message, wParam, lParam);
    }
};

// Its own table on top of TestDialog's.
class DerivedDialog : public TestDialog {
protected:
    const MessageTable* GetMessageTable() const override
    {
        static const MessageEntry entries[] = {
            {WM_TEST_DERIVED, QM_HANDLER(DerivedDialog, OnTestDerived)},
            QM_END_OF_TABLE,
        };
        static const MessageTable table = {TestDialog::GetMessageTable(), entries};
        return &table;
    }
    LRESULT OnTestDerived(UINT, WPARAM, LPARAM) { return 7; }
};

std::string ControlText(HWND dialog, int id)
{
    char text[4096] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

TEST(Framework, InitDialogRunsOnceAndEveryLaterMessagePassesWindowProc)
{
    DialogTemplate tpl(2);
    TestDialog dlg;
    ASSERT_TRUE(dlg.CreateIndirect(tpl.Get()));
    ASSERT_NE(dlg.m_hWnd, (HWND)NULL);
    EXPECT_EQ(CWnd::FromHandle(dlg.m_hWnd), &dlg);
    EXPECT_EQ(dlg.m_nInitCalls, 1);
    EXPECT_EQ(dlg.Seen(WM_INITDIALOG), 1);

    // Sent and posted messages both reach WindowProc.
    SendMessageA(dlg.m_hWnd, WM_TEST_NONE, 0, 0);
    PostMessageA(dlg.m_hWnd, WM_TEST_NONE, 0, 0);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_EQ(dlg.Seen(WM_TEST_NONE), 2);
}

TEST(Framework, MessageTablesDispatchAlongTheClassChain)
{
    DialogTemplate tpl(2);
    DerivedDialog dlg;
    ASSERT_TRUE(dlg.CreateIndirect(tpl.Get()));
    HWND hwnd = dlg.m_hWnd;

    EXPECT_EQ(SendMessageA(hwnd, WM_TEST_DERIVED, 0, 0), 7);       // own table
    EXPECT_EQ(SendMessageA(hwnd, WM_TEST_BASE, 5, 0), 105);         // base class's table
    EXPECT_EQ(dlg.m_lastTableMessage, (UINT)WM_TEST_BASE);
    EXPECT_EQ(SendMessageA(hwnd, WM_TEST_NONE, 0, 0), 0);           // nobody's: the default

    // CDialog's own entry: the Cancel command reaches the virtual OnCancel.
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(dlg.m_nCancels, 1);

    // A handler that passes the message on: the system's dialog procedure still does the work.
    dlg.m_lastTableMessage = 0;
    SetWindowTextA(hwnd, "新标题");
    EXPECT_EQ(dlg.m_lastTableMessage, (UINT)WM_SETTEXT);
    char title[64] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "新标题");
}

TEST(Framework, DataExchangeMovesTextBothWays)
{
    DialogTemplate tpl(2);
    TestDialog dlg;
    dlg.m_strA = "旧PIN码";
    dlg.m_strB = "";
    ASSERT_TRUE(dlg.CreateIndirect(tpl.Get()));
    HWND hwnd = dlg.m_hWnd;
    // The base initialisation fills the controls from the members.
    EXPECT_EQ(ControlText(hwnd, EDIT_A), "旧PIN码");
    EXPECT_EQ(ControlText(hwnd, EDIT_B), "");

    const std::string longText(3000, 'x');
    SetDlgItemTextA(hwnd, EDIT_A, longText.c_str());
    SetDlgItemTextA(hwnd, EDIT_B, "12\xD6\xA4" "34");
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_strA, longText);
    EXPECT_EQ(dlg.m_strB, "12\xD6\xA4" "34");

    SetDlgItemTextA(hwnd, EDIT_A, "");
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_strA, "");

    dlg.m_strB = "back";
    EXPECT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(ControlText(hwnd, EDIT_B), "back");
}

TEST(Framework, DataExchangeWithAMissingControlFailsAndKeepsTheMember)
{
    qmtest::ResetLog();
    DialogTemplate tpl(1);  // EDIT_B is missing
    TestDialog dlg;
    ASSERT_TRUE(dlg.CreateIndirect(tpl.Get()));
    dlg.m_strB = "kept";
    SetDlgItemTextA(dlg.m_hWnd, EDIT_A, "read");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_strA, "read");
    EXPECT_EQ(dlg.m_strB, "kept");
    std::vector<std::string> lines = qmtest::LogMessages();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "DDX_Text: no control 1001");
    qmtest::ResetLog();
}

TEST(Framework, DestructionDetachesAndDeletingDestroysTheWindow)
{
    DialogTemplate tpl(2);
    TestDialog dlg;
    ASSERT_TRUE(dlg.CreateIndirect(tpl.Get()));
    HWND hwnd = dlg.m_hWnd;
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_EQ(dlg.m_hWnd, (HWND)NULL);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(dlg.Seen(WM_NCDESTROY), 1);

    TestDialog* owned = new TestDialog;
    ASSERT_TRUE(owned->CreateIndirect(tpl.Get()));
    hwnd = owned->m_hWnd;
    delete owned;
    EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
