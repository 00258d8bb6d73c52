// The stand-in host's value types and function sets used directly: what the
// declarations allow, MStatus, MString, arrays, colours, and the checks
// MFnMesh makes on the data it is given.
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
#include <maya/MFnTypedAttribute.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
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

TEST(HostTypes, StatusTellsItsCodeAndPrintsItsError)
{
    MStatus ok;
    EXPECT_TRUE(ok);
    EXPECT_FALSE(ok.error());
    MStatus bad = MS::kInvalidParameter;
    EXPECT_FALSE(bad);
    EXPECT_TRUE(bad.error());
    EXPECT_EQ(bad.statusCode(), MStatus::kInvalidParameter);
    EXPECT_TRUE(bad == MS::kInvalidParameter);
    EXPECT_TRUE(MS::kInvalidParameter == bad);
    EXPECT_TRUE(bad != ok && bad != MS::kSuccess);
    bad = ok;
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
    s += 2u;
    EXPECT_TRUE(s == "Korvane12");
    EXPECT_STREQ((MString("v.") + 1.236 + ".").asChar(), "v.1.236.");
    EXPECT_STREQ(s.substring(7, 7).asChar(), "1");
    EXPECT_STREQ(s.substring(0, 100).asChar(), "Korvane12");
    EXPECT_STREQ(s.substring(5, 2).asChar(), "");
    int len = 0;
    EXPECT_STREQ(s.asChar(len), "Korvane12");
    EXPECT_EQ(len, 9);
    MString w(L"wide\u00e9");
    EXPECT_EQ(w.length(), 6u) << "UTF-8 bytes";
    MString t("xy-b-xy");
    MString copy = t;
    copy += "!";
    EXPECT_TRUE(t == "xy-b-xy") << "copies do not share their text";
    t.clear();
    EXPECT_EQ(t.length(), 0u);
}

TEST(HostTypes, ArraysKeepTheirShape)
{
    MIntArray a;
    ASSERT_TRUE(a.setLength(3));
    EXPECT_EQ(a[2], 0) << "new elements are zero";
    a[0] = 1;
    a[2] = 9;
    ASSERT_TRUE(a.setLength(40));   // grows past the first block, keeping the elements
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[2], 9);
    EXPECT_EQ(a[39], 0);
    MIntArray b = a;
    b[0] = -1;
    EXPECT_EQ(a[0], 1) << "copies do not share their elements";
    b = a;
    EXPECT_EQ(b[0], 1);
    EXPECT_TRUE(a.clear());
    EXPECT_EQ(a.length(), 0u);
    EXPECT_EQ(b.length(), 40u);

    // New elements are zero however they come: grown within the capacity
    // after a shrink, or in a fresh block where the heap held other bytes.
    ASSERT_TRUE(a.setLength(40));
    a[30] = 5;
    ASSERT_TRUE(a.setLength(10));
    ASSERT_TRUE(a.setLength(40));
    EXPECT_EQ(a[30], 0) << "grown again within the capacity";
    {
        std::vector<int>* junk = new std::vector<int>(20000, 0x5A5A5A5A);
        delete junk;
        MIntArray c;
        ASSERT_TRUE(c.setLength(20000));
        int nonZero = 0;
        for (unsigned int i = 0; i < c.length(); ++i)
            nonZero += c[i] != 0;
        EXPECT_EQ(nonZero, 0) << "a fresh block";
    }

    MFloatPointArray pts;
    EXPECT_TRUE(pts.setLength(2));
    EXPECT_EQ(pts[1].w, 1.0f) << "the origin is (0, 0, 0, 1)";
    EXPECT_TRUE(pts.set(1, 2.0f, 3.0f));
    EXPECT_EQ(pts[1].x, 2.0f);
    EXPECT_EQ(pts[1].z, 0.0f);
    EXPECT_EQ(pts.set(2, 0.0f, 0.0f), MS::kInvalidParameter) << "past the end";
}

TEST(HostTypes, ColorSetTakesRgb)
{
    MColor c;
    EXPECT_EQ(c.r, 0.0f);
    EXPECT_EQ(c.a, 1.0f);
    EXPECT_TRUE(c.set(MColor::kRGB, 1.0f, 0.5f, 0.25f, 0.75f));
    EXPECT_EQ(c.g, 0.5f);
    EXPECT_EQ(c.a, 0.75f);
    EXPECT_FALSE(c.set(MColor::kHSV, 0.0f, 1.0f, 1.0f)) << "the stand-in knows RGB only";
    EXPECT_EQ(c.r, 1.0f);
}

TEST(HostTypes, AttributeFunctionSets)
{
    MStatus st;
    MFnNumericAttribute num;
    MObject a = num.create("m_flIdxValue", "m_flIdxValue", MFnNumericData::kFloat, 0.0, &st);
    ASSERT_TRUE(st);
    EXPECT_FALSE(a.isNull());
    EXPECT_TRUE(num.setSoftMin(1.0));
    MFnNumericAttribute bad;
    bad.create("", "x", MFnNumericData::kInt, 0.0, &st);
    EXPECT_FALSE(st);
    EXPECT_FALSE(bad.setDefault(1)) << "no attribute attached";

    MFnEnumAttribute en;
    en.create("m_flFormat", "m_flFormat", 0, &st);
    EXPECT_TRUE(en.addField("Wavefront   (.obj)", 2));
    EXPECT_TRUE(en.addField("RealFlow   (.bin)", 3));
    EXPECT_FALSE(en.addField("RealFlow   (.bin)", 4));
    EXPECT_FALSE(en.addField("", 5));
    EXPECT_TRUE(en.setDefault(4)); // a value without a field is allowed

    // A function set attached to the wrong kind of object refuses to work.
    MFnEnumAttribute wrong(a, &st);
    EXPECT_EQ(st, MS::kInvalidParameter);
    EXPECT_FALSE(wrong.addField("x", 1));

    MFnStringData sd;
    MObject text = sd.create("C:/Temp/Cache/", &st);
    EXPECT_TRUE(st);
    MFnTypedAttribute typed;
    typed.create("m_flPath", "m_flPath", MFnData::kString, text, &st);
    EXPECT_TRUE(st);
    typed.create("m_flMesh", "m_flMesh", MFnData::kMesh, text, &st);
    EXPECT_EQ(st, MS::kInvalidParameter) << "a string is no mesh default";
}

// A unit square in the XY plane: 4 points, one quad.
struct Quad
{
    MFloatPointArray pts;
    MIntArray counts, connects;
    Quad()
    {
        const float xy[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        pts.setLength(4);
        connects.setLength(4);
        for (unsigned int i = 0; i < 4; ++i)
        {
            pts.set(i, xy[i][0], xy[i][1]);
            connects[i] = (int)i;
        }
        counts.setLength(1);
        counts[0] = 4;
    }
};

// A normal for vertex `v` is accepted only while the mesh has that vertex.
bool HasVertex(MFnMesh& fn, int v)
{
    MVectorArray n;
    MIntArray id;
    n.setLength(1);
    id.setLength(1);
    id[0] = v;
    return fn.setVertexNormals(n, id) == MS::kSuccess;
}

TEST(HostTypes, MeshCreateChecksItsInput)
{
    MFnMeshData md;
    MObject data = md.create();
    MFnMesh fn;
    Quad q;
    MStatus st;
    fn.create(4, 1, q.pts, q.counts, q.connects, data, &st);
    ASSERT_TRUE(st);
    EXPECT_TRUE(HasVertex(fn, 3));
    EXPECT_FALSE(HasVertex(fn, 4));

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
    MIntArray count(q.counts);
    count[0] = 2;
    fn.create(4, 1, q.pts, count, q.connects, data, &st);
    EXPECT_FALSE(st);
    count[0] = 5;
    fn.create(4, 1, q.pts, count, q.connects, data, &st);
    EXPECT_FALSE(st);
    fn.create(4, 1, q.pts, q.counts, q.connects, MObject::kNullObj, &st);   // no data object
    EXPECT_EQ(st, MS::kInvalidParameter);
    MFnMesh check(data);
    EXPECT_TRUE(HasVertex(check, 3));

    // The empty mesh is a mesh.
    MFloatPointArray none;
    MIntArray noInts;
    fn.create(0, 0, none, noInts, noInts, data, &st);
    EXPECT_TRUE(st);
    EXPECT_FALSE(HasVertex(check, 0));
}

TEST(HostTypes, MeshNormalsColorsAndUVsAreChecked)
{
    MFnMeshData md;
    MObject data = md.create();
    MFnMesh fn;
    Quad q;
    // Nothing can be attached before the mesh exists.
    MFnMesh early(data);
    EXPECT_FALSE(HasVertex(early, 0));

    MStatus st;
    fn.create(4, 1, q.pts, q.counts, q.connects, data, &st);
    ASSERT_TRUE(st);
    MVectorArray normals;
    MIntArray ids;
    normals.setLength(4);
    ids.setLength(4);
    for (unsigned int i = 0; i < 4; ++i)
    {
        normals[i] = MVector(0, 0, 1);
        ids[i] = (int)i;
    }
    EXPECT_TRUE(fn.setVertexNormals(normals, ids));
    MIntArray shortIds = ids;
    shortIds.setLength(3);
    EXPECT_EQ(fn.setVertexNormals(normals, shortIds), MS::kInvalidParameter);
    MIntArray badIds = ids;
    badIds[2] = 4;
    EXPECT_EQ(fn.setVertexNormals(normals, badIds), MS::kInvalidParameter);

    MColorArray colors;
    colors.setLength(4);
    EXPECT_TRUE(fn.setVertexColors(colors, ids));
    EXPECT_FALSE(fn.setVertexColors(colors, badIds));

    MFloatArray u, v, shortV;
    u.setLength(4);
    v.setLength(4);
    shortV.setLength(3);
    EXPECT_FALSE(fn.setUVs(u, shortV));
    EXPECT_TRUE(fn.setUVs(u, v));
    MString noSet("noSuchSet");
    EXPECT_FALSE(fn.setUVs(u, v, &noSet));
    MIntArray counts = q.counts;
    counts[0] = 3;
    EXPECT_FALSE(fn.assignUVs(counts, ids));
    counts[0] = 4;
    EXPECT_FALSE(fn.assignUVs(counts, badIds));
    EXPECT_TRUE(fn.assignUVs(counts, ids));
}

TEST(HostTypes, ExecuteCommandResultForms)
{
    khost::NewScene();
    MString name;
    EXPECT_TRUE(MGlobal::executeCommand("createNode transform -n Korvane1", name));
    EXPECT_TRUE(name == "Korvane1");
    EXPECT_TRUE(MGlobal::executeCommand("createNode transform -n Korvane1", name, false, false));
    EXPECT_TRUE(name == "Korvane2");
    int exists = -1;
    EXPECT_TRUE(MGlobal::executeCommand("attributeQuery -node Korvane1 -exists nothing", exists));
    EXPECT_EQ(exists, 0);
    double number = -1.0;
    EXPECT_TRUE(MGlobal::executeCommand("attributeQuery -node Korvane1 -exists translateX", number));
    EXPECT_EQ(number, 0.0);
    EXPECT_FALSE(MGlobal::executeCommand("select Korvane1", exists)) << "select gives no number";
    EXPECT_TRUE(MGlobal::executeCommand("select Korvane1"));
    EXPECT_FALSE(MGlobal::executeCommand("select Korvane7"));
    khost::TakeMessages();
    MGlobal::displayInfo("one");
    MGlobal::displayError("three");
    std::vector<khost::Message> m = khost::TakeMessages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].kind, khost::MessageKind::kInfo);
    EXPECT_EQ(m[1].kind, khost::MessageKind::kError);
    EXPECT_EQ(m[1].text, "three");
    khost::NewScene();
}

} // namespace
