// Writes the seed corpora of the fuzz targets: small valid files of every
// format variant the writers produce (each behind the option bytes its
// target reads first), hand-made edge files, and structured inputs for the
// mesh operations, cache naming and the command.
//
// Usage: fuzz_seeds <corpus directory>   (creates <dir>/<target>/<name>)
// Deterministic: the same build writes the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "SampleMesh.h"
#include "WriteDrs2.h"
#include "WriteObj.h"
#include "WriteRealFlowBin.h"
#include "WriteZnq.h"
#include "geometry/ZNQGeometry.h"

namespace fs = std::filesystem;
typedef std::vector<uint8_t> Buf;

namespace
{

fs::path gRoot;
int gWritten = 0;

void Save(const char* target, const std::string& name, const Buf& bytes)
{
    const fs::path dir = gRoot / target;
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ++gWritten;
}

Buf Cat(const Buf& head, const Buf& tail)
{
    Buf b = head;
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

Buf Text(const std::string& s)
{
    return Buf(s.begin(), s.end());
}

void PutU16(Buf& b, uint16_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(Buf& b, uint32_t v)
{
    PutU16(b, static_cast<uint16_t>(v));
    PutU16(b, static_cast<uint16_t>(v >> 16));
}
void PutF32(Buf& b, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    PutU32(b, v);
}

struct Mesh
{
    ZNQGeometry geo;
    explicit Mesh(int32_t tris, float time = 0.0f)
    {
        geo.Init();
        if (!MakeSampleMesh(geo, tris, time))
        {
            std::fprintf(stderr, "sample mesh failed\n");
            std::exit(1);
        }
    }
    ~Mesh() { geo.Clear(); }

    // Every user-data channel, so the .znq writer stores them too.
    void AddUserData()
    {
        const size_t n = static_cast<size_t>(geo._numVert);
        geo._vertUser4 = geo._MemAllocArr<float4>(n, true);
        for (float3*& c : geo._vertUser3)
            c = geo._MemAllocArr<float3>(n, true);
        for (float*& c : geo._vertUser1)
            c = geo._MemAllocArr<float>(n, true);
        for (size_t v = 0; v < n; ++v)
        {
            geo._vertUser4[v] = {1.0f, 2.0f, 3.0f, static_cast<float>(v)};
            geo._vertUser3[0][v] = geo._vertPos[v];
            geo._vertUser3[1][v] = {0.5f, 0.25f, static_cast<float>(v)};
            for (float* c : geo._vertUser1)
                c[v] = static_cast<float>(v) * 0.125f;
        }
    }
};

// ---------------------------------------------------------------------------
// .znq

void ZnqSeeds()
{
    struct Variant
    {
        const char* name;
        int32_t tris;
        ZnqWriteOptions options;
        uint8_t load, user;
        bool userData;
    };
    std::vector<Variant> variants;
    ZnqWriteOptions o;
    variants.push_back({"tiny_all_pernode", 16, o, 0x0F, 0x00, false});
    variants.push_back({"tiny_nothing_loaded", 16, o, 0x00, 0x80, false});
    o.indices16 = true;
    variants.push_back({"tiny_idx16", 16, o, 0x0F, 0x00, false});
    o = ZnqWriteOptions();
    o.normalsPerVertex = o.colorsPerVertex = o.uvwsPerVertex = true;
    variants.push_back({"tiny_pervertex", 16, o, 0x0F, 0x00, false});
    o = ZnqWriteOptions();
    o.prescan = true;
    o.prescanValue = 7;
    variants.push_back({"tiny_prescan", 16, o, 0x0F, 0x00, false});
    o = ZnqWriteOptions();
    variants.push_back({"tiny_userdata", 16, o, 0x0F, 0x7F, true});
    variants.push_back({"small_userdata_some", 36, o, 0x05, 0x29, true});
    o.normals = o.colors = false;
    variants.push_back({"small_motion_uvw", 36, o, 0x0A, 0x00, false});
    o = ZnqWriteOptions();
    o.indices16 = true;
    o.uvwsPerVertex = true;
    variants.push_back({"small_idx16_uvw_pervertex", 36, o, 0x08, 0x00, false});

    for (Variant& v : variants)
    {
        Mesh m(v.tris, 1.5f);
        if (v.userData)
            m.AddUserData();
        Buf file;
        if (!WriteZnqToMemory(m.geo, v.options, file))
            std::exit(2);
        Save("read_znq", v.name, Cat({v.load, v.user}, file));
    }

    // Hand-made: header and trailer only; an empty mesh; a lone triangle
    // with out-of-range index and unknown chunk; a mesh chunk cut short.
    const std::string header("    ZNQ-File-Format    \0", 24);
    const std::string trailer("   >> END OF FILE <<   \0", 24);
    Save("read_znq", "hand_header_trailer", Cat({0x0F, 0}, Text(header + trailer)));

    auto chunkHead = [](Buf& b, uint32_t type, uint32_t size) {
        PutU32(b, type);
        b.insert(b.end(), 24, 0);
        PutU32(b, size);
    };
    {
        Buf b = Text(header);
        chunkHead(b, 0x0ABC0001u, 4);
        PutU32(b, 0);
        Buf t = Text(trailer);
        b.insert(b.end(), t.begin(), t.end());
        Save("read_znq", "hand_empty_mesh", Cat({0x0F, 0}, b));
    }
    {
        Buf b = Text(header);
        chunkHead(b, 0x12345678u, 3); // unknown chunk, skipped
        b.insert(b.end(), {1, 2, 3});
        Buf mesh;
        PutU32(mesh, 3);
        for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f})
            PutF32(mesh, f);
        PutU32(mesh, 2);
        mesh.push_back(3);
        mesh.push_back(3);
        PutU32(mesh, 4);
        for (uint32_t i : {0u, 1u, 2u, 0u, 1u, 9u})
            PutU32(mesh, i);
        chunkHead(b, 0x0ABC0001u, static_cast<uint32_t>(mesh.size()));
        b.insert(b.end(), mesh.begin(), mesh.end());
        Buf nrm;
        PutU32(nrm, 3);
        for (int i = 0; i < 9; ++i)
            PutU16(nrm, 0x3C00);
        chunkHead(b, 0xDA7A0001u, static_cast<uint32_t>(nrm.size()));
        b.insert(b.end(), nrm.begin(), nrm.end());
        Buf t = Text(trailer);
        Buf whole = Cat(b, t);
        Save("read_znq", "hand_triangle_badindex", Cat({0x0F, 0}, whole));
        Buf cut(whole.begin(), whole.begin() + 60);
        Save("read_znq", "hand_cut_mesh", Cat({0x0F, 0}, cut));
    }
    // Hostile counts: each must be refused before anything is allocated.
    const uint32_t hostile[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 1000000u};
    for (uint32_t count : hostile)
    {
        char name[64];
        Buf b = Text(header);
        chunkHead(b, 0x0ABC0001u, 0xFFFFFFFFu);
        PutU32(b, count); // V
        Buf t = Text(trailer);
        std::snprintf(name, sizeof name, "hostile_vertex_count_%08x", count);
        Save("read_znq", name, Cat({0x0F, 0}, Cat(b, t)));

        b = Text(header);
        chunkHead(b, 0x0ABC0001u, 20);
        PutU32(b, 1);
        for (int i = 0; i < 3; ++i)
            PutF32(b, 0.0f);
        PutU32(b, count); // P
        b.insert(b.end(), 3);
        std::snprintf(name, sizeof name, "hostile_polygon_count_%08x", count);
        Save("read_znq", name, Cat({0x0F, 0}, Cat(b, t)));
    }
}

// ---------------------------------------------------------------------------
// .drs2

void Drs2Seeds()
{
    struct Variant
    {
        const char* name;
        int32_t tris;
        bool binary;
        int32_t cw, iw;
        bool colors, motions, normals;
        const char* headerEnd;
        uint8_t load;
    };
    const Variant variants[] = {
        {"asc_all", 16, false, 1, 4, true, true, true, "\r\n", 0x07},
        {"asc_plain_nothing_loaded", 16, false, 1, 4, false, false, false, "\r\n", 0x00},
        {"asc_all_not_loaded", 16, false, 1, 4, true, true, true, "\r\n", 0x00},
        {"bin_w1_w1", 16, true, 1, 1, true, true, true, "\r\n", 0x07},
        {"bin_w2_w2", 16, true, 2, 2, true, true, true, "\r\n", 0x07},
        {"bin_w4_w4", 16, true, 4, 4, true, true, true, "\r\n", 0x07},
        {"bin_w1_w4_skip", 16, true, 1, 4, true, true, true, "\r\n", 0x00},
        {"bin_lf_only", 16, true, 2, 4, false, true, false, "\n", 0x07},
        {"bin_small_colors", 36, true, 1, 2, true, false, false, "\r\n", 0x04},
    };
    for (const Variant& v : variants)
    {
        Mesh m(v.tris, 0.5f);
        Drs2WriteOptions o;
        o.binary = v.binary;
        o.countWidth = v.cw;
        o.indexWidth = v.iw;
        o.colors = v.colors;
        o.motions = v.motions;
        o.normals = v.normals;
        o.headerEnd = v.headerEnd;
        Buf file;
        if (!WriteDrs2ToMemory(m.geo, o, file))
            std::exit(3);
        Save("read_drs2", v.name, Cat({v.load}, file));
    }
    Save("read_drs2", "hand_asc_triangle",
         Cat({0x07}, Text("Drosil2-File-Format 2024 ASC FORMAT\r\n"
                          "AmountOfVertices 3\n0 0 0\n1 0 0\n0 1 0\n"
                          "amountofpolygonvalues 8\n3 0 1 2\n3 0 2 7\n"
                          "amountofvertexcolors 3\n1 0 0 1\n0 1 0 1\n0 0 1 1\n"
                          "amountofmotionvectors 0\namountofnormalvectors 3\n0 0 1\n0 0 1\n0 0 1\n")));
    for (const char* count : {"2147483647", "-1", "4294967295", "1000000"})
    {
        Save("read_drs2", std::string("hostile_asc_vertices_") + count,
             Cat({0x07}, Text(std::string("Drosil2-File-Format 2024 asc format\namountofvertices ") + count +
                              "\n0 0 0\n")));
        Save("read_drs2", std::string("hostile_asc_polygon_values_") + count,
             Cat({0x07}, Text(std::string("Drosil2-File-Format 2024 asc format\namountofvertices 3\n"
                                          "0 0 0\n1 0 0\n0 1 0\namountofpolygonvalues ") +
                              count + "\n3 0 1 2\n")));
    }
    for (uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u})
    {
        Buf b = Text("Drosil2-File-Format 2024 bin format\r\n");
        PutU32(b, 1);
        for (int i = 0; i < 3; ++i)
            PutF32(b, 0.0f);
        PutU32(b, count); // T
        PutU32(b, 1);
        PutU32(b, 4);
        char name[64];
        std::snprintf(name, sizeof name, "hostile_bin_polygon_values_%08x", count);
        Save("read_drs2", name, Cat({0x07}, b));
    }
    Save("read_drs2", "hand_asc_empty",
         Cat({0x07}, Text("Drosil2-File-Format 1972 asc format\namountofvertices 0\n")));
    Save("read_drs2", "hand_asc_bigcorner",
         Cat({0x07}, Text("Drosil2-File-Format 2024 asc format\namountofvertices 1\n0 0 0\n"
                          "amountofpolygonvalues 2\n256 0\n")));
    {
        Buf b = Text("Drosil2-File-Format 2024 bin format\r\n");
        PutU32(b, 3);
        for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f})
            PutF32(b, f);
        PutU32(b, 4);
        PutU32(b, 1);
        PutU32(b, 1);
        b.insert(b.end(), {3, 0, 1, 2});
        PutU32(b, 3);
        PutF32(b, -1.0f);
        PutF32(b, 1.0f);
        for (int i = 0; i < 12; ++i)
            PutU16(b, static_cast<uint16_t>(i * 6000));
        PutU32(b, 0);
        PutU32(b, 0);
        Save("read_drs2", "hand_bin_triangle_colors", Cat({0x07}, b));
    }
}

// ---------------------------------------------------------------------------
// .obj

void ObjSeeds()
{
    const char* const groupNames[] = {"grp1", "grp2", "grp3"};
    struct Variant
    {
        const char* name;
        int32_t tris;
        int32_t uvw;
        bool normals, share, points, groups;
        const char* lineBreak;
        const char* filter; // null: no filter
        uint8_t load;
    };
    const Variant variants[] = {
        {"v_only", 16, 0, false, true, false, false, "\n", nullptr, 0x08},
        {"v_vt_vn", 16, 3, true, true, false, false, "\n", nullptr, 0x0B},
        {"v_vt2_pernode", 16, 2, false, false, false, false, "\r\n", nullptr, 0x0A},
        {"v_vn_only", 16, 0, true, true, false, false, "\r", nullptr, 0x09},
        {"vt1", 16, 1, false, true, false, false, "\n", nullptr, 0x0A},
        {"points", 16, 0, false, true, true, false, "\n", nullptr, 0x08},
        {"groups_filter", 36, 3, true, true, false, true, "\n", "grp1;grp2;", 0x03},
        {"groups_filter_invert", 36, 0, false, true, false, true, "\n", "grp3", 0x04},
        {"groups_nofilter", 36, 2, true, true, false, true, "\n", nullptr, 0x0B},
    };
    for (const Variant& v : variants)
    {
        Mesh m(v.tris, 2.0f);
        std::vector<int32_t> polyGroup(static_cast<size_t>(m.geo._numPoly));
        for (size_t p = 0; p < polyGroup.size(); ++p)
            polyGroup[p] = static_cast<int32_t>((p / 5) % 3);
        ObjWriteOptions o;
        o.uvwComponents = v.uvw;
        o.writeNormals = v.normals;
        o.shareByVertex = v.share;
        o.pointStatements = v.points;
        o.lineBreak = v.lineBreak;
        if (v.groups)
        {
            o.polyGroup = polyGroup.data();
            o.groupNames = groupNames;
            o.numGroups = 3;
        }
        std::string text;
        if (WriteObjToString(m.geo, o, text) != 0)
            std::exit(4);
        Buf head = {v.load};
        const std::string filter = v.filter ? v.filter : "";
        PutU16(head, static_cast<uint16_t>(filter.size()));
        head.insert(head.end(), filter.begin(), filter.end());
        Save("read_obj", v.name, Cat(head, Text(text)));
    }
    auto hand = [](const char* name, uint8_t load, const std::string& filter, const std::string& text) {
        Buf head = {load};
        PutU16(head, static_cast<uint16_t>(filter.size()));
        head.insert(head.end(), filter.begin(), filter.end());
        Save("read_obj", name, Cat(head, Text(text)));
    };
    hand("hand_slashes", 0x0B, "",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 1\n"
         "f 1/1/1 2/2/1 3/3/1\nf 1//1 2//1 3//1\nf -3 -2 -1\n");
    hand("hand_no_final_break", 0x08, "", "v 1 2 3\nv 4 5 6\nv 7 8 9\nf 1 2 3\nv 1 2 3");
    hand("hand_groups_usemtl", 0x00, "a;b;;c;", "g a\nusemtl m\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\ng b c\nf 3 2 1\n");
    hand("hand_long_filter", 0x00, std::string(2100, 'g') + ";x",
         "g x\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
}

// ---------------------------------------------------------------------------
// RealFlow .bin

void BinSeeds()
{
    struct Variant
    {
        const char* name;
        uint32_t version;
        bool uvws;
        int32_t fluids;
        bool motions, velocityFirst, endCode;
        uint8_t load;
    };
    const Variant variants[] = {
        {"all", 3, true, 1, true, false, true, 0x03},
        {"all_not_loaded", 3, true, 1, true, false, true, 0x00},
        {"fluids3", 4, true, 3, true, false, true, 0x03},
        {"velocity_first", 3, true, 2, true, true, true, 0x03},
        {"plain", 3, false, 1, false, false, true, 0x03},
        {"no_end_code", 3, true, 1, true, false, false, 0x03},
        {"version2", 2, false, 1, false, false, true, 0x03},
    };
    for (const Variant& v : variants)
    {
        Mesh m(16, 0.25f);
        RealFlowBinWriteOptions o;
        o.version = v.version;
        o.writeUvws = v.uvws;
        o.fluidCount = v.fluids;
        o.writeMotions = v.motions;
        o.velocityFirst = v.velocityFirst;
        o.writeEndCode = v.endCode;
        Buf file;
        if (WriteRealFlowBinToBuffer(m.geo, o, file) != 0)
            std::exit(5);
        Save("read_bin", v.name, Cat({v.load}, file));
    }
    Buf b;
    PutU32(b, 0xDADADADAu);
    PutU32(b, 3);
    PutU32(b, 0xCCCCCCCCu);
    PutU32(b, 3);
    for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f})
        PutF32(b, f);
    PutU32(b, 2);
    for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 5u})
        PutU32(b, i);
    PutU32(b, 0xCCCCCC00u);
    PutU32(b, 0);
    for (int i = 0; i < 9; ++i)
        PutF32(b, 0.5f);
    PutU32(b, 0);
    Save("read_bin", "hand_badindex_k0", Cat({0x03}, b));
    for (uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u})
    {
        char name[64];
        Buf h;
        PutU32(h, 0xDADADADAu);
        PutU32(h, 3);
        PutU32(h, 0xCCCCCCCCu);
        Buf v = h;
        PutU32(v, count); // V
        std::snprintf(name, sizeof name, "hostile_vertex_count_%08x", count);
        Save("read_bin", name, Cat({0x03}, v));
        Buf f = h;
        PutU32(f, 1);
        for (int i = 0; i < 3; ++i)
            PutF32(f, 0.0f);
        PutU32(f, count); // F
        std::snprintf(name, sizeof name, "hostile_triangle_count_%08x", count);
        Save("read_bin", name, Cat({0x03}, f));
        Buf k = f;
        k.resize(k.size() - 4);
        PutU32(k, 1);
        for (uint32_t i : {0u, 0u, 0u})
            PutU32(k, i);
        PutU32(k, 0xCCCCCC00u);
        PutU32(k, count); // K
        std::snprintf(name, sizeof name, "hostile_fluid_count_%08x", count);
        Save("read_bin", name, Cat({0x03}, k));
    }
}

// ---------------------------------------------------------------------------
// Dispatch: the readers' seeds under several extensions (byte 1 picks one
// of the target's list: 0 .znq, 1 .drs2, 2 .obj, 3 .bin, 4 .ZNQ, 6 .OBJ,
// 8 .txt, 11 .znq.bak).

void LoadSeeds()
{
    Mesh m(16, 1.0f);
    auto save = [](const char* name, uint8_t load, uint8_t ext, const Buf& file) {
        Buf head = {load, ext};
        PutU16(head, 0);
        Save("load_from_file", name, Cat(head, file));
    };
    Buf znq;
    WriteZnqToMemory(m.geo, ZnqWriteOptions(), znq);
    save("znq", 0x4F, 0, znq);
    save("znq_upper", 0x0F, 4, znq);
    save("znq_bak", 0x0F, 11, znq);
    Buf drs2;
    Drs2WriteOptions d;
    d.binary = true;
    WriteDrs2ToMemory(m.geo, d, drs2);
    save("drs2_bin", 0x07, 1, drs2);
    d.binary = false;
    WriteDrs2ToMemory(m.geo, d, drs2);
    save("drs2_asc", 0x07, 1, drs2);
    std::string obj;
    WriteObjToString(m.geo, ObjWriteOptions(), obj);
    save("obj", 0x0B, 2, Text(obj));
    save("obj_upper", 0x0B, 6, Text(obj));
    save("txt", 0x0B, 8, Text(obj));
    Buf bin;
    WriteRealFlowBinToBuffer(m.geo, RealFlowBinWriteOptions(), bin);
    save("bin", 0x0B, 3, bin);
}

// ---------------------------------------------------------------------------
// Mesh operations: the input layout of fuzz_meshops.cpp.

struct OpsInput
{
    Buf b;
    OpsInput(uint8_t mode, uint8_t flags, uint8_t posMode, uint16_t numVert, uint32_t seed)
    {
        b = {mode, flags, posMode};
        PutU16(b, numVert);
        PutU32(b, seed);
        b.push_back(0); // no hostile coordinates
    }
    OpsInput& Specials(std::initializer_list<uint8_t> pairs)
    {
        b.back() = static_cast<uint8_t>(pairs.size() / 3);
        b.insert(b.end(), pairs.begin(), pairs.end());
        return *this;
    }
    OpsInput& Polys(std::initializer_list<uint8_t> ops, uint8_t count)
    {
        b.push_back(count);
        b.insert(b.end(), ops.begin(), ops.end());
        return *this;
    }
    OpsInput& Then(std::initializer_list<uint8_t> tail)
    {
        b.insert(b.end(), tail.begin(), tail.end());
        return *this;
    }
};

void MeshOpsSeeds()
{
    // Polygon ops: code%8 0-2 explicit (code>>3 corners), 3 stride polygon,
    // 4 fan, 5 grid, 6 repeat last, 7 degenerate.
    const uint8_t grid[] = {5, 0, 5, 5};                // 6x6 quads from vertex 0
    const uint8_t fan300[] = {4, 0, 1, 150};            // 301 triangles around vertex 0 (16-bit indices past 250 vertices)
    const uint8_t bigPoly[] = {3, 255, 0, 1};           // 255 corners
    const uint8_t tri = (3 << 3) | 0;                   // explicit triangle
    const uint8_t quad = (4 << 3) | 0;
    const uint8_t hexagon = (6 << 3) | 1;

    // Chain settings after the mesh: on, on2, motion scale, 4 blur counts,
    // [push], [thickness], smooth, post blur.
    struct ChainSeed
    {
        const char* name;
        uint8_t on, on2;
    };
    const ChainSeed chains[] = {
        {"chain_defaults", 0x00, 0}, {"chain_fix_close", 0x07, 1}, {"chain_quad_all", 0x10, 2},
        {"chain_invert_disconnect", 0x28, 3}, {"chain_push_thick", 0xC0, 0}, {"chain_everything", 0xFF, 1},
    };
    for (const ChainSeed& c : chains)
    {
        OpsInput in(0x03, 0x0F, 1, 49, 1234);
        in.Polys({grid[0], grid[1], grid[2], grid[3], hexagon, 0, 1, 2, 3, 4, 5}, 2);
        in.Then({c.on, c.on2, 3, 2, 1, 1, 1});
        if (c.on & 0x40)
            in.Then({1});
        if (c.on & 0x80)
            in.Then({4});
        in.Then({2, 1});
        Save("meshops", c.name, in.b);
    }
    {
        OpsInput in(0x02, 0x0F, 0, 302, 99);
        in.Polys({fan300[0], 0, 0, 1, 0, fan300[3]}, 1);
        in.Then({0xFF, 2, 0, 2, 2, 2, 2, 1, 1, 3, 3});
        Save("meshops", "chain_fan_over_255", in.b);
    }
    {
        OpsInput in(0x02, 0x3F, 2, 40, 5);
        in.Polys({bigPoly[0], bigPoly[1], bigPoly[2], bigPoly[3], 6, 2, tri, 0, 1, 2, 6, 0}, 4);
        in.Then({0x1F, 1, 0, 1, 1, 1, 1, 1, 1});
        Save("meshops", "chain_bigpoly_repeats", in.b);
    }
    // Single operations (mode bit 1 clear): count, then op codes with args.
    struct OpSeed
    {
        const char* name;
        std::initializer_list<uint8_t> ops;
    };
    const OpSeed singles[] = {
        {"op_blurs", {5, 1, 0, 2, 2, 0, 3, 3, 0, 1, 4, 0, 1, 5, 0, 3}},
        {"op_blurvertexdata", {4, 0, 0, 1, 1, 0, 2, 0, 2, 1, 0, 1, 3, 0, 1, 0, 0, 4, 1, 0, 1, 4, 0}},
        {"op_fixedges_close", {3, 7 | 0x60, 8, 4, 255, 6}},
        {"op_invert_quad", {3, 9 | 0x20, 10, 7, 8, 14}},
        {"op_push_thickness", {2, 11 | 0x20, 1, 4, 12 | 0x20, 4, 3, 4, 1, 2}},
        {"op_triangulate", {4, 13, 3, 0, 0, 2, 0, 5, 0, 13 | 0x40, 1, 1, 0, 15, 16}},
        {"op_cleanup_delete", {4, 17, 18, 2, 1, 0, 3, 0, 19, 18 | 0x80, 1}},
        {"op_getters", {8, 22, 3, 22, 9, 22, 10, 22, 11, 22, 12, 22, 13, 22, 20, 23, 5}},
        {"op_memlimit", {3, 21, 64, 0, 12 | 0x20, 4, 3, 4, 1, 2, 16}},
    };
    uint32_t seed = 17;
    for (const OpSeed& s : singles)
    {
        OpsInput in(0x01, 0x7F, static_cast<uint8_t>(seed % 4), 36, seed);
        in.Polys({grid[0], 0, 4, 4, 6 | 8, 1, quad, 0, 1, 2, 3, tri, 3, 4, 5}, 4);
        in.Then(s.ops);
        Save("meshops", s.name, in.b);
        seed = seed * 31 + 7;
    }
    {
        // Illegal everything, no clean-up: out-of-range, repeats, 0-2 corners,
        // NaN and infinite coordinates.
        OpsInput in(0x00, 0x8F, 0x83, 12, 3);
        in.Specials({0, 0, 1, 3, 1, 2, 5, 2, 0});
        in.Polys({tri, 0, 1, 13, quad, 2, 2, 3, 4, 7 | (2 << 3), 5, 7, 6, 6 | 8, 0, hexagon, 0, 1, 2, 3, 4, 5}, 6);
        in.Then({6, 7 | 0x60, 8, 3, 9, 13, 3, 0, 1, 2, 15, 16, 6});
        Save("meshops", "illegal_mesh_ops", in.b);
    }
}

// ---------------------------------------------------------------------------
// Cache naming: flags, frame, directory and pattern lengths, texts, then the
// index value, mode and fraction strength; then environment variables in a
// path and a frame range (fuzz_cache_path.cpp gives the layout).

void CachePathSeeds()
{
    auto save = [](const char* name, uint8_t flags, int32_t frame, const std::string& dir,
                   const std::string& pattern, const std::string& ext, float value, uint16_t mode) {
        Buf b = {flags};
        PutU32(b, static_cast<uint32_t>(frame));
        PutU16(b, static_cast<uint16_t>(dir.size()));
        PutU16(b, static_cast<uint16_t>(pattern.size()));
        Buf t = Text(dir + pattern);
        b.insert(b.end(), t.begin(), t.end());
        std::string e = ext;
        e.resize(64, '\0');
        t = Text(e);
        b.insert(b.end(), t.begin(), t.end());
        PutF32(b, value);
        PutU16(b, mode);
        PutF32(b, 1.0f);
        Save("cache_path", name, b);
    };
    save("defaults", 0x08, 1, "C:/Temp/Cache/", "File.#", ".znq", 1.0f, 0);
    save("shot_pad", 0x00, 7, "/cache", "shot_####", "drs2", 7.5f, 0);
    save("shot_negative", 0x08, -7, "/cache", "shot_####", ".obj", -2.5f, 1);
    save("shot_long_number", 0x00, 12345, "d", "shot_####", "", 12345.4f, 2);
    save("two_runs", 0x00, 3, "d", "a#b#", ".bin", 1e10f, 0);
    save("no_run", 0x00, 3, "dir/", "plain", "znq", -1e10f, 0);
    save("int_min", 0x00, INT32_MIN, "d", "#", ".znq", 2147483648.0f, 0);
    save("long_dir", 0x00, 1, std::string(2030, 'd'), "f.####", ".znq", 0.5f, 3);
    save("long_run", 0x00, 1, "d", std::string(2100, '#'), ".znq", 0.49999997f, 0);
    save("null_dir", 0x01, 1, "d", "p#", ".znq", 0.0f, 0);
    save("aliasing", 0x30, 1, "d", "p#", ".znq", 0.0f, 0);

    // Frame marks of Nuke and Houdini; variables; ranges.
    struct Tail
    {
        uint8_t varFlags;
        std::string value; // KVF_A
        uint16_t outSize;
        std::string text;
        int32_t frame, start, end;
        uint8_t modes; // bits 0-1 before, 2-3 after, 4 an unknown before
    };
    auto saveTail = [](const char* name, uint8_t flags, int32_t frame, const std::string& dir,
                       const std::string& pattern, const std::string& ext, const Tail& t) {
        Buf b = {flags};
        PutU32(b, static_cast<uint32_t>(frame));
        PutU16(b, static_cast<uint16_t>(dir.size()));
        PutU16(b, static_cast<uint16_t>(pattern.size()));
        Buf x = Text(dir + pattern);
        b.insert(b.end(), x.begin(), x.end());
        std::string e = ext;
        e.resize(64, '\0');
        x = Text(e);
        b.insert(b.end(), x.begin(), x.end());
        PutF32(b, static_cast<float>(frame) + 0.25f);
        PutU16(b, 1);
        PutF32(b, 1.0f);
        b.push_back(t.varFlags);
        b.push_back(static_cast<uint8_t>(t.value.size()));
        PutU16(b, t.outSize);
        PutU16(b, static_cast<uint16_t>(t.text.size()));
        x = Text(t.value + t.text);
        b.insert(b.end(), x.begin(), x.end());
        PutU32(b, static_cast<uint32_t>(t.frame));
        PutU32(b, static_cast<uint32_t>(t.start));
        PutU32(b, static_cast<uint32_t>(t.end));
        b.push_back(t.modes);
        Save("cache_path", name, b);
    };
    const uint8_t loop = 2 | (2 << 2), ping = 3 | (3 << 2), blankHold = 1;
    saveTail("printf_pad", 0x00, 12, "/cache/%03d", "fluid_%04d", ".bin",
             {1, "/jobs", 2000, "$KVF_A/cache", 0, 1, 100, 0});
    saveTail("printf_plain", 0x08, -3, "C:/c", "f.%d.x%d", ".obj",
             {3, "x", 2000, "${KVF_A}_%KVF_A%/$KVF_B", 21, 10, 20, ping});
    saveTail("houdini_pad", 0x00, 7, "d$F", "shot_$F4.v2", ".znq",
             {0, "", 2000, "/a/$KVF_A/b", INT32_MIN, INT32_MIN + 1, INT32_MAX, loop});
    saveTail("houdini_plain", 0x00, INT32_MAX, "d", "s.$F", "drs2",
             {1, "$KVF_A", 2000, "%KVF_A%%KVF_A%", INT32_MAX, 0, 1, ping});
    saveTail("not_marks", 0x00, 5, "d", "a$FF_%4d_$F0_$F123_%0d_%s", ".bin",
             {1, "v", 2000, "100% $1 ${ %1% ${KVF_A %(x)%", 5, 5, 5, ping});
    saveTail("hash_wins", 0x00, 3, "d", "%04d_$F2_##", ".bin",
             {1, "/home", 2000, "~/cache", -5, 0, 0, blankHold});
    saveTail("tilde_unset_home", 0x00, 3, "d", "%099d", ".bin",
             {4, "", 2000, "~\\cache", 1000000, -1000, 1000, 16 | loop});
    saveTail("vars_too_long", 0x00, 3, "d", "f.%02d", ".bin",
             {1, std::string(200, 'v'), 300, "$KVF_A/$KVF_A", 0, INT32_MAX - 1, INT32_MAX, ping});
    saveTail("vars_unset", 0x00, 3, "d", "f.%02d", ".bin",
             {0, "", 2000, "/a/${KVF_A}/b", -7, -10, -8, blankHold << 2});
    saveTail("vars_small_out", 0x00, 3, "d", "f.%02d", ".bin", {1, "abc", 3, "$KVF_A", 0, 0, 0, 0});
}

// ---------------------------------------------------------------------------
// KorvaneCreate: argument words separated by line breaks.

void CommandSeeds()
{
    const char* const lines[][2] = {
        {"no_args", ""},
        {"help", "-h"},
        {"help_long", "--help\nx"},
        {"verbose", "-v\non"},
        {"name", "-n\nmyReaderMesh"},
        {"verbose_name", "-v\n1\n-n\nfoo\n-v\n0"},
        {"bad_verbose", "-v\nyes"},
        {"missing_name", "-n"},
        {"name_is_flag", "-n\n-v"},
        {"unknown", "-x\n1"},
        {"name_blank", "-n\nmy mesh"},
        {"name_semicolon", "-n\na;select b"},
        {"name_quote", "-n\na\"b\\"},
        {"twice", "-n\nA\n-n\nB"},
    };
    for (const auto& l : lines)
        Save("create_command", l[0], Text(l[1]));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus directory>\n");
        return 1;
    }
    gRoot = argv[1];
    ZnqSeeds();
    Drs2Seeds();
    ObjSeeds();
    BinSeeds();
    LoadSeeds();
    MeshOpsSeeds();
    CachePathSeeds();
    CommandSeeds();
    std::printf("%d seeds written to %s\n", gWritten, gRoot.string().c_str());
    return 0;
}
