// File and text helpers: null tolerance, 64-bit positions, scanning limits.
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "formats/ZNQFormats.h"
#include "../common/KvTest.h"

using namespace kvt;

TEST(FileHelpers, NullArgumentsGiveFixedResults)
{
    EXPECT_EQ(FileOpen(nullptr, "rb"), nullptr);
    const std::string p = TempPath("null_args.bin");
    WriteBytes(p, Text("abc"));
    EXPECT_EQ(FileOpen(p.c_str(), nullptr), nullptr);
    EXPECT_EQ(FileClose(nullptr), -1);
    EXPECT_EQ(FileSeek(nullptr, 0, SEEK_SET), -1);
    EXPECT_EQ(FileTell(nullptr), -1);
    char buf[4];
    EXPECT_EQ(FileRead(buf, 1, 4, nullptr), 0u);
    FILE* f = FileOpen(p.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(FileRead(nullptr, 1, 4, f), 0u);
    EXPECT_EQ(FileClose(f), 0);
}

TEST(FileHelpers, ReadSeekTellOnARealFile)
{
    const std::string p = TempPath("rst.bin");
    WriteBytes(p, Text("0123456789"));
    FILE* f = FileOpen(p.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[8] = {};
    EXPECT_EQ(FileRead(buf, 2, 2, f), 2u); // whole elements
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(FileTell(f), 4);
    EXPECT_EQ(FileSeek(f, -1, SEEK_END), 0);
    EXPECT_EQ(FileTell(f), 9);
    EXPECT_EQ(FileRead(buf, 2, 1, f), 0u); // half an element is no element
    EXPECT_EQ(FileSeek(f, 2, SEEK_SET), 0);
    EXPECT_EQ(FileSeek(f, 3, SEEK_CUR), 0);
    EXPECT_EQ(FileTell(f), 5);
    EXPECT_NE(FileSeek(f, -100, SEEK_CUR), 0); // before the start
    EXPECT_NE(FileSeek(f, 0, 7), 0);    // not an origin
    EXPECT_EQ(FileClose(f), 0);
}

TEST(FileHelpers, PositionsBeyondFourGigabytes)
{
    // A sparse file: the hole takes no disk space.
    const std::string p = TempPath("big.bin");
    const int64_t size = (int64_t(1) << 32) + 10;
    WriteSparse(p, Text("head"), size, Text("tail"));
    FILE* f = FileOpen(p.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(FileSeek(f, 0, SEEK_END), 0);
    EXPECT_EQ(FileTell(f), size);
    ASSERT_EQ(FileSeek(f, size - 4, SEEK_SET), 0);
    char buf[4];
    ASSERT_EQ(FileRead(buf, 1, 4, f), 4u);
    EXPECT_EQ(std::string(buf, 4), "tail");
    FileClose(f);
    std::remove(p.c_str());
}

TEST(FileHelpers, FileExists)
{
    EXPECT_FALSE(FileExists(nullptr));
    EXPECT_FALSE(FileExists(TempPath("no_such_file.znq").c_str()));
    const std::string p = TempPath("exists.bin");
    WriteBytes(p, {}); // empty files exist too
    EXPECT_TRUE(FileExists(p.c_str()));
}

TEST(TextHelpers, NullArguments)
{
    EXPECT_EQ(StrToLower(nullptr), nullptr);
    EXPECT_EQ(FindWhitespace(nullptr), nullptr);
    EXPECT_EQ(SkipWhitespace(nullptr), nullptr);
    EXPECT_EQ(NextLine(nullptr), nullptr);
    EXPECT_EQ(LineEnd(nullptr), nullptr);
}

TEST(TextHelpers, StrToLowerChangesOnlyAtoZ)
{
    char s[] = "AbZ@[`az{09\xC4\xD6-";
    EXPECT_EQ(StrToLower(s), s);
    EXPECT_STREQ(s, "abz@[`az{09\xC4\xD6-");
}

TEST(TextHelpers, WhitespaceScans)
{
    const char* t = "ab \t\v\f\r\ncd";
    EXPECT_EQ(FindWhitespace(t), t + 2);
    EXPECT_EQ(SkipWhitespace(t + 2), t + 8);
    EXPECT_EQ(SkipWhitespace(t), t);
    EXPECT_EQ(FindWhitespace("nowhitespace"), nullptr);
    EXPECT_EQ(SkipWhitespace(" \t\r\n\v\f"), nullptr);
    EXPECT_EQ(SkipWhitespace(""), nullptr);
    EXPECT_EQ(FindWhitespace(""), nullptr);
}

TEST(TextHelpers, LineScans)
{
    const char* t = "one\r\n\n\rtwo\nthree";
    EXPECT_EQ(LineEnd(t), t + 3);
    EXPECT_EQ(NextLine(t), t + 7);
    EXPECT_EQ(NextLine(t + 7), t + 11);
    EXPECT_EQ(NextLine(t + 11), nullptr); // last line: no break follows
    EXPECT_EQ(LineEnd(t + 11), t + 16);   // the terminating NUL
    EXPECT_EQ(NextLine("last\r\n"), nullptr); // only line breaks follow
    const char* b = "\nx";
    EXPECT_EQ(NextLine(b), b + 1);
    const char* e = "";
    EXPECT_EQ(LineEnd(e), e);
}

// A file being read may be deleted meanwhile (the artist clears a cache, a
// simulation rewrites its frames): the open stream goes on reading what it
// opened, and nothing of the file's name is held.
TEST(FileHelpers, AFileBeingReadCanBeDeleted)
{
    const std::string p = TempPath("deleted.bin");
    WriteBytes(p, Text("old bytes"));
    FILE* f = FileOpen(p.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[4] = {};
    ASSERT_EQ(FileRead(buf, 1, 3, f), 3u);
    EXPECT_EQ(std::remove(p.c_str()), 0) << "deleted while open";
    ASSERT_EQ(FileRead(buf, 1, 3, f), 3u);
    EXPECT_EQ(std::string(buf, 3), " by") << "the stream reads the file it opened";
    FileClose(f);
    EXPECT_EQ(FileOpen(p.c_str(), "rb"), nullptr);
}
