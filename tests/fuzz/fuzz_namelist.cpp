// Fuzzes the name-list walker and the named-container decoding: the first four bytes are
// the size the library reports, the rest is the buffer, copied to a block of exactly
// its size so that any read past it is caught.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "agent/token/namelist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t reported = 0;
    if (size >= 4) {
        memcpy(&reported, data, 4);
        data += 4;
        size -= 4;
    }
    char* list = static_cast<char*>(malloc(size > 0 ? size : 1));
    if (list == NULL)
        return 0;
    if (size > 0)
        memcpy(list, data, size);

    size_t bound = NameListBound(reported, size);
    if (bound > size)
        __builtin_trap();
    NameListCursor cursor = NameListBegin(list, bound);
    ListName name;
    char copy[256];
    size_t names = 0;
    int step;
    while ((step = NextListName(&cursor, &name)) == NAME_LIST_NAME) {
        if (name.text < list || name.text + name.length >= list + bound || name.text[name.length] != '\0' ||
            name.length == 0)
            __builtin_trap();
        int fits = CopyListName(name, copy, sizeof copy);
        if (fits != (name.length < sizeof copy) || (fits && strlen(copy) != name.length))
            __builtin_trap();
        if (++names > bound / 2)
            __builtin_trap();
    }
    if (step == NAME_LIST_UNTERMINATED && NextListName(&cursor, &name) != NAME_LIST_END)
        __builtin_trap();

    char container[NAMED_CONTAINER_FILE_BYTES];
    size_t length = DecodeNamedContainer(reinterpret_cast<unsigned char*>(list),
                                         NameListBound(reported, size < 128 ? size : 128), container);
    if (length >= NAMED_CONTAINER_FILE_BYTES || strlen(container) != length)
        __builtin_trap();

    free(list);
    return 0;
}
