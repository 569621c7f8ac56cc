#include "guarded_bytes.h"

#include <windows.h>
#include <string.h>

#include <gtest/gtest.h>

GuardedBytes::GuardedBytes(size_t size, char fill)
{
    Allocate(size);
    if (data_)
        memset(data_, fill, size);
}

GuardedBytes::GuardedBytes(const std::string &bytes)
{
    Allocate(bytes.size());
    if (data_)
        memcpy(data_, bytes.data(), bytes.size());
}

GuardedBytes::~GuardedBytes()
{
    if (base_)
        VirtualFree(base_, 0, MEM_RELEASE);
}

bool GuardedBytes::UnchangedFrom(size_t offset, char fill) const
{
    for (size_t i = offset; i < size_; ++i)
        if (data_[i] != fill)
            return false;
    return true;
}

void GuardedBytes::Allocate(size_t size)
{
    SYSTEM_INFO system;
    DWORD oldProtection = 0;

    GetSystemInfo(&system);
    size_t page = system.dwPageSize;
    size_t readable = (size + page - 1) / page * page;
    if (readable == 0)
        readable = page;
    base_ = (char *)VirtualAlloc(NULL, readable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!base_ || !VirtualProtect(base_ + readable, page, PAGE_NOACCESS, &oldProtection)) {
        ADD_FAILURE() << "no guard page";
        return;
    }
    size_ = size;
    data_ = base_ + readable - size;
}
