// Configuration files and paths: defaults, limits and the log lines of the readers.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "agent/config/IniReader.h"
#include "agent/config/config.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetLog();
        RemoveBesideProgram("ConfigInfor.ini");
    }
    void TearDown() override { RemoveBesideProgram("ConfigInfor.ini"); }

    static std::string ConfigPath() { return ProgramDir() + "ConfigInfor.ini"; }
};

TEST_F(ConfigTest, WithoutAFileEveryKeyTakesItsDefault)
{
    char name[PROVIDER_FIELD_BYTES] = {};
    int length = 99;
    EXPECT_EQ(GetProviderName(name, sizeof name, &length), 1);
    EXPECT_EQ(length, 0);

    char path[PATH_FIELD_BYTES] = {};
    EXPECT_EQ(GetMonitorPath(path, sizeof path, &length), (int)ProgramDir().size());
    EXPECT_EQ(std::string(path), ProgramDir() + "plugWatch.exe");
    EXPECT_EQ(length, (int)strlen(path));

    std::string prefix = "x";
    GetFunctionPre(prefix);
    EXPECT_EQ(prefix, "xSKF");

    int count = 7, nameLength = 7;
    char app[PATH_FIELD_BYTES] = {};
    EXPECT_EQ(GetAppInfo(app, sizeof app, &nameLength, &count), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(nameLength, 0);
    EXPECT_EQ(GetWaitDevice(), 0);

    std::string list;
    GetKeyListFileName(list);
    EXPECT_EQ(list, "qvkey.ini");
    EXPECT_EQ(GetKeyListPath(), DocumentsDir() + "\\qvkey.ini");
}

TEST_F(ConfigTest, LibraryPathsLogTheirSteps)
{
    char path[PATH_FIELD_BYTES] = {};
    EXPECT_EQ(GetPrvApiPath(path, sizeof path), 1);
    EXPECT_EQ(std::string(path), ProgramDir() + "QvPrvApi.dll");
    std::vector<std::string> expected = {"获取的配置文件路径：", ConfigPath(), "获取私有库文件名称为空",
                                         "获取的私有库文件路径：", ProgramDir() + "QvPrvApi.dll"};
    EXPECT_EQ(LogMessages(), expected);

    ResetLog();
    WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nGmTokApiDLLName=MyGm.dll\r\n");
    EXPECT_EQ(GetGmTokApiPath(path, sizeof path), 1);
    EXPECT_EQ(std::string(path), ProgramDir() + "MyGm.dll");
    expected = {"获取的配置文件路径：", ConfigPath(), "获取的GM库文件路径：", ProgramDir() + "MyGm.dll"};
    EXPECT_EQ(LogMessages(), expected);
}

TEST_F(ConfigTest, ProviderNameLimits)
{
    struct Case {
        std::string value;
        int result;
        int length;
    } cases[] = {
        {"", 1, 0},                   // empty acts as missing
        {"My Csp", 0, 6},
        {std::string(127, 'p'), 0, 127},
        {std::string(128, 'p'), -1, 0},  // refused, never cut to another name
    };
    for (const Case& c : cases) {
        WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nProviderName=" + c.value + "\r\n");
        char name[PROVIDER_FIELD_BYTES];
        memset(name, 0, sizeof name);
        int length = 99;
        EXPECT_EQ(GetProviderName(name, sizeof name, &length), c.result) << c.value.size();
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(std::string(name, length), c.value.substr(0, length));
        EXPECT_EQ(name[PROVIDER_FIELD_BYTES - 1], 0);
    }
}

TEST_F(ConfigTest, UnloadProviderNameLogsTheFileFirst)
{
    WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nProviderName=Other Csp\r\n");
    char name[PROVIDER_FIELD_BYTES] = {};
    int length = 0;
    EXPECT_EQ(GetUnloadProviderName(name, sizeof name, &length), 0);
    EXPECT_EQ(std::string(name), "Other Csp");
    EXPECT_EQ(LogMessages(), std::vector<std::string>{ConfigPath()});
}

TEST_F(ConfigTest, SwitchValuesFitTheCallersField)
{
    WriteIniBesideProgram("ConfigInfor.ini",
                          "[UKEYTOOL]\r\nCertRegSign=20\r\nCertRegEnc=" + std::string(40, '2') + "\r\n");
    char value[32];
    memset(value, 0, sizeof value);
    int length = -1;
    EXPECT_EQ(ReadConfigInfor("UKEYTOOL", "CertRegSign", value, sizeof value, &length), 0);
    EXPECT_EQ(std::string(value), "20");
    EXPECT_EQ(length, 2);

    memset(value, 0, sizeof value);
    ReadConfigInfor("UKEYTOOL", "CertRegEnc", value, sizeof value, &length);
    EXPECT_EQ(length, 31);
    EXPECT_EQ(value[31], 0);
    EXPECT_EQ(value[0], '2');

    memset(value, 0, sizeof value);
    ReadConfigInfor("UKEYTOOL", "Missing", value, sizeof value, &length);
    EXPECT_EQ(length, 0);
}

TEST_F(ConfigTest, DocumentsPaths)
{
    WriteIniBesideProgram("ConfigInfor.ini", "[UlibSdkList]\r\npath=keys\\list.ini\r\n");
    EXPECT_EQ(GetKeyListPath(), DocumentsDir() + "\\keys\\list.ini");
    EXPECT_EQ(GetKeyCertInfoPrefix(67), DocumentsDir() + "\\QVKEYCERTINFORINKEYNO67_");
    EXPECT_EQ(GetKeyCertInfoPrefix(0), DocumentsDir() + "\\QVKEYCERTINFORINKEYNO0_");

    // A path over 255 bytes is not used (and not cut into another file's name).
    WriteIniBesideProgram("ConfigInfor.ini", "[UlibSdkList]\r\npath=" + std::string(250, 'k') + ".ini\r\n");
    ResetLog();
    EXPECT_EQ(GetKeyListPath(), "");
    EXPECT_FALSE(LogMessages().empty());
}

TEST_F(ConfigTest, MonitorPathTooLongIsRefused)
{
    WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nPlugWatch=" + std::string(520, 'm') + "\r\n");
    char path[PATH_FIELD_BYTES];
    memset(path, 'x', sizeof path);
    int length = 99;
    EXPECT_EQ(GetMonitorPath(path, sizeof path, &length), -1);
    EXPECT_EQ(path[0], 0);
    EXPECT_EQ(length, 0);

    WriteIniBesideProgram("ConfigInfor.ini", "[ConfigInfor]\r\nPlugWatch=mon\\watch.exe\r\n");
    int offset = GetMonitorPath(path, sizeof path, &length);
    EXPECT_EQ(std::string(path + offset), "mon\\watch.exe");
}

TEST_F(ConfigTest, AppNumIsSigned)
{
    struct Case {
        const char* text;
        int count;
        int nameLength;
        std::vector<std::string> extraLines;
    } cases[] = {
        {"AppNum=-1\r\nAppName=x\r\n", -1, 55, {}},
        {"AppNum=2\r\nAppName=x\r\n", 2, 55, {}},
        {"AppNum=1\r\nAppName=App One\r\n", 1, 7, {}},
        {"AppNum=1\r\n", 1, 0, {"获取应用名称为空"}},
        {"AppNum=0\r\nAppName=x\r\n", 0, 0, {}},
    };
    for (const Case& c : cases) {
        ResetLog();
        WriteIniBesideProgram("ConfigInfor.ini", std::string("[SmartAPP]\r\n") + c.text);
        char name[PATH_FIELD_BYTES] = {};
        int nameLength = 55, count = 55;
        GetAppInfo(name, sizeof name, &nameLength, &count);
        EXPECT_EQ(count, c.count) << c.text;
        EXPECT_EQ(nameLength, c.nameLength) << c.text;
        std::vector<std::string> expected = {"获取的配置文件路径：", ConfigPath()};
        expected.insert(expected.end(), c.extraLines.begin(), c.extraLines.end());
        EXPECT_EQ(LogMessages(), expected) << c.text;
    }
}

TEST_F(ConfigTest, WaitDevice)
{
    for (const char* value : {"1", "-3", "0", ""}) {
        WriteIniBesideProgram("ConfigInfor.ini", std::string("[SmartAPP]\r\nWaitDevice=") + value + "\r\n");
        EXPECT_EQ(GetWaitDevice(), (value[0] != '\0' && strcmp(value, "0") != 0) ? 1 : 0) << value;
    }
}

TEST(IniReaderTest, ReadsTheTokenList)
{
    std::string path = ProgramDir() + "tokenlist_test.ini";
    WriteFileBytes(path, "[qvkey 7]\r\nqvkey=0\r\n[qvkey 30]\r\nqvkey=1\r\n[qvkey 8]\r\nqvkey=\r\n");
    CIniReader reader;
    EXPECT_EQ(reader.ReadString("qvkey 7", "qvkey", "d"), "d");  // no path yet: nothing is read
    reader.SetPath(path);
    EXPECT_EQ(reader.ReadString("qvkey 7", "qvkey", ""), "0");
    EXPECT_EQ(reader.ReadString("qvkey 8", "qvkey", "d"), "");
    EXPECT_EQ(reader.ReadString("qvkey 9", "qvkey", "d"), "d");
    RemoveFile(path);
}

}  // namespace
