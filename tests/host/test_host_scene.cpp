// The stand-in host driven through the headless API with a small test
// plug-in: loading, registration, naming, attributes, dirty propagation,
// compute on request, commands, messages and mesh output.
#include <korvane/HeadlessHost.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{

bool HasType(const std::string& name, unsigned int* id = nullptr, std::string* plugin = nullptr)
{
    for (const khost::NodeTypeInfo& t : khost::ListNodeTypes())
        if (t.name == name)
        {
            if (id)
                *id = t.typeId;
            if (plugin)
                *plugin = t.plugin;
            return true;
        }
    return false;
}

bool HasCommand(const std::string& name)
{
    for (const khost::CommandInfo& c : khost::ListCommands())
        if (c.name == name)
            return true;
    return false;
}

std::vector<std::string> Texts(const std::vector<khost::Message>& msgs)
{
    std::vector<std::string> out;
    for (const khost::Message& m : msgs)
        out.push_back(m.text);
    return out;
}

// The value of node.attr as text after asking for it (computed when dirty).
std::string Pulled(const std::string& node, const std::string& attr)
{
    khost::Evaluate(node, attr);
    std::string v;
    khost::GetAttrText(node, attr, &v);
    return v;
}

std::string One(const std::string& line)
{
    khost::CommandResult r = khost::Execute(line);
    EXPECT_EQ(r.status, khost::kSuccess) << line << ": " << r.error;
    return r.result.empty() ? std::string() : r.result[0];
}

// Every test starts from an empty scene with the test plug-in loaded.
class HostScene : public ::testing::Test
{
protected:
    void SetUp() override
    {
        khost::NewScene();
        khost::PluginLoadResult r = khost::LoadPlugin(KHOST_TEST_PLUGIN);
        ASSERT_TRUE(r.loaded) << r.error;
        ASSERT_EQ(r.status, khost::kSuccess);
        loadMessages = khost::TakeMessages();
    }
    void TearDown() override
    {
        khost::UnloadPlugin("KhTestPlugin", true);
        khost::NewScene();
        khost::TakeMessages();
    }
    std::vector<khost::Message> loadMessages;
};

TEST_F(HostScene, LoadRegistersAndUnloadRemoves)
{
    ASSERT_EQ(loadMessages.size(), 1u);
    EXPECT_EQ(loadMessages[0].kind, khost::MessageKind::kInfo);
    EXPECT_EQ(loadMessages[0].text, "loading test plugin");

    unsigned int id = 0;
    std::string owner;
    ASSERT_TRUE(HasType("khTestNode", &id, &owner));
    EXPECT_EQ(id, 0x7F001u);
    EXPECT_EQ(owner, "KhTestPlugin");
    EXPECT_TRUE(HasType("transform") && HasType("mesh") && HasType("shadingEngine"));
    EXPECT_TRUE(HasCommand("khTestCmd"));
    EXPECT_EQ(khost::ListPlugins(), std::vector<std::string>{"KhTestPlugin"});

    // The same plug-in twice is refused; the first stays.
    khost::PluginLoadResult again = khost::LoadPlugin(KHOST_TEST_PLUGIN);
    EXPECT_FALSE(again.loaded);
    EXPECT_FALSE(again.error.empty());

    khost::PluginUnloadResult u = khost::UnloadPlugin("KhTestPlugin");
    ASSERT_TRUE(u.unloaded) << u.error;
    EXPECT_EQ(u.status, khost::kSuccess);
    EXPECT_TRUE(u.leftoverNodeTypes.empty());
    EXPECT_EQ(u.leftoverCommands, std::vector<std::string>{"khLeftover"});
    EXPECT_FALSE(HasType("khTestNode"));
    EXPECT_FALSE(HasCommand("khTestCmd"));
    EXPECT_FALSE(HasCommand("khLeftover"));
    EXPECT_TRUE(khost::ListPlugins().empty());
    EXPECT_NE(khost::Execute("createNode khTestNode").status, khost::kSuccess);

    // Loaded again by path, it registers again and reports the version text.
    khost::PluginLoadResult r = khost::LoadPlugin(KHOST_TEST_PLUGIN);
    ASSERT_TRUE(r.loaded) << r.error;
    EXPECT_EQ(r.apiVersion, "201600");
    EXPECT_TRUE(HasType("khTestNode"));
}

TEST_F(HostScene, LoadFailuresAreReported)
{
    khost::PluginLoadResult missing = khost::LoadPlugin("/nonexistent/NoSuchPlugin.so");
    EXPECT_FALSE(missing.loaded);
    EXPECT_NE(missing.error.find("cannot open"), std::string::npos) << missing.error;

    // A library without the entry points.
    khost::PluginLoadResult notPlugin = khost::LoadPlugin(KHOST_LIBRARY);
    EXPECT_FALSE(notPlugin.loaded);
    EXPECT_NE(notPlugin.error.find("initializePlugin"), std::string::npos) << notPlugin.error;

    khost::PluginUnloadResult u = khost::UnloadPlugin("NoSuchPlugin");
    EXPECT_FALSE(u.unloaded);
}

TEST_F(HostScene, UnloadIsRefusedWhileNodesExist)
{
    One("createNode khTestNode -n busy");
    khost::PluginUnloadResult u = khost::UnloadPlugin("KhTestPlugin");
    EXPECT_FALSE(u.unloaded);
    EXPECT_TRUE(khost::NodeExists("busy"));
    u = khost::UnloadPlugin(KHOST_TEST_PLUGIN, true);
    EXPECT_TRUE(u.unloaded) << u.error;
    EXPECT_FALSE(khost::NodeExists("busy"));
}

TEST_F(HostScene, NodeNamesAreUnique)
{
    EXPECT_EQ(One("createNode transform -n Korvane1"), "Korvane1");
    EXPECT_EQ(One("createNode transform -n Korvane1"), "Korvane2");
    EXPECT_EQ(One("createNode transform -n Korvane1"), "Korvane3");
    EXPECT_EQ(One("createNode transform -n Korvane2"), "Korvane4");
    EXPECT_EQ(One("createNode transform"), "transform1");
    EXPECT_EQ(One("createNode transform"), "transform2");
    EXPECT_EQ(One("createNode khTestNode"), "khTestNode1");
    EXPECT_EQ(One("createNode transform -n pCube"), "pCube");
    EXPECT_EQ(One("createNode transform -name pCube"), "pCube1");
    EXPECT_EQ(One("createNode transform -n Korvane9"), "Korvane9");
    EXPECT_EQ(One("createNode transform -n Korvane9"), "Korvane10");
    // Characters a name cannot hold become '_'.
    EXPECT_EQ(One("createNode transform -n \"a b\""), "a_b");

    // Randomized: whatever is requested, no two nodes share a name.
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i)
    {
        std::string name = "n" + std::to_string(rng() % 5);
        if (rng() % 2)
            name += std::to_string(rng() % 4);
        One("createNode transform -n " + name);
    }
    std::vector<std::string> names;
    for (const khost::NodeInfo& n : khost::ListNodes())
        names.push_back(n.name);
    std::sort(names.begin(), names.end());
    EXPECT_TRUE(std::adjacent_find(names.begin(), names.end()) == names.end());
}

// The network a node-building command makes: transform, shape under it in
// the default shading group, node driving the shape's inMesh, selection.
TEST_F(HostScene, NetworkCommandsBuildTheScene)
{
    EXPECT_EQ(One("createNode transform -n Net1"), "Net1");
    EXPECT_EQ(One("createNode mesh -n NetShape1 -p Net1"), "NetShape1");
    EXPECT_EQ(khost::Execute("sets -add initialShadingGroup NetShape1").status, khost::kSuccess);
    EXPECT_EQ(khost::Execute("sets -e -fe initialShadingGroup NetShape1").status, khost::kSuccess);
    EXPECT_EQ(One("createNode khTestNode -n NetNode1"), "NetNode1");
    EXPECT_EQ(khost::Execute("connectAttr NetNode1.outMesh NetShape1.inMesh").status, khost::kSuccess);
    EXPECT_EQ(khost::Execute("select Net1").status, khost::kSuccess);

    std::string type;
    ASSERT_TRUE(khost::NodeExists("NetShape1", &type));
    EXPECT_EQ(type, "mesh");
    for (const khost::NodeInfo& n : khost::ListNodes())
    {
        if (n.name == "NetShape1")
        {
            EXPECT_EQ(n.parent, "Net1");
        }
    }
    EXPECT_EQ(khost::SetMembers("initialShadingGroup"), std::vector<std::string>{"NetShape1"});
    EXPECT_EQ(khost::Selection(), std::vector<std::string>{"Net1"});
    std::vector<khost::Connection> cs = khost::ListConnections();
    ASSERT_EQ(cs.size(), 1u);
    EXPECT_EQ(cs[0].source, "NetNode1.outMesh");
    EXPECT_EQ(cs[0].destination, "NetShape1.inMesh");

    // Bad commands fail with a message and change nothing.
    khost::TakeMessages();
    EXPECT_NE(khost::Execute("createNode noSuchType").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("createNode mesh -p NetNode1").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("connectAttr NetNode1.outMesh NetShape1.inMesh").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("connectAttr NetNode1.size NetShape1.inMesh").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("sets -add noSet NetShape1").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("select nobody").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("noSuchCommand 1 2").status, khost::kSuccess);
    std::vector<khost::Message> errors = khost::TakeMessages();
    EXPECT_EQ(errors.size(), 7u);
    for (const khost::Message& m : errors)
        EXPECT_EQ(m.kind, khost::MessageKind::kError) << m.text;
    EXPECT_EQ(khost::ListConnections().size(), 1u);
    EXPECT_EQ(khost::Selection(), std::vector<std::string>{"Net1"});

    // The shape pulls the node's output through the connection.
    khost::EvalResult e = khost::Evaluate("NetShape1", "inMesh");
    EXPECT_EQ(e.status, khost::kSuccess);
    EXPECT_TRUE(e.computed);
    ASSERT_TRUE(e.hasMesh);
    EXPECT_EQ(e.mesh.numVertices, 4);
    EXPECT_EQ(e.mesh.numPolygons, 1);
    EXPECT_EQ(e.mesh.points.size(), 12u);
    // The sizes alone, with no array copied (the output is clean now).
    khost::EvalResult sizes = khost::EvaluateSizes("NetShape1", "inMesh");
    EXPECT_EQ(sizes.status, khost::kSuccess);
    ASSERT_TRUE(sizes.hasMesh);
    EXPECT_EQ(sizes.mesh.numVertices, 4);
    EXPECT_EQ(sizes.mesh.numPolygons, 1);
    EXPECT_TRUE(sizes.mesh.points.empty());
    EXPECT_TRUE(sizes.mesh.connects.empty());

    // Deleting the transform deletes the shape and the connection; the shape
    // listed after its parent, and a name given twice, are already gone then.
    EXPECT_EQ(khost::Execute("delete Net1 NetShape1 Net1").status, khost::kSuccess);
    EXPECT_FALSE(khost::NodeExists("Net1"));
    EXPECT_FALSE(khost::NodeExists("NetShape1"));
    EXPECT_TRUE(khost::ListConnections().empty());
    EXPECT_TRUE(khost::SetMembers("initialShadingGroup").empty());
}

// What the plug-in declared, as the registry reports it (the plug-in tests
// read the Korvane node's 31 inputs the same way): here the parts those
// inputs do not have.
TEST_F(HostScene, AttributeMetadata)
{
    std::vector<khost::AttributeInfo> attrs;
    ASSERT_TRUE(khost::TypeAttributes("khTestNode", &attrs));
    std::vector<std::string> names;
    for (const khost::AttributeInfo& a : attrs)
        names.push_back(a.longName);
    EXPECT_EQ(names, (std::vector<std::string>{"size", "mode", "label", "active", "count", "outMesh", "outValue"}));

    const khost::AttributeInfo& size = attrs[0];
    EXPECT_EQ(size.shortName, "sz");
    EXPECT_EQ(size.niceName, "Size");
    EXPECT_TRUE(size.keyable && size.storable && size.hasSoftMin && size.hasSoftMax);
    EXPECT_EQ(size.affects, (std::vector<std::string>{"outMesh", "outValue"}));
    EXPECT_EQ(attrs[1].niceName, "Shape Mode");
    ASSERT_EQ(attrs[1].fields.size(), 2u);
    EXPECT_EQ(attrs[1].fields[1].label, "Triangle");
    EXPECT_EQ(attrs[1].fields[1].value, 1);
    EXPECT_TRUE(attrs[2].niceName.empty()) << "none given";
    EXPECT_EQ(attrs[4].kind, khost::AttrKind::kInt);
    EXPECT_FALSE(attrs[5].storable);
    EXPECT_TRUE(attrs[5].affects.empty());
    EXPECT_FALSE(attrs[6].writable);

    // A new node holds the defaults; attributes answer to either name.
    One("createNode khTestNode -n meta");
    std::string v;
    for (const auto& [attr, text] : std::vector<std::pair<const char*, const char*>>{
             {"label", "hello"}, {"sz", "1"}, {"count", "3"}})
    {
        ASSERT_TRUE(khost::GetAttrText("meta", attr, &v)) << attr;
        EXPECT_EQ(v, text) << attr;
    }
    khost::AttributeInfo one;
    EXPECT_TRUE(khost::GetAttributeInfo("meta", "md", &one));
    EXPECT_EQ(one.longName, "mode");
    EXPECT_FALSE(khost::GetAttributeInfo("meta", "nope", &one));
    EXPECT_FALSE(khost::TypeAttributes("noSuchType", &attrs));
}

TEST_F(HostScene, EnumTakesAnySixteenBitValue)
{
    One("createNode khTestNode -n e");
    std::string v, err;
    EXPECT_EQ(khost::SetAttr("e", "mode", "Triangle"), khost::kSuccess);
    ASSERT_TRUE(khost::GetAttrText("e", "mode", &v));
    EXPECT_EQ(v, "1");
    for (const char* value : {"1234", "-32768", "32767", "-1"})
    {
        EXPECT_EQ(khost::SetAttr("e", "mode", value, &err), khost::kSuccess) << value << ": " << err;
        ASSERT_TRUE(khost::GetAttrText("e", "mode", &v));
        EXPECT_EQ(v, value);
    }
    EXPECT_EQ(khost::SetAttr("e", "mode", "32768", &err), khost::kInvalidParameter);
    EXPECT_EQ(khost::SetAttr("e", "mode", "Hexagon", &err), khost::kInvalidParameter);
    EXPECT_FALSE(err.empty());

    // The node reads the value without a field as it is.
    EXPECT_EQ(khost::SetAttr("e", "mode", "1234"), khost::kSuccess);
    khost::TakeMessages();
    khost::EvalResult r = khost::Evaluate("e", "outMesh");
    EXPECT_EQ(r.status, khost::kFailure);
    std::vector<std::string> lines = Texts(khost::TakeMessages());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "compute hello mode 1234");
}

TEST_F(HostScene, SetAttrParsesByKind)
{
    One("createNode khTestNode -n s");
    std::string v, err;
    // Each text set on the attribute, the status, then the value read back
    // (nullptr: not read).
    const struct
    {
        const char* attr;
        const char* text;
        khost::StatusCode status;
        const char* back;
    } cases[] = {
        {"active", "0", khost::kSuccess, "0"},      {"active", "on", khost::kSuccess, "1"},
        {"active", "0", khost::kSuccess, "0"},      {"active", "TRUE", khost::kSuccess, "1"},
        {"active", "0", khost::kSuccess, "0"},      {"active", "yes", khost::kSuccess, "1"},
        {"active", "off", khost::kSuccess, "0"},    {"active", "1", khost::kSuccess, "1"},
        {"active", "maybe", khost::kInvalidParameter, "1"},
        {"count", "-17", khost::kSuccess, "-17"},   {"count", "2.5", khost::kInvalidParameter, "-17"},
        {"count", "4294967296", khost::kInvalidParameter, "-17"},
        {"size", "3.25", khost::kSuccess, "3.25"},  {"size", "-0.5e1", khost::kSuccess, "-5"},
        {"size", "abc", khost::kInvalidParameter, "-5"},
        {"label", "C:/Temp/Cache/ with blanks", khost::kSuccess, "C:/Temp/Cache/ with blanks"},
        {"label", "", khost::kSuccess, ""},
        {"outMesh", "1", khost::kInvalidParameter, nullptr},
        {"outValue", "1", khost::kInvalidParameter, nullptr},
        {"nope", "1", khost::kInvalidParameter, nullptr},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.attr) + " = " + c.text);
        EXPECT_EQ(khost::SetAttr("s", c.attr, c.text, &err), c.status);
        if (c.back)
        {
            ASSERT_TRUE(khost::GetAttrText("s", c.attr, &v));
            EXPECT_EQ(v, c.back);
        }
    }
    EXPECT_EQ(khost::SetAttrNumber("s", "size", 0.75), khost::kSuccess);
    EXPECT_EQ(khost::SetAttrString("s", "label", "x"), khost::kSuccess);
    EXPECT_EQ(khost::SetAttrString("s", "size", "x"), khost::kInvalidParameter);
    EXPECT_EQ(khost::SetAttr("nobody", "size", "1", &err), khost::kInvalidParameter);

    // The setAttr command takes the same texts.
    EXPECT_EQ(khost::Execute("setAttr s.size 2").status, khost::kSuccess);
    EXPECT_EQ(khost::Execute("setAttr s.label -type \"string\" \"a \\\"b\\\"\"").status, khost::kSuccess);
    khost::GetAttrText("s", "label", &v);
    EXPECT_EQ(v, "a \"b\"");
    EXPECT_EQ(Pulled("s", "size"), "2");

    // A destination of a connection cannot be set.
    One("createNode khTestNode -n src");
    EXPECT_EQ(khost::Execute("connectAttr src.outValue s.size").status, khost::kSuccess);
    EXPECT_EQ(khost::SetAttr("s", "size", "1", &err), khost::kInvalidParameter);
    EXPECT_NE(err.find("connected"), std::string::npos) << err;
}

TEST_F(HostScene, DirtyPropagatesThroughAffectsAndConnections)
{
    One("createNode khTestNode -n a");
    One("createNode khTestNode -n b");
    // Outputs start dirty, inputs are never dirty.
    EXPECT_TRUE(khost::IsDirty("a", "outMesh"));
    EXPECT_TRUE(khost::IsDirty("a", "outValue"));
    EXPECT_FALSE(khost::IsDirty("a", "size"));

    khost::EvalResult r = khost::Evaluate("a", "outValue");
    EXPECT_TRUE(r.computed);
    EXPECT_FALSE(khost::IsDirty("a", "outValue"));
    EXPECT_TRUE(khost::IsDirty("a", "outMesh"));

    // label affects outMesh only.
    EXPECT_EQ(khost::SetAttr("a", "label", "x"), khost::kSuccess);
    EXPECT_FALSE(khost::IsDirty("a", "outValue"));
    EXPECT_EQ(khost::SetAttr("a", "size", "4"), khost::kSuccess);
    EXPECT_TRUE(khost::IsDirty("a", "outValue"));

    // a.outValue drives b.size.
    EXPECT_EQ(khost::Execute("connectAttr a.outValue b.size").status, khost::kSuccess);
    EXPECT_TRUE(khost::IsDirty("b", "size"));
    std::string v;
    EXPECT_EQ(khost::Evaluate("b", "outValue").status, khost::kSuccess);
    khost::GetAttrText("b", "outValue", &v);
    EXPECT_EQ(v, "16");
    EXPECT_FALSE(khost::IsDirty("a", "outValue"));
    EXPECT_FALSE(khost::IsDirty("b", "size"));
    EXPECT_FALSE(khost::IsDirty("b", "outValue"));

    EXPECT_EQ(khost::SetAttr("a", "size", "0.5"), khost::kSuccess);
    EXPECT_TRUE(khost::IsDirty("a", "outValue"));
    EXPECT_TRUE(khost::IsDirty("b", "size"));
    EXPECT_TRUE(khost::IsDirty("b", "outValue"));
    EXPECT_TRUE(khost::IsDirty("b", "outMesh"));
    EXPECT_EQ(Pulled("b", "outValue"), "2");

    // Disconnected, b keeps its last size and no longer follows a.
    EXPECT_EQ(khost::Execute("disconnectAttr a.outValue b.size").status, khost::kSuccess);
    EXPECT_EQ(Pulled("b", "outValue"), "2");
    EXPECT_EQ(khost::SetAttr("a", "size", "9"), khost::kSuccess);
    EXPECT_FALSE(khost::IsDirty("b", "outValue"));
    EXPECT_EQ(Pulled("b", "size"), "1");
}

// Randomized: a chain of nodes, each doubling its predecessor's size.
TEST_F(HostScene, RandomChainsEvaluateToTheProduct)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 5; ++round)
    {
        khost::NewScene();
        int n = 1 + (int)(rng() % 8);
        for (int i = 0; i < n; ++i)
            One("createNode khTestNode -n c" + std::to_string(i));
        for (int i = 1; i < n; ++i)
            One("connectAttr c" + std::to_string(i - 1) + ".outValue c" + std::to_string(i) + ".size");
        for (int k = 0; k < 3; ++k)
        {
            int start = (int)(rng() % 9);
            ASSERT_EQ(khost::SetAttrNumber("c0", "size", start), khost::kSuccess);
            std::string v;
            khost::Evaluate("c" + std::to_string(n - 1), "outValue");
            khost::GetAttrText("c" + std::to_string(n - 1), "outValue", &v);
            EXPECT_EQ(v, std::to_string(start << n)) << "chain " << n;
        }
    }
}

TEST_F(HostScene, ComputeRunsOnlyOnRequestOfADirtyOutput)
{
    One("createNode khTestNode -n c");
    khost::TakeMessages();
    EXPECT_FALSE(khost::IsDirty("c", "size"));
    khost::EvalResult first = khost::Evaluate("c", "outMesh");
    EXPECT_TRUE(first.computed);
    EXPECT_EQ(first.status, khost::kSuccess);
    khost::EvalResult second = khost::Evaluate("c", "outMesh");
    EXPECT_FALSE(second.computed);
    EXPECT_EQ(second.status, khost::kSuccess);
    ASSERT_TRUE(second.hasMesh);
    EXPECT_EQ(second.mesh.numVertices, 4);
    EXPECT_EQ(khost::TakeMessages().size(), 1u);

    // A failing compute reports its status; the node's empty mesh is kept.
    EXPECT_EQ(khost::SetAttr("c", "active", "off"), khost::kSuccess);
    khost::EvalResult off = khost::Evaluate("c", "outMesh");
    EXPECT_TRUE(off.computed);
    EXPECT_EQ(off.status, khost::kFailure);
    ASSERT_TRUE(off.hasMesh);
    EXPECT_EQ(off.mesh.numVertices, 0);
    EXPECT_EQ(off.mesh.numPolygons, 0);
    EXPECT_FALSE(off.mesh.hasNormals || off.mesh.hasColors || off.mesh.hasUVs);

    khost::EvalResult bad = khost::Evaluate("c", "noSuchAttr");
    EXPECT_NE(bad.status, khost::kSuccess);
    EXPECT_FALSE(bad.error.empty());
    khost::EvalResult notMesh = khost::Evaluate("c", "outValue");
    EXPECT_FALSE(notMesh.hasMesh);
    EXPECT_FALSE(notMesh.error.empty());
}

TEST_F(HostScene, CommandResults)
{
    khost::TakeMessages();
    khost::CommandResult fail = khost::Execute("khTestCmd fail");
    EXPECT_EQ(fail.status, khost::kFailure);
    EXPECT_EQ(Texts(khost::TakeMessages()), std::vector<std::string>{"khTestCmd failed on purpose"});

    // A command that runs another one gets that one's result.
    EXPECT_EQ(khost::Execute("khTestCmd nested inner1").status, khost::kSuccess);
    EXPECT_EQ(khost::Execute("khTestCmd nested inner1").status, khost::kSuccess);
    EXPECT_EQ(Texts(khost::TakeMessages()), (std::vector<std::string>{"inner1", "inner2"}));

    khost::SetNumThreads(3);
    khost::Execute("khTestCmd threads");
    EXPECT_EQ(Texts(khost::TakeMessages()), std::vector<std::string>{"3"});
    khost::SetNumThreads(0);
    khost::Execute("khTestCmd threads");
    const std::vector<std::string> threads = Texts(khost::TakeMessages());
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_GE(std::stoi(threads[0]), 1);

    // Several statements: the last result counts, the first failure stops.
    khost::CommandResult two = khost::Execute("createNode transform -n t1; createNode transform -n t1");
    EXPECT_EQ(two.result, std::vector<std::string>{"t2"});
    khost::CommandResult stop = khost::Execute("khTestCmd fail; createNode transform -n never");
    EXPECT_NE(stop.status, khost::kSuccess);
    EXPECT_FALSE(khost::NodeExists("never"));
    EXPECT_NE(khost::Execute("createNode transform -n \"open").status, khost::kSuccess);
    khost::TakeMessages();
}

TEST_F(HostScene, MessagesKeepTheirOrder)
{
    khost::TakeMessages();
    One("createNode khTestNode -n m");
    khost::Execute("khTestCmd fail");
    khost::Evaluate("m", "outMesh");
    khost::Execute("select nobody");
    std::vector<khost::Message> msgs = khost::TakeMessages();
    ASSERT_EQ(msgs.size(), 3u);
    EXPECT_EQ(msgs[0].kind, khost::MessageKind::kError);
    EXPECT_EQ(msgs[0].text, "khTestCmd failed on purpose");
    EXPECT_EQ(msgs[1].kind, khost::MessageKind::kInfo);
    EXPECT_EQ(msgs[1].text, "compute hello mode 0");
    EXPECT_EQ(msgs[2].kind, khost::MessageKind::kError);
    EXPECT_TRUE(khost::TakeMessages().empty());

    // Echo writes each line as it is shown.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    khost::SetEcho(true);
    khost::Execute("khTestCmd fail");
    khost::SetAttr("m", "label", "echo");
    khost::Evaluate("m", "outMesh");
    khost::SetEcho(false);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "compute echo mode 0\n");
    EXPECT_EQ(err, "khTestCmd failed on purpose\n");
    EXPECT_EQ(khost::TakeMessages().size(), 2u);
}

TEST_F(HostScene, MeshDataRoundTrip)
{
    One("createNode khTestNode -n q");
    EXPECT_EQ(khost::SetAttr("q", "size", "2"), khost::kSuccess);
    khost::EvalResult r = khost::Evaluate("q", "outMesh");
    ASSERT_EQ(r.status, khost::kSuccess);
    ASSERT_TRUE(r.hasMesh);
    const khost::MeshSnapshot& m = r.mesh;
    EXPECT_EQ(m.numVertices, 4);
    EXPECT_EQ(m.points, (std::vector<float>{0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0}));
    EXPECT_EQ(m.counts, std::vector<int>{4});
    EXPECT_EQ(m.connects, (std::vector<int>{0, 1, 2, 3}));
    ASSERT_TRUE(m.hasNormals);
    EXPECT_EQ(m.normals, (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(m.normalSet, (std::vector<unsigned char>{1, 1, 1, 1}));
    ASSERT_TRUE(m.hasColors);
    EXPECT_EQ(m.colorSet, "colorSet1");
    EXPECT_EQ(m.colors, (std::vector<float>{0, 0.5f, 1, 0.75f, 0.25f, 0.5f, 1, 0.75f, 0.5f, 0.5f, 1, 0.75f, 0.75f,
                                            0.5f, 1, 0.75f}));
    ASSERT_TRUE(m.hasUVs);
    EXPECT_EQ(m.uvSet, "map1");
    EXPECT_EQ(m.u, (std::vector<float>{0, 2, 2, 0}));
    EXPECT_EQ(m.v, (std::vector<float>{0, 0, 2, 2}));
    EXPECT_EQ(m.uvCounts, std::vector<int>{4});
    EXPECT_EQ(m.uvIds, (std::vector<int>{0, 1, 2, 3}));

    EXPECT_EQ(khost::SetAttr("q", "mode", "Triangle"), khost::kSuccess);
    r = khost::Evaluate("q", "outMesh");
    ASSERT_EQ(r.status, khost::kSuccess);
    EXPECT_EQ(r.mesh.numVertices, 3);
    EXPECT_EQ(r.mesh.connects, (std::vector<int>{0, 1, 2}));
    std::string text;
    khost::GetAttrText("q", "outMesh", &text);
    EXPECT_EQ(text, "<mesh 3 1>");
}

} // namespace

TEST_F(HostScene, ExtensionAttributesAndAttributeQuery)
{
    EXPECT_TRUE(khost::AddExtensionAttribute("mesh", "aiMotionVectorSource", khost::AttrKind::kString));
    EXPECT_FALSE(khost::AddExtensionAttribute("mesh", "aiMotionVectorSource", khost::AttrKind::kString));
    EXPECT_FALSE(khost::AddExtensionAttribute("mesh", "aiX", khost::AttrKind::kFloat));
    EXPECT_FALSE(khost::AddExtensionAttribute("noSuchType", "aiX", khost::AttrKind::kString));
    ASSERT_EQ(khost::Execute("createNode mesh -n m1").status, khost::kSuccess);
    // A living mesh keeps its attributes as they are.
    EXPECT_FALSE(khost::AddExtensionAttribute("mesh", "aiMotionVectorUnit", khost::AttrKind::kEnum));
    EXPECT_FALSE(khost::RemoveExtensionAttributes("mesh"));

    EXPECT_EQ(One("attributeQuery -node m1 -exists aiMotionVectorSource"), "1");
    EXPECT_EQ(One("attributeQuery -n m1 -ex inMesh"), "1");
    EXPECT_EQ(One("attributeQuery -node m1 -exists aiMotionVectorUnit"), "0");
    ASSERT_EQ(khost::Execute("setAttr -type \"string\" m1.aiMotionVectorSource velocityPV").status, khost::kSuccess);
    EXPECT_EQ(Pulled("m1", "aiMotionVectorSource"), "velocityPV");
    EXPECT_NE(khost::Execute("attributeQuery -node nope -exists inMesh").status, khost::kSuccess);
    EXPECT_NE(khost::Execute("attributeQuery -node m1 inMesh").status, khost::kSuccess);
    khost::TakeMessages();

    khost::NewScene();
    EXPECT_TRUE(khost::RemoveExtensionAttributes("mesh"));
    ASSERT_EQ(khost::Execute("createNode mesh -n m1").status, khost::kSuccess);
    EXPECT_EQ(One("attributeQuery -node m1 -exists aiMotionVectorSource"), "0");
}
