// The plug-in as a Maya user meets it, driven through the headless host:
// loading, the node type and its attributes, the KorvaneCreate command, and
// evaluations of small cache files written by the tests themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

#include "korvane/HeadlessHost.h"

#include "../common/NodeInputs.h"
#include "../common/TestEnv.h"

namespace fs = std::filesystem;

namespace {

const char kPluginPath[] = KORVANE_PLUGIN_PATH;
const char kLoadLine[] = "[Quorbel] initializing plugin Korvane v.1.236.";

// The type id of a registered node type, 0 when there is none.
unsigned int NodeTypeId(const std::string& name)
{
    for (const khost::NodeTypeInfo& t : khost::ListNodeTypes())
        if (t.name == name)
            return t.typeId;
    return 0;
}
bool HasCommand(const std::string& name)
{
    const std::vector<khost::CommandInfo> all = khost::ListCommands();
    return std::any_of(all.begin(), all.end(), [&](const khost::CommandInfo& c) { return c.name == name; });
}
bool IsLoaded()
{
    const std::vector<std::string> all = khost::ListPlugins();
    return std::find(all.begin(), all.end(), "Korvane") != all.end();
}

struct Lines
{
    std::vector<std::string> infos, errors;
    bool Empty() const { return infos.empty() && errors.empty(); }
};

bool IsEmptyMesh(const khost::EvalResult& r)
{
    return r.hasMesh && r.mesh.numVertices == 0 && r.mesh.numPolygons == 0;
}

Lines Take()
{
    Lines l;
    for (const khost::Message& m : khost::TakeMessages())
        (m.kind == khost::MessageKind::kInfo ? l.infos : l.errors).push_back(m.text);
    return l;
}

// A fresh scene with the plug-in loaded and no pending messages; a folder
// of its own for the test's cache files.
class PluginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(IsLoaded() || khost::LoadPlugin(kPluginPath).loaded);
        khost::NewScene();
        khost::TakeMessages();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("korvane_plugin_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    // The read-ahead may still hold the next frame's file for a moment
    // (Windows removes an open file only once it is closed): a few tries.
    void TearDown() override
    {
        std::error_code ec;
        for (int i = 0; i < 50 && (fs::remove_all(dir_, ec), ec); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(ec) << ec.message();
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }

    // Removes a cache file and waits until it is gone: the read-ahead may
    // still be reading it (the next frame of the last evaluation), and
    // Windows takes away a file that is open elsewhere only once it is
    // closed, so until then the next evaluation would still find it.
    void Remove(const std::string& name)
    {
        const fs::path p = dir_ / name;
        std::error_code ec;
        fs::remove(p, ec);
        for (int i = 0; i < 200 && fs::exists(p, ec); ++i)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            fs::remove(p, ec);
        }
        ASSERT_FALSE(fs::exists(p, ec)) << p.string();
    }

    // KorvaneCreate with no arguments, then the inputs pointing at dir_.
    void CreateNetwork(const std::string& name, const std::string& format)
    {
        const khost::CommandResult r = khost::Execute("KorvaneCreate");
        ASSERT_EQ(r.status, khost::kSuccess) << r.error;
        Set("m_flPath", dir_.string());
        Set("m_flName", name);
        Set("m_flFormat", format);
        khost::TakeMessages();
    }

    void Set(const std::string& attr, const std::string& value)
    {
        std::string error;
        ASSERT_EQ(khost::SetAttr("KorvaneNode1", attr, value, &error), khost::kSuccess)
            << attr << "=" << value << ": " << error;
    }

    khost::EvalResult Eval()
    {
        khost::EvalResult r = khost::Evaluate("KorvaneShape1", "inMesh");
        EXPECT_TRUE(r.error.empty()) << r.error;
        return r;
    }

    // An evaluation with standard error captured into *err.
    khost::EvalResult EvalCapturingStderr(std::string* err)
    {
        testing::internal::CaptureStderr();
        khost::EvalResult r = Eval();
        *err = testing::internal::GetCapturedStderr();
        return r;
    }

    fs::path dir_;
};

// Two triangles around the diagonal 0-2 of a unit square; every corner has
// its own UV, the first triangle's corners the normal +x, the second's +y.
//
//   3 ---- 2
//   |   /  |
//   | /    |
//   0 ---- 1
const char kTwoTrianglesObj[] = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                "vn 1 0 0\nvn 0 1 0\n"
                                "f 1/1/1 2/2/1 3/3/1\nf 1/1/2 3/3/2 4/4/2\n";

// One triangle with RGBA colours and motion vectors (4 along each axis).
const char kMovingTriangleDrs2[] = "Drosil2-File-Format 2000 asc format\n"
                                   "amountofvertices 3\n0 0 0\n1 0 0\n0 1 0\n"
                                   "amountofpolygonvalues 4\n3 0 1 2\n"
                                   "amountofvertexcolors 3\n1 0 0 1\n0 1 0 0.5\n0 0 1 0.25\n"
                                   "amountofmotionvectors 3\n4 0 0\n0 4 0\n0 0 4\n"
                                   "amountofnormalvectors 0\n";

} // namespace

// ---------------------------------------------------------------------------
// Loading and unloading.

TEST(PluginLoad, LoadLineTypeCommandAndUnload)
{
    ASSERT_TRUE(!IsLoaded() || khost::UnloadPlugin("Korvane", true).unloaded);
    khost::TakeMessages();

    const khost::PluginLoadResult load = khost::LoadPlugin(kPluginPath);
    ASSERT_TRUE(load.loaded) << load.error;
    EXPECT_EQ(load.status, khost::kSuccess);
    EXPECT_EQ(load.name, "Korvane");
    EXPECT_FALSE(load.apiVersion.empty());
    const Lines lines = Take();
    ASSERT_EQ(lines.infos.size(), 1u);
    EXPECT_EQ(lines.infos[0], kLoadLine);
    EXPECT_TRUE(lines.errors.empty());

    EXPECT_EQ(NodeTypeId("Korvane"), 0x11FF10u);
    EXPECT_TRUE(HasCommand("KorvaneCreate"));

    // Unloading removes both registrations itself: the host has nothing left
    // to clean up after it.
    const khost::PluginUnloadResult unload = khost::UnloadPlugin("Korvane", true);
    ASSERT_TRUE(unload.unloaded) << unload.error;
    EXPECT_EQ(unload.status, khost::kSuccess);
    EXPECT_TRUE(unload.leftoverNodeTypes.empty());
    EXPECT_TRUE(unload.leftoverCommands.empty());
    EXPECT_EQ(NodeTypeId("Korvane"), 0u);
    EXPECT_FALSE(HasCommand("KorvaneCreate"));

    // And it loads again.
    ASSERT_TRUE(khost::LoadPlugin(kPluginPath).loaded);
    EXPECT_EQ(NodeTypeId("Korvane"), 0x11FF10u);
    EXPECT_TRUE(HasCommand("KorvaneCreate"));
    EXPECT_EQ(Take().infos, std::vector<std::string>{kLoadLine});
}

// ---------------------------------------------------------------------------
// Attributes.

namespace {

using K = khost::AttrKind;

K KindOf(kvt::InputKind k)
{
    switch (k)
    {
    case kvt::InputKind::kBool: return K::kBool;
    case kvt::InputKind::kInt: return K::kInt;
    case kvt::InputKind::kFloat: return K::kFloat;
    case kvt::InputKind::kEnum: return K::kEnum;
    case kvt::InputKind::kString: return K::kString;
    }
    return K::kMesh;
}

// The node type's own attributes (inherited ones come before m_active).
std::vector<khost::AttributeInfo> OwnAttributes()
{
    std::vector<khost::AttributeInfo> all;
    EXPECT_TRUE(khost::TypeAttributes("Korvane", &all));
    size_t first = 0;
    while (first < all.size() && all[first].longName != "m_active")
        ++first;
    return std::vector<khost::AttributeInfo>(all.begin() + static_cast<long>(first), all.end());
}

std::vector<std::string> Labels(const khost::AttributeInfo& a)
{
    std::vector<std::string> labels;
    for (size_t i = 0; i < a.fields.size(); ++i)
    {
        EXPECT_EQ(a.fields[i].value, static_cast<int>(i)) << a.longName;
        labels.push_back(a.fields[i].label);
    }
    return labels;
}

} // namespace

TEST_F(PluginTest, InputsInOrderWithNamesDefaultsRangesAndLabels)
{
    const std::vector<khost::AttributeInfo> attrs = OwnAttributes();
    const int n = kvt::kNumNodeInputs;
    ASSERT_EQ(attrs.size(), static_cast<size_t>(n) + 1);
    for (int i = 0; i < n; ++i)
    {
        const kvt::NodeInput& e = kvt::NodeInputAt(i);
        const khost::AttributeInfo& a = attrs[static_cast<size_t>(i)];
        SCOPED_TRACE(e.longName);
        EXPECT_EQ(a.longName, e.longName);
        EXPECT_EQ(a.shortName, e.longName);
        EXPECT_EQ(a.niceName, e.niceName);
        EXPECT_EQ(a.kind, KindOf(e.kind));
        if (e.kind == kvt::InputKind::kString)
        {
            EXPECT_EQ(a.defaultString, e.text);
            EXPECT_FALSE(a.keyable);
            EXPECT_FALSE(a.array);
            EXPECT_FALSE(a.usesArrayDataBuilder);
        }
        else
        {
            EXPECT_DOUBLE_EQ(a.defaultNumber, e.def);
            EXPECT_TRUE(a.keyable);
        }
        const bool hasRange = e.softMin < e.softMax;
        EXPECT_EQ(a.hasSoftMin, hasRange);
        EXPECT_EQ(a.hasSoftMax, hasRange);
        if (hasRange)
        {
            EXPECT_DOUBLE_EQ(a.softMin, e.softMin);
            EXPECT_DOUBLE_EQ(a.softMax, e.softMax);
        }
        EXPECT_EQ(a.affects, std::vector<std::string>{"outMesh"});
    }

    const khost::AttributeInfo& out = attrs[static_cast<size_t>(n)];
    EXPECT_EQ(out.longName, "outMesh");
    EXPECT_EQ(out.shortName, "outMesh");
    EXPECT_EQ(out.kind, K::kMesh);
    EXPECT_FALSE(out.storable);

    EXPECT_EQ(Labels(attrs[3]),
              (std::vector<std::string>{"Proprietary, binary   (.drs2)", "Proprietary, ascii   (.drs2)",
                                        "Wavefront   (.obj)", "RealFlow   (.bin)",
                                        "Proprietary, binary   (.znq)"}));
    EXPECT_EQ(Labels(attrs[4]), (std::vector<std::string>{"Use Idx Value (Round)", "Use Idx Value (Floor)",
                                                          "Use Idx Value (Ceil)"}));
    EXPECT_EQ(Labels(attrs[26]), (std::vector<std::string>{"Off", "Concave Polygons", "All Polygons"}));
    const std::vector<std::string> sides{"Hold", "Blank", "Loop", "Ping-Pong"};
    EXPECT_EQ(Labels(attrs[34]), sides);
    EXPECT_EQ(Labels(attrs[35]), sides);
    EXPECT_EQ(Labels(attrs[36]), (std::vector<std::string>{"Error", "Blank", "Hold Previous", "Nearest"}));
    EXPECT_EQ(Labels(attrs[37]), (std::vector<std::string>{"Motion Vectors", "Interpolate"}));
    EXPECT_EQ(Labels(attrs[39]), (std::vector<std::string>{"Per Frame", "Per Second"}));
}

TEST_F(PluginTest, EveryInputDirtiesTheOutput)
{
    ASSERT_EQ(khost::Execute("KorvaneCreate").status, khost::kSuccess);
    Set("m_active", "off"); // evaluations below then read nothing
    Eval();
    const std::vector<khost::AttributeInfo> attrs = OwnAttributes();
    const int n = kvt::kNumNodeInputs;
    ASSERT_EQ(attrs.size(), static_cast<size_t>(n) + 1);
    // m_active last, so that every evaluation in between stays inactive.
    for (int k = 1; k <= n; ++k)
    {
        const khost::AttributeInfo& a = attrs[static_cast<size_t>(k % n)];
        SCOPED_TRACE(a.longName);
        ASSERT_FALSE(khost::IsDirty("KorvaneNode1", "outMesh"));
        const char* value = a.kind == K::kString ? "x" : (a.kind == K::kFloat ? "0.5" : "1");
        Set(a.longName, value);
        EXPECT_TRUE(khost::IsDirty("KorvaneNode1", "outMesh"));
        if (k < n)
        {
            EXPECT_EQ(Eval().status, khost::kSuccess);
        }
    }
}

// ---------------------------------------------------------------------------
// KorvaneCreate.

namespace {

std::string NodeType(const std::string& name)
{
    std::string type;
    return khost::NodeExists(name, &type) ? type : std::string("<none>");
}

std::string Parent(const std::string& name)
{
    for (const khost::NodeInfo& n : khost::ListNodes())
        if (n.name == name)
            return n.parent;
    return "<none>";
}

bool Connected(const std::string& source, const std::string& destination)
{
    for (const khost::Connection& c : khost::ListConnections())
        if (c.source == source && c.destination == destination)
            return true;
    return false;
}

void ExpectNetwork(const std::string& transform, const std::string& shape, const std::string& node)
{
    EXPECT_EQ(NodeType(transform), "transform");
    EXPECT_EQ(NodeType(shape), "mesh");
    EXPECT_EQ(Parent(shape), transform);
    EXPECT_EQ(NodeType(node), "Korvane");
    EXPECT_TRUE(Connected(node + ".outMesh", shape + ".inMesh"));
    const std::vector<std::string> members = khost::SetMembers("initialShadingGroup");
    EXPECT_NE(std::find(members.begin(), members.end(), shape), members.end());
    EXPECT_EQ(khost::Selection(), std::vector<std::string>{transform});
}

} // namespace

TEST_F(PluginTest, CreateDefaultNetworkThenFollowTheHostsRename)
{
    const khost::CommandResult r = khost::Execute("KorvaneCreate");
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_TRUE(r.result.empty());
    ExpectNetwork("Korvane1", "KorvaneShape1", "KorvaneNode1");
    EXPECT_TRUE(Take().Empty());

    // Korvane2 taken by another node: the host's next free suffix, each time.
    ASSERT_EQ(khost::Execute("createNode transform -n Korvane2").status, khost::kSuccess);
    ASSERT_EQ(khost::Execute("KorvaneCreate").status, khost::kSuccess);
    ExpectNetwork("Korvane3", "KorvaneShape3", "KorvaneNode3");
    ASSERT_EQ(khost::Execute("KorvaneCreate").status, khost::kSuccess);
    ExpectNetwork("Korvane4", "KorvaneShape4", "KorvaneNode4");
}

TEST_F(PluginTest, CreateWithBaseNameAndVerbose)
{
    ASSERT_EQ(khost::Execute("KorvaneCreate -n myReaderMesh").status, khost::kSuccess);
    ExpectNetwork("myReaderMesh1", "myReaderMeshShape1", "myReaderMeshNode1");
    EXPECT_TRUE(Take().infos.empty());

    ASSERT_EQ(khost::Execute("KorvaneCreate -v on -n fluid").status, khost::kSuccess);
    ExpectNetwork("fluid1", "fluidShape1", "fluidNode1");
    EXPECT_EQ(Take().infos, (std::vector<std::string>{"[KorvaneCreate] base node name: fluid",
                                                      "[KorvaneCreate] creating the main nodes."}));

    // The last valid value of a repeated flag counts.
    ASSERT_EQ(khost::Execute("KorvaneCreate -v 1 -v 0 -n a -n b").status, khost::kSuccess);
    ExpectNetwork("b1", "bShape1", "bNode1");
    EXPECT_TRUE(Take().infos.empty());
}

TEST_F(PluginTest, CreateHelpShowsUsageAndCreatesNothing)
{
    const size_t nodesBefore = khost::ListNodes().size();
    for (const char* flag : {"-h", "-help", "--help"})
    {
        SCOPED_TRACE(flag);
        EXPECT_EQ(khost::Execute(std::string("KorvaneCreate ") + flag).status, khost::kSuccess);
        const Lines lines = Take();
        EXPECT_EQ(lines.infos,
                  (std::vector<std::string>{
                      "usage: KorvaneCreate [-h] [-v on|off] [-n baseName]",
                      "    -h     log help.",
                      "    -v     verbose.                          Default: off.",
                      "    -n     the base name for the nodes.      Default: \"Korvane\".",
                      "example: KorvaneCreate -v on -n myReaderMesh",
                      "    -f     any one frame file of a cache (-file): set up to play with the timeline.",
                      "example: KorvaneCreate -f \"C:/cache/Fluid.0001.bin\""}));
        EXPECT_TRUE(lines.errors.empty());
    }
    EXPECT_EQ(khost::ListNodes().size(), nodesBefore);
}

TEST_F(PluginTest, CreateSyntaxErrors)
{
    struct Case
    {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"-v yes", "[KorvaneCreate] syntax error: \"-v\" (unknown or missing argument?)"},
        {"-v", "[KorvaneCreate] syntax error: \"-v\" (unknown or missing argument?)"},
        {"-x 1", "[KorvaneCreate] syntax error: \"-x\" (unknown or missing argument?)"},
        {"-n", "[KorvaneCreate] missing name after \"-n\"."},
        {"-n -v", "[KorvaneCreate] missing name after \"-n\"."},
    };
    const size_t nodesBefore = khost::ListNodes().size();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(khost::Execute(std::string("KorvaneCreate ") + c.args).status, khost::kFailure);
        const Lines lines = Take();
        EXPECT_EQ(lines.errors, std::vector<std::string>{c.message});
        EXPECT_TRUE(lines.infos.empty());
    }
    EXPECT_EQ(khost::ListNodes().size(), nodesBefore);
}

// The base name goes into the host's command lines, so anything but a plain
// node name is refused before a command runs: a ';' must not start another
// command, a blank must not split one.
TEST_F(PluginTest, CreateRefusesBaseNamesThatAreNotNodeNames)
{
    const char* const names[] = {"x;delete initialShadingGroup;y", "two words", "3d", "a\\\"b", "ns:fluid",
                                 "fl\u00fcid"};
    const size_t nodesBefore = khost::ListNodes().size();
    for (const char* name : names)
    {
        SCOPED_TRACE(name);
        EXPECT_EQ(khost::Execute(std::string("KorvaneCreate -n \"") + name + "\"").status,
                  khost::kInvalidParameter);
        const Lines lines = Take();
        ASSERT_EQ(lines.errors.size(), 1u);
        EXPECT_EQ(lines.errors[0].rfind("[KorvaneCreate] invalid name \"", 0), 0u) << lines.errors[0];
        EXPECT_NE(lines.errors[0].find("use letters, digits and '_', not beginning with a digit."),
                  std::string::npos);
    }
    EXPECT_EQ(khost::ListNodes().size(), nodesBefore);
    EXPECT_EQ(NodeType("initialShadingGroup"), "shadingEngine");

    ASSERT_EQ(khost::Execute("KorvaneCreate -n _fluid_2").status, khost::kSuccess);
    ExpectNetwork("_fluid_21", "_fluid_2Shape1", "_fluid_2Node1");
}

// ---------------------------------------------------------------------------
// Evaluation.

TEST_F(PluginTest, InactiveNodeGivesAnEmptyMeshWithoutTouchingFiles)
{
    ASSERT_EQ(khost::Execute("KorvaneCreate").status, khost::kSuccess);
    Set("m_active", "off");
    std::string err;
    const khost::EvalResult r = EvalCapturingStderr(&err);
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_TRUE(r.computed);
    EXPECT_TRUE(IsEmptyMesh(r));
    EXPECT_TRUE(err.empty()) << err;
    EXPECT_TRUE(Take().Empty());
}

TEST_F(PluginTest, MissingFileMessagesAndStatus)
{
    CreateNetwork("nothing.####", "4");
    std::string err;
    const khost::EvalResult r = EvalCapturingStderr(&err);
    EXPECT_EQ(r.status, khost::kFailure);
    EXPECT_TRUE(IsEmptyMesh(r));
    const std::string path = (dir_ / "nothing.0001.znq").string();
    EXPECT_EQ(Take().errors,
              (std::vector<std::string>{"[Korvane] failed to load or create \"" + path + "\".",
                                        "[Korvane] error 45: unable to find or open file."}));
    EXPECT_EQ(err, "[Korvane] ERROR creating mesh.\n");
    EXPECT_FALSE(khost::IsDirty("KorvaneNode1", "outMesh")); // marked clean anyway
}

TEST_F(PluginTest, FailedLoadSaysWhereAndWhy)
{
    Write("neg.0001.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\n");
    CreateNetwork("neg.####", "2");
    std::string err;
    const khost::EvalResult r = EvalCapturingStderr(&err);
    EXPECT_EQ(r.status, khost::kFailure);
    const std::string path = (dir_ / "neg.0001.obj").string();
    // The two lines as always, then one more with the place and the reason.
    EXPECT_EQ(Take().errors,
              (std::vector<std::string>{"[Korvane] failed to load or create \"" + path + "\".",
                                        "[Korvane] error 50: unknown file format.",
                                        "[Korvane] line 4: negative index -3: relative indices are not read"}));
}

TEST_F(PluginTest, FormatValueWithoutExtension)
{
    Write("tri.0001.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Write("tri.0001", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    // An unknown format value adds nothing: the pattern's own extension
    // decides the reader.
    CreateNetwork("tri.####.obj", "7");
    khost::EvalResult r = Eval();
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 3);

    Set("m_flName", "tri.####");
    r = Eval();
    EXPECT_EQ(r.status, khost::kFailure);
    const Lines lines = Take();
    ASSERT_EQ(lines.errors.size(), 2u);
    EXPECT_EQ(lines.errors[1], "[Korvane] error 51: unknown file extension.");
}

TEST_F(PluginTest, FrameOfEachIndexMode)
{
    // Frame 12 is a triangle, frame 13 a quad: the vertex count tells which
    // file was read.
    Write("F.0012.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Write("F.0013.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    Write("F.-001.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 0\nf 1 2 3 4\nf 3 4 5\n");
    CreateNetwork("F.####", "Wavefront   (.obj)"); // by label
    Set("m_flIdxValue", "12.5");

    const struct
    {
        const char* mode;
        int vertices;
    } cases[] = {{"0", 4}, {"1", 3}, {"2", 4}, {"Use Idx Value (Floor)", 3}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mode);
        Set("m_flIndexMode", c.mode);
        const khost::EvalResult r = Eval();
        EXPECT_EQ(r.status, khost::kSuccess);
        EXPECT_EQ(r.mesh.numVertices, c.vertices);
    }

    Set("m_flIndexMode", "0");
    Set("m_flIdxValue", "-0.5"); // rounds away from zero: frame -1
    const khost::EvalResult r = Eval();
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 5);
    EXPECT_TRUE(Take().errors.empty());
}

TEST_F(PluginTest, SubFrameOffsetAlongLoadedMotions)
{
    Write("M.0003.drs2", kMovingTriangleDrs2);
    CreateNetwork("M.####", "1");
    Set("m_flLoadMotions", "on");
    Set("m_flIndexMode", "1");
    Set("m_flIdxValue", "3.25");
    Set("m_flIdxFractionStrength", "1");

    // Fraction 0.25 of motions 4: one unit along each vertex's own axis.
    const std::vector<float> moved = {1, 0, 0, 1, 1, 0, 0, 1, 1};
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.points, moved);

    // The motion scale runs afterwards and does not change the offset.
    Set("m_dtScaleMotions", "3");
    r = Eval();
    EXPECT_EQ(r.mesh.points, moved);

    // Half strength, half the way.
    Set("m_flIdxFractionStrength", "0.5");
    r = Eval();
    EXPECT_EQ(r.mesh.points, (std::vector<float>{0.5f, 0, 0, 1, 0.5f, 0, 0, 1, 0.5f}));

    // Ceil mode: frame 4 does not exist.
    Set("m_flIndexMode", "2");
    r = Eval();
    EXPECT_EQ(r.status, khost::kFailure);
    khost::TakeMessages();

    // Strength 0, or motions not loaded: the file as it is.
    const std::vector<float> still = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    Set("m_flIndexMode", "1");
    Set("m_flIdxFractionStrength", "0");
    EXPECT_EQ(Eval().mesh.points, still);
    Set("m_flIdxFractionStrength", "1");
    Set("m_flLoadMotions", "off");
    EXPECT_EQ(Eval().mesh.points, still);
}

TEST_F(PluginTest, RgbaVertexColours)
{
    Write("C.0001.drs2", kMovingTriangleDrs2);
    CreateNetwork("C.####", "1");
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_FALSE(r.mesh.hasColors); // not loaded

    Set("m_flLoadColors", "on");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_TRUE(r.mesh.hasColors);
    EXPECT_EQ(r.mesh.colors, (std::vector<float>{1, 0, 0, 1, 0, 1, 0, 0.5f, 0, 0, 1, 0.25f}));
    EXPECT_FALSE(r.mesh.hasNormals);
    EXPECT_FALSE(r.mesh.hasUVs);
    EXPECT_TRUE(Take().errors.empty());
}

TEST_F(PluginTest, NormalsAveragedPerVertexAndOneUvPerNode)
{
    Write("T.0001.obj", kTwoTrianglesObj);
    CreateNetwork("T.####", "2");
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 4);
    EXPECT_EQ(r.mesh.counts, (std::vector<int>{3, 3}));
    EXPECT_EQ(r.mesh.connects, (std::vector<int>{0, 1, 2, 0, 2, 3}));
    EXPECT_FALSE(r.mesh.hasNormals); // nothing loaded: no normals set at all
    EXPECT_FALSE(r.mesh.hasUVs);

    Set("m_flLoadNormals", "on");
    Set("m_flLoadUVWs", "on");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_TRUE(r.mesh.hasNormals);
    // Vertices 0 and 2 sit on both triangles: the mean of +x and +y.
    EXPECT_EQ(r.mesh.normals, (std::vector<float>{0.5f, 0.5f, 0, 1, 0, 0, 0.5f, 0.5f, 0, 0, 1, 0}));
    EXPECT_EQ(r.mesh.normalSet, (std::vector<unsigned char>{1, 1, 1, 1}));

    ASSERT_TRUE(r.mesh.hasUVs);
    EXPECT_EQ(r.mesh.u, (std::vector<float>{0, 1, 1, 0, 1, 0}));
    EXPECT_EQ(r.mesh.v, (std::vector<float>{0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(r.mesh.uvCounts, (std::vector<int>{3, 3}));
    EXPECT_EQ(r.mesh.uvIds, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(Take().errors.empty());
}

TEST_F(PluginTest, SetOnlyVerticesKeepsAllVerticesAndTheFirstPolygon)
{
    // A triangle, then a quad that adds vertex 4.
    Write("S.0001.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 0\n"
                        "vt 0 0\nvn 0 0 1\n"
                        "f 1/1/1 2/1/1 3/1/1\nf 2/1/1 5/1/1 3/1/1 4/1/1\n");
    CreateNetwork("S.####", "2");
    Set("m_flLoadNormals", "on");
    Set("m_flLoadUVWs", "on");
    Set("m_msSetOnlyVertices", "on");
    const khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 5);
    EXPECT_EQ(r.mesh.numPolygons, 1);
    EXPECT_EQ(r.mesh.counts, std::vector<int>{3});
    EXPECT_EQ(r.mesh.connects, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(r.mesh.hasNormals || r.mesh.hasUVs || r.mesh.hasColors);
}

TEST_F(PluginTest, TooLongTextsAreRefused)
{
    Write("tri.0001.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    CreateNetwork("tri.####", "2");
    ASSERT_EQ(Eval().status, khost::kSuccess);

    // A name one character over its field: refused, not cut.
    Set("m_flName", std::string(513, 'n'));
    std::string err;
    khost::EvalResult r = EvalCapturingStderr(&err);
    EXPECT_EQ(r.status, khost::kFailure);
    EXPECT_EQ(r.mesh.numVertices, 0);
    Lines lines = Take();
    ASSERT_EQ(lines.errors.size(), 1u);
    EXPECT_EQ(lines.errors[0].rfind("[Korvane] ", 0), 0u);

    // Directory and name fit their fields, the joined path does not.
    Set("m_flName", std::string(512, 'n'));
    Set("m_flPath", std::string(1535, 'd'));
    EXPECT_EQ(EvalCapturingStderr(&err).status, khost::kFailure);
    lines = Take();
    ASSERT_EQ(lines.errors.size(), 1u);
    EXPECT_NE(lines.errors[0].find("2047"), std::string::npos);

    // Long group names only matter while the filter is on.
    Set("m_flPath", dir_.string());
    Set("m_flName", "tri.####");
    Set("m_wfObjGroupNames", std::string(3000, 'g'));
    EXPECT_EQ(Eval().status, khost::kSuccess);
    Set("m_wfObjGroupActive", "on");
    EXPECT_EQ(EvalCapturingStderr(&err).status, khost::kFailure);
    EXPECT_EQ(Take().errors.size(), 1u);
}

TEST_F(PluginTest, PolygonsOfFiveCornersAreAlwaysSplit)
{
    // A convex pentagon next to a quad; with every option off only the
    // pentagon is split.
    Write("P.0001.obj", "v 0 0 0\nv 2 0 0\nv 3 1 0\nv 1 2 0\nv -1 1 0\nv 2 -2 0\nv 0 -2 0\n"
                        "f 1 2 3 4 5\nf 1 7 6 2\n");
    CreateNetwork("P.####", "2");
    const khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 7);
    int quads = 0, tris = 0;
    for (int c : r.mesh.counts)
    {
        EXPECT_TRUE(c == 3 || c == 4) << "corners " << c;
        quads += c == 4;
        tris += c == 3;
    }
    EXPECT_EQ(quads, 1);
    EXPECT_EQ(tris, 3);
}

namespace {

// True when b runs around the same corners as a in the opposite direction.
bool Reversed(const std::vector<int>& a, const std::vector<int>& b)
{
    if (a.size() != b.size())
        return false;
    const size_t n = a.size();
    for (size_t shift = 0; shift < n; ++shift)
    {
        bool same = true;
        for (size_t k = 0; k < n && same; ++k)
            same = b[(shift + k) % n] == a[(n - k) % n];
        if (same)
            return true;
    }
    return false;
}

} // namespace

TEST_F(PluginTest, ChainStepsFollowTheirInputs)
{
    Write("T.0001.obj", kTwoTrianglesObj);
    CreateNetwork("T.####", "2");

    // Disconnect: one vertex per node.
    Set("m_dtPostDisconnectPolys", "on");
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 6);
    EXPECT_EQ(r.mesh.numPolygons, 2);
    Set("m_dtPostDisconnectPolys", "off");

    // Invert: each triangle runs the other way round.
    Set("m_fxInvertPolygons", "on");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_EQ(r.mesh.connects.size(), 6u);
    EXPECT_TRUE(Reversed({0, 1, 2}, {r.mesh.connects.begin(), r.mesh.connects.begin() + 3}));
    EXPECT_TRUE(Reversed({0, 2, 3}, {r.mesh.connects.begin() + 3, r.mesh.connects.end()}));
    Set("m_fxInvertPolygons", "off");

    // Quadrangulate joins the square's halves; triangulating all polygons
    // afterwards splits the quad again.
    Set("m_fxQuadrangulate", "on");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.counts, std::vector<int>{4});
    Set("m_fxTriangulate", "All Polygons");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.counts, (std::vector<int>{3, 3}));
    EXPECT_EQ(r.mesh.numVertices, 4);
    EXPECT_TRUE(Take().errors.empty());
}

// ---------------------------------------------------------------------------
// Playback: frame range, missing frames, sub-frames, path variables, -f.

namespace {

// One triangle shifted by dx along x; with `quad` a square instead.
std::string ShiftedObj(float dx, bool quad = false)
{
    char text[256];
    if (quad)
        std::snprintf(text, sizeof(text), "v %g 0 0\nv %g 0 0\nv %g 1 0\nv %g 1 0\nf 1 2 3 4\n", dx, dx + 1, dx + 1, dx);
    else
        std::snprintf(text, sizeof(text), "v %g 0 0\nv %g 0 0\nv %g 1 0\nf 1 2 3\n", dx, dx + 1, dx);
    return text;
}

float FirstX(const khost::EvalResult& r)
{
    return r.mesh.points.empty() ? -1000.0f : r.mesh.points[0];
}


} // namespace

TEST_F(PluginTest, NewInputsAtTheirDefaultsChangeNothing)
{
    // A missing frame still fails with the two lines, and a fractional index
    // still moves along the motion vectors only.
    Write("m.1.drs2", kMovingTriangleDrs2);
    CreateNetwork("m.#", "1");
    Set("m_flIdxValue", "2");
    std::string err;
    khost::EvalResult r = EvalCapturingStderr(&err);
    EXPECT_EQ(r.status, khost::kFailure);
    EXPECT_EQ(Take().errors.size(), 2u);
    Set("m_flLoadMotions", "on");
    Set("m_flIdxFractionStrength", "1");
    Set("m_flIndexMode", "1");
    Set("m_flIdxValue", "1.25");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_FLOAT_EQ(FirstX(r), 1.0f); // 0 + 0.25 x 4
    EXPECT_TRUE(Take().Empty());
}

TEST_F(PluginTest, FrameRangeHoldBlankLoopPingPong)
{
    for (int f = 1; f <= 3; ++f)
        Write("f." + std::to_string(f) + ".obj", ShiftedObj(static_cast<float>(10 * f)));
    CreateNetwork("f.#", "2");
    Set("m_flRangeActive", "on");
    Set("m_flRangeStart", "1");
    Set("m_flRangeEnd", "3");
    const struct
    {
        const char* before;
        const char* after;
        float idx;
        float x; // -1000: empty mesh
    } cases[] = {
        {"Hold", "Hold", 0, 10},        {"Hold", "Hold", -2147483648.0f, 10}, {"Hold", "Hold", 4, 30},
        {"Hold", "Hold", 3e9f, 30},     {"Blank", "Hold", 0, -1000},          {"Hold", "Blank", 4, -1000},
        {"Hold", "Blank", 3, 30},       {"Loop", "Loop", 4, 10},              {"Loop", "Loop", 0, 30},
        {"Loop", "Loop", 8, 20},        {"Ping-Pong", "Ping-Pong", 4, 20},    {"Ping-Pong", "Ping-Pong", 5, 10},
        {"Ping-Pong", "Ping-Pong", 0, 20},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.before) + "/" + c.after + " at " + std::to_string(c.idx));
        Set("m_flBeforeRange", c.before);
        Set("m_flAfterRange", c.after);
        khost::SetAttrNumber("KorvaneNode1", "m_flIdxValue", c.idx);
        const khost::EvalResult r = Eval();
        EXPECT_EQ(r.status, khost::kSuccess);
        if (c.x == -1000)
        {
            EXPECT_TRUE(IsEmptyMesh(r));
        }
        else
        {
            EXPECT_FLOAT_EQ(FirstX(r), c.x);
        }
        EXPECT_TRUE(Take().Empty());
    }
    // Start after end: one error line, the empty mesh.
    Set("m_flRangeStart", "5");
    std::string err;
    const khost::EvalResult r = EvalCapturingStderr(&err);
    EXPECT_EQ(r.status, khost::kFailure);
    EXPECT_TRUE(IsEmptyMesh(r));
    EXPECT_EQ(Take().errors, std::vector<std::string>{"[Korvane] the frame range starts after it ends (Range Start 5, "
                                                      "Range End 3); nothing is loaded."});
}

TEST_F(PluginTest, MissingFramesBlankHoldPreviousNearest)
{
    Write("m.1.drs2", kMovingTriangleDrs2);
    Write("m.3.drs2", kMovingTriangleDrs2);
    Write("m.4.drs2", "Drosil2-File-Format 2000 asc format\nbroken");
    CreateNetwork("m.#", "1");
    Set("m_flLoadMotions", "on");
    Set("m_flIdxFractionStrength", "1");
    Set("m_flIdxValue", "2");

    Set("m_flMissingFrames", "Blank");
    khost::EvalResult r = Eval();
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_TRUE(IsEmptyMesh(r));
    Lines lines = Take();
    EXPECT_TRUE(lines.errors.empty());
    EXPECT_EQ(lines.infos, std::vector<std::string>{"[Korvane] no file for frame 2: \"" + (dir_ / "m.2.drs2").string() +
                                                    "\"; the mesh is empty."});

    // Hold Previous: frame 1, not moved.
    Set("m_flMissingFrames", "Hold Previous");
    r = Eval();
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_FLOAT_EQ(FirstX(r), 0.0f);
    EXPECT_TRUE(Take().Empty());

    // Nearest: 1 and 3 tie, 1 is taken and moved by 1 x (2 - 1) x (4, 0, 0).
    Set("m_flMissingFrames", "Nearest");
    r = Eval();
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_FLOAT_EQ(FirstX(r), 4.0f);
    // 2.25 rounds to frame 2, which ties: frame 1 moved by 1.25 x 4 (the
    // tie is decided on frames, the offset follows the index value).
    Set("m_flIdxValue", "2.25");
    r = Eval();
    EXPECT_FLOAT_EQ(FirstX(r), 5.0f);
    // A file that exists but does not load stays an error in every mode.
    for (const char* mode : {"Blank", "Hold Previous", "Nearest"})
    {
        Set("m_flMissingFrames", mode);
        Set("m_flIdxValue", "4");
        std::string err;
        r = EvalCapturingStderr(&err);
        EXPECT_EQ(r.status, khost::kFailure) << mode;
        // The two failure lines and the one that says where.
        EXPECT_EQ(Take().errors.size(), 3u) << mode;
    }
}

TEST_F(PluginTest, InterpolateBlendsMatchingFramesOnly)
{
    Write("i.1.obj", ShiftedObj(0));
    Write("i.2.obj", ShiftedObj(8));
    Write("i.3.obj", ShiftedObj(0, true));
    CreateNetwork("i.#", "2");
    Set("m_flSubFrameMode", "Interpolate");
    Set("m_flIndexMode", "1");
    Set("m_flIdxFractionStrength", "1");
    Set("m_flIdxValue", "1.25");
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_FLOAT_EQ(FirstX(r), 2.0f);
    Set("m_flIdxFractionStrength", "0.5");
    EXPECT_FLOAT_EQ(FirstX(Eval()), 1.0f);
    // Another polygon list, or no next file: the motion-vector way, which
    // leaves a file without motion vectors where it is.
    Set("m_flIdxValue", "2.5");
    EXPECT_FLOAT_EQ(FirstX(Eval()), 8.0f);
    Set("m_flIdxValue", "3.5");
    r = Eval();
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_FLOAT_EQ(FirstX(r), 0.0f);
    // Ceil: frame 2, the fraction -0.25 points back to frame 1.
    Set("m_flIndexMode", "2");
    Set("m_flIdxFractionStrength", "1");
    Set("m_flIdxValue", "1.75");
    EXPECT_FLOAT_EQ(FirstX(Eval()), 6.0f);
    EXPECT_TRUE(Take().Empty());
}

TEST_F(PluginTest, EnvironmentVariablesInThePath)
{
    Write("e.1.obj", ShiftedObj(3));
    CreateNetwork("e.#", "2");
    kvt::SetVariable("KV_TEST_CACHE", dir_.string().c_str());
    for (const char* path : {"$KV_TEST_CACHE", "${KV_TEST_CACHE}", "%KV_TEST_CACHE%"})
    {
        Set("m_flPath", path);
        const khost::EvalResult r = Eval();
        EXPECT_EQ(r.status, khost::kSuccess) << path;
        EXPECT_FLOAT_EQ(FirstX(r), 3.0f) << path;
    }
    kvt::SetVariable("KV_TEST_CACHE", nullptr);
    Set("m_flPath", "$KV_TEST_CACHE/x");
    std::string err;
    const khost::EvalResult r = EvalCapturingStderr(&err);
    EXPECT_EQ(r.status, khost::kFailure);
    EXPECT_TRUE(IsEmptyMesh(r));
    EXPECT_EQ(Take().errors, std::vector<std::string>{"[Korvane] the environment variable \"KV_TEST_CACHE\" in the "
                                                      "cache path \"$KV_TEST_CACHE/x\" is not set; nothing is loaded."});
}

TEST_F(PluginTest, CreateFromFileSetsEverythingAndFollowsTheSceneTime)
{
#if defined(_WIN32)
    const char* const odd = "a b;c'd"; // '"' cannot be part of a Windows file name
#else
    const char* const odd = "a b;c\"d";
#endif
    fs::create_directories(dir_ / odd);
    for (int f = 3; f <= 6; ++f)
        std::ofstream(dir_ / odd / ("shot_010_v2.000" + std::to_string(f) + ".drs2")) << kMovingTriangleDrs2;
    const std::string file = (dir_ / odd / "shot_010_v2.0004.drs2").string();
    std::string quoted = "\"";
    for (char c : file)
    {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    const khost::CommandResult cr = khost::Execute("KorvaneCreate -file " + quoted);
    ASSERT_EQ(cr.status, khost::kSuccess) << cr.error;
    EXPECT_TRUE(Take().errors.empty());
    const auto attr = [](const char* name) {
        std::string text;
        EXPECT_TRUE(khost::GetAttrText("KorvaneNode1", name, &text)) << name;
        return text;
    };
    EXPECT_EQ(attr("m_flPath"), (dir_ / odd).generic_string()); // forward slashes, as Maya writes paths
    EXPECT_EQ(attr("m_flName"), "shot_010_v2.####");
    EXPECT_EQ(attr("m_flFormat"), "1");
    EXPECT_EQ(attr("m_flRangeActive"), "1");
    EXPECT_EQ(attr("m_flRangeStart"), "3");
    EXPECT_EQ(attr("m_flRangeEnd"), "6");
    EXPECT_EQ(attr("m_flLoadMotions"), "1");
    EXPECT_EQ(attr("m_flLoadColors"), "1");
    EXPECT_EQ(attr("m_flLoadNormals"), "0");
    EXPECT_EQ(attr("m_flLoadUVWs"), "0");
    const std::vector<khost::Connection> cs = khost::ListConnections();
    const auto connected = [&](const std::string& from, const std::string& to) {
        return std::any_of(cs.begin(), cs.end(),
                           [&](const khost::Connection& c) { return c.source == from && c.destination == to; });
    };
    EXPECT_TRUE(connected("time1.outTime", "KorvaneNode1Time.time"));
    EXPECT_TRUE(connected("KorvaneNode1Time.output", "KorvaneNode1.m_flIdxValue"));
    EXPECT_EQ(khost::Selection(), std::vector<std::string>{"Korvane1"});

    // The timeline drives the frame; outside the files the ends hold.
    for (double t : {2.0, 5.0, 9.0})
    {
        khost::SetCurrentTime(t);
        const khost::EvalResult r = Eval();
        EXPECT_EQ(r.status, khost::kSuccess) << t;
        EXPECT_EQ(r.mesh.numVertices, 3) << t;
        std::string idx;
        ASSERT_TRUE(khost::GetAttrText("KorvaneNode1", "m_flIdxValue", &idx));
        EXPECT_EQ(idx, t == 2.0 ? "2" : t == 5.0 ? "5" : "9");
    }
    EXPECT_TRUE(Take().errors.empty());
    khost::SetCurrentTime(1.0);
}

TEST_F(PluginTest, CreateFromFileRefusalsCreateNothing)
{
    Write("nodigits.obj", ShiftedObj(0));
    const size_t nodesBefore = khost::ListNodes().size();
    const struct
    {
        std::string args;
        std::string error;
    } cases[] = {
        {"-f " + (dir_ / "absent.0001.obj").string(),
         "[KorvaneCreate] no such file: \"" + (dir_ / "absent.0001.obj").string() + "\"."},
        {"-f " + (dir_ / "nodigits.obj").string(), "[KorvaneCreate] the file name \"nodigits.obj\" has no frame number."},
        {"-f", "[KorvaneCreate] missing path after \"-f\"."},
        {"-n x -file", "[KorvaneCreate] missing path after \"-file\"."},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(khost::Execute("KorvaneCreate " + c.args).status, khost::kFailure);
        EXPECT_EQ(Take().errors, std::vector<std::string>{c.error});
        EXPECT_EQ(khost::ListNodes().size(), nodesBefore);
    }
}

TEST_F(PluginTest, SceneTimeCommandsOfTheHeadlessHost)
{
    EXPECT_TRUE(khost::NodeExists("time1"));
    khost::CommandResult r = khost::Execute("currentTime 12.5");
    EXPECT_EQ(r.status, khost::kSuccess);
    EXPECT_DOUBLE_EQ(khost::CurrentTime(), 12.5);
    r = khost::Execute("currentTime -q");
    ASSERT_EQ(r.result.size(), 1u);
    EXPECT_EQ(r.result[0], "12.5");
    EXPECT_NE(khost::Execute("currentTime abc").status, khost::kSuccess);
    ASSERT_EQ(khost::Execute("KorvaneCreate").status, khost::kSuccess);
    // Only "plug = frame" runs; anything else is refused.
    EXPECT_NE(khost::Execute("expression -s \"KorvaneNode1.m_flIdxValue = frame * 2;\"").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("expression -s \"nothere.x = frame;\"").status, khost::kSuccess);
    r = khost::Execute("expression -n drive -s \"KorvaneNode1.m_flIdxValue = frame;\"");
    ASSERT_EQ(r.status, khost::kSuccess) << r.error;
    EXPECT_EQ(r.result, std::vector<std::string>{"drive"});
    khost::TakeMessages();
    khost::SetCurrentTime(7);
    khost::Evaluate("KorvaneShape1", "inMesh");
    std::string idx;
    ASSERT_TRUE(khost::GetAttrText("KorvaneNode1", "m_flIdxValue", &idx));
    EXPECT_EQ(idx, "7");
    khost::SetCurrentTime(1.0);
    khost::TakeMessages();
}

// ---------------------------------------------------------------------------
// Render output: the motion colour set and per-corner normals.

namespace {

const khost::ColorSetSnapshot* ColorSetNamed(const khost::MeshSnapshot& m, const std::string& name)
{
    for (const khost::ColorSetSnapshot& c : m.colorSets)
        if (c.name == name)
            return &c;
    return nullptr;
}

// The RGB of every vertex of a colour set, alpha checked to be 1.
std::vector<std::vector<float>> Rgb(const khost::ColorSetSnapshot& c)
{
    std::vector<std::vector<float>> out;
    for (size_t i = 0; i + 3 < c.colors.size(); i += 4)
    {
        EXPECT_EQ(c.colors[i + 3], 1.0f);
        out.push_back({c.colors[i], c.colors[i + 1], c.colors[i + 2]});
    }
    return out;
}

using Rows = std::vector<std::vector<float>>;

} // namespace

TEST_F(PluginTest, MotionColorSetCarriesTheProcessedMotionPerVertex)
{
    Write("M.0001.drs2", kMovingTriangleDrs2);
    CreateNetwork("M.####", "1");
    Set("m_flLoadMotions", "on");
    Set("m_flLoadColors", "on");

    // Default: no name, no colour set besides the cache's colours.
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_EQ(r.mesh.colorSets.size(), 1u);
    EXPECT_TRUE(r.mesh.colorSets[0].current);
    EXPECT_TRUE(r.mesh.hasColors);

    // Named: one colour per vertex, the motion after the scale.
    Set("m_msMotionColorSet", "velocityPV");
    Set("m_dtScaleMotions", "0.5");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_EQ(r.mesh.colorSets.size(), 2u);
    const khost::ColorSetSnapshot* v = ColorSetNamed(r.mesh, "velocityPV");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Rgb(*v), (Rows{{2, 0, 0}, {0, 2, 0}, {0, 0, 2}}));
    // The cache's colours stay current, so the viewport shows them.
    EXPECT_FALSE(v->current);
    EXPECT_EQ(r.mesh.colorSet, "colorSet1");
    EXPECT_EQ(r.mesh.colors, (std::vector<float>{1, 0, 0, 1, 0, 1, 0, 0.5f, 0, 0, 1, 0.25f}));

    // One iteration of the motion blur: each vertex of the triangle takes
    // the mean of the other two.
    Set("m_dtScaleMotions", "1");
    Set("m_dtBlurMotions", "1");
    r = Eval();
    ASSERT_NE(ColorSetNamed(r.mesh, "velocityPV"), nullptr);
    EXPECT_EQ(Rgb(*ColorSetNamed(r.mesh, "velocityPV")), (Rows{{0, 2, 2}, {2, 0, 2}, {2, 2, 0}}));
    EXPECT_TRUE(Take().errors.empty());
}

TEST_F(PluginTest, MotionColorSetPerSecondUsesTheSceneFrameRate)
{
    Write("M.0001.drs2", kMovingTriangleDrs2);
    CreateNetwork("M.####", "1");
    Set("m_flLoadMotions", "on");
    Set("m_msMotionColorSet", "vel");
    Set("m_msMotionUnit", "Per Second");

    EXPECT_DOUBLE_EQ(khost::FramesPerSecond(), 24.0);
    khost::EvalResult r = Eval();
    ASSERT_NE(ColorSetNamed(r.mesh, "vel"), nullptr);
    EXPECT_EQ(Rgb(*ColorSetNamed(r.mesh, "vel")), (Rows{{96, 0, 0}, {0, 96, 0}, {0, 0, 96}}));

    ASSERT_TRUE(khost::SetFramesPerSecond(25));
    Set("m_dtScaleMotions", "0.5"); // dirties the output
    r = Eval();
    ASSERT_NE(ColorSetNamed(r.mesh, "vel"), nullptr);
    EXPECT_EQ(Rgb(*ColorSetNamed(r.mesh, "vel")), (Rows{{50, 0, 0}, {0, 50, 0}, {0, 0, 50}}));
    EXPECT_FALSE(khost::SetFramesPerSecond(29));
    EXPECT_DOUBLE_EQ(khost::FramesPerSecond(), 25.0);
    ASSERT_TRUE(khost::SetFramesPerSecond(24));

    // Without the cache's colours the motion set is the mesh's only one.
    EXPECT_FALSE(r.mesh.hasColors);
    EXPECT_EQ(r.mesh.colorSets.size(), 1u);
}

TEST_F(PluginTest, MotionColorSetNeedsMotionsAndIsNotSetForOnlyVertices)
{
    Write("M.0001.drs2", kMovingTriangleDrs2);
    CreateNetwork("M.####", "1");
    Set("m_msMotionColorSet", "velocityPV");
    khost::EvalResult r = Eval(); // motions not loaded
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_TRUE(r.mesh.colorSets.empty());

    Set("m_flLoadMotions", "on");
    Set("m_flLoadColors", "on");
    Set("m_msSetOnlyVertices", "on");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 3);
    EXPECT_TRUE(r.mesh.colorSets.empty());
    EXPECT_TRUE(Take().errors.empty());
}

TEST_F(PluginTest, MotionColorSetFollowsOperationsThatChangeTheVertices)
{
    // Disconnected, each corner is a vertex of its own and carries the motion
    // of the vertex it came from; thickness doubles the vertices, the copies
    // moving as their originals.
    Write("M.0001.drs2", kMovingTriangleDrs2);
    CreateNetwork("M.####", "1");
    Set("m_flLoadMotions", "on");
    Set("m_msMotionColorSet", "velocityPV");
    Set("m_dtPostDisconnectPolys", "on");
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_NE(ColorSetNamed(r.mesh, "velocityPV"), nullptr);
    EXPECT_EQ(Rgb(*ColorSetNamed(r.mesh, "velocityPV")), (Rows{{4, 0, 0}, {0, 4, 0}, {0, 0, 4}}));

    Set("m_dtPostDisconnectPolys", "off");
    Set("m_fxThickness", "0.2");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_EQ(r.mesh.numVertices, 6);
    ASSERT_NE(ColorSetNamed(r.mesh, "velocityPV"), nullptr);
    const Rows motion = Rgb(*ColorSetNamed(r.mesh, "velocityPV"));
    ASSERT_EQ(motion.size(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(motion[i], motion[i % 3]) << "vertex " << i;
    EXPECT_EQ(motion[0], (std::vector<float>{4, 0, 0}));
}

TEST_F(PluginTest, CornerNormalsKeepHardEdges)
{
    // Vertices 0 and 2 are shared by a triangle facing +x and one facing +y.
    Write("T.0001.obj", kTwoTrianglesObj);
    CreateNetwork("T.####", "2");
    Set("m_flLoadNormals", "on");
    khost::EvalResult r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_TRUE(r.mesh.hasNormals);
    EXPECT_FALSE(r.mesh.hasFaceVertexNormals);
    // Vertex 0: the mean of +x and +y.
    EXPECT_EQ(std::vector<float>(r.mesh.normals.begin(), r.mesh.normals.begin() + 3),
              (std::vector<float>{0.5f, 0.5f, 0}));

    Set("m_msNormalsPerCorner", "on");
    r = Eval();
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_FALSE(r.mesh.hasNormals);
    ASSERT_TRUE(r.mesh.hasFaceVertexNormals);
    EXPECT_EQ(r.mesh.faceVertexNormals,
              (std::vector<float>{1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0}));
    EXPECT_EQ(r.mesh.faceVertexNormalSet, (std::vector<unsigned char>(6, 1)));

    // Without node normals there is nothing to keep; only vertices: none.
    Set("m_flLoadNormals", "off");
    r = Eval();
    EXPECT_FALSE(r.mesh.hasNormals);
    EXPECT_FALSE(r.mesh.hasFaceVertexNormals);
    Set("m_flLoadNormals", "on");
    Set("m_msSetOnlyVertices", "on");
    r = Eval();
    EXPECT_FALSE(r.mesh.hasFaceVertexNormals);
    EXPECT_TRUE(Take().errors.empty());
}

TEST_F(PluginTest, MotionColorSetFollowsTheTimeline)
{
    // Frames 1 and 3 of a range 1..3 exist, 2 is missing.
    Write("M.0001.drs2", kMovingTriangleDrs2);
    Write("M.0003.drs2", kMovingTriangleDrs2);
    CreateNetwork("M.####", "1");
    Set("m_flLoadMotions", "on");
    Set("m_msMotionColorSet", "velocityPV");
    Set("m_flRangeActive", "on");
    Set("m_flRangeStart", "1");
    Set("m_flRangeEnd", "3");
    const Rows forward{{4, 0, 0}, {0, 4, 0}, {0, 0, 4}};
    const Rows reversed{{-4, 0, 0}, {0, -4, 0}, {0, 0, -4}};
    const Rows still{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    auto motionAt = [&](const char* frame) {
        Set("m_flIdxValue", frame);
        const khost::EvalResult r = Eval();
        EXPECT_EQ(r.status, khost::kSuccess) << frame;
        const khost::ColorSetSnapshot* c = ColorSetNamed(r.mesh, "velocityPV");
        return c ? Rgb(*c) : Rows();
    };

    EXPECT_EQ(motionAt("1"), forward);
    EXPECT_EQ(motionAt("7"), still); // Hold: the end frame, held

    Set("m_flAfterRange", "Ping-Pong");
    EXPECT_EQ(motionAt("3"), still);    // it turns here
    EXPECT_EQ(motionAt("5"), still);    // and at the start again
    Set("m_flAfterRange", "Loop");
    EXPECT_EQ(motionAt("4"), forward);  // frame 1 again, forwards

    // Ping-Pong running backwards: in a range 1..4, frame 5 shows frame 3.
    Write("M.0002.drs2", kMovingTriangleDrs2);
    Write("M.0004.drs2", kMovingTriangleDrs2);
    Set("m_flRangeEnd", "4");
    Set("m_flAfterRange", "Ping-Pong");
    EXPECT_EQ(motionAt("5"), reversed); // shows frame 3 on the way back
    Remove("M.0002.drs2"); // the read-ahead's next frame
    Remove("M.0004.drs2");
    Set("m_flRangeEnd", "3");
    Set("m_flAfterRange", "Hold");

    // Missing frame 2: Hold Previous shows frame 1 still; Nearest (a tie:
    // the earlier frame) shows frame 1 with its own motion.
    Set("m_flMissingFrames", "Hold Previous");
    EXPECT_EQ(motionAt("2"), still);
    Set("m_flMissingFrames", "Nearest");
    EXPECT_EQ(motionAt("2"), forward);
    EXPECT_TRUE(Take().errors.empty());
}

TEST_F(PluginTest, CreateFromAFileSetsUpMotionBlur)
{
    // Forward slashes: a backslash in a command's string is an escape.
    const std::string moving = fs::path(Write("M.0001.drs2", kMovingTriangleDrs2)).generic_string();
    const std::string still = fs::path(Write("T.0001.obj", kTwoTrianglesObj)).generic_string();
    std::string text;

    // Without Arnold: the colour set is named, nothing else changes.
    ASSERT_EQ(khost::Execute("KorvaneCreate -f \"" + moving + "\"").status, khost::kSuccess);
    ASSERT_TRUE(khost::GetAttrText("KorvaneNode1", "m_msMotionColorSet", &text));
    EXPECT_EQ(text, "velocityPV");
    EXPECT_TRUE(Take().infos.empty());
    khost::EvalResult r = khost::Evaluate("KorvaneShape1", "inMesh");
    ASSERT_EQ(r.status, khost::kSuccess) << r.error;
    EXPECT_NE(ColorSetNamed(r.mesh, "velocityPV"), nullptr);

    // A file without motion vectors: no colour set.
    ASSERT_EQ(khost::Execute("KorvaneCreate -f \"" + still + "\"").status, khost::kSuccess);
    ASSERT_TRUE(khost::GetAttrText("KorvaneNode2", "m_msMotionColorSet", &text));
    EXPECT_EQ(text, "");

    // With Arnold's mesh attributes, they point at the set, per frame.
    khost::NewScene();
    ASSERT_TRUE(khost::AddExtensionAttribute("mesh", "aiMotionVectorSource", khost::AttrKind::kString));
    ASSERT_TRUE(khost::AddExtensionAttribute("mesh", "aiMotionVectorUnit", khost::AttrKind::kEnum,
                                             {{"Per Frame", 0}, {"Per Second", 1}}));
    const khost::CommandResult c = khost::Execute("KorvaneCreate -f \"" + moving + "\"");
    EXPECT_EQ(c.status, khost::kSuccess) << c.error;
    const Lines lines = Take();
    EXPECT_EQ(lines.infos, (std::vector<std::string>{"[KorvaneCreate] Arnold motion blur: KorvaneShape1 reads its "
                                                     "velocities from the color set \"velocityPV\", per frame."}));
    EXPECT_TRUE(lines.errors.empty());
    ASSERT_TRUE(khost::GetAttrText("KorvaneShape1", "aiMotionVectorSource", &text));
    EXPECT_EQ(text, "velocityPV");
    ASSERT_TRUE(khost::GetAttrText("KorvaneShape1", "aiMotionVectorUnit", &text));
    EXPECT_EQ(text, "0");
    khost::NewScene();
    EXPECT_TRUE(khost::RemoveExtensionAttributes("mesh"));
}

TEST_F(PluginTest, PlayingBothWaysReadsEachFrameAsItIs)
{
    // Frames 1 to 3 with 3, 4 and 5 vertices; the read-ahead of the
    // neighbour (frames 0 and 4 do not exist) is silent and changes nothing.
    Write("P.0001.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    Write("P.0002.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    Write("P.0003.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 0\nf 1 2 3 4\nf 3 4 5\n");
    CreateNetwork("P.####", "Wavefront   (.obj)");
    const int frames[] = {1, 2, 3, 3, 2, 1, 1, 2, 3};
    for (const int f : frames)
    {
        SCOPED_TRACE(f);
        Set("m_flIdxValue", std::to_string(f));
        const khost::EvalResult r = Eval();
        EXPECT_EQ(r.status, khost::kSuccess);
        EXPECT_EQ(r.mesh.numVertices, f + 2);
    }
    EXPECT_TRUE(Take().errors.empty());
}
