// Preview rasterizer. Three passes:
//   1. walk the polygons once to find the view-space extents of every point
//      that a drawable polygon names (this is what the camera frames);
//   2. project every point to screen x, y and a normalised depth, and light
//      its normal once (when normals are given);
//   3. walk the polygons again, fan-triangulate, and fill each triangle with
//      edge functions stepped incrementally across its screen bounding box.
// Orthographic projection keeps framing exact and depth linear in screen
// space, so depth and colour interpolate with plain barycentrics.
#include "KorvanePreview.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>

namespace
{

// Fraction of the shorter image side left free around the framed mesh.
constexpr double kMargin = 0.06;

// Lambert terms; ambient + key reaches exactly 1 for a surface facing the light.
constexpr float kAmbient = 0.28f;
constexpr float kKey = 0.72f;

// Neutral clay, used when the mesh has no colours.
constexpr float kClay[3] = {0.74f, 0.71f, 0.66f};

// Background gradient, top and bottom rows.
constexpr float kBackTop[3] = {0.70f, 0.74f, 0.80f};
constexpr float kBackBottom[3] = {0.95f, 0.95f, 0.96f};

// Barycentric tolerance: pixel centres that fall on a shared edge within
// float rounding are drawn by both triangles (the depth test settles it)
// rather than by neither, which would leave pinholes.
constexpr float kInsideEps = -1e-6f;

// Smallest screen area (pixels squared) of a triangle worth filling.
constexpr float kMinArea = 1e-12f;

// 0..1 to 0..255, rounded; NaN and negatives give 0.
uint8_t ToByte(float v)
{
    v = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return uint8_t(v * 255.0f + 0.5f);
}

struct Vec3
{
    double x, y, z;
};

Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 Normalized(const Vec3& v)
{
    const double len = std::sqrt(Dot(v, v));
    if (!(len > 0.0) || !std::isfinite(len))
        return {0.0, 0.0, 0.0};
    return {v.x / len, v.y / len, v.z / len};
}

// Camera frame: right, up and the direction towards the camera, world Y up.
struct Camera
{
    Vec3 right, up, toCam;
    Vec3 light; // unit direction towards the key light, world space
};

Camera MakeCamera(const PreviewView& view)
{
    const double deg = 3.14159265358979323846 / 180.0;
    double az = double(view.azimuthDeg) * deg;
    double el = double(view.elevationDeg) * deg;
    if (!std::isfinite(az))
        az = 45.0 * deg;
    // Keep away from the poles, where "up" would be undefined.
    if (!std::isfinite(el))
        el = 30.0 * deg;
    el = std::clamp(el, -89.0 * deg, 89.0 * deg);

    Camera c;
    c.toCam = {std::cos(el) * std::sin(az), std::sin(el), std::cos(el) * std::cos(az)};
    c.right = Normalized(Cross({0.0, 1.0, 0.0}, c.toCam));
    c.up = Cross(c.toCam, c.right);
    // Key light from the upper left, in front of the mesh (view space).
    const Vec3 lv = Normalized({-0.45, 0.65, 0.60});
    c.light = {lv.x * c.right.x + lv.y * c.up.x + lv.z * c.toCam.x,
               lv.x * c.right.y + lv.y * c.up.y + lv.z * c.toCam.y,
               lv.x * c.right.z + lv.y * c.up.z + lv.z * c.toCam.z};
    return c;
}

template <typename T>
std::unique_ptr<T[]> TryAlloc(size_t count)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

void SetError(std::string* error, const char* text)
{
    if (error)
        *error = text;
}

bool Finite3(const float* p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// Calls fn(corners, count) for every polygon with three or more corners
// whose corner list lies inside the index array. A negative count, or one
// running past the index array, ends the walk: the offsets of every later
// polygon would be wrong.
template <typename Fn>
void ForEachPolygon(const PreviewMesh& mesh, Fn&& fn)
{
    if (!mesh.polyIndices || mesh.numIndices <= 0 || mesh.numPolys <= 0)
        return;
    if (!mesh.polyCounts && !mesh.polyCountsU8)
        return;
    int64_t offset = 0;
    for (int64_t p = 0; p < mesh.numPolys; ++p)
    {
        const int64_t n = mesh.polyCounts ? int64_t(mesh.polyCounts[p]) : int64_t(mesh.polyCountsU8[p]);
        if (n < 0 || n > mesh.numIndices - offset)
            return;
        if (n >= 3)
            fn(mesh.polyIndices + offset, n);
        offset += n;
    }
}

// A projected point. x is NaN for a point that must not be drawn.
struct ScreenPoint
{
    float x, y, z;   // pixels, pixels (down), depth 0..1 (1 nearest)
    float nLight;    // unit normal . light, NaN without a usable normal
    float nCam;      // unit normal . towards camera
};

struct Corner
{
    float x, y, z;
    float r, g, b;
};

// Fills one triangle into the colour and depth buffers.
void FillTriangle(const Corner& c0, const Corner& c1, const Corner& c2, int width, int height,
                  uint8_t* rgb, float* depth)
{
    // Triangles far below a pixel in area cover no pixel centre reliably, and
    // 1 / area would overflow for them; skipping keeps every weight finite.
    const float area = (c1.x - c0.x) * (c2.y - c0.y) - (c1.y - c0.y) * (c2.x - c0.x);
    if (!(std::fabs(area) > kMinArea) || !std::isfinite(area))
        return;

    // Pixel centres at i + 0.5 inside the triangle's bounding box.
    const float minX = std::min({c0.x, c1.x, c2.x});
    const float maxX = std::max({c0.x, c1.x, c2.x});
    const float minY = std::min({c0.y, c1.y, c2.y});
    const float maxY = std::max({c0.y, c1.y, c2.y});
    if (maxX < 0.0f || maxY < 0.0f || minX > float(width) || minY > float(height))
        return;
    const int x0 = std::max(0, int(std::floor(std::max(minX - 0.5f, 0.0f))));
    const int x1 = std::min(width - 1, int(std::ceil(std::min(maxX - 0.5f, float(width)))));
    const int y0 = std::max(0, int(std::floor(std::max(minY - 0.5f, 0.0f))));
    const int y1 = std::min(height - 1, int(std::ceil(std::min(maxY - 0.5f, float(height)))));
    if (x0 > x1 || y0 > y1)
        return;

    // Barycentric weight of corner i = edge function of the opposite edge / area.
    // E(a, b, p) = (bx - ax)(py - ay) - (by - ay)(px - ax).
    const float inv = 1.0f / area;
    const float px = float(x0) + 0.5f;
    const float py = float(y0) + 0.5f;
    float b0Row = ((c2.x - c1.x) * (py - c1.y) - (c2.y - c1.y) * (px - c1.x)) * inv;
    float b1Row = ((c0.x - c2.x) * (py - c2.y) - (c0.y - c2.y) * (px - c2.x)) * inv;
    float b2Row = ((c1.x - c0.x) * (py - c0.y) - (c1.y - c0.y) * (px - c0.x)) * inv;
    const float b0dx = -(c2.y - c1.y) * inv, b0dy = (c2.x - c1.x) * inv;
    const float b1dx = -(c0.y - c2.y) * inv, b1dy = (c0.x - c2.x) * inv;
    const float b2dx = -(c1.y - c0.y) * inv, b2dy = (c1.x - c0.x) * inv;

    for (int y = y0; y <= y1; ++y)
    {
        float b0 = b0Row, b1 = b1Row, b2 = b2Row;
        float* depthRow = depth + int64_t(y) * width;
        uint8_t* rgbRow = rgb + int64_t(y) * width * 3;
        for (int x = x0; x <= x1; ++x)
        {
            if (b0 >= kInsideEps && b1 >= kInsideEps && b2 >= kInsideEps)
            {
                const float z = b0 * c0.z + b1 * c1.z + b2 * c2.z;
                if (z > depthRow[x])
                {
                    depthRow[x] = z;
                    const float r = b0 * c0.r + b1 * c1.r + b2 * c2.r;
                    const float g = b0 * c0.g + b1 * c1.g + b2 * c2.g;
                    const float b = b0 * c0.b + b1 * c1.b + b2 * c2.b;
                    uint8_t* out = rgbRow + x * 3;
                    out[0] = ToByte(r);
                    out[1] = ToByte(g);
                    out[2] = ToByte(b);
                }
            }
            b0 += b0dx;
            b1 += b1dx;
            b2 += b2dx;
        }
        b0Row += b0dy;
        b1Row += b1dy;
        b2Row += b2dy;
    }
}

float Clamp01OrDefault(float v, float fallback)
{
    if (!std::isfinite(v))
        return fallback;
    return std::clamp(v, 0.0f, 1.0f);
}

} // namespace

void PreviewBackground(int y, int height, uint8_t rgb[3])
{
    const float t = height > 1 ? std::clamp(float(y) / float(height - 1), 0.0f, 1.0f) : 0.0f;
    for (int k = 0; k < 3; ++k)
        rgb[k] = uint8_t((kBackTop[k] + (kBackBottom[k] - kBackTop[k]) * t) * 255.0f + 0.5f);
}

bool RenderPreview(const PreviewMesh& mesh, const PreviewView& view, PreviewImage* image,
                   std::string* error)
{
    if (!image)
    {
        SetError(error, "no image to render into");
        return false;
    }
    image->width = 0;
    image->height = 0;
    image->rgb.reset();
    const int width = view.width;
    const int height = view.height;
    if (width < 1 || height < 1 || width > kPreviewMaxSide || height > kPreviewMaxSide)
    {
        SetError(error, "preview size must be 1 to 8192 pixels per side");
        return false;
    }

    const size_t numPixels = size_t(width) * size_t(height);
    std::unique_ptr<uint8_t[]> rgb = TryAlloc<uint8_t>(numPixels * 3);
    std::unique_ptr<float[]> depth = TryAlloc<float>(numPixels);
    if (!rgb || !depth)
    {
        SetError(error, "not enough memory for the preview image");
        return false;
    }
    for (int y = 0; y < height; ++y)
    {
        uint8_t back[3];
        PreviewBackground(y, height, back);
        uint8_t* row = rgb.get() + size_t(y) * width * 3;
        for (int x = 0; x < width; ++x)
        {
            row[x * 3 + 0] = back[0];
            row[x * 3 + 1] = back[1];
            row[x * 3 + 2] = back[2];
        }
    }
    std::fill(depth.get(), depth.get() + numPixels, -FLT_MAX);

    const int64_t numPoints = mesh.points ? std::max<int64_t>(mesh.numPoints, 0) : 0;
    const Camera cam = MakeCamera(view);

    // Pass 1: view-space extents of the points that drawable polygons name.
    double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
    double hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    bool any = false;
    if (numPoints > 0)
    {
        ForEachPolygon(mesh, [&](const int32_t* corners, int64_t count) {
            for (int64_t k = 0; k < count; ++k)
            {
                const int32_t i = corners[k];
                if (i < 0 || i >= numPoints)
                    continue;
                const float* p = mesh.points + int64_t(i) * 3;
                if (!Finite3(p))
                    continue;
                const Vec3 v = {p[0], p[1], p[2]};
                const double s[3] = {Dot(v, cam.right), Dot(v, cam.up), Dot(v, cam.toCam)};
                for (int a = 0; a < 3; ++a)
                {
                    lo[a] = std::min(lo[a], s[a]);
                    hi[a] = std::max(hi[a], s[a]);
                }
                any = true;
            }
        });
    }

    if (any)
    {
        // Frame: fit the right/up extents into the image minus the margin.
        const double margin = kMargin * double(std::min(width, height));
        const double availX = std::max(1.0, double(width) - 2.0 * margin);
        const double availY = std::max(1.0, double(height) - 2.0 * margin);
        const double extX = hi[0] - lo[0];
        const double extY = hi[1] - lo[1];
        double scale = 1.0;
        if (extX > 0.0 && extY > 0.0)
            scale = std::min(availX / extX, availY / extY);
        else if (extX > 0.0)
            scale = availX / extX;
        else if (extY > 0.0)
            scale = availY / extY;
        if (!std::isfinite(scale) || !(scale > 0.0))
            scale = 1.0;
        const double midX = 0.5 * (lo[0] + hi[0]);
        const double midY = 0.5 * (lo[1] + hi[1]);
        const double extZ = hi[2] - lo[2];
        const double depthScale = extZ > 0.0 && std::isfinite(extZ) ? 1.0 / extZ : 0.0;

        // Pass 2: project every point and light its normal once.
        std::unique_ptr<ScreenPoint[]> screen = TryAlloc<ScreenPoint>(size_t(numPoints));
        if (!screen)
        {
            SetError(error, "not enough memory for the projected points");
            return false;
        }
        const float nan = std::nanf("");
        for (int64_t i = 0; i < numPoints; ++i)
        {
            ScreenPoint& sp = screen[size_t(i)];
            sp.nLight = nan;
            sp.nCam = 0.0f;
            const float* p = mesh.points + i * 3;
            if (!Finite3(p))
            {
                sp.x = sp.y = sp.z = nan;
                continue;
            }
            const Vec3 v = {p[0], p[1], p[2]};
            sp.x = float(0.5 * width + (Dot(v, cam.right) - midX) * scale);
            sp.y = float(0.5 * height - (Dot(v, cam.up) - midY) * scale);
            sp.z = float((Dot(v, cam.toCam) - lo[2]) * depthScale);
            if (!std::isfinite(sp.x) || !std::isfinite(sp.y) || !std::isfinite(sp.z))
            {
                sp.x = nan; // a point outside the framed box (no drawable polygon names it)
                continue;
            }
            if (mesh.normals)
            {
                const float* n = mesh.normals + i * 3;
                if (Finite3(n))
                {
                    const Vec3 u = Normalized({n[0], n[1], n[2]});
                    if (Dot(u, u) > 0.0)
                    {
                        sp.nLight = float(Dot(u, cam.light));
                        sp.nCam = float(Dot(u, cam.toCam));
                    }
                }
            }
        }

        // Pass 3: fan-triangulate and fill.
        uint8_t* rgbData = rgb.get();
        float* depthData = depth.get();
        ForEachPolygon(mesh, [&](const int32_t* corners, int64_t count) {
            const int32_t i0 = corners[0];
            if (i0 < 0 || i0 >= numPoints)
                return;
            for (int64_t k = 1; k + 1 < count; ++k)
            {
                const int32_t idx[3] = {i0, corners[k], corners[k + 1]};
                if (idx[1] < 0 || idx[1] >= numPoints || idx[2] < 0 || idx[2] >= numPoints)
                    continue;
                const ScreenPoint* sp[3] = {&screen[size_t(idx[0])], &screen[size_t(idx[1])],
                                            &screen[size_t(idx[2])]};
                if (std::isnan(sp[0]->x) || std::isnan(sp[1]->x) || std::isnan(sp[2]->x))
                    continue;

                // Two-sided lighting. Flat: the face normal turned towards the
                // camera. Smooth: the vertex normals, all three flipped when
                // their sum points away from the camera (the back of a surface,
                // or normals that disagree with the winding).
                float flat = nan;
                const bool smooth = !std::isnan(sp[0]->nLight) && !std::isnan(sp[1]->nLight) &&
                                    !std::isnan(sp[2]->nLight);
                if (!smooth)
                {
                    const float* p0 = mesh.points + int64_t(idx[0]) * 3;
                    const float* p1 = mesh.points + int64_t(idx[1]) * 3;
                    const float* p2 = mesh.points + int64_t(idx[2]) * 3;
                    const Vec3 e1 = {double(p1[0]) - p0[0], double(p1[1]) - p0[1], double(p1[2]) - p0[2]};
                    const Vec3 e2 = {double(p2[0]) - p0[0], double(p2[1]) - p0[1], double(p2[2]) - p0[2]};
                    Vec3 n = Normalized(Cross(e1, e2));
                    if (Dot(n, cam.toCam) < 0.0)
                        n = {-n.x, -n.y, -n.z};
                    flat = float(Dot(n, cam.light));
                }
                const float flip =
                    (sp[0]->nCam + sp[1]->nCam + sp[2]->nCam) < 0.0f ? -1.0f : 1.0f;

                Corner c[3];
                for (int v = 0; v < 3; ++v)
                {
                    const float nl = std::isnan(sp[v]->nLight) ? flat : flip * sp[v]->nLight;
                    const float shade = kAmbient + kKey * std::max(0.0f, nl);
                    float base[3] = {kClay[0], kClay[1], kClay[2]};
                    if (mesh.colors)
                    {
                        const float* col = mesh.colors + int64_t(idx[v]) * 4;
                        for (int a = 0; a < 3; ++a)
                            base[a] = Clamp01OrDefault(col[a], kClay[a]);
                    }
                    c[v] = {sp[v]->x, sp[v]->y, sp[v]->z, base[0] * shade, base[1] * shade, base[2] * shade};
                }
                FillTriangle(c[0], c[1], c[2], width, height, rgbData, depthData);
            }
        });
    }

    image->width = width;
    image->height = height;
    image->rgb = std::move(rgb);
    return true;
}

bool RenderPreviewPng(const PreviewMesh& mesh, const char* path, int width, int height,
                      std::string* error)
{
    PreviewView view;
    view.width = width;
    view.height = height;
    PreviewImage image;
    if (!RenderPreview(mesh, view, &image, error))
        return false;
    return WritePreviewPng(image, path, error);
}
