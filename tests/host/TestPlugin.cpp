// A tiny plug-in for the host tests: one node type with a few inputs and two
// outputs, and two commands. Written against the OpenMaya headers only, with
// the calls the Korvane plug-in makes.
#include <maya/MArgList.h>
#include <maya/MColorArray.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnEnumAttribute.h>
#include <maya/MFnMesh.h>
#include <maya/MFnMeshData.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MPxCommand.h>
#include <maya/MPxNode.h>
#include <maya/MString.h>
#include <maya/MThreadUtils.h>
#include <maya/MVectorArray.h>

class KhTestNode : public MPxNode
{
public:
    MStatus compute(const MPlug& plug, MDataBlock& data) override;
    static void* creator() { return new KhTestNode; }
    static MStatus initialize();

    static const MTypeId id;
    static MObject size, mode, label, active, count, outMesh, outValue;
};

const MTypeId KhTestNode::id(0x7F001);
MObject KhTestNode::size, KhTestNode::mode, KhTestNode::label, KhTestNode::active, KhTestNode::count;
MObject KhTestNode::outMesh, KhTestNode::outValue;

MStatus KhTestNode::initialize()
{
    MStatus st;
    MFnNumericAttribute num;
    size = num.create("size", "sz", MFnNumericData::kFloat, 0.0, &st);
    num.setNiceNameOverride("Size");
    num.setDefault(1.0f);
    num.setKeyable(true);
    num.setSoftMin(0.0);
    num.setSoftMax(10.0);
    if (!st || !addAttribute(size))
        return MS::kFailure;

    MFnEnumAttribute en;
    mode = en.create("mode", "md", 0, &st);
    en.addField("Quad", 0);
    en.addField("Triangle", 1);
    en.setNiceNameOverride("Shape Mode");
    en.setDefault(0);
    en.setKeyable(true);
    if (!st || !addAttribute(mode))
        return MS::kFailure;

    MFnStringData sd;
    MObject text = sd.create("hello", &st);
    MFnTypedAttribute typed;
    label = typed.create("label", "label", MFnData::kString, text, &st);
    typed.setArray(false);
    typed.setUsesArrayDataBuilder(false);
    if (!st || !addAttribute(label))
        return MS::kFailure;

    active = num.create("active", "active", MFnNumericData::kBoolean, 0.0, &st);
    num.setDefault(true);
    num.setKeyable(true);
    if (!st || !addAttribute(active))
        return MS::kFailure;

    count = num.create("count", "count", MFnNumericData::kInt, 0.0, &st);
    num.setDefault(3);
    if (!st || !addAttribute(count))
        return MS::kFailure;

    outMesh = typed.create("outMesh", "outMesh", MFnData::kMesh, MObject::kNullObj, &st);
    typed.setStorable(false);
    if (!st || !addAttribute(outMesh))
        return MS::kFailure;

    outValue = num.create("outValue", "ov", MFnNumericData::kFloat, 0.0, &st);
    num.setWritable(false);
    num.setStorable(false);
    if (!st || !addAttribute(outValue))
        return MS::kFailure;

    const MObject inputs[] = {size, mode, label, active, count};
    for (const MObject& in : inputs)
        if (!attributeAffects(in, outMesh))
            return MS::kFailure;
    if (!attributeAffects(size, outValue))
        return MS::kFailure;
    return MS::kSuccess;
}

// outValue = 2 * size. outMesh: a quad (mode 0) or a triangle (mode 1) of
// edge `size`, with normals, colours and per-corner UVs; any other mode gives
// an empty mesh and kFailure, as does active off.
MStatus KhTestNode::compute(const MPlug& plug, MDataBlock& data)
{
    MStatus st;
    float s = data.inputValue(size, &st).asFloat();
    if (!st)
        return MS::kFailure;
    if (plug == outValue)
    {
        MDataHandle out = data.outputValue(outValue);
        out.set(2.0f * s);
        data.setClean(plug);
        return MS::kSuccess;
    }
    if (plug != outMesh)
        return MS::kUnknownParameter;

    short m = data.inputValue(mode).asShort();
    bool on = data.inputValue(active).asBool();
    MString text = data.inputValue(label).asString();
    MString line("compute ");
    line += text;
    line += " mode ";
    line += (int)m;
    MGlobal::displayInfo(line);

    MFnMeshData meshData;
    MObject obj = meshData.create(&st);
    MFnMesh fn;
    MFloatPointArray none;
    MIntArray noCounts, noConnects;
    fn.create(0, 0, none, noCounts, noConnects, obj);
    MStatus result = MS::kSuccess;
    if (!on || (m != 0 && m != 1))
        result = MS::kFailure;
    else
    {
        int nv = m == 0 ? 4 : 3;
        MFloatPointArray pts;
        pts.setLength((unsigned)nv);
        pts.set(0, 0.0f, 0.0f, 0.0f, 0.0f);
        pts.set(1, s, 0.0f, 0.0f, 0.0f);
        pts.set(2, s, s, 0.0f, 0.0f);
        if (nv == 4)
            pts.set(3, 0.0f, s, 0.0f, 0.0f);
        MIntArray counts, connects;
        counts.setLength(1);
        counts[0] = nv;
        connects.setLength((unsigned)nv);
        for (int i = 0; i < nv; ++i)
            connects[(unsigned)i] = i;
        fn.create(nv, 1, pts, counts, connects, obj, &result);

        MVectorArray normals;
        MIntArray ids;
        MColorArray colors;
        MFloatArray u, v;
        normals.setLength((unsigned)nv);
        ids.setLength((unsigned)nv);
        colors.setLength((unsigned)nv);
        u.setLength((unsigned)nv);
        v.setLength((unsigned)nv);
        for (unsigned i = 0; i < (unsigned)nv; ++i)
        {
            normals[i] = MVector(0.0, 0.0, 1.0);
            ids[i] = (int)i;
            colors[i].set(MColor::kRGB, 0.25f * (float)i, 0.5f, 1.0f, 0.75f);
            u[i] = pts[i].x;
            v[i] = pts[i].y;
        }
        if (!fn.setVertexNormals(normals, ids, MSpace::kObject))
            MGlobal::displayError("normals failed");
        if (!fn.setVertexColors(colors, ids))
            MGlobal::displayError("colors failed");
        if (!fn.setUVs(u, v) || !fn.assignUVs(counts, ids))
            MGlobal::displayError("uvs failed");
    }
    MDataHandle out = data.outputValue(outMesh);
    out.set(obj);
    data.setClean(plug);
    return result;
}

// khTestCmd fail | nested NAME | threads: what it learns is shown as an info line.
class KhTestCmd : public MPxCommand
{
public:
    MStatus doIt(const MArgList& args) override
    {
        MString what = args.asString(0);
        if (what == "fail")
        {
            MGlobal::displayError("khTestCmd failed on purpose");
            return MS::kFailure;
        }
        if (what == "nested")
        {
            MString made;
            MStatus st = MGlobal::executeCommand(MString("createNode transform -n ") + args.asString(1), made);
            if (!st)
                return st;
            MGlobal::displayInfo(made);
            return MS::kSuccess;
        }
        if (what == "threads")
        {
            MString n;
            n += MThreadUtils::getNumThreads();
            MGlobal::displayInfo(n);
            return MS::kSuccess;
        }
        return MS::kInvalidParameter;
    }
    static void* creator() { return new KhTestCmd; }
};

class KhLeftoverCmd : public MPxCommand
{
public:
    MStatus doIt(const MArgList&) override { return MS::kSuccess; }
    static void* creator() { return new KhLeftoverCmd; }
};

PLUGIN_EXPORT MStatus initializePlugin(MObject obj)
{
    MFnPlugin plugin(obj, "Tester", "1.0", "Any");
    MGlobal::displayInfo("loading test plugin");
    MStatus st = plugin.registerNode("khTestNode", KhTestNode::id, KhTestNode::creator, KhTestNode::initialize,
                                     MPxNode::kDependNode);
    if (!st)
        return st;
    st = plugin.registerCommand("khTestCmd", KhTestCmd::creator);
    if (!st)
        return st;
    return plugin.registerCommand("khLeftover", KhLeftoverCmd::creator);
}

// Leaves khLeftover registered on purpose.
PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj)
{
    MFnPlugin plugin(obj);
    MStatus st = plugin.deregisterNode(KhTestNode::id);
    if (!st)
        return st;
    return plugin.deregisterCommand("khTestCmd");
}
