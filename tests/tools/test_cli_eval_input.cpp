// korvane eval --set: enum values by value, label or alias; nice names; the
// closest input named for a typo; --help listing every input.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "CliRun.h"

using clitest::CliRun;
using clitest::Has;

namespace {

const std::string& Dir()
{
    static const std::string d = clitest::ScratchDir("eval_input");
    return d;
}

void Put(const std::string& name, const std::string& text)
{
    std::ofstream(Dir() + "/" + name, std::ios::binary) << text;
}

// One evaluation of frame 1 of the cache tri.#### in Dir() with extra --set
// words; the cache holds the same triangle in every format written below.
CliRun EvalWith(const std::string& sets)
{
    return clitest::Run(Dir(), "eval --json --set m_flPath='" + Dir() + "' --set m_flName=tri.#### " + sets +
                                   " --frames 1");
}

bool Loaded(const CliRun& r)
{
    return r.status == 0 && Has(r.out, "\"numPolygons\":1");
}

} // namespace

TEST(EvalInput, EnumAliasesAndLabels)
{
    Put("tri.0001.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Put("tri.0001.drs2", "Drosil2-File-Format 2024 asc format\nAmountOfVertices 3\n0 0 0\n1 0 0\n0 1 0\n"
                         "AmountOfPolygonValues 4\n3 0 1 2\nAmountOfVertexColors 0\n"
                         "AmountOfMotionVectors 0\nAmountOfNormalVectors 0\n");
    // The value, the label in any case with blanks squeezed, and the aliases.
    for (const std::string& v : {std::string("2"), std::string("obj"), std::string("OBJ"),
                                 std::string("'wavefront (.obj)'"), std::string("'Wavefront   (.obj)'")})
    {
        const CliRun r = EvalWith("--set m_flFormat=" + v);
        EXPECT_TRUE(Loaded(r)) << v << ": " << r.out << r.err;
    }
    for (const std::string& v : {std::string("drs2-ascii"), std::string("drs2"), std::string("1")})
    {
        const CliRun r = EvalWith("--set m_flFormat=" + v);
        EXPECT_TRUE(Loaded(r)) << v << ": " << r.out << r.err;
    }
    // Index modes and triangulation by alias.
    for (const char* v : {"round", "floor", "Ceil"})
        EXPECT_TRUE(Loaded(EvalWith("--set m_flFormat=obj --set m_flIndexMode=" + std::string(v)))) << v;
    for (const char* v : {"off", "concave", "ALL", "'all polygons'"})
        EXPECT_TRUE(Loaded(EvalWith("--set m_flFormat=obj --set m_fxTriangulate=" + std::string(v)))) << v;
    // Nothing fits: a usage error naming the values.
    const CliRun bad = EvalWith("--set m_flFormat=fbx");
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(Has(bad.err, "'fbx' is not a value of m_flFormat; use one of 0 (drs2), 1 (drs2-ascii), 2 (obj)"))
        << bad.err;
}

TEST(EvalInput, NiceNamesAndSuggestions)
{
    Put("tri.0001.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n");
    CliRun r = EvalWith("--set Fileformat=obj --set 'load   normal vectors=on'");
    EXPECT_TRUE(Loaded(r)) << r.out << r.err;
    r = EvalWith("--set m_flFormat=obj --set m_flLoadNormal=on");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "no input named 'm_flLoadNormal'; did you mean 'm_flLoadNormals'?")) << r.err;
    r = EvalWith("--set m_flFormat=obj --set zzzzzzzzzzzzzzzzzz=1");
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(Has(r.err, "did you mean")) << r.err;
}

TEST(EvalInput, HelpListsEveryInput)
{
    const CliRun r = clitest::Run(Dir(), "eval --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Has(r.out, "usage: korvane eval")) << r.out;
    for (const char* line : {"m_flPath ", "m_fxTriangulate ", "m_msSetOnlyVertices ", "m_flLoadNormals "})
        EXPECT_TRUE(Has(r.out, std::string("  ") + line)) << line;
    EXPECT_TRUE(Has(r.out, "enum    default 4  \"Fileformat\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "      1  Proprietary, ascii   (.drs2)  (drs2-ascii)")) << r.out;
    EXPECT_TRUE(Has(r.out, "      2  All Polygons  (all)")) << r.out;
    EXPECT_TRUE(Has(r.out, "bool    default off  \"Load Normal Vectors\"")) << r.out;
}
