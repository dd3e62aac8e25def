// The private library's loader against the virtual library and its variants that lack
// one export each.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "agent/token/prvapi.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const char* const kExports[] = {"Usb_Connect",  "Usb_GetSerialNo", "Usb_Disconnect",  "Usb_GetNumber",
                                "Usb_ReadCert", "Usb_ReadCspData", "Usb_WriteCspData"};

class PrvApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreePrvApi();
        ResetLog();
        RemoveBesideProgram("ConfigInfor.ini");
    }
    void TearDown() override
    {
        FreePrvApi();
        RemoveBesideProgram("ConfigInfor.ini");
        RemoveFile(ProgramDir() + "notadll.dll");
    }
    static void ConfigureLibrary(const std::string& name)
    {
        WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nDeviceManageDLLName=" + name + "\r\n");
    }
};

bool TableIsClear()
{
    static const PrvApi zero = {};
    return memcmp(&g_PrvApi, &zero, sizeof zero) == 0;
}

// The log from "LoadPrvApi begin" on, without the four path lines of GetPrvApiPath.
std::vector<std::string> LoaderLines()
{
    std::vector<std::string> lines = LogMessages();
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == "获取的配置文件路径：" || lines[i] == "获取的私有库文件路径：") {
            ++i;  // and the path after it
            continue;
        }
        out.push_back(lines[i]);
    }
    return out;
}

TEST_F(PrvApiTest, DefaultLibraryIsLoadedFromTheProgramDirAndAllSevenBound)
{
    ASSERT_EQ(LoadPrvApi(), 1);
    std::string path = ProgramDir() + "QvPrvApi.dll";
    ASSERT_NE(g_hPrvApiDll, (HMODULE)NULL);
    EXPECT_EQ(g_hPrvApiDll, GetModuleHandleA(path.c_str()));
    FARPROC* slots = reinterpret_cast<FARPROC*>(&g_PrvApi);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(slots[i], GetProcAddress(g_hPrvApiDll, kExports[i])) << kExports[i];

    std::vector<std::string> lines = LogMessages();
    const std::vector<std::string> expected = {"LoadPrvApi begin", "获取的配置文件路径：",
                                               ProgramDir() + "ConfigInfor.ini", "获取私有库文件名称为空",
                                               "获取的私有库文件路径：", path, "LoadLibrary PrvApi ok",
                                               "LoadPrvApi end"};
    EXPECT_EQ(lines, expected);

    FreePrvApi();
    EXPECT_EQ(g_hPrvApiDll, (HMODULE)NULL);
    EXPECT_TRUE(TableIsClear());
    EXPECT_EQ(GetModuleHandleA(path.c_str()), (HMODULE)NULL);
}

TEST_F(PrvApiTest, ConfiguredNameAndARepeatedLoadKeepOneReference)
{
    ConfigureLibrary("QvPrvApi.dll");
    ASSERT_EQ(LoadPrvApi(), 1);
    ASSERT_EQ(LoadPrvApi(), 1);  // a turn whose library was not released
    FreePrvApi();
    EXPECT_EQ(GetModuleHandleA((ProgramDir() + "QvPrvApi.dll").c_str()), (HMODULE)NULL);
}

TEST_F(PrvApiTest, ALibraryLackingAnyExportIsNotUsed)
{
    for (const char* missing : kExports) {
        SCOPED_TRACE(missing);
        std::string name = std::string("vprv_no_") + missing + ".dll";
        // A table bound before must not survive the failed load.
        RemoveBesideProgram("ConfigInfor.ini");
        ASSERT_EQ(LoadPrvApi(), 1);
        ConfigureLibrary(name);
        ResetLog();

        EXPECT_EQ(LoadPrvApi(), 0);
        EXPECT_EQ(g_hPrvApiDll, (HMODULE)NULL);
        EXPECT_TRUE(TableIsClear());
        EXPECT_EQ(GetModuleHandleA((ProgramDir() + name).c_str()), (HMODULE)NULL);
        const std::string missingLine = std::string(missing) == "Usb_GetSerialNo"
                                            ? "GetProcAddress Usb_GetSerialNo err!"
                                            : "GetProcAddress err!";
        const std::vector<std::string> expected = {"LoadPrvApi begin", "LoadLibrary PrvApi ok", missingLine,
                                                   "dwlasterr=0x7F"};
        EXPECT_EQ(LoaderLines(), expected);
    }
}

TEST_F(PrvApiTest, LibraryThatCannotBeLoaded)
{
    ASSERT_TRUE(WriteFileBytes(ProgramDir() + "notadll.dll", "not a library\r\n"));
    struct Case {
        const char* name;
        std::vector<std::string> tail;
    } cases[] = {
        {"absent.dll", {"LoadLibrary PrvApi err", "dwlasterr=0x7E"}},
        // Only the file beside the program counts, never one the search order finds.
        {"kernel32.dll", {"LoadLibrary PrvApi err", "dwlasterr=0x7E"}},
        {"notadll.dll", {"LoadLibrary PrvApi err", "dwlasterr=0xC1", "PrvApi is not a 32-bit library"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigureLibrary(c.name);
        ResetLog();
        EXPECT_EQ(LoadPrvApi(), 0);
        EXPECT_EQ(g_hPrvApiDll, (HMODULE)NULL);
        EXPECT_TRUE(TableIsClear());
        std::vector<std::string> expected = {"LoadPrvApi begin"};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(LoaderLines(), expected);
    }
}

}  // namespace
