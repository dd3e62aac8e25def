// The name-list walker and the named-container decoding, natively under the sanitizers.
// Lists are copied into heap blocks of exactly their size, so any read past the bound
// trips AddressSanitizer.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "agent/token/namelist.h"

namespace {

struct Walk {
    std::vector<std::string> names;  // copied names, "<long>" for one that did not fit
    int last = NAME_LIST_END;        // the step that ended the walk
};

// Walks `bytes` as a buffer of exactly that size whose library reported `reported`.
Walk WalkList(const std::string& bytes, unsigned long reported, size_t nameCapacity = 256)
{
    std::vector<char> buffer(bytes.begin(), bytes.end());
    NameListCursor cursor = NameListBegin(buffer.data(), NameListBound(reported, buffer.size()));
    Walk walk;
    ListName name;
    std::vector<char> copy(nameCapacity);
    while ((walk.last = NextListName(&cursor, &name)) == NAME_LIST_NAME) {
        EXPECT_GE(name.text, buffer.data());
        EXPECT_LE(name.text + name.length, buffer.data() + buffer.size());
        walk.names.push_back(CopyListName(name, copy.data(), copy.size()) ? std::string(copy.data()) : "<long>");
    }
    if (walk.last == NAME_LIST_UNTERMINATED)
        EXPECT_EQ(NextListName(&cursor, &name), NAME_LIST_END) << "an unterminated name ends the list";
    return walk;
}

std::string Bytes(const char* text, size_t length)
{
    return std::string(text, length);
}

TEST(NameList, Walks)
{
    struct Case {
        const char* what;
        std::string list;
        unsigned long reported;
        std::vector<std::string> names;
        int last;
    } cases[] = {
        {"two names and the closing empty name", Bytes("A\0BC\0\0", 6), 6, {"A", "BC"}, NAME_LIST_END},
        {"an empty name in the middle ends the list", Bytes("A\0\0B\0\0", 6), 6, {"A"}, NAME_LIST_END},
        {"last name ends at the very end, no closing name", Bytes("A\0BC\0", 5), 5, {"A", "BC"}, NAME_LIST_END},
        {"no NUL at all, size equal to the buffer", std::string(16, 'x'), 16, {}, NAME_LIST_UNTERMINATED},
        {"last name cut by the reported size", Bytes("A\0BC\0\0", 6), 3, {"A"}, NAME_LIST_UNTERMINATED},
        {"reported size larger than the buffer", Bytes("A\0B", 3), 5000, {"A"}, NAME_LIST_UNTERMINATED},
        {"reported huge size", Bytes("A\0\0", 3), 0xFFFFFFFFul, {"A"}, NAME_LIST_END},
        {"reported 0", Bytes("A\0\0", 3), 0, {}, NAME_LIST_END},
        {"reported 1 with a name", Bytes("A\0\0", 3), 1, {}, NAME_LIST_UNTERMINATED},
        {"reported 1 with the empty list", Bytes("\0\0", 2), 1, {}, NAME_LIST_END},
        {"empty buffer", std::string(), 10, {}, NAME_LIST_END},
        {"format characters are plain bytes", Bytes("%s%n\0\0", 6), 6, {"%s%n"}, NAME_LIST_END},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Walk walk = WalkList(c.list, c.reported);
        EXPECT_EQ(walk.names, c.names);
        EXPECT_EQ(walk.last, c.last);
    }
}

TEST(NameList, NamesLongerThanTheirBufferAreRefusedNotShortened)
{
    // 255 bytes fit a 256-byte buffer with the NUL; 256 do not. The walk goes on after it.
    std::string fits(255, 'f'), over(256, 'o');
    std::string list = over + '\0' + fits + '\0' + "next" + '\0' + '\0';
    Walk walk = WalkList(list, (unsigned long)list.size());
    EXPECT_EQ(walk.names, (std::vector<std::string>{"<long>", fits, "next"}));

    // A device name buffer of 260 bytes takes 259.
    std::string device(259, 'd');
    EXPECT_EQ(WalkList(device + '\0', 260, 260).names, std::vector<std::string>{device});
    EXPECT_EQ(WalkList(device + "d" + '\0', 261, 260).names, std::vector<std::string>{"<long>"});

    char buffer[4] = {'z', 'z', 'z', 'z'};
    ListName name = {"abcd", 4};
    EXPECT_EQ(CopyListName(name, buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer[0], '\0') << "a refused name leaves an empty string";
    EXPECT_EQ(CopyListName(name, buffer, 0), 0);
}

TEST(NameList, FullListOfOneCharacterNames)
{
    std::string list;
    for (int i = 0; i < 512; ++i)
        list += std::string(1, (char)('A' + i % 26)) + '\0';
    ASSERT_EQ(list.size(), 1024u);
    Walk walk = WalkList(list, 1024);
    ASSERT_EQ(walk.names.size(), 512u);
    EXPECT_EQ(walk.names[511], std::string(1, (char)('A' + 511 % 26)));
    EXPECT_EQ(walk.last, NAME_LIST_END);
}

TEST(NamedContainer, Decoding)
{
    std::string noNul(128, 'n');
    struct Case {
        const char* what;
        std::string content;
        size_t length;
        std::string name;
    } cases[] = {
        {"ends at the first NUL", Bytes("tokA-c2\0junk", 12), 12, "tokA-c2"},
        {"no NUL within the reported length", "abcdef", 3, "abc"},
        {"128 bytes without a NUL: 127 count", noNul, 128, std::string(127, 'n')},
        {"length beyond the 128-byte buffer", noNul + "tail", 4000, std::string(127, 'n')},
        {"empty content", Bytes("\0abc", 4), 4, ""},
        {"nothing read", "abc", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The agent reads into a 128-byte buffer; the content may not fill it.
        std::vector<unsigned char> buffer(NAMED_CONTAINER_FILE_BYTES, 0);
        memcpy(buffer.data(), c.content.data(), c.content.size() < buffer.size() ? c.content.size() : buffer.size());
        char name[NAMED_CONTAINER_FILE_BYTES];
        memset(name, 'z', sizeof name);
        size_t length = c.length < buffer.size() ? c.length : buffer.size();
        EXPECT_EQ(DecodeNamedContainer(buffer.data(), length, name), c.name.size());
        EXPECT_EQ(std::string(name), c.name);
    }
    char name[NAMED_CONTAINER_FILE_BYTES];
    EXPECT_EQ(DecodeNamedContainer(NULL, 5, name), 0u);
    EXPECT_EQ(name[0], '\0');
}

}  // namespace
