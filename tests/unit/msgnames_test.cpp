// The registered messages' names must reach the binary as the exact GBK bytes the
// monitor and the sibling tools register, or the messages never match.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "agent/shell/msgnames.h"
#include "tests/support/testsupport.h"

namespace {

// The bytes as published for the peers, in the order of registration.
const char* const kExpectedBytes[REGISTERED_MESSAGE_COUNT] = {
    "4B 45 59 BC E0 BF D8 CD EA B3 C9 CF FB CF A2",
    "D6 A4 CA E9 D7 A2 B2 E1 CD EA B3 C9 CF FB CF A2",
    "55 6B 65 79 B2 E5 C8 EB CF FB CF A2",
    "55 6B 65 79 B0 CE CF C2 CF FB CF A2",
    "4F 70 65 6E 55 72 6C",
    "30 BA C5 55 6B 65 79 B2 E5 C8 EB",
    "31 BA C5 55 6B 65 79 B2 E5 C8 EB",
    "32 BA C5 55 6B 65 79 B2 E5 C8 EB",
    "33 BA C5 55 6B 65 79 B2 E5 C8 EB",
    "34 BA C5 55 6B 65 79 B2 E5 C8 EB",
};

TEST(MsgNames, NamesAreTheGbkBytesOfTheTable)
{
    for (int i = 0; i < REGISTERED_MESSAGE_COUNT; ++i)
        EXPECT_EQ(qmtest::Hex(kRegisteredMessageNames[i]), kExpectedBytes[i]) << "name " << i + 1;
}

// Registering the same bytes from another spelling (the wide form the system keeps)
// gives the same message: the names are valid code page 936 text.
TEST(MsgNames, NamesRegisterAsTheirUnicodeText)
{
    const wchar_t* const wide[REGISTERED_MESSAGE_COUNT] = {
        L"KEY监控完成消息", L"证书注册完成消息", L"Ukey插入消息", L"Ukey拔下消息", L"OpenUrl",
        L"0号Ukey插入",     L"1号Ukey插入",       L"2号Ukey插入",   L"3号Ukey插入",   L"4号Ukey插入",
    };
    ASSERT_EQ(GetACP(), 936u) << "the tests run with code page 936";
    for (int i = 0; i < REGISTERED_MESSAGE_COUNT; ++i) {
        UINT a = RegisterWindowMessageA(kRegisteredMessageNames[i]);
        ASSERT_NE(a, 0u);
        EXPECT_EQ(a, RegisterWindowMessageW(wide[i])) << "name " << i + 1;
    }
}

}  // namespace
