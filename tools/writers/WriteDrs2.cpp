// Writer of .drs2 files, ascii and binary.
#include "WriteDrs2.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{

// Per-vertex values from per-node ones: the first node naming a vertex wins.
std::vector<float> PerVertex(const ZNQGeometry& geo, const float* nodeValues, int comps,
                             int64_t numNodes)
{
    std::vector<float> out(static_cast<size_t>(geo._numVert) * comps, 0.0f);
    std::vector<uint8_t> seen(static_cast<size_t>(geo._numVert), 0);
    for (int64_t k = 0; k < numNodes; ++k)
    {
        const int32_t v = geo._polyVInd[k];
        if (v < 0 || v >= geo._numVert || seen[static_cast<size_t>(v)])
            continue;
        seen[static_cast<size_t>(v)] = 1;
        std::memcpy(&out[static_cast<size_t>(v) * comps], nodeValues + k * comps,
                    sizeof(float) * comps);
    }
    return out;
}

bool FitsWidth(int64_t v, int32_t width)
{
    switch (width)
    {
    case 1: return v >= 0 && v <= 0xFF;
    case 2: return v >= 0 && v <= 0xFFFF;
    default: return v >= INT32_MIN && v <= INT32_MAX;
    }
}

struct Out
{
    std::vector<uint8_t>& out;
    void Put(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    void Text(const char* s) { Put(s, std::strlen(s)); }
    void I32(int32_t v) { Put(&v, 4); }
    void Width(int64_t v, int32_t width)
    {
        if (width == 1)
        {
            const uint8_t b = static_cast<uint8_t>(v);
            Put(&b, 1);
        }
        else if (width == 2)
        {
            const uint16_t h = static_cast<uint16_t>(v);
            Put(&h, 2);
        }
        else
            I32(static_cast<int32_t>(v));
    }
    // Shortest text that reads back as the same float, locale-independent.
    void Real(float f)
    {
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof(buf), f);
        Put(buf, static_cast<size_t>(r.ptr - buf));
    }
    void Int(int64_t v)
    {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof(buf), v);
        Put(buf, static_cast<size_t>(r.ptr - buf));
    }
};

void AsciiValues(Out& w, const char* keyword, const float* values, int32_t count, int comps)
{
    w.Text(keyword);
    w.Text(" ");
    w.Int(count);
    w.Text("\n");
    for (int32_t i = 0; i < count; ++i)
    {
        for (int c = 0; c < comps; ++c)
        {
            if (c)
                w.Text(" ");
            w.Real(values[int64_t(i) * comps + c]);
        }
        w.Text("\n");
    }
}

} // namespace

bool WriteDrs2ToMemory(const ZNQGeometry& geo, const Drs2WriteOptions& opt, std::vector<uint8_t>& out)
{
    out.clear();
    auto validWidth = [](int32_t wd) { return wd == 1 || wd == 2 || wd == 4; };
    if (!geo._vertPos || geo._numVert < 0 || geo._numPoly < 0 ||
        (geo._numPoly > 0 && (!geo._polyNumVert || !geo._polyVInd)))
        return false;
    if (opt.binary && (!validWidth(opt.countWidth) || !validWidth(opt.indexWidth)))
        return false;
    int64_t numNodes = 0;
    for (int32_t p = 0; p < geo._numPoly; ++p)
    {
        numNodes += geo._polyNumVert[p];
        if (opt.binary && !FitsWidth(geo._polyNumVert[p], opt.countWidth))
            return false;
    }
    const int64_t numValues = numNodes + geo._numPoly;
    if (numValues > INT32_MAX)
        return false;
    if (opt.binary)
        for (int64_t k = 0; k < numNodes; ++k)
            if (!FitsWidth(geo._polyVInd[k], opt.indexWidth))
                return false;

    const int32_t nv = geo._numVert;
    const bool hasCol = opt.colors && geo._nodeCol && nv > 0;
    const bool hasMot = opt.motions && geo._vertMotion && nv > 0;
    const bool hasNrm = opt.normals && geo._nodeNrm && nv > 0;
    const std::vector<float> col =
        hasCol ? PerVertex(geo, &geo._nodeCol[0].x, 4, numNodes) : std::vector<float>();
    const std::vector<float> nrm =
        hasNrm ? PerVertex(geo, &geo._nodeNrm[0].x, 3, numNodes) : std::vector<float>();

    Out w{out};
    std::string header = "Drosil2-File-Format " + std::to_string(opt.year) +
                         (opt.binary ? " bin format" : " asc format");
    w.Text(header.c_str());

    if (!opt.binary)
    {
        w.Text("\n");
        AsciiValues(w, "AmountOfVertices", &geo._vertPos[0].x, nv, 3);
        if (nv == 0)
            return true; // nothing follows an empty vertex list
        w.Text("AmountOfPolygonValues ");
        w.Int(numValues);
        w.Text("\n");
        int64_t k = 0;
        for (int32_t p = 0; p < geo._numPoly; ++p)
        {
            const int n = geo._polyNumVert[p];
            w.Int(n);
            for (int i = 0; i < n; ++i, ++k)
            {
                w.Text(" ");
                w.Int(geo._polyVInd[k]);
            }
            w.Text("\n");
        }
        AsciiValues(w, "AmountOfVertexColors", col.data(), hasCol ? nv : 0, 4);
        AsciiValues(w, "AmountOfMotionVectors", hasMot ? &geo._vertMotion[0].x : nullptr,
                    hasMot ? nv : 0, 3);
        AsciiValues(w, "AmountOfNormalVectors", nrm.data(), hasNrm ? nv : 0, 3);
        return true;
    }

    w.Text(opt.headerEnd ? opt.headerEnd : "");
    w.I32(nv);
    if (nv == 0)
        return true;
    w.Put(geo._vertPos, static_cast<size_t>(nv) * 12);
    w.I32(static_cast<int32_t>(numValues));
    w.I32(opt.countWidth);
    w.I32(opt.indexWidth);
    int64_t k = 0;
    for (int32_t p = 0; p < geo._numPoly; ++p)
    {
        const int n = geo._polyNumVert[p];
        w.Width(n, opt.countWidth);
        for (int i = 0; i < n; ++i, ++k)
            w.Width(geo._polyVInd[k], opt.indexWidth);
    }

    // Colours: codes 0..65000 between the smallest and largest component,
    // with the reader's step (max - min) / 65000 computed in double and
    // rounded to float.
    w.I32(hasCol ? nv : 0);
    if (hasCol)
    {
        float lo = col[0], hi = col[0];
        for (float c : col)
        {
            lo = c < lo ? c : lo;
            hi = c > hi ? c : hi;
        }
        w.Put(&lo, 4);
        w.Put(&hi, 4);
        const float scale = static_cast<float>(static_cast<double>(hi - lo) / 65000.0);
        for (float c : col)
        {
            double code = scale > 0.0f ? std::floor((c - lo) / scale + 0.5) : 0.0;
            code = code < 0.0 ? 0.0 : (code > 65000.0 ? 65000.0 : code);
            const uint16_t q = static_cast<uint16_t>(code);
            w.Put(&q, 2);
        }
    }
    w.I32(hasMot ? nv : 0);
    if (hasMot)
        w.Put(geo._vertMotion, static_cast<size_t>(nv) * 12);
    w.I32(hasNrm ? nv : 0);
    if (hasNrm)
        w.Put(nrm.data(), static_cast<size_t>(nv) * 12);
    return true;
}

bool WriteDrs2(const ZNQGeometry& geo, const char* path, const Drs2WriteOptions& opt)
{
    std::vector<uint8_t> bytes;
    if (!path || !WriteDrs2ToMemory(geo, opt, bytes))
        return false;
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0) && ok;
}
