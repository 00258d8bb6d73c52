// Read-ahead of the next frame: the neighbour is chosen in the direction of
// play, and the hint never fails loudly on a missing file.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <chrono>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "../common/TestEnv.h"
#include "formats/ZNQPrefetch.h"
#include "plugin/KorvaneCachePath.h"
#include "plugin/KorvanePrefetch.h"

namespace {


NodeSettings Settings(const char* dir, const char* pattern, int16_t format, int32_t frame)
{
    NodeSettings s;
    std::memset(&s, 0, sizeof s);
    s.active = true;
    std::snprintf(s.path, sizeof s.path, "%s", dir);
    std::snprintf(s.name, sizeof s.name, "%s", pattern);
    s.format = format;
    s.frame = frame;
    return s;
}

// The path that the hint composes after an evaluation of frame, or "<none>".
std::string Next(KorvanePlayHint& hint, int32_t frame, bool active = true)
{
    NodeSettings s = Settings("/cache", "fluid.####", 3, frame);
    s.active = active;
    KorvaneNotePlayedFrame(s, hint);
    char out[kCachePathSize];
    return KorvaneNextFramePath(s, s.path, frame, hint, out) ? std::string(out) : std::string("<none>");
}

std::string PathOf(int32_t frame)
{
    const NodeSettings s = Settings("/cache", "fluid.####", 3, frame);
    char out[kCachePathSize];
    return ComposeCachePath(s.path, s.name, CacheExtensionOfFormat(s.format), frame, out);
}

// After an evaluation of frame (which loaded loaded) in a range.
std::string NextInRange(KorvanePlayHint& hint, int32_t frame, int32_t loaded, int16_t before, int16_t after)
{
    NodeSettings s = Settings("/cache", "fluid.####", 3, frame);
    s.rangeActive = true;
    s.rangeStart = 10;
    s.rangeEnd = 20;
    s.beforeRange = before;
    s.afterRange = after;
    KorvaneNotePlayedFrame(s, hint);
    char out[kCachePathSize];
    return KorvaneNextFramePath(s, s.path, loaded, hint, out) ? std::string(out) : std::string("<none>");
}

// Waits (at most about ten seconds) for the background reader to finish.
bool WaitIdle()
{
    for (int i = 0; i < 1000 && !FilePrefetchIdle(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return FilePrefetchIdle();
}

std::string WriteFile(const std::string& name, size_t bytes)
{
    const std::string file = ::testing::TempDir() + "/" + name;
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f)
        return file;
    std::string block(4096, 'k');
    for (size_t left = bytes; left > 0;)
    {
        const size_t n = left < block.size() ? left : block.size();
        std::fwrite(block.data(), 1, n, f);
        left -= n;
    }
    std::fclose(f);
    return file;
}

} // namespace

TEST(Prefetch, NeighbourFollowsTheDirectionOfPlay)
{
    KorvanePlayHint hint;
    EXPECT_EQ(Next(hint, 10), PathOf(11)); // first evaluation: forward
    EXPECT_EQ(Next(hint, 11), PathOf(12));
    EXPECT_EQ(Next(hint, 10), PathOf(9));  // playing backwards
    EXPECT_EQ(Next(hint, 10), PathOf(9));  // same frame again keeps the direction
    EXPECT_EQ(Next(hint, 9), PathOf(8));
    EXPECT_EQ(Next(hint, 20), PathOf(19)); // a jump keeps the way of play
    EXPECT_EQ(Next(hint, -1), PathOf(-2));
    EXPECT_EQ(hint.frame, -1);

    // Inactive: nothing composed, the hint unchanged.
    EXPECT_EQ(Next(hint, 5, false), "<none>");
    EXPECT_EQ(hint.frame, -1);
    EXPECT_EQ(hint.step, -1);

    // No neighbour beyond the ends of the frame range.
    KorvanePlayHint up;
    EXPECT_EQ(Next(up, INT_MAX), "<none>");
    KorvanePlayHint down;
    down.seen = true;
    down.frame = INT_MIN + 1;
    EXPECT_EQ(Next(down, INT_MIN), "<none>");
    EXPECT_EQ(down.step, -1);
}

// A playback loop wraps without turning round; playback by 2 or 3 reads
// the frames it will show, not the ones between.
TEST(Prefetch, NeighbourFollowsTheRhythmOfPlay)
{
    KorvanePlayHint loop;
    for (int32_t f = 1; f <= 5; ++f)
        EXPECT_EQ(Next(loop, f), PathOf(f + 1));
    EXPECT_EQ(Next(loop, 1), PathOf(2)) << "the wrap from the end to the start";
    EXPECT_EQ(Next(loop, 2), PathOf(3));

    KorvanePlayHint back;
    EXPECT_EQ(Next(back, 30), PathOf(31));
    EXPECT_EQ(Next(back, 29), PathOf(28));
    EXPECT_EQ(Next(back, 20), PathOf(19)) << "a backward loop wraps too";
    EXPECT_EQ(Next(back, 30), PathOf(29));

    KorvanePlayHint byTwo;
    EXPECT_EQ(Next(byTwo, 1), PathOf(2));
    EXPECT_EQ(Next(byTwo, 3), PathOf(4)) << "one move of 2 is not yet a rhythm";
    EXPECT_EQ(Next(byTwo, 5), PathOf(7));
    EXPECT_EQ(Next(byTwo, 7), PathOf(9));
    EXPECT_EQ(Next(byTwo, 1), PathOf(3)) << "its loop wraps, still by 2";
    EXPECT_EQ(Next(byTwo, 3), PathOf(5));
    EXPECT_EQ(Next(byTwo, 4), PathOf(5)) << "back to single frames";

    KorvanePlayHint backByThree;
    EXPECT_EQ(Next(backByThree, 40), PathOf(41));
    EXPECT_EQ(Next(backByThree, 37), PathOf(38));
    EXPECT_EQ(Next(backByThree, 34), PathOf(31));

    // Long moves are jumps even when repeated: clicks on the timeline.
    KorvanePlayHint clicks;
    EXPECT_EQ(Next(clicks, 100), PathOf(101));
    EXPECT_EQ(Next(clicks, 200), PathOf(201));
    EXPECT_EQ(Next(clicks, 300), PathOf(301));

    // Near the ends of the frame numbers: no neighbour past them.
    KorvanePlayHint top;
    top.seen = true;
    top.frame = INT_MAX - 4;
    top.step = 2;
    top.lastMove = 2;
    EXPECT_EQ(Next(top, INT_MAX - 2), PathOf(INT_MAX));
    EXPECT_EQ(Next(top, INT_MAX), "<none>");
}

TEST(Prefetch, NeighbourFollowsTheFrameRange)
{
    // Inside the range: the next frame. Past the end with Hold: the end
    // again, which is the file just loaded, so nothing.
    KorvanePlayHint hint;
    EXPECT_EQ(NextInRange(hint, 18, 18, kRangeHold, kRangeHold), PathOf(19));
    EXPECT_EQ(NextInRange(hint, 19, 19, kRangeHold, kRangeHold), PathOf(20));
    EXPECT_EQ(NextInRange(hint, 20, 20, kRangeHold, kRangeHold), "<none>");
    EXPECT_EQ(NextInRange(hint, 21, 20, kRangeHold, kRangeHold), "<none>");
    // Loop: after the end comes the start; never frame 21's own file.
    KorvanePlayHint loop;
    EXPECT_EQ(NextInRange(loop, 19, 19, kRangeLoop, kRangeLoop), PathOf(20));
    EXPECT_EQ(NextInRange(loop, 20, 20, kRangeLoop, kRangeLoop), PathOf(10));
    // Ping-Pong turns at the end: after 20 comes 19.
    KorvanePlayHint pong;
    EXPECT_EQ(NextInRange(pong, 19, 19, kRangePingPong, kRangePingPong), PathOf(20));
    EXPECT_EQ(NextInRange(pong, 20, 20, kRangePingPong, kRangePingPong), PathOf(19));
    // Blank after the end: nothing is loaded there, nothing read ahead.
    KorvanePlayHint blank;
    EXPECT_EQ(NextInRange(blank, 20, 20, kRangeBlank, kRangeBlank), "<none>");
    // Played backwards into the start with Loop: the end comes next.
    KorvanePlayHint back;
    back.seen = true;
    back.frame = 11;
    EXPECT_EQ(NextInRange(back, 10, 10, kRangeLoop, kRangeLoop), PathOf(20));
    // A reversed range loads nothing.
    NodeSettings s = Settings("/cache", "fluid.####", 3, 5);
    s.rangeActive = true;
    s.rangeStart = 9;
    s.rangeEnd = 3;
    char out[kCachePathSize];
    EXPECT_FALSE(KorvaneNextFramePath(s, s.path, 5, hint, out));
}

TEST(Prefetch, NeighbourIsInTheExpandedDirectory)
{
    // The caller passes the cache path with its variables expanded; the
    // setting itself is never used as a path.
    NodeSettings s = Settings("$KORVANE_TEST_CACHE/", "fluid.####", 3, 7);
    KorvanePlayHint hint;
    KorvaneNotePlayedFrame(s, hint);
    char out[kCachePathSize];
    ASSERT_TRUE(KorvaneNextFramePath(s, "/farm/shot", 7, hint, out));
    char want[kCachePathSize];
    EXPECT_STREQ(out, ComposeCachePath("/farm/shot", s.name, CacheExtensionOfFormat(s.format), 8, want));
}

TEST(Prefetch, PathTooLongIsNoNeighbour)
{
    KorvanePlayHint hint;
    NodeSettings s = Settings("", "", 3, 1);
    std::memset(s.path, 'd', sizeof s.path - 1);
    std::memset(s.name, 'n', sizeof s.name - 1);
    char out[kCachePathSize] = "untouched";
    EXPECT_FALSE(KorvaneNextFramePath(s, s.path, 1, hint, out));
    EXPECT_STREQ(out, "untouched");
    EXPECT_FALSE(KorvanePrefetchNextFrame(s, s.path, 1, nullptr, hint));
}

TEST(Prefetch, NextFrameIsReadInTheBackground)
{
    FilePrefetchStop();
    const std::string tmp = ::testing::TempDir();
    const size_t size = (size_t(2) << 20) + 77;
    const std::string file = WriteFile("korvane_prefetch.0002.bin", size);

    // Frame 1 evaluated: frame 2 exists and is read through once.
    KorvanePlayHint hint;
    NodeSettings s = Settings(tmp.c_str(), "korvane_prefetch.####", 3, 1);
    KorvaneNotePlayedFrame(s, hint);
    int64_t before = FilePrefetchBytesRead();
    EXPECT_TRUE(KorvanePrefetchNextFrame(s, s.path, 1, nullptr, hint));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(FilePrefetchBytesRead() - before, static_cast<int64_t>(size));

    // Frame 2 evaluated: frame 3 does not exist; asked for, nothing read.
    s.frame = 2;
    KorvaneNotePlayedFrame(s, hint);
    before = FilePrefetchBytesRead();
    EXPECT_TRUE(KorvanePrefetchNextFrame(s, s.path, 2, nullptr, hint));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(FilePrefetchBytesRead(), before);

    // Switched off, nothing is read ahead; the direction is still followed.
    kvt::SetVariable("KORVANE_READ_AHEAD", "off");
    EXPECT_FALSE(KorvaneReadAheadEnabled());
    s.frame = 3;
    KorvaneNotePlayedFrame(s, hint);
    s.frame = 2;
    KorvaneNotePlayedFrame(s, hint);
    EXPECT_FALSE(KorvanePrefetchNextFrame(s, s.path, 2, nullptr, hint));
    EXPECT_EQ(hint.step, -1);
    kvt::SetVariable("KORVANE_READ_AHEAD", "0");
    EXPECT_FALSE(KorvaneReadAheadEnabled());
    kvt::SetVariable("KORVANE_READ_AHEAD", "1");
    EXPECT_TRUE(KorvaneReadAheadEnabled());
    kvt::SetVariable("KORVANE_READ_AHEAD", nullptr);
    EXPECT_TRUE(KorvaneReadAheadEnabled());
    FilePrefetchStop();
    std::remove(file.c_str());
}

// The background reader: whole files, once; missing files, pipes and
// directories read nothing and never hold it; a stop always returns.
TEST(Prefetch, BackgroundReaderReadsThroughAndStops)
{
    FilePrefetchStop(); // never ran, or ran for another test: no harm
    EXPECT_TRUE(FilePrefetchIdle());
    EXPECT_FALSE(FilePrefetch(nullptr));
    EXPECT_FALSE(FilePrefetch(""));
    const std::string tooLong(5000, 'p');
    EXPECT_FALSE(FilePrefetch(tooLong.c_str()));

    // A file of 3 MiB and a bit is read to its end, once.
    const size_t size = (size_t(3) << 20) + 12345;
    const std::string file = WriteFile("korvane_readahead.bin", size);
    const int64_t before = FilePrefetchBytesRead();
    ASSERT_TRUE(FilePrefetch(file.c_str()));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(FilePrefetchBytesRead() - before, static_cast<int64_t>(size));

    // A missing file and a directory read nothing and leave the reader ready.
    const int64_t mid = FilePrefetchBytesRead();
    ASSERT_TRUE(FilePrefetch((file + ".missing").c_str()));
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(FilePrefetch(::testing::TempDir().c_str()));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(FilePrefetchBytesRead(), mid);
#if !defined(_WIN32)
    // A named pipe without a writer: not read, and the reader does not wait.
    const std::string fifo = ::testing::TempDir() + "/korvane_prefetch_fifo.bin";
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(FilePrefetch(fifo.c_str()));
    EXPECT_TRUE(WaitIdle());
    std::remove(fifo.c_str());
    EXPECT_EQ(FilePrefetchBytesRead(), mid);
#endif

    // Stopped, then asked again: the thread starts anew.
    FilePrefetchStop();
    EXPECT_TRUE(FilePrefetchIdle());
    ASSERT_TRUE(FilePrefetch(file.c_str()));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(FilePrefetchBytesRead() - mid, static_cast<int64_t>(size));

    // Two requesters (two caches in one scene): neither ends the other's
    // read; each is read through once.
    const size_t small = (size_t(1) << 20) + 5;
    const std::string other = WriteFile("korvane_readahead_other.bin", small);
    int nodeA = 0, nodeB = 0;
    const int64_t two = FilePrefetchBytesRead();
    ASSERT_TRUE(FilePrefetch(file.c_str(), &nodeA));
    ASSERT_TRUE(FilePrefetch(other.c_str(), &nodeB));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(FilePrefetchBytesRead() - two, static_cast<int64_t>(size + small));
    // One requester asking again: its newer file is read through; its older
    // one is read at most once and may be cut short.
    const int64_t again = FilePrefetchBytesRead();
    ASSERT_TRUE(FilePrefetch(file.c_str(), &nodeA));
    ASSERT_TRUE(FilePrefetch(other.c_str(), &nodeA));
    ASSERT_TRUE(WaitIdle());
    EXPECT_GE(FilePrefetchBytesRead() - again, static_cast<int64_t>(small));
    EXPECT_LE(FilePrefetchBytesRead() - again, static_cast<int64_t>(size + small));
    // Asking again while loading the file being read: that read goes on to
    // the end (or, still waiting, is dropped: the load reads the file), and
    // the newer file follows. Either way no read is cut short.
    for (int round = 0; round < 3; ++round)
    {
        const int64_t start = FilePrefetchBytesRead();
        ASSERT_TRUE(FilePrefetch(file.c_str(), &nodeA));
        ASSERT_TRUE(FilePrefetch(other.c_str(), &nodeA, file.c_str()));
        ASSERT_TRUE(WaitIdle());
        const int64_t read = FilePrefetchBytesRead() - start;
        EXPECT_TRUE(read == static_cast<int64_t>(small) || read == static_cast<int64_t>(size + small)) << read;
    }
    // More requesters than places: none is lost beyond the oldest, no wait.
    int many[40];
    for (int& m : many)
        ASSERT_TRUE(FilePrefetch(other.c_str(), &m));
    ASSERT_TRUE(WaitIdle());
    std::remove(other.c_str());

    // A burst of requests, then a stop in the middle of them: the stop
    // returns and nothing waits afterwards.
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(FilePrefetch(file.c_str()));
    FilePrefetchStop();
    EXPECT_TRUE(FilePrefetchIdle());
    std::remove(file.c_str());
}

// After a jump the node's read ahead ends before its load: a withdrawn
// request is never read, a read in progress stops early unless it is of the
// file being loaded, and another requester's read goes on to its end.
TEST(Prefetch, WithdrawnRequestsEndOnlyTheirOwnReads)
{
    FilePrefetchStop();
    FilePrefetchCancel(nullptr); // the reader never ran: nothing happens
    EXPECT_TRUE(FilePrefetchIdle());
    const size_t size = (size_t(8) << 20) + 3;
    const size_t small = (size_t(1) << 20) + 9;
    const std::string file = WriteFile("korvane_withdraw.bin", size);
    const std::string other = WriteFile("korvane_withdraw_other.bin", small);
    int nodeA = 0, nodeB = 0;
    for (int round = 0; round < 3; ++round)
    {
        // B's read is queued first, then A's; A withdraws: B's file is read
        // through, A's at most partly.
        int64_t start = FilePrefetchBytesRead();
        ASSERT_TRUE(FilePrefetch(other.c_str(), &nodeB));
        ASSERT_TRUE(FilePrefetch(file.c_str(), &nodeA));
        FilePrefetchCancel(&nodeA);
        ASSERT_TRUE(WaitIdle());
        int64_t read = FilePrefetchBytesRead() - start;
        EXPECT_GE(read, static_cast<int64_t>(small));
        EXPECT_LT(read, static_cast<int64_t>(small + size));

        // Withdrawn while loading the file being read: a read that began
        // goes on to the end; one still waiting is dropped (the load reads
        // the file). Never cut short.
        start = FilePrefetchBytesRead();
        ASSERT_TRUE(FilePrefetch(file.c_str(), &nodeA));
        std::this_thread::sleep_for(std::chrono::milliseconds(round));
        FilePrefetchCancel(&nodeA, file.c_str());
        ASSERT_TRUE(WaitIdle());
        read = FilePrefetchBytesRead() - start;
        EXPECT_TRUE(read == 0 || read == static_cast<int64_t>(size)) << read;

        // Another requester's withdrawal leaves A's read alone.
        start = FilePrefetchBytesRead();
        ASSERT_TRUE(FilePrefetch(file.c_str(), &nodeA));
        FilePrefetchCancel(&nodeB);
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(FilePrefetchBytesRead() - start, static_cast<int64_t>(size));
    }
    FilePrefetchStop();
    std::remove(file.c_str());
    std::remove(other.c_str());
}

// The hint tells a load in the way of play (the file asked for last, or the
// file loaded last) from a jump, whose next frame is asked for after it.
TEST(Prefetch, LoadInPlayIsTheFileAskedForOrLoadedLast)
{
    FilePrefetchStop();
    const std::string tmp = ::testing::TempDir();
    KorvanePlayHint hint;
    NodeSettings s = Settings(tmp.c_str(), "korvane_inplay.####", 3, 1);
    char p1[kCachePathSize], p2[kCachePathSize], p7[kCachePathSize];
    ComposeCachePath(s.path, s.name, CacheExtensionOfFormat(s.format), 1, p1);
    ComposeCachePath(s.path, s.name, CacheExtensionOfFormat(s.format), 2, p2);
    ComposeCachePath(s.path, s.name, CacheExtensionOfFormat(s.format), 7, p7);
    EXPECT_FALSE(KorvaneLoadIsInPlay(p1, hint)) << "the first evaluation";
    EXPECT_FALSE(KorvaneLoadIsInPlay(nullptr, hint));
    EXPECT_FALSE(KorvaneLoadIsInPlay("", hint));

    // Frame 1 loaded, frame 2 asked for (a missing file is asked for too).
    KorvaneNotePlayedFrame(s, hint);
    EXPECT_TRUE(KorvanePrefetchNextFrame(s, s.path, 1, p1, hint));
    EXPECT_STREQ(hint.askedPath, p2);
    EXPECT_STREQ(hint.loadedPath, p1);
    EXPECT_TRUE(KorvaneLoadIsInPlay(p2, hint));
    EXPECT_TRUE(KorvaneLoadIsInPlay(p1, hint)) << "the same frame again";
    EXPECT_FALSE(KorvaneLoadIsInPlay(p7, hint)) << "a jump";

    // Switched off: nothing is asked for, and only the loaded file is in play.
    kvt::SetVariable("KORVANE_READ_AHEAD", "0");
    s.frame = 2;
    KorvaneNotePlayedFrame(s, hint);
    EXPECT_FALSE(KorvanePrefetchNextFrame(s, s.path, 2, p2, hint));
    EXPECT_STREQ(hint.askedPath, "");
    EXPECT_TRUE(KorvaneLoadIsInPlay(p2, hint));
    EXPECT_FALSE(KorvaneLoadIsInPlay(p1, hint));
    kvt::SetVariable("KORVANE_READ_AHEAD", nullptr);

    // A loaded path that does not fit is noted as none; the next frame is
    // asked for all the same.
    const std::string tooLong(kCachePathSize + 10, 'q');
    EXPECT_TRUE(KorvanePrefetchNextFrame(s, s.path, 2, tooLong.c_str(), hint));
    EXPECT_STREQ(hint.loadedPath, "");
    EXPECT_TRUE(KorvaneLoadIsInPlay(hint.askedPath, hint));
    ASSERT_TRUE(WaitIdle());
    FilePrefetchStop();
}
