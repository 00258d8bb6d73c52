// The stand-in host's value types and function sets used directly: what the
// declarations allow, MStatus, MString, MArgList, arrays, colours, and the
// checks MFnMesh makes on the data it is given.
#include <maya/MArgList.h>
#include <maya/MColor.h>
#include <maya/MColorArray.h>
#include <maya/MDataBlock.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnEnumAttribute.h>
#include <maya/MFnMesh.h>
#include <maya/MFnMeshData.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnStringData.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MPointArray.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MStringArray.h>
#include <maya/MVectorArray.h>

#include <korvane/HeadlessHost.h>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

// What the declarations must refuse, as the host's own headers do.
static_assert(!std::is_copy_constructible<MFnMesh>::value, "function sets are not copyable");
static_assert(!std::is_copy_assignable<MFnNumericAttribute>::value, "function sets are not assignable");
static_assert(!std::is_constructible<MStatus, int>::value, "no MStatus from int");
static_assert(std::is_convertible<MStatus::MStatusCode, MStatus>::value, "return MS::kFailure works");
static_assert(!std::is_constructible<MString, std::string>::value, "no MString from std::string");
static_assert(!std::is_default_constructible<MDataBlock>::value, "data blocks come from the host");
static_assert(std::is_convertible<const char*, MString>::value, "MString from text");
static_assert(MAYA_API_VERSION == 201600, "API version");
static_assert(MFnNumericData::kInt == MFnNumericData::kLong && MFnNumericData::kInt == 7, "kInt");
static_assert(MFnData::kString == 4 && MFnData::kMesh == 14, "data types");
static_assert(MFnMesh::kRGBA == 4 && MColor::kRGB == 0 && MSpace::kObject == 2, "enums");
static_assert(MStatus::kUnknownParameter == 5 && MStatus::kEndOfFile == 8, "status codes");
static_assert(MPxNode::kDependNode == 0 && MPxNode::kTransformNode == 11 && MPxNode::kLast == 26, "node types");

namespace
{

TEST(HostTypes, StatusComparesCodesAndPrintsItsError)
{
    MStatus ok;
    EXPECT_TRUE(ok);
    EXPECT_FALSE(ok.error());
    MStatus bad = MS::kInvalidParameter;
    EXPECT_FALSE(bad);
    EXPECT_TRUE(bad.error());
    EXPECT_TRUE(bad == MS::kInvalidParameter);
    EXPECT_TRUE(MS::kInvalidParameter == bad);
    EXPECT_TRUE(bad != ok);
    EXPECT_EQ(bad.statusCode(), MStatus::kInvalidParameter);
    bad.clear();
    EXPECT_TRUE(bad);

    testing::internal::CaptureStderr();
    MStatus(MS::kFailure).perror("registerNode");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("registerNode", 0), 0u) << err;
    EXPECT_NE(err.find("kFailure"), std::string::npos) << err;
    EXPECT_EQ(err.back(), '\n');
}

TEST(HostTypes, StringOperations)
{
    MString s("Korvane");
    s += 1;
    EXPECT_TRUE(s == MString("Korvane1") && s != "Korvane");
    EXPECT_STREQ((MString("v.") + 1.236 + ".").asChar(), "v.1.236.");
    EXPECT_STREQ(("[" + s + "]").asChar(), "[Korvane1]");
    EXPECT_STREQ(s.substring(7, 7).asChar(), "1");
    EXPECT_STREQ(s.substring(0, 100).asChar(), "Korvane1");
    EXPECT_STREQ(s.substring(5, 2).asChar(), "");
    EXPECT_EQ(s.index('a'), 4);
    EXPECT_EQ(s.rindex('z'), -1);
    MStringArray parts;
    MString("grp1;grp2;;grp3").split(';', parts);
    ASSERT_EQ(parts.length(), 3u);
    EXPECT_EQ(parts[2], "grp3");
    EXPECT_TRUE(MString("-12").isInt() && MString("2.5").isFloat() && !MString("12x").isInt());
    EXPECT_EQ(MString("-12").asInt(), -12);
    EXPECT_FLOAT_EQ(MString("2.5").asFloat(), 2.5f);
    MString w(L"wide\u00e9");
    EXPECT_EQ(w.length(), 6u);
    EXPECT_EQ(w.numChars(), 5u);
    MString t("a-b-a");
    EXPECT_TRUE(t.substitute("a", "xy"));
    MString copy = t;
    copy += "!";
    EXPECT_EQ(t, "xy-b-xy") << "copies do not share their text";
}

TEST(HostTypes, ArgListReadsWords)
{
    // Built through a plug-in-free path: words added one by one.
    MArgList args;
    args.addArg(MString("-n")).addArg(MString("myReaderMesh")).addArg(7).addArg(MString("on"));
    MStatus st;
    EXPECT_EQ(args.length(), 4u);
    EXPECT_EQ(args.asString(1, &st), "myReaderMesh");
    EXPECT_TRUE(st);
    EXPECT_EQ(args.asInt(2, &st), 7);
    EXPECT_TRUE(args.asBool(3, &st));
    EXPECT_TRUE(st);
    args.asString(4, &st);
    EXPECT_FALSE(st);
    args.asInt(1, &st);
    EXPECT_FALSE(st);
    EXPECT_EQ(args.flagIndex("n"), 0u);
    EXPECT_EQ(args.flagIndex("v", "verbose"), MArgList::kInvalidArgIndex);
}

TEST(HostTypes, ArraysKeepTheirShape)
{
    MIntArray a(3, 5);
    a.append(9);
    a.insert(1, 0);
    ASSERT_EQ(a.length(), 5u);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[4], 9);
    EXPECT_EQ(a.set(1, 99), MS::kInvalidParameter); // past the end
    EXPECT_EQ(a.remove(7), MS::kInvalidParameter);
    MIntArray b = a;
    b[0] = -1;
    EXPECT_EQ(a[0], 1) << "copies do not share their elements";
    EXPECT_TRUE(a.remove(0));
    EXPECT_EQ(a[0], 5);

    MFloatPointArray pts;
    EXPECT_TRUE(pts.setLength(2));
    EXPECT_EQ(pts[1], MFloatPoint::origin);
}

TEST(HostTypes, ColorConstructorsAndSet)
{
    EXPECT_EQ(MColor(), MColor(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(MColor(0.5f), MColor(0.0f, 0.0f, 0.0f, 0.5f)) << "one value: alpha";
    MColor bytes(MColor::kRGB, (unsigned char)255, (unsigned char)0, (unsigned char)51);
    EXPECT_FLOAT_EQ(bytes.r, 1.0f);
    EXPECT_FLOAT_EQ(bytes.b, 0.2f);
    EXPECT_FLOAT_EQ(bytes.a, 1.0f);
    MColor red(MColor::kHSV, 0.0f, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(red.r, 1.0f);
    EXPECT_FLOAT_EQ(red.g, 0.0f);
}

TEST(HostTypes, AttributeFunctionSets)
{
    MStatus st;
    MFnNumericAttribute num;
    MObject a = num.create("m_flIdxValue", "m_flIdxValue", MFnNumericData::kFloat, 0.0, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(a.hasFn(MFn::kAttribute));
    EXPECT_TRUE(num.setSoftMin(1.0));
    EXPECT_FALSE(num.hasMin()) << "a soft minimum is no hard one";
    MFnNumericAttribute bad;
    bad.create("", "x", MFnNumericData::kInt, 0.0, &st);
    EXPECT_FALSE(st);

    MFnEnumAttribute en;
    en.create("m_flFormat", "m_flFormat", 0, &st);
    EXPECT_TRUE(en.addField("Wavefront   (.obj)", 2));
    EXPECT_TRUE(en.addField("RealFlow   (.bin)", 3));
    EXPECT_FALSE(en.addField("RealFlow   (.bin)", 4));
    EXPECT_TRUE(en.setDefault(4)); // a value without a field is allowed
    EXPECT_EQ(en.fieldIndex("RealFlow   (.bin)"), 3);
    EXPECT_EQ(en.fieldName(2), "Wavefront   (.obj)");

    // A function set attached to the wrong kind of object refuses to work.
    MFnEnumAttribute wrong(a, &st);
    EXPECT_EQ(st, MS::kInvalidParameter);
    EXPECT_FALSE(wrong.addField("x", 1));

    MFnStringData sd;
    MObject text = sd.create("C:/Temp/Cache/", &st);
    EXPECT_TRUE(text.hasFn(MFn::kData));
    EXPECT_EQ(MFnStringData(text).string(), "C:/Temp/Cache/");
}

// A unit square in the XY plane: 4 points, one quad.
struct Quad
{
    MFloatPointArray pts;
    MIntArray counts, connects;
    Quad()
    {
        const float xy[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& p : xy)
            pts.append(p[0], p[1], 0.0f, 0.0f);
        counts.append(4);
        for (int i = 0; i < 4; ++i)
            connects.append(i);
    }
};

TEST(HostTypes, MeshCreateChecksItsInput)
{
    MFnMeshData md;
    MObject data = md.create();
    MFnMesh fn;
    Quad q;
    MStatus st;
    fn.create(4, 1, q.pts, q.counts, q.connects, data, &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(fn.numVertices(), 4);
    EXPECT_EQ(fn.numPolygons(), 1);

    // Bad input fails and leaves the mesh as it was.
    MIntArray outOfRange = q.connects;
    outOfRange[3] = 4;
    fn.create(4, 1, q.pts, q.counts, outOfRange, data, &st);
    EXPECT_EQ(st, MS::kInvalidParameter);
    MIntArray negative = q.connects;
    negative[0] = -1;
    fn.create(4, 1, q.pts, q.counts, negative, data, &st);
    EXPECT_FALSE(st);
    fn.create(5, 1, q.pts, q.counts, q.connects, data, &st);   // too few points
    EXPECT_FALSE(st);
    fn.create(4, 2, q.pts, q.counts, q.connects, data, &st);   // too few counts
    EXPECT_FALSE(st);
    MIntArray twoCorners(1, 2);
    fn.create(4, 1, q.pts, twoCorners, q.connects, data, &st);
    EXPECT_FALSE(st);
    MIntArray tooMany(1, 5);
    fn.create(4, 1, q.pts, tooMany, q.connects, data, &st);
    EXPECT_FALSE(st);
    MFnMesh check(data);
    EXPECT_EQ(check.numVertices(), 4);
    EXPECT_EQ(check.numPolygons(), 1);

    // The empty mesh is a mesh.
    MFloatPointArray none;
    MIntArray noInts;
    fn.create(0, 0, none, noInts, noInts, data, &st);
    EXPECT_TRUE(st);
    EXPECT_EQ(check.numVertices(), 0);
}

TEST(HostTypes, MeshNormalsColorsAndUVsAreChecked)
{
    MFnMeshData md;
    MObject data = md.create();
    MFnMesh fn;
    Quad q;
    // Nothing can be attached before the mesh exists.
    MFnMesh early(data);
    MVectorArray n1(1, MVector(0, 0, 1));
    MIntArray id1(1, 0);
    EXPECT_FALSE(early.setVertexNormals(n1, id1));

    ASSERT_TRUE(fn.create(4, 1, q.pts, q.counts, q.connects, data).hasFn(MFn::kMeshData));
    MVectorArray normals(4, MVector(0, 0, 1));
    MIntArray ids;
    for (int i = 0; i < 4; ++i)
        ids.append(i);
    EXPECT_TRUE(fn.setVertexNormals(normals, ids));
    MIntArray shortIds(3, 0);
    EXPECT_EQ(fn.setVertexNormals(normals, shortIds), MS::kInvalidParameter);
    MIntArray badIds = ids;
    badIds[2] = 4;
    EXPECT_EQ(fn.setVertexNormals(normals, badIds), MS::kInvalidParameter);

    MColorArray colors(4, MColor(1, 0, 0, 0.5f));
    EXPECT_TRUE(fn.setVertexColors(colors, ids));
    EXPECT_FALSE(fn.setVertexColors(colors, badIds));
    EXPECT_TRUE(fn.setVertexColors(colors, ids, nullptr, MFnMesh::kRGB));

    MFloatArray u(4, 0.5f), v(4, 0.25f), shortV(3, 0.0f);
    EXPECT_FALSE(fn.setUVs(u, shortV));
    EXPECT_TRUE(fn.setUVs(u, v));
    MString noSet("noSuchSet");
    EXPECT_FALSE(fn.setUVs(u, v, &noSet));
    EXPECT_EQ(fn.numUVs(), 4);
    MIntArray wrongCount(1, 3);
    EXPECT_FALSE(fn.assignUVs(wrongCount, ids));
    MIntArray counts(1, 4);
    EXPECT_FALSE(fn.assignUVs(counts, badIds));
    EXPECT_TRUE(fn.assignUVs(counts, ids));
    MIntArray gotCounts, gotIds;
    EXPECT_TRUE(fn.getAssignedUVs(gotCounts, gotIds));
    EXPECT_EQ(gotCounts[0], 4);
    EXPECT_EQ(gotIds[3], 3);

    MFloatPointArray back;
    EXPECT_TRUE(fn.getPoints(back));
    EXPECT_EQ(back[2].x, 1.0f);
    EXPECT_EQ(back[2].y, 1.0f);
}

TEST(HostTypes, MeshWithoutOwnerMakesShapeNodes)
{
    khost::NewScene();
    MFnMesh fn;
    Quad q;
    MStatus st;
    MObject transform = fn.create(4, 1, q.pts, q.counts, q.connects, MObject::kNullObj, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(transform.hasFn(MFn::kTransform));
    EXPECT_EQ(fn.numVertices(), 4);
    std::string type;
    EXPECT_TRUE(khost::NodeExists("polySurface1", &type));
    EXPECT_EQ(type, "transform");
    khost::EvalResult r = khost::Evaluate("polySurfaceShape1", "inMesh");
    ASSERT_TRUE(r.hasMesh);
    EXPECT_EQ(r.mesh.numPolygons, 1);
    khost::NewScene();
}

TEST(HostTypes, ExecuteCommandResultForms)
{
    khost::NewScene();
    MString name;
    EXPECT_TRUE(MGlobal::executeCommand("createNode transform -n Korvane1", name));
    EXPECT_EQ(name, "Korvane1");
    EXPECT_TRUE(MGlobal::executeCommand("createNode transform -n Korvane1", name, false, false));
    EXPECT_EQ(name, "Korvane2");
    MStringArray all;
    EXPECT_TRUE(MGlobal::executeCommand("ls -type transform", all));
    ASSERT_EQ(all.length(), 2u);
    EXPECT_EQ(all[1], "Korvane2");
    EXPECT_TRUE(MGlobal::executeCommand("select Korvane1"));
    EXPECT_FALSE(MGlobal::executeCommand("select Korvane7"));
    MStatus st;
    EXPECT_EQ(MGlobal::executeCommandStringResult("createNode transform", false, false, &st), "transform1");
    EXPECT_TRUE(st);
    khost::TakeMessages();
    MGlobal::displayInfo("one");
    MGlobal::displayWarning("two");
    MGlobal::displayError("three");
    std::vector<khost::Message> m = khost::TakeMessages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[1].kind, khost::MessageKind::kWarning);
    EXPECT_EQ(m[2].text, "three");
    khost::NewScene();
}

} // namespace
