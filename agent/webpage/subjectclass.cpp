#include "agent/webpage/subjectclass.h"

#include <string.h>

static const char kSubjectPrefix[] = "96668e";

PageCategory ClassifySubjectName(const char* name, size_t length)
{
    const size_t prefixLength = sizeof kSubjectPrefix - 1;
    size_t n = 0;
    while (n < length && name[n] != '\0')
        ++n;
    if (n < prefixLength || memcmp(name, kSubjectPrefix, prefixLength) != 0)
        return PAGE_DEFAULT;
    if (n > prefixLength && name[prefixLength] == '9')
        return PAGE_ENTERPRISE;
    return PAGE_PERSONAL;
}

const char* PageCategoryLine(PageCategory category)
{
    switch (category) {
    case PAGE_ENTERPRISE:
        return "打开企业网页";
    case PAGE_PERSONAL:
        return "打开个人网页";
    default:
        return "打开默认网页";
    }
}
