// Preview renderer: a small software rasterizer that draws a polygon mesh
// from a fixed three-quarter view into an RGB image and writes it as PNG.
// Used to make before/after pictures of cache frames without a host.
//
// What it draws: polygons are fan-triangulated, z-buffered and Lambert-shaded
// with a key light and an ambient term over a light vertical gradient. Both
// sides of a polygon are lit (a polygon seen from behind is shaded with its
// normal flipped), so open surfaces and inverted polygons stay readable.
// Per-vertex normals, when given, shade smoothly (Gouraud); without them each
// triangle is shaded flat. Per-vertex colours, when given, replace the
// neutral clay colour; alpha is ignored.
//
// The camera is orthographic, looks at the mesh from an azimuth and an
// elevation (default 45 and 30 degrees, Y up) and frames the bounding box of
// the points that valid polygons use, with a small margin.
//
// Robustness: the renderer reads only the arrays described by PreviewMesh
// and never trusts their content. Points with a NaN or infinite coordinate
// are skipped together with every triangle that uses them; indices outside
// [0, numPoints) skip their triangle; a polygon whose corner list would run
// past numIndices ends the polygon walk; polygons with fewer than three
// corners draw nothing. An empty mesh gives an image of background only.
// Nothing throws; failures (bad size, refused allocation, unwritable file)
// return false with a message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The mesh to draw. All arrays are borrowed; only the counts given here are
// read. Exactly one of polyCounts / polyCountsU8 is used (polyCounts when
// both are set).
struct PreviewMesh
{
    int64_t numPoints = 0;
    const float* points = nullptr;       // [numPoints * 3] x, y, z

    int64_t numPolys = 0;
    const int32_t* polyCounts = nullptr;  // [numPolys] corners per polygon (host style)
    const uint8_t* polyCountsU8 = nullptr; // [numPolys] corners per polygon (geometry style)

    int64_t numIndices = 0;
    const int32_t* polyIndices = nullptr; // [numIndices] point of each corner, polygon after polygon

    const float* normals = nullptr;      // [numPoints * 3] per-point normals, or null
    const float* colors = nullptr;       // [numPoints * 4] per-point RGBA in 0..1, or null
};

// Camera and image size.
struct PreviewView
{
    int width = 800;
    int height = 600;
    float azimuthDeg = 45.0f;   // rotation about +Y, from +Z towards +X
    float elevationDeg = 30.0f; // above the horizon
};

// Largest accepted image side, in pixels.
constexpr int kPreviewMaxSide = 8192;

// An 8-bit RGB image, rows top to bottom, 3 bytes per pixel.
struct PreviewImage
{
    int width = 0;
    int height = 0;
    std::unique_ptr<uint8_t[]> rgb; // [width * height * 3]

    const uint8_t* Pixel(int x, int y) const { return rgb.get() + (int64_t(y) * width + x) * 3; }
};

// Draws mesh into image (replacing its content).
// Returns false, with a message in *error when error is not null, when the
// view size lies outside 1..kPreviewMaxSide or memory for the image, the
// depth buffer or the projected points cannot be had; image is then empty.
bool RenderPreview(const PreviewMesh& mesh, const PreviewView& view, PreviewImage* image,
                   std::string* error);

// The background colour of row y of an image of the given height: a light
// gradient from a cool grey at the top to near white at the bottom.
void PreviewBackground(int y, int height, uint8_t rgb[3]);

// Writes an RGB image as an 8-bit PNG file. Returns false with a message
// when the image is empty or the file cannot be written.
bool WritePreviewPng(const PreviewImage& image, const char* path, std::string* error);

// A colour ramp for values mapped to 0..1 (clamped; NaN gives 0): deep blue
// through cyan, green and yellow to red.
void PreviewRamp(float t, float rgb[3]);

// A legend for PreviewRamp at the right edge of the image: a vertical bar
// from lo (bottom) to hi (top), each end labelled with its value. Images
// too small for it are left as they are.
void DrawPreviewLegend(PreviewImage* image, float lo, float hi);

// RenderPreview followed by WritePreviewPng; width and height default to 800 x 600.
bool RenderPreviewPng(const PreviewMesh& mesh, const char* path, int width = 800,
                      int height = 600, std::string* error = nullptr);
