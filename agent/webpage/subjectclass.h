// The page category of a certificate, told by its subject's display name. Pure (no
// windows.h), so it also builds natively.
#pragma once

#include <stddef.h>

enum PageCategory { PAGE_DEFAULT = 0, PAGE_PERSONAL = 1, PAGE_ENTERPRISE = 2 };

// Names starting with exactly "96668e" are personal, or enterprise when the seventh
// character is the digit 9; everything else (shorter names, other letter case) is
// default. Only the first `length` bytes are looked at, and no byte after a NUL.
PageCategory ClassifySubjectName(const char* name, size_t length);

// The log line of a category: "打开默认网页", "打开个人网页" or "打开企业网页" (GBK).
const char* PageCategoryLine(PageCategory category);
