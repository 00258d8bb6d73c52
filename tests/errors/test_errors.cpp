// Message texts and the head rules of ZNQErrorMessage.
#include "errors/ZNQError.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string Msg(int32_t code, bool header, const char* prefix)
{
    char buf[256];
    std::memset(buf, 'x', sizeof(buf));
    return ZNQErrorMessage(code, buf, header, prefix);
}

TEST(ErrorMessage, HeadRules)
{
    EXPECT_EQ(Msg(45, true, "[Korvane] "), "[Korvane] error 45: unable to find or open file.");
    EXPECT_EQ(Msg(45, false, "[Korvane] "), "[Korvane] unable to find or open file.");
    EXPECT_EQ(Msg(0, true, nullptr), "error 0: no error.");
    EXPECT_EQ(Msg(10, false, nullptr), "unable to (re)allocate memory.");
    EXPECT_EQ(Msg(7, false, ""), "illegal parameter value.");
}

TEST(ErrorMessage, UnknownCodesPrintTheCodeAsGiven)
{
    EXPECT_EQ(Msg(-1, true, nullptr), "error -1: unknown error.");
    EXPECT_EQ(Msg(274, true, nullptr), "error 274: unknown error.");
    EXPECT_EQ(Msg(3, false, nullptr), "unknown error.");   // gap in the table
    EXPECT_EQ(Msg(INT32_MIN, true, nullptr), "error -2147483648: unknown error.");
    EXPECT_EQ(Msg(INT32_MAX, false, nullptr), "unknown error.");
}

TEST(ErrorMessage, NullBufferWritesNothing)
{
    EXPECT_EQ(ZNQErrorMessage(45, nullptr, true, "p"), nullptr);
}

TEST(ErrorMessage, ExactOddTexts)
{
    EXPECT_STREQ(ZNQErrorText(11), "unable to (re)allocate  memory, reached memory limit.");
    EXPECT_STREQ(ZNQErrorText(42), "this function does not support \"in place\"");
    EXPECT_STREQ(ZNQErrorText(130),
                 "error while loading geometry: amount of user data (vertex colors / motion vectors / "
                 "normal vectors) doesn't match number of vertices.");
    EXPECT_STREQ(ZNQErrorText(123), "the dynamic geometry function _DynGetVertCol() failed.");
    EXPECT_STREQ(ZNQErrorText(148), "a polygon has more than 255 vertices.");
    EXPECT_STREQ(ZNQErrorText(273),
                 "ZNQPolygonizer: performance warning: very large tile border (relative to the tile size).");
    EXPECT_STREQ(ZNQErrorText(232), "a Maya function failed (its return value was != MS::kSuccess).");
}

TEST(ErrorMessage, LongestMessageFitsTheDocumentedRoom)
{
    size_t longest = 0;
    for (int32_t c = -5; c < 300; ++c)
        longest = std::max(longest, std::strlen(ZNQErrorText(c)));
    EXPECT_EQ(longest, 133u);
    char buf[kZNQErrorMessageMaxLen];
    ZNQErrorMessage(INT32_MIN, buf, true, nullptr);
    EXPECT_LE(std::strlen(buf) + 1, sizeof(buf));
}

} // namespace
