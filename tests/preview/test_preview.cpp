// Preview renderer: framing, shading, depth order and robustness against
// broken meshes, plus the PNG file it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "KorvanePreview.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace
{

// A mesh held in vectors, viewed through PreviewMesh.
struct TestMesh
{
    std::vector<float> points;
    std::vector<int32_t> counts;
    std::vector<int32_t> indices;
    std::vector<float> normals;
    std::vector<float> colors;

    PreviewMesh View() const
    {
        PreviewMesh m;
        m.numPoints = int64_t(points.size() / 3);
        m.points = points.data();
        m.numPolys = int64_t(counts.size());
        m.polyCounts = counts.data();
        m.numIndices = int64_t(indices.size());
        m.polyIndices = indices.data();
        m.normals = normals.empty() ? nullptr : normals.data();
        m.colors = colors.empty() ? nullptr : colors.data();
        return m;
    }

    void AddPoint(float x, float y, float z) { points.insert(points.end(), {x, y, z}); }
    void AddPoly(std::initializer_list<int32_t> corners)
    {
        counts.push_back(int32_t(corners.size()));
        indices.insert(indices.end(), corners);
    }
};

PreviewImage Render(const PreviewMesh& mesh, int width = 160, int height = 120)
{
    PreviewView view;
    view.width = width;
    view.height = height;
    PreviewImage image;
    std::string error;
    EXPECT_TRUE(RenderPreview(mesh, view, &image, &error)) << error;
    return image;
}

bool IsBackground(const PreviewImage& image, int x, int y)
{
    uint8_t back[3];
    PreviewBackground(y, image.height, back);
    return std::memcmp(image.Pixel(x, y), back, 3) == 0;
}

int CountForeground(const PreviewImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            n += IsBackground(image, x, y) ? 0 : 1;
    return n;
}

// A large triangle around the origin in the plane z = 0:
//
//        2          2 = (0, 1)
//       / .
//      /   .
//     0-----1       0 = (-1, -1), 1 = (1, -1)
TestMesh Triangle()
{
    TestMesh m;
    m.points = {-1, -1, 0, 1, -1, 0, 0, 1, 0};
    m.AddPoly({0, 1, 2});
    return m;
}

bool SamePixels(const PreviewImage& a, const PreviewImage& b)
{
    return a.width == b.width && a.height == b.height &&
           std::memcmp(a.rgb.get(), b.rgb.get(), size_t(a.width) * size_t(a.height) * 3) == 0;
}

// Nothing is drawn within `margin` pixels of the image's edge.
void ExpectClearBorder(const PreviewImage& image, int margin, int round = 0)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
        {
            const bool border = x < margin || y < margin || x >= image.width - margin || y >= image.height - margin;
            ASSERT_TRUE(!border || IsBackground(image, x, y)) << "round " << round << " at " << x << ", " << y;
        }
}

// Unit vector towards the default camera (azimuth 45, elevation 30, Y up).
void TowardsCamera(float v[3])
{
    const double d = 3.14159265358979323846 / 180.0;
    v[0] = float(std::cos(30 * d) * std::sin(45 * d));
    v[1] = float(std::sin(30 * d));
    v[2] = float(std::cos(30 * d) * std::cos(45 * d));
}

std::string TempPath(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    return path + "/korvane_preview_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

uint32_t BigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

} // namespace

// ---------------------------------------------------------------------------
// Empty and degenerate input: background only, never a failure.

TEST(PreviewEmpty, DefaultMeshGivesBackgroundOfRequestedSize)
{
    PreviewMesh empty;
    const PreviewImage image = Render(empty, 800, 600);
    ASSERT_EQ(image.width, 800);
    ASSERT_EQ(image.height, 600);
    EXPECT_EQ(CountForeground(image), 0);
    // The gradient runs from a darker top to a lighter bottom.
    EXPECT_LT(int(image.Pixel(0, 0)[0]), int(image.Pixel(0, 599)[0]));
}

TEST(PreviewEmpty, CountsWithoutArraysAreIgnored)
{
    PreviewMesh m;
    m.numPoints = 100;
    m.numPolys = 10;
    m.numIndices = 30;
    EXPECT_EQ(CountForeground(Render(m)), 0) << "counts without arrays";
    TestMesh t = Triangle();
    m = t.View();
    m.polyCounts = nullptr;
    EXPECT_EQ(CountForeground(Render(m)), 0) << "no polygon counts";
    m = t.View();
    m.numIndices = 0;
    EXPECT_EQ(CountForeground(Render(m)), 0) << "no indices";
}

TEST(PreviewEmpty, PointsWithoutDrawablePolygons)
{
    TestMesh m = Triangle();
    m.counts = {2, 1};
    m.indices = {0, 1, 2};
    EXPECT_EQ(CountForeground(Render(m.View())), 0) << "edges and points draw nothing";
    m.counts = {3};
    m.points.assign(9, 0.5f);
    EXPECT_EQ(CountForeground(Render(m.View())), 0) << "a triangle collapsed to a point";
}

TEST(PreviewEmpty, RejectsBadSizes)
{
    PreviewMesh m;
    PreviewImage image;
    std::string error;
    for (const auto& size : {std::pair<int, int>{0, 10}, {10, 0}, {-5, 10}, {kPreviewMaxSide + 1, 10}})
    {
        PreviewView view;
        view.width = size.first;
        view.height = size.second;
        error.clear();
        EXPECT_FALSE(RenderPreview(m, view, &image, &error)) << size.first << " x " << size.second;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(image.rgb, nullptr);
    }
    EXPECT_FALSE(RenderPreview(m, PreviewView(), nullptr, nullptr));
}

// ---------------------------------------------------------------------------
// Framing, shading, depth.

TEST(PreviewDraw, TriangleCoversTheCentreAndStaysInsideTheMargin)
{
    const TestMesh m = Triangle();
    const PreviewImage image = Render(m.View(), 200, 100);
    EXPECT_FALSE(IsBackground(image, 100, 50));
    // The framed mesh keeps clear of a border of 6 % of the short side (6 px).
    ExpectClearBorder(image, 5);
    // Framing fills the frame: the triangle spans most of the height.
    int top = image.height, bottom = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (!IsBackground(image, x, y))
            {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_GT(bottom - top, image.height * 3 / 4);
}

TEST(PreviewDraw, BothSidesAreLitAlike)
{
    TestMesh front = Triangle();
    TestMesh back = Triangle();
    back.indices = {0, 2, 1};
    const PreviewImage a = Render(front.View());
    const PreviewImage b = Render(back.View());
    const uint8_t* pa = a.Pixel(80, 60);
    const uint8_t* pb = b.Pixel(80, 60);
    EXPECT_FALSE(IsBackground(a, 80, 60));
    EXPECT_EQ(std::memcmp(pa, pb, 3), 0) << int(pa[0]) << " vs " << int(pb[0]);
    // Lit by the key light, not just the ambient term.
    EXPECT_GT(int(pa[0]), int(0.28f * 0.74f * 255.0f) + 20);
}

TEST(PreviewDraw, VertexColoursReplaceTheClay)
{
    TestMesh m = Triangle();
    m.colors = {1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0.5f};
    const PreviewImage image = Render(m.View());
    const uint8_t* p = image.Pixel(80, 60);
    EXPECT_GT(int(p[0]), 60);
    EXPECT_EQ(int(p[1]), 0);
    EXPECT_EQ(int(p[2]), 0);

    // Out-of-range and NaN colour components are clamped or fall back to clay.
    m.colors = {5, -1, NAN, 1, 5, -1, NAN, 1, 5, -1, NAN, 1};
    const PreviewImage clamped = Render(m.View());
    const uint8_t* q = clamped.Pixel(80, 60);
    EXPECT_GT(int(q[0]), 0);
    EXPECT_EQ(int(q[1]), 0);
    EXPECT_GT(int(q[2]), 0);
}

TEST(PreviewDraw, NearerSurfaceWinsInEitherOrder)
{
    // The same triangle twice, shifted along the view direction: one green
    // in front, one red behind. Both project onto the same pixels.
    float toCam[3];
    TowardsCamera(toCam);
    for (int order = 0; order < 2; ++order)
    {
        TestMesh m;
        const float shift[2] = {order == 0 ? -0.5f : 0.5f, order == 0 ? 0.5f : -0.5f};
        for (int t = 0; t < 2; ++t)
        {
            const float s = shift[t];
            m.AddPoint(-1 + s * toCam[0], -1 + s * toCam[1], s * toCam[2]);
            m.AddPoint(1 + s * toCam[0], -1 + s * toCam[1], s * toCam[2]);
            m.AddPoint(0 + s * toCam[0], 1 + s * toCam[1], s * toCam[2]);
            const bool front = s > 0;
            for (int k = 0; k < 3; ++k)
                m.colors.insert(m.colors.end(), {front ? 0.0f : 1.0f, front ? 1.0f : 0.0f, 0.0f, 1.0f});
        }
        m.AddPoly({0, 1, 2});
        m.AddPoly({3, 4, 5});
        const PreviewImage image = Render(m.View());
        const uint8_t* p = image.Pixel(80, 60);
        EXPECT_EQ(int(p[0]), 0) << "order " << order;
        EXPECT_GT(int(p[1]), 0) << "order " << order;
    }
}

TEST(PreviewDraw, SmoothNormalsAreUsedAndFlippedWithTheSurface)
{
    // Normals pointing at the camera give the same shade whatever the
    // winding, and a different shade from normals pointing sideways.
    float toCam[3];
    TowardsCamera(toCam);
    TestMesh m = Triangle();
    for (int k = 0; k < 3; ++k)
        m.normals.insert(m.normals.end(), {toCam[0], toCam[1], toCam[2]});
    const PreviewImage facing = Render(m.View());
    m.indices = {0, 2, 1};
    for (float& n : m.normals)
        n = -n;
    const PreviewImage flipped = Render(m.View());
    EXPECT_EQ(std::memcmp(facing.Pixel(80, 60), flipped.Pixel(80, 60), 3), 0);

    m.normals = {1, 0, 0, 1, 0, 0, 1, 0, 0}; // towards +X: away from the key light on the left
    const PreviewImage side = Render(m.View());
    EXPECT_LT(int(side.Pixel(80, 60)[0]), int(facing.Pixel(80, 60)[0]));
}

TEST(PreviewDraw, ByteCountsDrawLikeIntCounts)
{
    // A quad and a pentagon, fan-triangulated: both count arrays agree.
    TestMesh m;
    m.points = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 1, 2, 1, 1.5f, 1.5f, 2, 1};
    m.AddPoly({0, 1, 2, 3});
    m.AddPoly({1, 4, 5, 6, 2});
    const PreviewImage a = Render(m.View());
    const std::vector<uint8_t> bytes = {4, 5};
    PreviewMesh v = m.View();
    v.polyCounts = nullptr;
    v.polyCountsU8 = bytes.data();
    const PreviewImage b = Render(v);
    EXPECT_GT(CountForeground(a), 1000);
    EXPECT_TRUE(SamePixels(a, b));
}

// ---------------------------------------------------------------------------
// Broken input is skipped, never read out of bounds.

TEST(PreviewRobust, NonFinitePointsSkipTheirTriangles)
{
    TestMesh m = Triangle();
    m.AddPoint(NAN, 0, 0);
    m.AddPoint(INFINITY, 1, 0);
    m.AddPoint(0, -INFINITY, 5);
    m.AddPoly({0, 1, 3});
    m.AddPoly({4, 5, 2});
    EXPECT_TRUE(SamePixels(Render(m.View()), Render(Triangle().View())))
        << "non-finite points change neither framing nor pixels";

    TestMesh allNan = Triangle();
    allNan.points.assign(9, NAN);
    EXPECT_EQ(CountForeground(Render(allNan.View())), 0);
}

TEST(PreviewRobust, BadIndicesAndCountsAreSkipped)
{
    TestMesh m = Triangle();
    m.AddPoly({0, 1, 3});           // index past the points
    m.AddPoly({-1, 1, 2});          // negative index
    m.AddPoly({0, 2147483647, 1});  // huge index
    m.counts.push_back(-4);         // negative count ends the walk
    m.counts.push_back(3);
    m.indices.insert(m.indices.end(), {0, 1, 2});
    const PreviewImage clean = Render(Triangle().View());
    EXPECT_TRUE(SamePixels(Render(m.View()), clean));

    // A count running past the index array ends the walk before reading it.
    TestMesh over = Triangle();
    over.counts.push_back(200);
    EXPECT_TRUE(SamePixels(Render(over.View()), clean));
}

TEST(PreviewRobust, ExtremeCoordinatesDoNotOverflow)
{
    TestMesh m;
    m.points = {-3.0e38f, -3.0e38f, -3.0e38f, 3.0e38f, -3.0e38f, -3.0e38f, 0, 3.0e38f, 0,
                1e-38f,   0,        0,        0,       1e-38f,   0,        0, 0,       1e-38f};
    m.AddPoly({0, 1, 2});
    m.AddPoly({3, 4, 5});
    m.normals.assign(18, 3.0e38f);
    const PreviewImage image = Render(m.View());
    EXPECT_GT(CountForeground(image), 0);

    // A tiny mesh far from the origin is framed like a unit one.
    TestMesh far = Triangle();
    for (float& c : far.points)
        c = c * 0.01f + 1000.0f;
    EXPECT_FALSE(IsBackground(Render(far.View()), 80, 60));
}

TEST(PreviewRobust, SliversAndTinyTrianglesAreSafe)
{
    // A frame-filling triangle plus slivers whose screen area is close to
    // zero (nearly collinear corners) and specks far below a pixel.
    TestMesh m = Triangle();
    m.points.insert(m.points.end(), {-1, -1, 0, 1, 1, 0, 1, 1.0000001f, 0, 0.25f, 0.25f, 0.5f,
                                     0.25f + 1e-30f, 0.25f, 0.5f, 0.25f, 0.25f + 1e-30f, 0.5f});
    m.AddPoly({3, 4, 5});
    m.AddPoly({6, 7, 8});
    m.colors.assign(9 * 4, 0.5f);
    const PreviewImage image = Render(m.View());
    EXPECT_FALSE(IsBackground(image, 80, 60));
}

TEST(PreviewRobust, RandomGarbageNeverEscapesTheFrame)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> coord(-10.0f, 10.0f);
    std::uniform_int_distribution<int> pick(0, 99);
    for (int round = 0; round < 20; ++round)
    {
        TestMesh m;
        const int numPoints = 50;
        for (int i = 0; i < numPoints; ++i)
        {
            const int r = pick(rng);
            const float bad = r < 3 ? NAN : (r < 5 ? INFINITY : 0.0f);
            m.AddPoint(coord(rng) + bad, coord(rng), coord(rng));
        }
        for (int p = 0; p < 40; ++p)
        {
            const int n = pick(rng) % 7; // 0 to 6 corners
            m.counts.push_back(n);
            for (int k = 0; k < n; ++k)
                m.indices.push_back(pick(rng) < 90 ? pick(rng) % numPoints : pick(rng) - 50);
        }
        if (round % 2)
            m.counts.push_back(1000); // runs past the indices
        for (int i = 0; i < numPoints * 4; ++i)
            m.colors.push_back(coord(rng) * 0.1f);
        const PreviewImage a = Render(m.View(), 120, 90);
        const PreviewImage b = Render(m.View(), 120, 90);
        ASSERT_TRUE(SamePixels(a, b)) << "deterministic, round " << round;
        ExpectClearBorder(a, 4, round);
    }
}

// ---------------------------------------------------------------------------
// The PNG file.

TEST(PreviewPng, WritesAValidPngOfTheRequestedSize)
{
    const TestMesh m = Triangle();
    const std::string path = TempPath("triangle.png");
    std::string error;
    ASSERT_TRUE(RenderPreviewPng(m.View(), path.c_str(), 320, 200, &error)) << error;

    const std::vector<uint8_t> bytes = ReadFile(path);
    ASSERT_GE(bytes.size(), size_t(33));
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(std::memcmp(bytes.data(), signature, 8), 0);
    EXPECT_EQ(BigEndian32(&bytes[8]), 13u) << "IHDR length";
    EXPECT_EQ(std::memcmp(&bytes[12], "IHDR", 4), 0);
    EXPECT_EQ(BigEndian32(&bytes[16]), 320u);
    EXPECT_EQ(BigEndian32(&bytes[20]), 200u);
    EXPECT_EQ(int(bytes[24]), 8) << "bit depth";
    EXPECT_EQ(int(bytes[25]), 2) << "colour type RGB";

    // Decoding gives back exactly the rendered pixels.
    PreviewView view;
    view.width = 320;
    view.height = 200;
    PreviewImage image;
    ASSERT_TRUE(RenderPreview(m.View(), view, &image, nullptr));
    int w = 0, h = 0, comp = 0;
    uint8_t* decoded = stbi_load(path.c_str(), &w, &h, &comp, 3);
    ASSERT_NE(decoded, nullptr) << stbi_failure_reason();
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_EQ(std::memcmp(decoded, image.rgb.get(), 320 * 200 * 3), 0);
    stbi_image_free(decoded);
    std::remove(path.c_str());
}

TEST(PreviewPng, EmptyMeshStillWritesAnImage)
{
    const std::string path = TempPath("empty.png");
    ASSERT_TRUE(RenderPreviewPng(PreviewMesh(), path.c_str()));
    int w = 0, h = 0, comp = 0;
    ASSERT_EQ(stbi_info(path.c_str(), &w, &h, &comp), 1);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    std::remove(path.c_str());
}

TEST(PreviewPng, ReportsUnwritablePaths)
{
    std::string error;
    EXPECT_FALSE(RenderPreviewPng(Triangle().View(), "/nonexistent-dir/korvane/x.png", 64, 64, &error));
    EXPECT_NE(error.find("/nonexistent-dir/korvane/x.png"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(RenderPreviewPng(Triangle().View(), nullptr, 64, 64, &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(WritePreviewPng(PreviewImage(), "/tmp/never.png", &error));
    EXPECT_FALSE(error.empty());
}

// ---------------------------------------------------------------------------
// The ramp and its legend.

TEST(PreviewLegend, RampRunsFromBlueToRedAndClamps)
{
    float lo[3], hi[3], nan[3], below[3], above[3];
    PreviewRamp(0.0f, lo);
    PreviewRamp(1.0f, hi);
    PreviewRamp(std::nanf(""), nan);
    PreviewRamp(-3.0f, below);
    PreviewRamp(7.0f, above);
    EXPECT_GT(lo[2], lo[0]);
    EXPECT_GT(hi[0], hi[2]);
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_EQ(nan[k], lo[k]);
        EXPECT_EQ(below[k], lo[k]);
        EXPECT_EQ(above[k], hi[k]);
    }
}

TEST(PreviewLegend, BarAtTheRightEdgeAndNothingOnTinyImages)
{
    PreviewImage image;
    ASSERT_TRUE(RenderPreview(PreviewMesh(), PreviewView{200, 150, 45.0f, 30.0f}, &image, nullptr));
    PreviewImage plain;
    ASSERT_TRUE(RenderPreview(PreviewMesh(), PreviewView{200, 150, 45.0f, 30.0f}, &plain, nullptr));
    DrawPreviewLegend(&image, -1.5f, 1e30f);
    int changedLeft = 0, changedRight = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            if (std::memcmp(image.Pixel(x, y), plain.Pixel(x, y), 3) != 0)
                ++(x < 100 ? changedLeft : changedRight);
    EXPECT_EQ(changedLeft, 0);
    EXPECT_GT(changedRight, 6 * 100);

    PreviewImage tiny;
    ASSERT_TRUE(RenderPreview(PreviewMesh(), PreviewView{8, 8, 45.0f, 30.0f}, &tiny, nullptr));
    PreviewImage tinyPlain;
    ASSERT_TRUE(RenderPreview(PreviewMesh(), PreviewView{8, 8, 45.0f, 30.0f}, &tinyPlain, nullptr));
    DrawPreviewLegend(&tiny, 0.0f, 1.0f);
    DrawPreviewLegend(nullptr, 0.0f, 1.0f);
    EXPECT_EQ(std::memcmp(tiny.rgb.get(), tinyPlain.rgb.get(), 8 * 8 * 3), 0);
}
