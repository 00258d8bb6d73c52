// Colour ramp and legend of the preview pictures: a value per point drawn as
// colour, with a bar at the right edge that names the range it spans.
#include "KorvanePreview.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

// Ramp stops, evenly spaced from 0 to 1: deep blue, blue, cyan, green,
// yellow, red. Neighbouring stops differ in hue and in lightness, so the
// ramp reads on a grey-shaded surface.
constexpr float kStops[6][3] = {{0.10f, 0.12f, 0.45f}, {0.15f, 0.40f, 0.90f}, {0.20f, 0.80f, 0.90f},
                                {0.30f, 0.80f, 0.30f}, {0.95f, 0.85f, 0.20f}, {0.85f, 0.15f, 0.10f}};

// 3 x 5 glyphs of the characters a number is printed with, rows top to
// bottom, bit 2 the left column.
struct Glyph
{
    char c;
    uint8_t rows[5];
};
constexpr Glyph kGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {'-', {0, 0, 7, 0, 0}},
    {'+', {0, 2, 7, 2, 0}}, {'e', {0, 7, 7, 4, 7}},
};

const uint8_t* GlyphRows(char c)
{
    for (const Glyph& g : kGlyphs)
        if (g.c == c)
            return g.rows;
    return nullptr;
}

void Put(PreviewImage* image, int x, int y, const uint8_t rgb[3])
{
    if (x < 0 || y < 0 || x >= image->width || y >= image->height)
        return;
    uint8_t* p = image->rgb.get() + (int64_t(y) * image->width + x) * 3;
    p[0] = rgb[0];
    p[1] = rgb[1];
    p[2] = rgb[2];
}

// Text of the printable characters only, each glyph `scale` pixels per dot,
// its top left corner at (x, y).
void DrawText(PreviewImage* image, int x, int y, int scale, const char* text, const uint8_t rgb[3])
{
    for (const char* c = text; *c; ++c, x += 4 * scale)
    {
        const uint8_t* rows = GlyphRows(*c);
        if (!rows)
            continue;
        for (int r = 0; r < 5; ++r)
            for (int col = 0; col < 3; ++col)
                if (rows[r] & (4 >> col))
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            Put(image, x + col * scale + dx, y + r * scale + dy, rgb);
    }
}

uint8_t Byte(float v)
{
    v = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return uint8_t(v * 255.0f + 0.5f);
}

} // namespace

void PreviewRamp(float t, float rgb[3])
{
    if (!(t > 0.0f))
        t = 0.0f; // NaN too
    if (t > 1.0f)
        t = 1.0f;
    const float at = t * 5.0f;
    int i = static_cast<int>(at);
    if (i > 4)
        i = 4;
    const float f = at - static_cast<float>(i);
    for (int k = 0; k < 3; ++k)
        rgb[k] = kStops[i][k] + f * (kStops[i + 1][k] - kStops[i][k]);
}

void DrawPreviewLegend(PreviewImage* image, float lo, float hi)
{
    if (!image || !image->rgb || image->width < 16 || image->height < 32)
        return;
    const int scale = image->height >= 400 ? 2 : 1;
    const int barWidth = 6 * scale;
    const int labelWidth = 4 * scale * 10; // up to ten characters
    const int margin = 4 * scale;
    const int x0 = image->width - margin - labelWidth - margin - barWidth;
    const int top = margin + 3 * scale;
    const int bottom = image->height - margin - 3 * scale;
    if (x0 < 0 || bottom - top < 8)
        return;
    const uint8_t frame[3] = {40, 40, 40};
    for (int y = top; y <= bottom; ++y)
    {
        float rgb[3];
        PreviewRamp(static_cast<float>(bottom - y) / static_cast<float>(bottom - top), rgb);
        const uint8_t c[3] = {Byte(rgb[0]), Byte(rgb[1]), Byte(rgb[2])};
        for (int x = x0; x < x0 + barWidth; ++x)
            Put(image, x, y, (x == x0 || x == x0 + barWidth - 1) ? frame : c);
    }
    for (int x = x0; x < x0 + barWidth; ++x)
    {
        Put(image, x, top, frame);
        Put(image, x, bottom, frame);
    }
    char text[32];
    const int tx = x0 + barWidth + margin;
    std::snprintf(text, sizeof(text), "%.3g", static_cast<double>(hi));
    DrawText(image, tx, top - 2 * scale, scale, text, frame);
    std::snprintf(text, sizeof(text), "%.3g", static_cast<double>(lo));
    DrawText(image, tx, bottom - 3 * scale, scale, text, frame);
}
