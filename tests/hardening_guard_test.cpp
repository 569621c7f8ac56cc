// The bounded strings and the system path joining against buffers that end
// where a PAGE_NOACCESS page begins: a read or write one byte too far
// crashes the test program instead of passing unseen.
#include <gtest/gtest.h>

#include <windows.h>
#include <string.h>

#include <string>

#include "bounded_string.h"
#include "guarded_bytes.h"
#include "inf_files.h"
#include "inf_match.h"
#include "platform.h"
#include "system_names.h"
#include "wine_test.h"

namespace {

const char FILL = '#';

// A NUL-terminated string whose NUL is the last readable byte.
std::string Terminated(size_t length, char letter)
{
    return std::string(length, letter) + '\0';
}

TEST(GuardedBuffers, TheGuardPageIsInPlace)
{
    GuardedBytes bytes(300, FILL);
    ASSERT_TRUE(bytes.ok());
    EXPECT_FALSE(IsBadReadPtr(bytes.data(), bytes.size()));
    EXPECT_TRUE(IsBadReadPtr(bytes.data() + bytes.size(), 1));
    EXPECT_TRUE(IsBadWritePtr(bytes.data() + bytes.size(), 1));
}

TEST(GuardedBuffers, BoundedLengthReadsNoMoreThanItsCapacity)
{
    for (size_t capacity = 1; capacity <= 300; ++capacity) {
        SCOPED_TRACE(capacity);
        size_t length = 99;
        GuardedBytes unterminated(capacity, 'x');
        ASSERT_TRUE(unterminated.ok());
        EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedLength(unterminated.data(), capacity, &length));
        EXPECT_EQ(0u, length);
        EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedLength(unterminated.data(), capacity, NULL));

        GuardedBytes full(Terminated(capacity - 1, 'y'));
        ASSERT_TRUE(full.ok());
        EXPECT_EQ(STATUS_OK, BoundedLength(full.data(), capacity, &length));
        EXPECT_EQ(capacity - 1, length);
    }
}

// Every source length around every capacity: the destination ends at the
// guard page and so does the source.
TEST(GuardedBuffers, BoundedCopyWritesNoMoreThanItsCapacity)
{
    for (size_t capacity = 1; capacity <= 300; ++capacity) {
        const size_t lengths[] = {0, capacity - 1, capacity, capacity + 1, 2 * capacity + 7};
        for (size_t l = 0; l < sizeof(lengths) / sizeof(lengths[0]); ++l) {
            size_t sourceLength = lengths[l];
            SCOPED_TRACE(testing::Message() << "capacity " << capacity << ", source " << sourceLength);
            GuardedBytes source(Terminated(sourceLength, 's'));
            GuardedBytes destination(capacity, FILL);
            ASSERT_TRUE(source.ok() && destination.ok());
            BoundedStatus status = BoundedCopy(destination.data(), capacity, source.data());
            size_t copied = sourceLength < capacity ? sourceLength : capacity - 1;
            EXPECT_EQ(sourceLength < capacity ? STATUS_OK : STATUS_INSUFFICIENT_BUFFER, status);
            EXPECT_EQ(std::string(copied, 's'), std::string(destination.data()));
            EXPECT_TRUE(destination.UnchangedFrom(copied + 1, FILL));
        }
    }
}

// A source without a NUL of its own is read no further than the capacity.
TEST(GuardedBuffers, BoundedCopyOfAnUnterminatedSourceStopsAtTheCapacity)
{
    for (size_t capacity = 1; capacity <= 300; ++capacity) {
        SCOPED_TRACE(capacity);
        GuardedBytes source(capacity, 'u');
        GuardedBytes destination(capacity, FILL);
        ASSERT_TRUE(source.ok() && destination.ok());
        EXPECT_EQ(STATUS_INSUFFICIENT_BUFFER, BoundedCopy(destination.data(), capacity, source.data()));
        EXPECT_EQ(std::string(capacity - 1, 'u'), std::string(destination.data()));
    }
}

TEST(GuardedBuffers, BoundedAppendStaysInsideTheBuffer)
{
    const size_t CAPACITY = 256;
    for (size_t held = 0; held < CAPACITY; ++held) {
        const char *pieces[] = {"", "x", "\\inf\\", "\\inf\\oem*.inf"};
        for (size_t p = 0; p < sizeof(pieces) / sizeof(pieces[0]); ++p) {
            SCOPED_TRACE(testing::Message() << "holding " << held << ", piece \"" << pieces[p] << "\"");
            size_t pieceLength = strlen(pieces[p]);
            GuardedBytes piece(std::string(pieces[p]) + '\0');
            std::string start = std::string(held, 'd') + std::string(CAPACITY - held, '\0');
            GuardedBytes buffer(start);
            ASSERT_TRUE(piece.ok() && buffer.ok());
            BoundedStatus status = BoundedAppend(buffer.data(), CAPACITY, piece.data());
            bool fits = held + pieceLength < CAPACITY;
            EXPECT_EQ(fits ? STATUS_OK : STATUS_INSUFFICIENT_BUFFER, status);
            std::string expected = std::string(held, 'd') + std::string(pieces[p]).substr(0, CAPACITY - 1 - held);
            EXPECT_EQ(expected, std::string(buffer.data()));
        }
    }
    // No NUL anywhere: refused, nothing written.
    GuardedBytes unterminated(CAPACITY, 'z');
    ASSERT_TRUE(unterminated.ok());
    EXPECT_EQ(STATUS_INVALID_PARAMETER, BoundedAppend(unterminated.data(), CAPACITY, "x"));
    EXPECT_TRUE(unterminated.UnchangedFrom(0, 'z'));
}

// The path buffer is exactly MAX_PATH bytes before the guard page; the
// directory and the name end there too.
TEST(GuardedBuffers, BuildSystemPathFillsAtMostMaxPath)
{
    const char *names[] = {"\\QV_DRVUNI.exe.manifest", "\\ZIVIRIZ.inf", "\\x"};
    for (size_t n = 0; n < sizeof(names) / sizeof(names[0]); ++n) {
        size_t nameLength = strlen(names[n]);
        for (size_t dirLength = 0; dirLength < MAX_PATH + 5; ++dirLength) {
            SCOPED_TRACE(testing::Message() << names[n] << " after " << dirLength << " characters");
            GuardedBytes directory(Terminated(dirLength, 'D'));
            GuardedBytes name(std::string(names[n]) + '\0');
            GuardedBytes path(MAX_PATH, FILL);
            ASSERT_TRUE(directory.ok() && name.ok() && path.ok());
            bool built = BuildSystemPath(path.data(), directory.data(), name.data());
            bool fits = dirLength > 0 && dirLength + nameLength < MAX_PATH;
            EXPECT_EQ(fits, built);
            if (fits) {
                EXPECT_EQ(std::string(dirLength, 'D') + names[n], std::string(path.data()));
                EXPECT_TRUE(path.UnchangedFrom(dirLength + nameLength, '\0'));
            } else {
                EXPECT_TRUE(path.UnchangedFrom(0, '\0')) << "a refused path is left empty";
            }
        }
    }
}

// The system directory is short, so a MAX_PATH buffer ends far past what
// is written: the guard proves only the zero-fill. The directory reader
// both functions share is also given a buffer that ends right after the
// Windows directory's NUL, and one a byte shorter.
TEST(GuardedBuffers, InstallSystemDirFillsAtMostMaxPath)
{
    GuardedBytes native(MAX_PATH, FILL);
    GuardedBytes wow64(MAX_PATH, FILL);
    ASSERT_TRUE(native.ok() && wow64.ok());
    ASSERT_TRUE(GetInstallSystemDir(native.data(), false));
    ASSERT_TRUE(GetInstallSystemDir(wow64.data(), true));
    std::string system = native.data();
    EXPECT_EQ(SystemDir(), system);
    EXPECT_EQ(system.substr(0, system.size() - 8) + "syswow64", std::string(wow64.data()));
    EXPECT_TRUE(native.UnchangedFrom(system.size(), '\0'));
    EXPECT_TRUE(wow64.UnchangedFrom(system.size(), '\0'));

    std::string windows = WindowsDir();
    GuardedBytes exact(windows.size() + 1, FILL);
    GuardedBytes short1(windows.size(), FILL);
    ASSERT_TRUE(exact.ok() && short1.ok());
    EXPECT_TRUE(GetWindowsDirInto(exact.data(), (UINT)exact.size()));
    EXPECT_EQ(windows, std::string(exact.data()));
    EXPECT_FALSE(GetWindowsDirInto(short1.data(), (UINT)short1.size()));
    EXPECT_TRUE(short1.UnchangedFrom(0, '\0')) << "a refused directory is left empty";
}

// The matcher's arguments may end at a page end as well.
TEST(GuardedBuffers, MatcherReadsItsArgumentsUpToTheirNul)
{
    std::string dir = MakeScratchDir("guardinf");
    std::string infPath = dir + "\\oem1.inf";
    ASSERT_TRUE(WriteInfAnsi(infPath, KEY_INF_TEXT));
    GuardedBytes path(infPath + '\0');
    GuardedBytes id(std::string(DEVICE_HARDWARE_ID) + '\0');
    GuardedBytes prefix(std::string(DEVICE_HARDWARE_ID, strlen(DEVICE_HARDWARE_ID) - 1) + '\0');
    ASSERT_TRUE(path.ok() && id.ok() && prefix.ok());
    EXPECT_EQ(1, InfDeclaresHardwareId(path.data(), id.data()));
    EXPECT_EQ(0, InfDeclaresHardwareId(path.data(), prefix.data()));
    RemoveTree(dir);
}

} // namespace
