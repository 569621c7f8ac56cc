#include <gtest/gtest.h>

#include <string.h>

#include "bounded_string.h"

namespace {

// A buffer with a canary after the capacity, so any write past it shows.
struct Guarded {
    char bytes[300];
    Guarded() { memset(bytes, '#', sizeof(bytes)); }
    bool IntactFrom(size_t offset) const
    {
        for (size_t i = offset; i < sizeof(bytes); ++i)
            if (bytes[i] != '#')
                return false;
        return true;
    }
};

TEST(BoundedCopy, CopiesWhatFitsAndReportsTruncation)
{
    Guarded b;
    EXPECT_EQ(STATUS_OK, BoundedCopy(b.bytes, 4, "abc"));
    EXPECT_STREQ("abc", b.bytes);
    EXPECT_TRUE(b.IntactFrom(4));

    Guarded c;
    EXPECT_EQ(STATUS_INSUFFICIENT_BUFFER, BoundedCopy(c.bytes, 3, "abc"));
    EXPECT_STREQ("ab", c.bytes);
    EXPECT_TRUE(c.IntactFrom(3));

    Guarded d;
    EXPECT_EQ(STATUS_INSUFFICIENT_BUFFER, BoundedCopy(d.bytes, 1, "abc"));
    EXPECT_STREQ("", d.bytes);
    EXPECT_TRUE(d.IntactFrom(1));
}

TEST(BoundedCopy, EmptySourceAndZeroCapacity)
{
    Guarded b;
    EXPECT_EQ(STATUS_OK, BoundedCopy(b.bytes, 1, ""));
    EXPECT_EQ('\0', b.bytes[0]);
    EXPECT_TRUE(b.IntactFrom(1));

    Guarded z;
    EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedCopy(z.bytes, 0, "abc"));
    EXPECT_TRUE(z.IntactFrom(0));
}

TEST(BoundedLength, FindsNulOnlyWithinCapacity)
{
    std::string s255(255, 'x'), s256(256, 'y');
    size_t length = 99;

    EXPECT_EQ(STATUS_OK, BoundedLength(s255.c_str(), 256, &length));
    EXPECT_EQ(255u, length);

    length = 99;
    EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedLength(s256.c_str(), 256, &length));
    EXPECT_EQ(0u, length);

    length = 99;
    EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedLength("abc", 0, &length));
    EXPECT_EQ(0u, length);

    EXPECT_EQ(STATUS_OK, BoundedLength("", 1, NULL));
    EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedLength("a", 1, NULL));
}

TEST(BoundedAppend, JoinsAndStopsAtCapacity)
{
    Guarded b;
    strcpy(b.bytes, "C:\\WIN");
    EXPECT_EQ(STATUS_OK, BoundedAppend(b.bytes, 16, "\\inf\\"));
    EXPECT_STREQ("C:\\WIN\\inf\\", b.bytes);

    // Exactly filling the buffer still fits.
    EXPECT_EQ(STATUS_OK, BoundedAppend(b.bytes, 16, "oem"));
    EXPECT_STREQ("C:\\WIN\\inf\\oem", b.bytes);
    EXPECT_EQ(STATUS_OK, BoundedAppend(b.bytes, 16, "7"));
    EXPECT_EQ(15u, strlen(b.bytes));

    // Full buffer: a piece is cut to nothing, an empty piece still fits.
    EXPECT_EQ(STATUS_INSUFFICIENT_BUFFER, BoundedAppend(b.bytes, 16, "x"));
    EXPECT_STREQ("C:\\WIN\\inf\\oem7", b.bytes);
    EXPECT_EQ(STATUS_OK, BoundedAppend(b.bytes, 16, ""));
    EXPECT_TRUE(b.IntactFrom(16));
}

TEST(BoundedAppend, UnterminatedBufferIsRefused)
{
    Guarded b;
    memset(b.bytes, 'z', 8);
    EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedAppend(b.bytes, 8, "x"));
    EXPECT_EQ('z', b.bytes[7]);
    EXPECT_TRUE(b.IntactFrom(8));
}

} // namespace
