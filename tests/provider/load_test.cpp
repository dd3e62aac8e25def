// The provider library loads as a 64-bit library and keeps its own module handle.
#include <gtest/gtest.h>

#include <windows.h>

TEST(ProviderLoad, LoadsAndUnloads)
{
    HMODULE module = LoadLibraryA("QvCspFullApi.dll");
    ASSERT_NE(module, nullptr) << GetLastError();
    char path[MAX_PATH] = {};
    EXPECT_GT(GetModuleFileNameA(module, path, MAX_PATH), 0u);
    EXPECT_NE(strstr(path, "QvCspFullApi.dll"), nullptr) << path;
    EXPECT_TRUE(FreeLibrary(module));
}
