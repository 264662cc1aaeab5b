#include <gtest/gtest.h>

#include <string>

#include "transport/Base64Encoder.h"
#include "transport/ByteBuffer.h"
#include "transport/ItemList.h"

TEST(ByteBuffer, StorageComesInWholeBlocksAndStaysZeroTerminated) {
    ByteBuffer b;
    EXPECT_EQ(b.capacity(), 0u);
    b.append("abc");
    EXPECT_EQ(b.capacity(), 4096u);
    EXPECT_EQ(b.data()[3], '\0');
    b.append(std::string(4093, 'x'));  // exactly one block
    EXPECT_EQ(b.capacity(), 4096u);
    b.append('y');
    EXPECT_EQ(b.capacity() % 4096, 0u);
    EXPECT_GE(b.capacity(), 8192u);
    EXPECT_EQ(b.size(), 4097u);
    EXPECT_EQ(b.view().back(), 'y');
}

TEST(ByteBuffer, FrontRemovalMovesNothingUntilABlockIsConsumed) {
    ByteBuffer b(std::string(6000, 'a') + "tail");
    const char* before = b.data();
    b.removeFront(4000);
    EXPECT_EQ(b.start(), 4000u);
    EXPECT_EQ(b.data(), before + 4000);
    b.removeFront(96);  // start reaches 4096: the live bytes move to fresh storage
    EXPECT_EQ(b.start(), 0u);
    EXPECT_EQ(b.size(), 1908u);
    EXPECT_TRUE(b.endsWith("aatail"));
    b.removeFront(5000);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.capacity(), 0u);
}

TEST(ByteBuffer, TextHelpers) {
    ByteBuffer b("  Hello, World \t ");
    b.trim();
    EXPECT_EQ(b.str(), "Hello, World \t");  // only spaces are trimmed
    EXPECT_EQ(b.upper(), "HELLO, WORLD \t");
    EXPECT_EQ(b.find("World"), 7);
    EXPECT_EQ(b.find("nope"), -1);
    EXPECT_EQ(b.findLast('o'), 8);
    EXPECT_EQ(b.left(5), "Hello");
    EXPECT_EQ(b.right(3), "d \t");
    EXPECT_EQ(b.mid(7), "World \t");
    b.truncate(5);
    EXPECT_TRUE(b.equals("Hello"));
    EXPECT_EQ(b.data()[5], '\0');

    char out[5];
    EXPECT_EQ(b.copyOut(out, sizeof out), 5u);  // fills the array: no terminator
    EXPECT_EQ(std::string(out, 5), "Hello");
    char wide[8] = "XXXXXXX";
    b.copyOut(wide, sizeof wide);
    EXPECT_EQ(std::string(wide, 8), std::string("Hello\0\0\0", 8));
}

TEST(ItemList, SendQueueKeepsEverythingInOrder) {
    ItemList q;
    EXPECT_FALSE(q.expiry());
    q.push("one");
    q.push("two", 7);
    ASSERT_NE(q.peek(1), nullptr);
    EXPECT_EQ(q.peek(1)->flags, 7u);
    EXPECT_EQ(q.peek(2), nullptr);
    EXPECT_EQ(q.popFront(), "one");
    EXPECT_EQ(q.popFront(), "two");
    EXPECT_FALSE(q.popFront().has_value());
    EXPECT_TRUE(q.isEmpty());
}

TEST(Base64Lines, LayoutOfEmptyShortAndFullLineInputs) {
    std::string out;
    transport::appendBase64Lines(out, nullptr, 0);
    EXPECT_EQ(out, "");

    out.clear();
    const unsigned char four[] = {'a', 'b', 'c', 'd'};
    transport::appendBase64Lines(out, four, 4);
    EXPECT_EQ(out, "YWJjZA==");

    out.clear();
    std::string full(45, 'M');
    transport::appendBase64Lines(out, reinterpret_cast<const unsigned char*>(full.data()), full.size());
    std::string line;
    for (int i = 0; i < 15; ++i) line += "TU1N";
    EXPECT_EQ(out, line + "\r\n");

    // A final short group that completes the 60th character still ends the line.
    out.clear();
    transport::appendBase64Lines(out, reinterpret_cast<const unsigned char*>(full.data()), 44);
    EXPECT_EQ(out, line.substr(0, 56) + "TU0=\r\n");
}
