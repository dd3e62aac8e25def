// The web page: classifying certificates by subject, the remembered-category line, and
// opening page n in the browser stand-in installed at Internet Explorer's path.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "agent/webpage/openurl.h"
#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const char kRecord[] = "c:\\qvtest\\browser.log";

std::vector<std::string> ClassifyLines(const std::string& name, const char* category)
{
    return {"========>OpenUrlCert begin", "解析证书为:", name, category, "========>OpenUrlCert end"};
}

int Classify(const std::string& der)
{
    return OpenUrlCert((const unsigned char*)der.data(), (int)der.size());
}

class OpenUrlCertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetLog();
        ClearPageChoiceFlags();
    }
    void TearDown() override { ClearPageChoiceFlags(); }
};

TEST_F(OpenUrlCertTest, SubjectNamesFallInTheirCategories)
{
    const struct {
        const char* file;
        const char* name;
        const char* line;
    } cases[] = {
        {"cn_96668e9AB.der", "96668e9AB", "打开企业网页"}, {"cn_96668e1.der", "96668e1", "打开个人网页"},
        {"cn_96668e.der", "96668e", "打开个人网页"},       {"cn_96668E9.der", "96668E9", "打开默认网页"},
        {"cn_ABC.der", "ABC", "打开默认网页"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string der = LoadFixtureCert(c.file);
        ASSERT_FALSE(der.empty());
        ResetLog();
        ClearPageChoiceFlags();
        EXPECT_EQ(Classify(der), 1);
        EXPECT_EQ(LogMessages(), ClassifyLines(c.name, c.line));
    }
}

TEST_F(OpenUrlCertTest, RememberedLineReportsAPreviousPersonalChoice)
{
    const std::string personal = LoadFixtureCert("cn_96668e1.der");
    const std::string enterprise = LoadFixtureCert("cn_96668e9AB.der");
    const std::string other = LoadFixtureCert("cn_ABC.der");

    // After a personal page: the next run says so between its name and category lines.
    Classify(personal);
    ResetLog();
    Classify(other);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"========>OpenUrlCert begin", "解析证书为:", "ABC",
                                                       "个人flag 为真!", "打开默认网页", "========>OpenUrlCert end"}));
    EXPECT_EQ(g_bPersonalPage, 0);

    // After an enterprise or default page there is no such line.
    for (const std::string* before : {&enterprise, &other}) {
        Classify(*before);
        ResetLog();
        Classify(personal);
        EXPECT_EQ(LogMessages(), ClassifyLines("96668e1", "打开个人网页"));
    }

    // An undecodable certificate changes nothing that is remembered.
    Classify(personal);
    EXPECT_EQ(Classify("junk"), 0);
    EXPECT_EQ(g_bPersonalPage, 1);
    ClearPageChoiceFlags();
    EXPECT_EQ(g_bPersonalPage + g_bEnterprisePage, 0);
    ResetLog();
    Classify(other);
    EXPECT_EQ(LogMessages(), ClassifyLines("ABC", "打开默认网页"));
}

TEST_F(OpenUrlCertTest, UndecodableCertificateLogsOnlyTheBeginLine)
{
    const std::string good = LoadFixtureCert("cn_ABC.der");
    const struct {
        const char* what;
        std::string bytes;
        int length;
    } cases[] = {
        {"not DER", "not a certificate", 17},
        {"cut short", good.substr(0, 100), 100},
        {"empty", "", 0},
        {"negative length", good, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetLog();
        EXPECT_EQ(OpenUrlCert((const unsigned char*)c.bytes.data(), c.length), 0);
        EXPECT_EQ(LogMessages(), (std::vector<std::string>{"========>OpenUrlCert begin"}));
    }
}

// Puts the browser stand-in at Internet Explorer's path for the test's duration and
// restores the prefix's own file afterwards.
class OpenUrlPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[MAX_PATH] = {};
        ASSERT_TRUE(SHGetSpecialFolderPathA(NULL, folder, CSIDL_PROGRAM_FILES, FALSE));
        dir = std::string(folder) + "\\Internet Explorer";
        browser = dir + "\\IEXPLORE.EXE";
        saved = dir + "\\iexplore.qvtest-saved";
        CreateDirectoryA(dir.c_str(), NULL);
        // Keep the prefix's own file under its own spelling.
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA(browser.c_str(), &found);
        original = browser;
        if (find != INVALID_HANDLE_VALUE) {
            original = dir + "\\" + found.cFileName;
            FindClose(find);
        }
        if (FileExists(browser) && !FileExists(saved)) {
            ASSERT_TRUE(MoveFileA(browser.c_str(), saved.c_str()));
        }
        ASSERT_TRUE(CopyFileA((ProgramDir() + "browser.exe").c_str(), browser.c_str(), FALSE));
        CreateDirectoryA("c:\\qvtest", NULL);
        RemoveFile(kRecord);
        RemoveBesideProgram("openUrlList.ini");
        ResetLog();
    }
    void TearDown() override
    {
        DeleteFileA(browser.c_str());
        if (FileExists(saved))
            MoveFileA(saved.c_str(), original.c_str());
        RemoveFile(kRecord);
        RemoveBesideProgram("openUrlList.ini");
    }

    // The browser's record once it appeared (the shell does not wait for the browser).
    static std::string WaitForRecord(DWORD timeoutMs)
    {
        for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
            std::string text = ReadFileBytes(kRecord);
            if (text.find("\r\n") != std::string::npos)
                return text;
            Sleep(100);
        }
        return ReadFileBytes(kRecord);
    }

    std::string dir, browser, saved, original;
};

TEST_F(OpenUrlPageTest, FlagOneOpensUrlNMaximised)
{
    WriteIniBesideProgram("openUrlList.ini",
                          "[openFlag]\r\nflag=1\r\n[openUrlAddress]\r\nurl1=http://portal.test/a?b=1&c=%s\r\n"
                          "url2=http://portal.test/two\r\n");
    OpenUrlPage(1);
    std::string record = WaitForRecord(30000);
    EXPECT_EQ(record.substr(0, 7), "show=3 ") << record;  // SW_SHOWMAXIMIZED
    EXPECT_NE(record.find("http://portal.test/a?b=1&c=%s\r\n"), std::string::npos) << record;
    EXPECT_EQ(record.find("two"), std::string::npos) << record;
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"http://portal.test/a?b=1&c=%s"}));

    // Page 2 is read from its own key.
    RemoveFile(kRecord);
    ResetLog();
    OpenUrlPage(2);
    EXPECT_NE(WaitForRecord(30000).find("http://portal.test/two\r\n"), std::string::npos);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"http://portal.test/two"}));
}

TEST_F(OpenUrlPageTest, MissingAddressStillStartsTheBrowser)
{
    WriteIniBesideProgram("openUrlList.ini", "[openFlag]\r\nflag=1\r\n");
    OpenUrlPage(1);
    std::string record = WaitForRecord(30000);
    EXPECT_EQ(record.substr(0, 7), "show=3 ") << record;
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{""}));
}

TEST_F(OpenUrlPageTest, NoFlagOneNoBrowserAndNoLogLine)
{
    const char* files[] = {NULL, "[openFlag]\r\nflag=0\r\n[openUrlAddress]\r\nurl1=http://portal.test/\r\n",
                           "[openFlag]\r\nflag=2\r\n[openUrlAddress]\r\nurl1=http://portal.test/\r\n",
                           "[openUrlAddress]\r\nurl1=http://portal.test/\r\n"};
    for (const char* text : files) {
        SCOPED_TRACE(text ? text : "no file");
        if (text != NULL)
            WriteIniBesideProgram("openUrlList.ini", text);
        else
            RemoveBesideProgram("openUrlList.ini");
        OpenUrlPage(1);
        EXPECT_TRUE(LogMessages().empty());
    }
    // Give a wrongly started browser time to show up.
    EXPECT_EQ(WaitForRecord(5000), "");
}

}  // namespace
