#include "agent/token/namelist.h"

#include <string.h>

size_t NameListBound(unsigned long reported, size_t capacity)
{
    return reported < capacity ? (size_t)reported : capacity;
}

NameListCursor NameListBegin(const char* list, size_t size)
{
    NameListCursor cursor = {list, list != NULL ? size : 0, 0};
    return cursor;
}

int NextListName(NameListCursor* cursor, ListName* name)
{
    name->text = NULL;
    name->length = 0;
    if (cursor->offset >= cursor->size || cursor->list[cursor->offset] == '\0')
        return NAME_LIST_END;

    const char* start = cursor->list + cursor->offset;
    size_t left = cursor->size - cursor->offset;
    const char* nul = static_cast<const char*>(memchr(start, '\0', left));
    name->text = start;
    if (nul == NULL) {
        name->length = left;
        cursor->offset = cursor->size;
        return NAME_LIST_UNTERMINATED;
    }
    name->length = (size_t)(nul - start);
    cursor->offset += name->length + 1;
    return NAME_LIST_NAME;
}

int CopyListName(const ListName& name, char* buffer, size_t capacity)
{
    if (capacity == 0)
        return 0;
    if (name.length >= capacity) {
        buffer[0] = '\0';
        return 0;
    }
    memcpy(buffer, name.text, name.length);
    buffer[name.length] = '\0';
    return 1;
}

size_t DecodeNamedContainer(const unsigned char* content, size_t length, char name[NAMED_CONTAINER_FILE_BYTES])
{
    if (content == NULL || length > NAMED_CONTAINER_FILE_BYTES)
        length = content == NULL ? 0 : NAMED_CONTAINER_FILE_BYTES;
    size_t n = 0;
    while (n < length && n < NAMED_CONTAINER_FILE_BYTES - 1 && content[n] != '\0')
        ++n;
    if (n > 0)
        memcpy(name, content, n);
    name[n] = '\0';
    return n;
}
