// Memory that ends where a PAGE_NOACCESS page begins: touching the first
// byte past the end faults at once, so a read or write past a buffer shows
// as a crash instead of passing unseen.
#pragma once

#include <stddef.h>

#include <string>

class GuardedBytes {
public:
    // size bytes, all fill, the last one just before the guard page.
    explicit GuardedBytes(size_t size, char fill = '\0');
    // The given bytes, the last one just before the guard page.
    explicit GuardedBytes(const std::string &bytes);
    ~GuardedBytes();

    char *data() const { return data_; }
    size_t size() const { return size_; }
    // False when the pages could not be set up (a test failure is added).
    bool ok() const { return data_ != NULL; }
    // Everything from offset on still equals fill.
    bool UnchangedFrom(size_t offset, char fill) const;

private:
    GuardedBytes(const GuardedBytes &);
    GuardedBytes &operator=(const GuardedBytes &);
    void Allocate(size_t size);

    char *base_ = NULL;
    char *data_ = NULL;
    size_t size_ = 0;
};
