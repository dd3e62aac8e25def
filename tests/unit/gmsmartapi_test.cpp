// Loading and binding the standard token library under Wine with the virtual library:
// the table's order and names, the prefix, libraries lacking a function, unloadable files.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "agent/token/gmsmartapi.h"
#include "testbed/skftoken/vskf_testing.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

// The binding order, which is also the table's field order.
const char* const kSuffixes[] = {"EnumDev",         "ConnectDev",      "GetDevInfo",       "ReadFile",
                                 "GetFileInfo",     "DisConnectDev",   "EnumApplication",  "OpenApplication",
                                 "CloseApplication", "EnumContainer",  "OpenContainer",    "CloseContainer",
                                 "GetContainerType", "ExportCertificate"};
const int kFunctionCount = sizeof kSuffixes / sizeof kSuffixes[0];

FARPROC TableEntry(int i)
{
    return reinterpret_cast<FARPROC*>(&g_GmSmartApi)[i];
}

bool TableCleared()
{
    for (int i = 0; i < kFunctionCount; ++i)
        if (TableEntry(i) != NULL)
            return false;
    return true;
}

void WriteConfig(const std::string& library, const std::string& prefix)
{
    std::string text = "[ConfigInfor]\r\n";
    if (!library.empty())
        text += "GmTokApiDLLName=" + library + "\r\n";
    text += "[SmartAPP]\r\nAppNum=1\r\n";
    if (!prefix.empty())
        text += "FunctionPre=" + prefix + "\r\n";
    WriteIniBesideProgram("ConfigInfor.ini", text);
}

bool Logged(const std::string& text)
{
    for (const std::string& line : LogMessages())
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

class GmSmartApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadGMSmartAPI();
        ResetLog();
        RemoveBesideProgram("ConfigInfor.ini");
        WriteVskfFixture("[vskf]\r\ndevices=0\r\n");
    }
    void TearDown() override
    {
        UnloadGMSmartAPI();
        RemoveBesideProgram("ConfigInfor.ini");
        RemoveVskfFixture();
    }

    // Each table entry is the library's export of the prefixed name in table order.
    void ExpectBoundTo(const char* library, const std::string& prefix)
    {
        HMODULE module = GetModuleHandleA(library);
        ASSERT_NE(module, (HMODULE)NULL) << library << " is loaded";
        for (int i = 0; i < kFunctionCount; ++i) {
            std::string name = prefix + "_" + kSuffixes[i];
            FARPROC proc = GetProcAddress(module, name.c_str());
            ASSERT_NE(proc, (FARPROC)NULL) << name;
            EXPECT_EQ(TableEntry(i), proc) << "table entry " << i << " is " << name;
        }
    }
};

TEST_F(GmSmartApiTest, WithoutConfigurationTheDefaultLibraryIsBoundUnderSKF)
{
    EXPECT_EQ(IsGMSmartAPIBound(), 0);
    ASSERT_EQ(LoadGMSmartAPI(), 1);
    EXPECT_EQ(IsGMSmartAPIBound(), 1);
    ExpectBoundTo("GmTokApiHID.dll", "SKF");
    std::vector<std::string> log = LogMessages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "获取的GM库文件路径：");
    EXPECT_EQ(log.back(), ProgramDir() + "GmTokApiHID.dll");
    EXPECT_FALSE(Logged("LoadLibrary GMSmartDll err"));

    // Loaded once: a second call keeps the same library and table.
    FARPROC enumDev = TableEntry(0);
    EXPECT_EQ(LoadGMSmartAPI(), 1);
    EXPECT_EQ(TableEntry(0), enumDev);

    // Binding calls nothing in the library.
    EXPECT_TRUE(VskfCalls().empty());
}

TEST_F(GmSmartApiTest, PrefixABCBindsTheABCNames)
{
    WriteConfig("vskf_abc.dll", "ABC");
    ASSERT_EQ(LoadGMSmartAPI(), 1);
    ExpectBoundTo("vskf_abc.dll", "ABC");

    // The same library under the default prefix lacks every name.
    UnloadGMSmartAPI();
    WriteConfig("vskf_abc.dll", "");
    EXPECT_EQ(LoadGMSmartAPI(), 0);
    EXPECT_EQ(IsGMSmartAPIBound(), 0);
    EXPECT_TRUE(TableCleared());
    EXPECT_EQ(GetModuleHandleA("vskf_abc.dll"), (HMODULE)NULL);
}

TEST_F(GmSmartApiTest, ALibraryLackingAnyOneFunctionIsReleasedAndNothingIsBound)
{
    for (const char* missing : kSuffixes) {
        SCOPED_TRACE(missing);
        std::string library = std::string("vskf_no_") + missing + ".dll";
        ASSERT_TRUE(FileExists(ProgramDir() + library));
        ResetLog();
        WriteConfig(library, "");
        EXPECT_EQ(LoadGMSmartAPI(), 0);
        EXPECT_EQ(IsGMSmartAPIBound(), 0);
        EXPECT_TRUE(TableCleared());
        EXPECT_EQ(GetModuleHandleA(library.c_str()), (HMODULE)NULL) << "released";
        // The caller's err line is the only report; no line names the function.
        EXPECT_FALSE(Logged(std::string("SKF_") + missing));
        EXPECT_FALSE(Logged("LoadLibrary GMSmartDll err"));
    }
    // A complete library still binds afterwards.
    WriteConfig("", "");
    EXPECT_EQ(LoadGMSmartAPI(), 1);
}

TEST_F(GmSmartApiTest, UnloadableFilesAreLoggedWithTheirErrorAndBindNothing)
{
    struct Case {
        const char* file;
        const char* contents;  // NULL: no such file
        const char* detail;
    } cases[] = {
        {"vskf_missing.dll", NULL, "error 126"},
        {"vskf_garbage.dll", "this is not a library", "not a 32-bit library"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ResetLog();
        RemoveFile(ProgramDir() + c.file);
        if (c.contents != NULL)
            WriteFileBytes(ProgramDir() + c.file, c.contents);
        WriteConfig(c.file, "");
        EXPECT_EQ(LoadGMSmartAPI(), 0);
        EXPECT_EQ(IsGMSmartAPIBound(), 0);
        EXPECT_TRUE(TableCleared());
        std::vector<std::string> log = LogMessages();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], "LoadLibrary GMSmartDll err");
        EXPECT_NE(log.back().find(c.detail), std::string::npos) << log.back();
        RemoveFile(ProgramDir() + c.file);
    }
}

}  // namespace
