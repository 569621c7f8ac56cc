#include "bounded_string.h"

BoundedStatus BoundedLength(const char *text, size_t capacity, size_t *length)
{
    BoundedStatus status = STATUS_INVALID_PARAMETER;
    size_t count = 0;

    while (count < capacity && text[count] != '\0')
        ++count;
    if (count < capacity)
        status = STATUS_OK;
    else
        count = 0;
    if (length)
        *length = count;
    return status;
}

BoundedStatus BoundedCopy(char *destination, size_t capacity, const char *source)
{
    size_t index = 0;

    if (capacity == 0)
        return STATUS_INVALID_PARAMETER;
    while (index < capacity && source[index] != '\0') {
        destination[index] = source[index];
        ++index;
    }
    if (index < capacity) {
        destination[index] = '\0';
        return STATUS_OK;
    }
    // Ran out of room: the last copied character gives way to the NUL.
    destination[capacity - 1] = '\0';
    return STATUS_INSUFFICIENT_BUFFER;
}

BoundedStatus BoundedAppend(char *buffer, size_t capacity, const char *piece)
{
    size_t length = 0;
    BoundedStatus status = BoundedLength(buffer, capacity, &length);

    if (BoundedFailed(status))
        return status;
    return BoundedCopy(buffer + length, capacity - length, piece);
}
