// The send chunk: writing at its end, reading from its front, reuse.
#include <gtest/gtest.h>

#include <string>

#include "net/WSockBuf.h"

namespace {

using net::TBuffer;

std::string Unread(const TBuffer& b) {
    int n = -1;
    const char* p = b.Peek(n);
    return std::string(p, static_cast<size_t>(n));
}

TEST(TBuffer, CapacityDefaultsTo1514WhenNotPositive) {
    EXPECT_EQ(TBuffer(1460).Size(), 1460);
    EXPECT_EQ(TBuffer(0).Size(), 1514);
    EXPECT_EQ(TBuffer(-5).Size(), 1514);
}

TEST(TBuffer, WriteTakesWhatFitsAndNothingWhenFull) {
    TBuffer b(8);
    EXPECT_EQ(b.Write("abcde", 5), 5);
    EXPECT_EQ(b.Write("fghij", 5), 3);
    EXPECT_EQ(b.Write("k", 1), 0);
    EXPECT_EQ(Unread(b), "abcdefgh");
    EXPECT_EQ(b.Write(nullptr, 3), 0);
    EXPECT_EQ(b.Write("x", 0), 0);
    EXPECT_EQ(b.Write("x", -1), 0);
}

TEST(TBuffer, RemoveAdvancesAtMostTheUnreadBytesAndEmptiesForReuse) {
    struct Step {
        int remove;
        std::string unreadAfter;
    };
    TBuffer b(6);
    ASSERT_EQ(b.Write("abcdef", 6), 6);
    const Step steps[] = {{0, "abcdef"}, {-3, "abcdef"}, {2, "cdef"}, {1, "def"}};
    for (const Step& s : steps) {
        b.Remove(s.remove);
        EXPECT_EQ(Unread(b), s.unreadAfter) << "after removing " << s.remove;
    }
    // Partly read: the room after the write position is all that is left.
    EXPECT_EQ(b.Write("zz", 2), 0);
    // Removing more than is unread empties the chunk, which starts over.
    b.Remove(100);
    EXPECT_EQ(Unread(b), "");
    EXPECT_EQ(b.Write("123456", 6), 6);
    EXPECT_EQ(Unread(b), "123456");
}

TEST(TBuffer, PeekOfAnEmptyChunkGivesZero) {
    TBuffer b(4);
    int n = -1;
    b.Peek(n);
    EXPECT_EQ(n, 0);
}

}  // namespace
