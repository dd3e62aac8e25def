// Name lists of the standard token library (devices, applications, containers): NUL-
// terminated names one after another, closed by an empty name. The list comes from an
// outside library, so the walk never reads past the bound it is given. Free of windows.h
// so that it also builds natively.
#pragma once

#include <stddef.h>

enum NameListStep {
    NAME_LIST_END = 0,            // an empty name, or the bound reached
    NAME_LIST_NAME = 1,           // a name, terminated inside the bound
    NAME_LIST_UNTERMINATED = -1,  // bytes up to the bound without a NUL: not a name; ends the list
};

struct NameListCursor {
    const char* list;
    size_t size;    // bytes that may be read: the reported size, cut to the buffer
    size_t offset;  // where the next name starts
};

// A name inside the list: `length` bytes at `text` (a NUL follows them only for a
// NAME_LIST_NAME).
struct ListName {
    const char* text;
    size_t length;
};

// The bytes of a list to walk: the size the library reported, never more than the buffer.
size_t NameListBound(unsigned long reported, size_t capacity);

// Starts a walk over `size` bytes of `list`.
NameListCursor NameListBegin(const char* list, size_t size);

// Takes the next name and steps past its terminator.
int NextListName(NameListCursor* cursor, ListName* name);

// Copies a name with its NUL into a buffer of `capacity` bytes: 1, or 0 when it does not
// fit (the buffer then holds an empty string). A name is never shortened: a shortened
// device, application or container name would address something else.
int CopyListName(const ListName& name, char* buffer, size_t capacity);

enum { NAMED_CONTAINER_FILE_BYTES = 128 };

// The container named by an application's "VUZUVARID" file: the content up to its first
// NUL, at most 127 bytes, read only within `length` bytes (the length the library
// reported, cut to the 128-byte buffer). Writes the name with its NUL; returns its length,
// 0 when the content names nothing.
size_t DecodeNamedContainer(const unsigned char* content, size_t length, char name[NAMED_CONTAINER_FILE_BYTES]);
