// The page category of a subject name, natively.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "agent/webpage/subjectclass.h"

TEST(SubjectClass, Categories)
{
    const struct {
        std::string name;
        PageCategory expected;
    } cases[] = {
        {"96668e9AB", PAGE_ENTERPRISE},
        {"96668e1", PAGE_PERSONAL},
        {"96668e", PAGE_PERSONAL},  // the seventh character is missing
        {"96668E9", PAGE_DEFAULT},  // upper case does not match
        {"ABC", PAGE_DEFAULT},
        {"96668", PAGE_DEFAULT},    // shorter than the prefix
        {"", PAGE_DEFAULT},
        {"x96668e9", PAGE_DEFAULT},
        {"96668ea", PAGE_PERSONAL},
        {std::string("96668e\0" "9", 8), PAGE_PERSONAL},  // nothing after a NUL counts
        {std::string("9666\0" "8e9", 8), PAGE_DEFAULT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifySubjectName(c.name.data(), c.name.size()), c.expected) << c.name;
}

TEST(SubjectClass, LengthBoundsTheRead)
{
    // Exactly the bytes given, no terminator: ASan sees a read past them.
    const char text[] = "96668e9";
    char* exact = new char[7];
    memcpy(exact, text, 7);
    EXPECT_EQ(ClassifySubjectName(exact, 7), PAGE_ENTERPRISE);
    EXPECT_EQ(ClassifySubjectName(exact, 6), PAGE_PERSONAL);
    EXPECT_EQ(ClassifySubjectName(exact, 5), PAGE_DEFAULT);
    delete[] exact;
}

TEST(SubjectClass, LinesOfTheCategories)
{
    EXPECT_STREQ(PageCategoryLine(PAGE_DEFAULT), "打开默认网页");
    EXPECT_STREQ(PageCategoryLine(PAGE_PERSONAL), "打开个人网页");
    EXPECT_STREQ(PageCategoryLine(PAGE_ENTERPRISE), "打开企业网页");
}
