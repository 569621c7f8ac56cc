// Bounded copy and length of narrow strings in fixed buffers.
#pragma once

#include <windows.h>

// winnt.h names an NT status STATUS_INVALID_PARAMETER; this library never
// uses it and gives the name to its own bounded-string status instead.
#undef STATUS_INVALID_PARAMETER

typedef LONG BoundedStatus;

const BoundedStatus STATUS_OK = 0;
const BoundedStatus STATUS_INVALID_PARAMETER = (BoundedStatus)0x80070057L;
const BoundedStatus STATUS_INSUFFICIENT_BUFFER = (BoundedStatus)0x8007007AL;

// Length of text up to its NUL, looking at no more than capacity characters.
// length (optional) gets 0 when no NUL lies within capacity.
BoundedStatus BoundedLength(const char *text, size_t capacity, size_t *length);

// Copies source into destination, never writing past capacity characters;
// destination is always NUL-terminated when capacity is at least 1.
BoundedStatus BoundedCopy(char *destination, size_t capacity, const char *source);

// Appends piece to the string already in buffer (capacity characters).
BoundedStatus BoundedAppend(char *buffer, size_t capacity, const char *piece);

inline bool BoundedFailed(BoundedStatus status) { return status < 0; }
