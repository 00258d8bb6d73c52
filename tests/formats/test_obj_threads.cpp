// The .obj reader gives the same bits, code, message and failure line for
// 1, 2 and 7 threads. Generated files are read with small chunks so that
// chunk boundaries fall everywhere: inside CR LF pairs, comments, blank
// lines, long lines, every face form, polygons and group statements.
#include <gtest/gtest.h>

#include <omp.h>

#include <cstring>
#include <string>
#include <vector>

#include "../common/KvTest.h"
#include "formats/ZNQReadObjChunked.h"

using namespace kvt;

namespace
{

constexpr int kThreadCounts[] = {1, 2, 7};
// Chunk sizes of a few bytes up to a few hundred: 2 to 256 chunks per file.
constexpr int64_t kChunkBytes[] = {1, 13, 300};

struct Threads
{
    int old;
    explicit Threads(int n) : old(omp_get_max_threads()) { omp_set_num_threads(n); }
    ~Threads() { omp_set_num_threads(old); }
};

struct Rng
{
    uint32_t s;
    uint32_t Next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

// What a read gave: code, place and the bytes of every array it fills.
struct Outcome
{
    int32_t rc = 0;
    int64_t line = 0;
    std::string reason;
    int32_t numVert = 0, numPoly = 0;
    std::string pos, counts, vind, uvw, nrm;

    bool operator==(const Outcome& o) const
    {
        return rc == o.rc && line == o.line && reason == o.reason && numVert == o.numVert && numPoly == o.numPoly &&
               pos == o.pos && counts == o.counts && vind == o.vind && uvw == o.uvw && nrm == o.nrm;
    }
};

std::string BytesOf(const void* p, size_t n)
{
    return p ? std::string(static_cast<const char*>(p), n) : std::string("(none)");
}

std::ostream& operator<<(std::ostream& os, const Outcome& o)
{
    return os << "rc " << o.rc << ", line " << o.line << " '" << o.reason << "', " << o.numVert << " vertices, "
              << o.numPoly << " polygons";
}

struct Options
{
    bool normals = true;
    bool uvws = true;
    const char* groups = nullptr;
    bool invert = false;
};

Outcome Read(const std::string& path, const Options& o, int threads, int64_t chunkBytes)
{
    Threads t(threads);
    Geo g;
    ZNQLoadPlace place;
    ObjChunking chunking = ObjDefaultChunking();
    if (chunkBytes > 0)
    {
        chunking.minParallelBytes = 0;
        chunking.chunkBytes = chunkBytes;
    }
    Outcome out;
    out.rc = ReadObjChunked(g, path.c_str(), o.normals, o.uvws, o.groups, o.invert, &place, chunking);
    out.line = place.line;
    out.reason = place.reason;
    out.numVert = g->_numVert;
    out.numPoly = g->_numPoly;
    const size_t nodes = static_cast<size_t>(g->NumNodes());
    out.pos = BytesOf(g->_vertPos, sizeof(float3) * static_cast<size_t>(g->_numVert));
    out.counts = BytesOf(g->_polyNumVert, static_cast<size_t>(g->_numPoly));
    out.vind = BytesOf(g->_polyVInd, sizeof(int32_t) * nodes);
    out.uvw = BytesOf(g->_nodeUvw, sizeof(float3) * nodes);
    out.nrm = BytesOf(g->_nodeNrm, sizeof(float3) * nodes);
    return out;
}

// The one-thread read, then every thread count and chunk size against it.
Outcome ExpectSameEverywhere(const std::string& text, const Options& o, const std::string& what)
{
    const std::string path = WriteText("obj_threads.obj", text);
    const Outcome ref = Read(path, o, 1, 0);
    for (int threads : kThreadCounts)
        for (int64_t bytes : kChunkBytes)
        {
            const Outcome got = Read(path, o, threads, bytes);
            EXPECT_EQ(got, ref) << what << ": " << threads << " threads, chunks of " << bytes << " bytes";
            if (!(got == ref))
                return ref;
        }
    return ref;
}

// Line breaks of every kind, runs of them included.
const char* Break(Rng& rng, bool mixed)
{
    static const char* kinds[] = {"\n", "\r\n", "\r", "\n\n", "\r\n\r\n", "\n\r"};
    return mixed ? kinds[rng.Below(6)] : "\n";
}

std::string Real(Rng& rng)
{
    static const char* forms[] = {"0.5", "-1.25", "3", "1e-3", "-0.000122966201", "4.10221946e-05", "1.03999925",
                                  "+2.5", "0x1p-2", "7.0E2"};
    return forms[rng.Below(10)];
}

// A random file of numV vertices with texture coordinates of comps values
// (more on some lines, which are read as comps), normals, faces of every form
// and size, group statements and lines the reader ignores; all indices in
// range. withEmptyTexture adds v//vn corners.
std::string RandomObj(Rng& rng, int numV, int comps, bool mixedBreaks, bool withEmptyTexture)
{
    std::string s;
    auto line = [&](const std::string& l) { s += l + Break(rng, mixedBreaks); };
    auto noise = [&] {
        switch (rng.Below(9))
        {
        case 0: line("# comment " + std::string(static_cast<size_t>(rng.Below(3) ? 5 : 700), 'c')); break;
        case 1: line(""); break;
        case 2: line("o object"); break;
        case 3: line("usemtl stone"); break;
        case 4: line("s 1"); break;
        case 5: line(" v 9 9 9"); break;  // leading blank: ignored
        case 6: line("v\t9 9 9"); break;  // tab after the keyword: ignored
        case 7: line("vp 1 2 3"); break;
        default: break;
        }
    };
    const int numT = numV / 2 + 1, numN = numV / 3 + 1;
    int v = 0, t = 0, n = 0;
    while (v < numV || t < numT || n < numN)
    {
        const int kind = rng.Below(3);
        if (kind == 0 && v < numV)
        {
            line("v " + Real(rng) + " " + Real(rng) + " " + Real(rng) + (rng.Below(4) ? "" : " 1"));
            ++v;
        }
        else if (kind == 1 && t < numT)
        {
            std::string l = "vt";
            const int values = comps + (t > 0 ? rng.Below(4 - comps) : 0);
            for (int i = 0; i < values; ++i)
                l += " " + Real(rng);
            line(l);
            ++t;
        }
        else if (kind == 2 && n < numN)
        {
            line("vn " + Real(rng) + " " + Real(rng) + " " + Real(rng));
            ++n;
        }
        if (rng.Below(5) == 0)
            noise();
    }
    static const char* groups[] = {"g g1", "g g2 g3", "g g3", "g", "g other g1"};
    const int numFaces = numV;
    for (int f = 0; f < numFaces; ++f)
    {
        if (rng.Below(6) == 0)
            line(groups[rng.Below(5)]);
        if (rng.Below(6) == 0)
            noise();
        const int corners = rng.Below(40) == 0 ? 120 + rng.Below(100) : 3 + rng.Below(5);
        const int form = rng.Below(withEmptyTexture ? 5 : 4);
        std::string l = rng.Below(10) == 0 ? "p" : "f";
        for (int c = 0; c < corners; ++c)
        {
            const std::string vi = std::to_string(1 + rng.Below(numV));
            const std::string ti = std::to_string(1 + rng.Below(numT));
            const std::string ni = std::to_string(1 + rng.Below(numN));
            l += rng.Below(8) ? " " : " \t ";
            switch (form)
            {
            case 0: l += vi; break;
            case 1: l += vi + "/" + ti; break;
            case 2: l += vi + "/" + ti + "/" + ni; break;
            case 3: l += vi + "/" + ti + "/" + ni + (c % 2 ? "" : "/7"); break; // a fourth part is skipped
            default: l += vi + "//" + ni; break;
            }
        }
        line(l);
    }
    return s;
}

const Options kAllOptions[] = {
    {true, true, nullptr, false}, {true, false, nullptr, false}, {false, true, nullptr, false},
    {false, false, nullptr, false}, {true, true, "g1;g3", false}, {true, true, "g1;g3", true},
};

// ---------------------------------------------------------------------------

TEST(ObjThreads, RandomFilesAreTheSameForEveryThreadCountAndChunking)
{
    Rng rng{2463534242u};
    int loaded = 0;
    for (int file = 0; file < 12; ++file)
    {
        const int comps = 1 + file % 3;
        const bool mixed = file % 2 == 1;
        const bool emptyTexture = file % 4 == 3;
        const std::string text = RandomObj(rng, 40 + rng.Below(120), comps, mixed, emptyTexture);
        for (const Options& o : kAllOptions)
        {
            const Outcome ref = ExpectSameEverywhere(text, o, "file " + std::to_string(file));
            if (ref.rc == 0 && ref.numPoly > 0)
                ++loaded;
            // Corners without a texture part fail exactly when UVWs are read.
            if (!emptyTexture)
            {
                EXPECT_EQ(ref.rc, 0) << "file " << file;
            }
            else if (o.uvws)
            {
                EXPECT_EQ(ref.rc, 50) << "file " << file;
            }
        }
    }
    EXPECT_GT(loaded, 40);
}

// A byte order mark, a NUL that ends the text early and a last line
// without a line break, wherever the chunks fall.
TEST(ObjThreads, TextEndsAndStartsAreTheSame)
{
    Rng rng{77u};
    const std::string body = RandomObj(rng, 60, 2, true, false);
    const std::string bom = "\xEF\xBB\xBF";
    ExpectSameEverywhere(bom + body, Options{}, "byte order mark");
    for (size_t cut = 10; cut < body.size(); cut += body.size() / 7)
    {
        std::string withNul = body;
        withNul[cut] = '\0';
        ExpectSameEverywhere(withNul, Options{}, "NUL at " + std::to_string(cut));
        ExpectSameEverywhere(body.substr(0, cut), Options{}, "cut at " + std::to_string(cut));
    }
    ExpectSameEverywhere("", Options{}, "empty");
    ExpectSameEverywhere("\r\n\r\n\n", Options{}, "line breaks only");
    ExpectSameEverywhere("# only a comment\nvt 1 2\nvn 0 0 1\n", Options{}, "no vertex");
    ExpectSameEverywhere("v 1 2 3\nv 4 5 6\nv 7 8 9\n", Options{}, "no face");
}

// Files with every line numbered: text[line - 1] holds the line.
struct Lines
{
    std::vector<std::string> l;
    std::string Join(const char* brk) const
    {
        std::string s;
        for (const std::string& x : l)
            s += x + brk;
        return s;
    }
};

Lines Plain(int numV)
{
    Lines f;
    for (int v = 0; v < numV; ++v)
    {
        f.l.push_back("v " + std::to_string(v) + " 0.5 -1");
        f.l.push_back("vt 0.25 " + std::to_string(v));
        f.l.push_back("vn 0 1 0");
    }
    for (int v = 0; v + 2 < numV; ++v)
    {
        const std::string a = std::to_string(v + 1), b = std::to_string(v + 2), c = std::to_string(v + 3);
        f.l.push_back("f " + a + "/" + a + "/" + a + " " + b + "/" + b + "/" + b + " " + c + "/" + c + "/" + c);
    }
    return f;
}

// Each failure, early in the file (first chunk) and late (a later chunk),
// gives one code, reason and line for every thread count and line break.
TEST(ObjThreads, FailuresHaveOneCodeReasonAndLine)
{
    struct Case
    {
        const char* what;
        int32_t rc;
        bool inFaces; // replaces a face line, else a value line of the kind
        const char* kind;
        std::string text;
    };
    std::string bigFace = "f";
    for (int i = 0; i < 256; ++i)
        bigFace += " 1";
    const Case cases[] = {
        {"vertex short", 50, false, "v ", "v 1 2"},
        {"vertex glued", 50, false, "v ", "v 1 2 3.5+e2"},
        {"normal short", 50, false, "vn", "vn 1 2"},
        {"texture short", 50, false, "vt", "vt "},
        {"texture glued", 50, false, "vt", "vt 0.5 1.#INF"},
        {"vertex index", 50, true, "f ", "f 1/1/1 2/2/2 9999/1/1"},
        {"negative index", 50, true, "f ", "f -3 -2 -1"},
        {"texture index", 50, true, "f ", "f 1/0/1 2/2/2 3/3/3"},
        {"empty texture", 50, true, "f ", "f 1//1 2//2 3//3"},
        {"normal index", 50, true, "f ", "f 1/1/1 2/2/2 3/3/9999"},
        {"big polygon", 148, true, "f ", bigFace},
    };
    const char* breaks[] = {"\n", "\r\n", "\r"};
    for (const Case& c : cases)
        for (int late = 0; late < 2; ++late)
            for (const char* brk : breaks)
            {
                Lines f = Plain(40);
                // The first line of the kind, or the 10th from its last.
                std::vector<size_t> ofKind;
                for (size_t i = 0; i < f.l.size(); ++i)
                    if (f.l[i].compare(0, 2, c.kind) == 0)
                        ofKind.push_back(i);
                const size_t at = late ? ofKind[ofKind.size() - 10] : ofKind[0];
                f.l[at] = c.text;
                const std::string what = std::string(c.what) + (late ? ", late" : ", early");
                const Outcome ref = ExpectSameEverywhere(f.Join(brk), Options{}, what);
                EXPECT_EQ(ref.rc, c.rc) << what;
                EXPECT_EQ(ref.line, static_cast<int64_t>(at + 1)) << what << ": " << ref.reason;
                EXPECT_FALSE(ref.reason.empty()) << what;
            }
}

// Two failures in different chunks: the earlier one is reported, whether
// it is of the same kind or of a kind that is found in a later pass.
TEST(ObjThreads, TwoFailuresReportTheFirst)
{
    struct Pair
    {
        const char* what;
        size_t first, second; // line indices into Plain(60)
        const char* firstText;
        const char* secondText;
        int64_t wantLine; // 1-based
    };
    // Plain(60): lines 0..179 hold v, vt, vn triples, faces from 180 on.
    const Pair pairs[] = {
        {"two vertices", 3, 150, "v 1 2", "v 1", 4},
        {"two normals", 5, 170, "vn 1", "vn 2", 6},
        {"texture then normal", 7, 173, "vt", "vn 1", 8},
        {"normal then texture", 8, 169, "vn 1", "vt", 9},
        {"two faces", 181, 230, "f 1 2 99999", "f -1 -2 -3", 182},
        {"a late vertex beats an early normal", 5, 150, "vn 1", "v 1", 151},
        {"an early normal beats a late face", 5, 230, "vn 1", "f 1 2 99999", 6},
    };
    for (const Pair& p : pairs)
        for (const char* brk : {"\n", "\r\n"})
        {
            Lines f = Plain(60);
            f.l[p.first] = p.firstText;
            f.l[p.second] = p.secondText;
            for (size_t i : {p.first, p.second})
                if (f.l[i] == "vt")
                    f.l[i] = "vt ";
            const Outcome ref = ExpectSameEverywhere(f.Join(brk), Options{}, p.what);
            EXPECT_EQ(ref.rc, 50) << p.what;
            EXPECT_EQ(ref.line, p.wantLine) << p.what << ": " << ref.reason;
        }
}

// The texture component count is the first "vt " statement's, even when
// it lies chunks after the start and later statements have more values;
// a first statement of 4 values fails there.
TEST(ObjThreads, TextureComponentsComeFromTheFirstStatement)
{
    Lines f = Plain(30);
    std::vector<std::string> head(200, "# padding before any texture coordinate");
    f.l.insert(f.l.begin(), head.begin(), head.end());
    for (std::string& l : f.l)
        if (l.compare(0, 3, "vt ") == 0)
            l += " 0.75"; // three values everywhere ...
    size_t firstVt = 0;
    while (f.l[firstVt].compare(0, 3, "vt ") != 0)
        ++firstVt;
    f.l[firstVt] = "vt 0.5"; // ... but the first has one
    Outcome ref = ExpectSameEverywhere(f.Join("\r\n"), Options{}, "one component");
    ASSERT_EQ(ref.rc, 0);
    std::vector<float3> uvw(ref.uvw.size() / sizeof(float3));
    std::memcpy(uvw.data(), ref.uvw.data(), ref.uvw.size());
    for (const float3& u : uvw)
        ASSERT_TRUE(u.y == 0.0f && u.z == 0.0f);

    f.l[firstVt] = "vt 1 2 3 4";
    ref = ExpectSameEverywhere(f.Join("\n"), Options{}, "four values first");
    EXPECT_EQ(ref.rc, 50);
    EXPECT_EQ(ref.line, static_cast<int64_t>(firstVt + 1));
}

// Groups: the state at a chunk's first face comes from group statements
// chunks before it, including one before the first face with other lines
// between.
TEST(ObjThreads, GroupStateCrossesChunks)
{
    Lines f = Plain(50);
    size_t firstFace = 0;
    while (f.l[firstFace][0] != 'f')
        ++firstFace;
    f.l.insert(f.l.begin() + static_cast<long>(firstFace), {"g g1", "usemtl a", "# between", "s off"});
    for (size_t i = firstFace + 30; i < f.l.size(); i += 9)
        f.l.insert(f.l.begin() + static_cast<long>(i), i % 2 ? "g g2" : "g g1 g4");
    for (const char* groups : {"g1", "g2", "g4;g2", "none"})
        for (bool invert : {false, true})
        {
            Options o;
            o.groups = groups;
            o.invert = invert;
            const Outcome ref = ExpectSameEverywhere(f.Join("\n"), o, groups);
            EXPECT_EQ(ref.rc, 0) << groups;
        }
}

// A file larger than the chunked-read threshold, read through ReadObj
// itself (default chunking): the same for 1, 2 and 7 threads.
TEST(ObjThreads, LargeFileThroughReadObj)
{
    Rng rng{991u};
    std::string text;
    while (text.size() < 3 * 512 * 1024)
        text += RandomObj(rng, 400, 2, true, false);
    const std::string path = WriteText("obj_threads_large.obj", text);
    Outcome ref;
    for (int threads : kThreadCounts)
    {
        Threads t(threads);
        Geo g;
        Outcome o;
        o.rc = ReadObj(g, path.c_str(), true, true, "g1;g2", false);
        o.numVert = g->_numVert;
        o.numPoly = g->_numPoly;
        const size_t nodes = static_cast<size_t>(g->NumNodes());
        o.pos = BytesOf(g->_vertPos, sizeof(float3) * static_cast<size_t>(g->_numVert));
        o.vind = BytesOf(g->_polyVInd, sizeof(int32_t) * nodes);
        o.uvw = BytesOf(g->_nodeUvw, sizeof(float3) * nodes);
        o.nrm = BytesOf(g->_nodeNrm, sizeof(float3) * nodes);
        if (threads == 1)
        {
            ref = o;
            ASSERT_EQ(o.rc, 0);
            ASSERT_GT(o.numPoly, 1000);
        }
        else
            EXPECT_EQ(o, ref) << threads << " threads";
    }
}

} // namespace
