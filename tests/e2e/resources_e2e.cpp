// The resources inside the built Quillmere.exe: the two dialog templates control by
// control, the system-menu string, the icons' images and the version block, all in
// Chinese (PRC) with their texts exactly as written.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace {

const WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

std::string AgentPath()
{
    return qmtest::ProgramDir() + "Quillmere.exe";
}

class AgentResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module = LoadLibraryExA(AgentPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, (HMODULE)NULL);
    }
    void TearDown() override
    {
        if (m_module != NULL)
            FreeLibrary(m_module);
    }
    // The bytes of a resource in Chinese (PRC); empty when there is none.
    std::string Resource(LPCSTR type, WORD id)
    {
        HRSRC found = FindResourceExA(m_module, type, MAKEINTRESOURCEA(id), kChinesePrc);
        if (found == NULL)
            return std::string();
        HGLOBAL loaded = LoadResource(m_module, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        return bytes != NULL ? std::string(bytes, SizeofResource(m_module, found)) : std::string();
    }
    HMODULE m_module = NULL;
};

// Reads a dialog template of either layout.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : m_bytes(bytes) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return (short)Take<WORD>(); }
    // A text, or an ordinal written as "#N".
    std::wstring TextOrOrdinal()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring s;
        for (WORD c = first; c != 0 && m_pos < m_bytes.size(); c = Word())
            s += (wchar_t)c;
        return s;
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~(size_t)3; }
    void Skip(size_t n) { m_pos += n; }
    bool Ok() const { return m_pos <= m_bytes.size(); }

private:
    template <typename T>
    T Take()
    {
        T value = 0;
        if (m_pos + sizeof(T) <= m_bytes.size())
            memcpy(&value, m_bytes.data() + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return value;
    }
    const std::string& m_bytes;
    size_t m_pos = 0;
};

struct Control {
    std::wstring windowClass;  // "#128" button, "#129" edit, "#130" static
    std::wstring text;
    int id;
    short x, y, cx, cy;
    DWORD style;
};

struct Dialog {
    bool extended;
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::wstring caption, font;
    WORD pointSize;
    std::vector<Control> controls;
};

Dialog ReadDialog(const std::string& bytes)
{
    Dialog d = {};
    TemplateReader r(bytes);
    d.extended = bytes.size() >= 4 && memcmp(bytes.data(), "\x01\x00\xFF\xFF", 4) == 0;
    if (d.extended) {
        r.Dword();  // version and signature
        r.Dword();  // help id
        d.exStyle = r.Dword();
        d.style = r.Dword();
    } else {
        d.style = r.Dword();
        d.exStyle = r.Dword();
    }
    int count = r.Word();
    d.x = r.Short(), d.y = r.Short(), d.cx = r.Short(), d.cy = r.Short();
    r.TextOrOrdinal();  // menu
    r.TextOrOrdinal();  // class
    d.caption = r.TextOrOrdinal();
    if (d.style & DS_SETFONT) {
        d.pointSize = r.Word();
        if (d.extended)
            r.Skip(4);  // weight, italic, character set
        d.font = r.TextOrOrdinal();
    }
    for (int i = 0; i < count && r.Ok(); ++i) {
        Control c = {};
        r.AlignDword();
        if (d.extended) {
            r.Dword();  // help id
            r.Dword();  // extended style
            c.style = r.Dword();
        } else {
            c.style = r.Dword();
            r.Dword();
        }
        c.x = r.Short(), c.y = r.Short(), c.cx = r.Short(), c.cy = r.Short();
        c.id = d.extended ? (int)r.Dword() : (short)r.Word();
        c.windowClass = r.TextOrOrdinal();
        c.text = r.TextOrOrdinal();
        r.Skip(r.Word());
        d.controls.push_back(c);
    }
    return d;
}

void ExpectControl(const Control& c, const wchar_t* windowClass, const wchar_t* text, int id, short x, short y,
                   short cx, short cy)
{
    SCOPED_TRACE(testing::Message() << "control " << id << " at " << x << "," << y);
    EXPECT_EQ(c.windowClass, windowClass);
    EXPECT_EQ(c.text, text);
    EXPECT_EQ(c.id, id);
    EXPECT_EQ(c.x, x);
    EXPECT_EQ(c.y, y);
    EXPECT_EQ(c.cx, cx);
    EXPECT_EQ(c.cy, cy);
}

TEST_F(AgentResources, MainWindowTemplate102)
{
    std::string bytes = Resource(RT_DIALOG, 102);
    ASSERT_FALSE(bytes.empty());
    Dialog d = ReadDialog(bytes);
    EXPECT_TRUE(d.extended);
    const DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(d.style & ~(DWORD)DS_SETFONT, style);
    EXPECT_EQ(d.exStyle, (DWORD)WS_EX_APPWINDOW);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 168);
    EXPECT_EQ(d.cy, 77);
    EXPECT_EQ(d.caption, L"Wrenfold");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.font, L"宋体");

    ASSERT_EQ(d.controls.size(), 7u);
    ExpectControl(d.controls[0], L"#130", L"旧PIN码：", -1, 33, 7, 48, 8);
    ExpectControl(d.controls[1], L"#130", L"新PIN码：", -1, 35, 35, 41, 8);
    ExpectControl(d.controls[2], L"#129", L"", 1000, 81, 7, 74, 14);
    ExpectControl(d.controls[3], L"#129", L"", 1001, 81, 36, 74, 14);
    ExpectControl(d.controls[4], L"#128", L"修改", 1002, 27, 63, 41, 14);
    ExpectControl(d.controls[5], L"#130", L"#131", -1, 2, 0, 21, 21);
    ExpectControl(d.controls[6], L"#128", L"", -1, 29, 0, 138, 56);
    for (int i : {2, 3})
        EXPECT_EQ(d.controls[i].style & (WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL),
                  (DWORD)(WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL));
    EXPECT_EQ(d.controls[4].style & 0xF, (DWORD)BS_PUSHBUTTON);
    EXPECT_EQ(d.controls[5].style & SS_TYPEMASK, (DWORD)SS_ICON);
    EXPECT_EQ(d.controls[6].style & 0xF, (DWORD)BS_GROUPBOX);
}

TEST_F(AgentResources, AboutBoxTemplate100AndMenuString101)
{
    std::string bytes = Resource(RT_DIALOG, 100);
    ASSERT_FALSE(bytes.empty());
    Dialog d = ReadDialog(bytes);
    EXPECT_EQ(d.style & ~(DWORD)DS_SETFONT, (DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
    EXPECT_EQ(d.cx, 235);
    EXPECT_EQ(d.cy, 55);
    EXPECT_EQ(d.caption, L"关于 Wrenfold");
    EXPECT_EQ(d.pointSize, 9);
    EXPECT_EQ(d.font, L"宋体");
    ASSERT_EQ(d.controls.size(), 3u);
    EXPECT_EQ(d.controls[0].text, L"#128");
    EXPECT_EQ(d.controls[0].x, 11);
    EXPECT_EQ(d.controls[0].y, 17);
    EXPECT_EQ(d.controls[1].text, L"Wrenfold 1.0 版");
    EXPECT_EQ(d.controls[1].x, 40);
    EXPECT_EQ(d.controls[1].y, 10);
    ExpectControl(d.controls[2], L"#128", L"确定", IDOK, 178, 7, 50, 14);
    EXPECT_EQ(d.controls[2].style & 0xF, (DWORD)BS_DEFPUSHBUTTON);

    // Strings live in blocks of 16: 101 is in block 7.
    EXPECT_FALSE(Resource(RT_STRING, 101 / 16 + 1).empty());
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(m_module, 101, text, 64), 0);
    EXPECT_STREQ(text, L"关于 Wrenfold(&A)...");
}

// (width, bits per pixel) of each image of an icon group.
std::vector<std::pair<int, int>> IconImages(const std::string& group)
{
    std::vector<std::pair<int, int>> images;
    if (group.size() < 6)
        return images;
    WORD count;
    memcpy(&count, group.data() + 4, 2);
    for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
        const unsigned char* e = reinterpret_cast<const unsigned char*>(group.data()) + 6 + 14 * i;
        images.push_back({e[0] == 0 ? 256 : e[0], e[6] | e[7] << 8});
    }
    return images;
}

TEST_F(AgentResources, IconsHaveTheirSizesAndDepths)
{
    std::vector<std::pair<int, int>> app = {{24, 8}, {24, 32}};
    EXPECT_EQ(IconImages(Resource(RT_GROUP_ICON, 128)), app);

    std::vector<std::pair<int, int>> panel = IconImages(Resource(RT_GROUP_ICON, 131));
    for (int size : {16, 24, 32, 48})
        for (int bits : {4, 8, 32})
            EXPECT_NE(std::find(panel.begin(), panel.end(), std::make_pair(size, bits)), panel.end())
                << size << "x" << size << " at " << bits << " bits";

    EXPECT_NE(LoadImageA(m_module, MAKEINTRESOURCEA(128), IMAGE_ICON, 24, 24, 0), (HANDLE)NULL);
    EXPECT_NE(LoadImageA(m_module, MAKEINTRESOURCEA(131), IMAGE_ICON, 48, 48, 0), (HANDLE)NULL);
}

TEST_F(AgentResources, VersionBlock)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(AgentPath().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(AgentPath().c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000003u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000003u);

    WORD* translation = NULL;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], kChinesePrc);
    EXPECT_EQ(translation[1], 1200);  // Unicode

    struct Expected {
        const wchar_t* key;
        const wchar_t* value;  // NULL: absent
    } table[] = {
        {L"FileDescription", L"regist cert sm2&rsa"},
        {L"InternalName", L"Wrenfold"},
        {L"Comments", L"personal"},
        {L"FileVersion", L"2.0.0.3"},
        {L"ProductVersion", L"2.0.0.3"},
        {L"CompanyName", NULL},
        {L"ProductName", NULL},
    };
    for (const Expected& e : table) {
        std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + e.key;
        wchar_t* value = NULL;
        BOOL found = VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length);
        if (e.value == NULL) {
            EXPECT_FALSE(found && length > 0) << "unexpected " << std::string(e.key, e.key + wcslen(e.key));
            continue;
        }
        ASSERT_TRUE(found) << "missing value " << std::string(e.key, e.key + wcslen(e.key));
        EXPECT_STREQ(value, e.value);
    }
}

}  // namespace
