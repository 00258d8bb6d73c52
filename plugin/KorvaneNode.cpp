// The Korvane node: attributes, compute and the evaluation pipeline.
#include "plugin/KorvaneNode.h"

#include <cstdio>
#include <cstring>

#include <omp.h>

#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFloatPointArray.h>
#include <maya/MFnData.h>
#include <maya/MFnEnumAttribute.h>
#include <maya/MFnMesh.h>
#include <maya/MFnMeshData.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnNumericData.h>
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MPlug.h>
#include <maya/MString.h>
#include <maya/MThreadUtils.h>
#include <maya/MTime.h>

#include "errors/ZNQError.h"
#include "formats/ZNQLoadPlace.h"
#include "plugin/KorvaneCachePath.h"
#include "plugin/KorvaneEvaluate.h"
#include "plugin/KorvaneFrames.h"

const MTypeId Korvane::id(0x11FF10);

MObject Korvane::m_active;
MObject Korvane::m_flPath;
MObject Korvane::m_flName;
MObject Korvane::m_flFormat;
MObject Korvane::m_flIndexMode;
MObject Korvane::m_flIdxValue;
MObject Korvane::m_flIdxFractionStrength;
MObject Korvane::m_flLoadNormals;
MObject Korvane::m_flLoadMotions;
MObject Korvane::m_flLoadUVWs;
MObject Korvane::m_flLoadColors;
MObject Korvane::m_wfObjGroupActive;
MObject Korvane::m_wfObjGroupInvert;
MObject Korvane::m_wfObjGroupNames;
MObject Korvane::m_dtScaleMotions;
MObject Korvane::m_dtBlurNormals;
MObject Korvane::m_dtBlurMotions;
MObject Korvane::m_dtBlurUVWs;
MObject Korvane::m_dtBlurColors;
MObject Korvane::m_fxFixDoubleEdges;
MObject Korvane::m_fxFixNonManiEdges;
MObject Korvane::m_fxCloseHoles;
MObject Korvane::m_fxInvertPolygons;
MObject Korvane::m_fxQuadrangulate;
MObject Korvane::m_fxPush;
MObject Korvane::m_fxThickness;
MObject Korvane::m_fxTriangulate;
MObject Korvane::m_fxSimpleSmooth;
MObject Korvane::m_dtPostBlurNormals;
MObject Korvane::m_dtPostDisconnectPolys;
MObject Korvane::m_msSetOnlyVertices;
MObject Korvane::m_flRangeActive;
MObject Korvane::m_flRangeStart;
MObject Korvane::m_flRangeEnd;
MObject Korvane::m_flBeforeRange;
MObject Korvane::m_flAfterRange;
MObject Korvane::m_flMissingFrames;
MObject Korvane::m_flSubFrameMode;
MObject Korvane::m_msMotionColorSet;
MObject Korvane::m_msMotionUnit;
MObject Korvane::m_msNormalsPerCorner;
MObject Korvane::outMesh;

Korvane::~Korvane() = default;

void* Korvane::creator()
{
    return new Korvane();
}

// ---------------------------------------------------------------------------
// Attribute creation, one function per kind. Each creates the attribute with
// its long name as both long and short name, sets nice name, default and
// flags, and adds it to the node type; the first failing step ends it with
// that step's status in *status.

namespace {

// Returns false (after storing st) when st is a failure.
bool Ok(const MStatus& st, MStatus* status)
{
    *status = st;
    return !st.error();
}

// The keyable numeric attribute of the three creation functions below: type,
// default, and a soft range when softMin < softMax.
template <typename T>
void CreateNumericAttribute(MObject& attr, const char* niceName, const char* longName, MFnNumericData::Type type,
                            T def, MStatus* status, T softMin, T softMax)
{
    MFnNumericAttribute fn;
    MStatus st;
    attr = fn.create(longName, longName, type, 0, &st);
    if (!Ok(st, status) || !Ok(fn.setNiceNameOverride(niceName), status) ||
        !Ok(fn.setDefault(def), status) || !Ok(fn.setKeyable(true), status))
        return;
    if (softMin < softMax &&
        (!Ok(fn.setSoftMin(softMin), status) || !Ok(fn.setSoftMax(softMax), status)))
        return;
    Ok(MPxNode::addAttribute(attr), status);
}

void CreateBoolAttribute(MObject& attr, const char* niceName, const char* longName, bool def,
                         MStatus* status)
{
    CreateNumericAttribute(attr, niceName, longName, MFnNumericData::kBoolean, def, status, false, false);
}

void CreateIntAttribute(MObject& attr, const char* niceName, const char* longName, int def,
                        MStatus* status, int softMin, int softMax)
{
    CreateNumericAttribute(attr, niceName, longName, MFnNumericData::kInt, def, status, softMin, softMax);
}

void CreateFloatAttribute(MObject& attr, const char* niceName, const char* longName, float def,
                          MStatus* status, float softMin, float softMax)
{
    CreateNumericAttribute(attr, niceName, longName, MFnNumericData::kFloat, def, status, softMin, softMax);
}

// labels and values: parallel lists of count fields.
void CreateEnumAttribute(MObject& attr, const char* niceName, const char* longName, short def,
                         MStatus* status, const char* const* labels, const short* values,
                         int labelCount, int valueCount)
{
    if (labelCount <= 0 || labelCount != valueCount || !labels || !values)
    {
        *status = MStatus::kFailure;
        return;
    }
    MFnEnumAttribute fn;
    MStatus st;
    attr = fn.create(longName, longName, 0, &st);
    if (!Ok(st, status))
        return;
    for (int i = 0; i < labelCount; ++i)
        if (!Ok(fn.addField(labels[i], values[i]), status))
            return;
    if (!Ok(fn.setNiceNameOverride(niceName), status) || !Ok(fn.setDefault(def), status) ||
        !Ok(fn.setKeyable(true), status))
        return;
    Ok(MPxNode::addAttribute(attr), status);
}

void CreateStringAttribute(MObject& attr, const char* niceName, const char* longName,
                           const char* def, MStatus* status, bool isArray)
{
    MFnStringData stringData;
    MStatus st;
    MObject defaultData = stringData.create(MString(def), &st);
    if (!Ok(st, status))
        return;
    MFnTypedAttribute fn;
    attr = fn.create(longName, longName, MFnData::kString, defaultData, &st);
    if (!Ok(st, status) || !Ok(fn.setNiceNameOverride(niceName), status) ||
        !Ok(fn.setArray(isArray), status) || !Ok(fn.setUsesArrayDataBuilder(false), status))
        return;
    Ok(MPxNode::addAttribute(attr), status);
}

// "ERROR creating Korvane <long name> attribute" on standard error.
MStatus AttributeFailed(const char* longName)
{
    std::fprintf(stderr, "ERROR creating Korvane %s attribute\n", longName);
    return MStatus::kFailure;
}

const char* const kFormatLabels[] = {
    "Proprietary, binary   (.drs2)", "Proprietary, ascii   (.drs2)", "Wavefront   (.obj)",
    "RealFlow   (.bin)",             "Proprietary, binary   (.znq)",
};
const short kFormatValues[] = {0, 1, 2, 3, 4};
const char* const kIndexModeLabels[] = {
    "Use Idx Value (Round)", "Use Idx Value (Floor)", "Use Idx Value (Ceil)"};
const short kIndexModeValues[] = {0, 1, 2};
const char* const kTriangulateLabels[] = {"Off", "Concave Polygons", "All Polygons"};
const short kTriangulateValues[] = {0, 1, 2};
const char* const kRangeLabels[] = {"Hold", "Blank", "Loop", "Ping-Pong"};
const short kRangeValues[] = {0, 1, 2, 3};
const char* const kMissingLabels[] = {"Error", "Blank", "Hold Previous", "Nearest"};
const short kMissingValues[] = {0, 1, 2, 3};
const char* const kSubFrameLabels[] = {"Motion Vectors", "Interpolate"};
const short kSubFrameValues[] = {0, 1};
const char* const kMotionUnitLabels[] = {"Per Frame", "Per Second"};
const short kMotionUnitValues[] = {0, 1};

} // namespace

MStatus Korvane::initialize()
{
    MStatus st;

#define KORVANE_CHECK(longName)                                                                   \
    if (st.error())                                                                               \
        return AttributeFailed(longName);

    CreateBoolAttribute(m_active, "Active", "m_active", true, &st);
    KORVANE_CHECK("m_active")
    CreateStringAttribute(m_flPath, "Path", "m_flPath", "C:/Temp/Cache/", &st, false);
    KORVANE_CHECK("m_flPath")
    CreateStringAttribute(m_flName, "Filename", "m_flName", "File.#", &st, false);
    KORVANE_CHECK("m_flName")
    CreateEnumAttribute(m_flFormat, "Fileformat", "m_flFormat", 4, &st, kFormatLabels,
                        kFormatValues, 5, 5);
    KORVANE_CHECK("m_flFormat")
    CreateEnumAttribute(m_flIndexMode, "Index Mode", "m_flIndexMode", 0, &st, kIndexModeLabels,
                        kIndexModeValues, 3, 3);
    KORVANE_CHECK("m_flIndexMode")
    CreateFloatAttribute(m_flIdxValue, "Idx Value", "m_flIdxValue", 1.0f, &st, 1.0f, 10.0f);
    KORVANE_CHECK("m_flIdxValue")
    CreateFloatAttribute(m_flIdxFractionStrength, "Idx Fraction Strength",
                         "m_flIdxFractionStrength", 0.0f, &st, 0.0f, 1.0f);
    KORVANE_CHECK("m_flIdxFractionStrength")
    CreateBoolAttribute(m_flLoadNormals, "Load Normal Vectors", "m_flLoadNormals", false, &st);
    KORVANE_CHECK("m_flLoadNormals")
    CreateBoolAttribute(m_flLoadMotions, "Load Motion Vectors", "m_flLoadMotions", false, &st);
    KORVANE_CHECK("m_flLoadMotions")
    CreateBoolAttribute(m_flLoadUVWs, "Load UVWs", "m_flLoadUVWs", false, &st);
    KORVANE_CHECK("m_flLoadUVWs")
    CreateBoolAttribute(m_flLoadColors, "Load Colors", "m_flLoadColors", false, &st);
    KORVANE_CHECK("m_flLoadColors")
    CreateBoolAttribute(m_wfObjGroupActive, "Use Groups", "m_wfObjGroupActive", false, &st);
    KORVANE_CHECK("m_wfObjGroupActive")
    CreateBoolAttribute(m_wfObjGroupInvert, "Invert", "m_wfObjGroupInvert", false, &st);
    KORVANE_CHECK("m_wfObjGroupInvert")
    CreateStringAttribute(m_wfObjGroupNames, "Group Names", "m_wfObjGroupNames", "grp1;grp2;",
                          &st, false);
    KORVANE_CHECK("m_wfObjGroupNames")
    // Both limits 0: no slider range.
    CreateFloatAttribute(m_dtScaleMotions, "Scale Motion Vectors", "m_dtScaleMotions", 1.0f, &st,
                         0.0f, 0.0f);
    KORVANE_CHECK("m_dtScaleMotions")
    CreateIntAttribute(m_dtBlurNormals, "Blur Normals", "m_dtBlurNormals", 0, &st, 0, 10);
    KORVANE_CHECK("m_dtBlurNormals")
    CreateIntAttribute(m_dtBlurMotions, "Blur Motions", "m_dtBlurMotions", 0, &st, 0, 10);
    KORVANE_CHECK("m_dtBlurMotions")
    CreateIntAttribute(m_dtBlurUVWs, "Blur UVWs", "m_dtBlurUVWs", 0, &st, 0, 10);
    KORVANE_CHECK("m_dtBlurUVWs")
    CreateIntAttribute(m_dtBlurColors, "Blur Colors", "m_dtBlurColors", 0, &st, 0, 10);
    KORVANE_CHECK("m_dtBlurColors")
    CreateBoolAttribute(m_fxFixDoubleEdges, "Fix double Edges", "m_fxFixDoubleEdges", false, &st);
    KORVANE_CHECK("m_fxFixDoubleEdges")
    CreateBoolAttribute(m_fxFixNonManiEdges, "Fix non-manifold Edges", "m_fxFixNonManiEdges",
                        false, &st);
    KORVANE_CHECK("m_fxFixNonManiEdges")
    CreateBoolAttribute(m_fxCloseHoles, "Close Holes", "m_fxCloseHoles", false, &st);
    KORVANE_CHECK("m_fxCloseHoles")
    CreateBoolAttribute(m_fxInvertPolygons, "Invert Polygons", "m_fxInvertPolygons", false, &st);
    KORVANE_CHECK("m_fxInvertPolygons")
    CreateBoolAttribute(m_fxQuadrangulate, "Quadrangulate", "m_fxQuadrangulate", false, &st);
    KORVANE_CHECK("m_fxQuadrangulate")
    CreateFloatAttribute(m_fxPush, "Push", "m_fxPush", 0.0f, &st, 0.0f, 3.0f);
    KORVANE_CHECK("m_fxPush")
    CreateFloatAttribute(m_fxThickness, "Thickness", "m_fxThickness", 0.0f, &st, 0.0f, 3.0f);
    KORVANE_CHECK("m_fxThickness")
    CreateEnumAttribute(m_fxTriangulate, "Triangulate", "m_fxTriangulate", 0, &st,
                        kTriangulateLabels, kTriangulateValues, 3, 3);
    KORVANE_CHECK("m_fxTriangulate")
    CreateIntAttribute(m_fxSimpleSmooth, "Simple Smooth", "m_fxSimpleSmooth", 0, &st, 0, 25);
    KORVANE_CHECK("m_fxSimpleSmooth")
    CreateIntAttribute(m_dtPostBlurNormals, "Blur Normals", "m_dtPostBlurNormals", 0, &st, 0, 10);
    KORVANE_CHECK("m_dtPostBlurNormals")
    CreateBoolAttribute(m_dtPostDisconnectPolys, "Disconnect all Polygons",
                        "m_dtPostDisconnectPolys", false, &st);
    KORVANE_CHECK("m_dtPostDisconnectPolys")
    CreateBoolAttribute(m_msSetOnlyVertices, "Set only Vertices (and 1st Polygon)",
                        "m_msSetOnlyVertices", false, &st);
    KORVANE_CHECK("m_msSetOnlyVertices")
    // Frame range, missing frames, sub-frame mode: all off gives the plain
    // behaviour of the inputs above.
    CreateBoolAttribute(m_flRangeActive, "Use Frame Range", "m_flRangeActive", false, &st);
    KORVANE_CHECK("m_flRangeActive")
    CreateIntAttribute(m_flRangeStart, "Range Start", "m_flRangeStart", 1, &st, 0, 0);
    KORVANE_CHECK("m_flRangeStart")
    CreateIntAttribute(m_flRangeEnd, "Range End", "m_flRangeEnd", 100, &st, 0, 0);
    KORVANE_CHECK("m_flRangeEnd")
    CreateEnumAttribute(m_flBeforeRange, "Before Range", "m_flBeforeRange", 0, &st, kRangeLabels, kRangeValues,
                        4, 4);
    KORVANE_CHECK("m_flBeforeRange")
    CreateEnumAttribute(m_flAfterRange, "After Range", "m_flAfterRange", 0, &st, kRangeLabels, kRangeValues, 4,
                        4);
    KORVANE_CHECK("m_flAfterRange")
    CreateEnumAttribute(m_flMissingFrames, "Missing Frames", "m_flMissingFrames", 0, &st, kMissingLabels,
                        kMissingValues, 4, 4);
    KORVANE_CHECK("m_flMissingFrames")
    CreateEnumAttribute(m_flSubFrameMode, "Sub-frame", "m_flSubFrameMode", 0, &st, kSubFrameLabels,
                        kSubFrameValues, 2, 2);
    KORVANE_CHECK("m_flSubFrameMode")
    // Render output, after the timeline inputs.
    CreateStringAttribute(m_msMotionColorSet, "Motion Color Set", "m_msMotionColorSet", "", &st, false);
    KORVANE_CHECK("m_msMotionColorSet")
    CreateEnumAttribute(m_msMotionUnit, "Motion Unit", "m_msMotionUnit", 0, &st, kMotionUnitLabels,
                        kMotionUnitValues, 2, 2);
    KORVANE_CHECK("m_msMotionUnit")
    CreateBoolAttribute(m_msNormalsPerCorner, "Keep Corner Normals", "m_msNormalsPerCorner", false, &st);
    KORVANE_CHECK("m_msNormalsPerCorner")
#undef KORVANE_CHECK

    {
        MFnTypedAttribute fn;
        outMesh = fn.create("outMesh", "outMesh", MFnData::kMesh, MObject::kNullObj, &st);
        if (st.error())
            return AttributeFailed("outMesh");
        fn.setStorable(false);
        st = addAttribute(outMesh);
        if (st.error())
            return AttributeFailed("outMesh");
    }

    const MObject* const inputs[] = {
        &m_active,           &m_flPath,           &m_flName,
        &m_flFormat,         &m_flIndexMode,      &m_flIdxValue,
        &m_flIdxFractionStrength, &m_flLoadNormals, &m_flLoadMotions,
        &m_flLoadUVWs,       &m_flLoadColors,     &m_wfObjGroupActive,
        &m_wfObjGroupInvert, &m_wfObjGroupNames,  &m_dtScaleMotions,
        &m_dtBlurNormals,    &m_dtBlurMotions,    &m_dtBlurUVWs,
        &m_dtBlurColors,     &m_fxFixDoubleEdges, &m_fxFixNonManiEdges,
        &m_fxCloseHoles,     &m_fxInvertPolygons, &m_fxQuadrangulate,
        &m_fxPush,           &m_fxThickness,      &m_fxTriangulate,
        &m_fxSimpleSmooth,   &m_dtPostBlurNormals, &m_dtPostDisconnectPolys,
        &m_msSetOnlyVertices,
        &m_flRangeActive,    &m_flRangeStart,     &m_flRangeEnd,
        &m_flBeforeRange,    &m_flAfterRange,     &m_flMissingFrames,
        &m_flSubFrameMode,   &m_msMotionColorSet, &m_msMotionUnit,
        &m_msNormalsPerCorner,
    };
    static_assert(sizeof(inputs) / sizeof(inputs[0]) == 41, "31 inputs, 7 of the timeline, 3 of the render output");
    for (const MObject* input : inputs)
    {
        if (attributeAffects(*input, outMesh).error())
        {
            std::fprintf(stderr, "ERROR in attributeAffects\n");
            return MStatus::kFailure;
        }
    }
    return MStatus::kSuccess;
}

// ---------------------------------------------------------------------------
// compute

namespace {

// Fetches one input; on failure writes the line for its long name to standard
// error and returns false.
bool FetchInput(MDataBlock& data, const MObject& attr, const char* longName, MDataHandle& handle)
{
    MStatus st;
    handle = data.inputValue(attr, &st);
    if (st.error())
    {
        std::fprintf(stderr, "ERROR getting Korvane %s attribute handle\n", longName);
        return false;
    }
    return true;
}

// Copies the handle's text with its NUL into field (size bytes). A text that
// does not fit leaves the field empty and returns false: a cut path would
// name some other file, so it is refused instead.
bool CopyText(MDataHandle& handle, char* field, size_t size)
{
    const char* text = handle.asString().asChar();
    if (!text)
        text = "";
    const size_t length = std::strlen(text);
    if (length >= size)
    {
        field[0] = '\0';
        return false;
    }
    std::memcpy(field, text, length + 1);
    return true;
}

} // namespace

MStatus Korvane::compute(const MPlug& plug, MDataBlock& data)
{
    NodeSettings settings;
    std::memset(&settings, 0, sizeof(settings));
    bool pathFits = true, nameFits = true, groupsFit = true, motionSetFits = true;
    MDataHandle h;

#define KORVANE_INPUT(attr)                                                                       \
    if (!FetchInput(data, attr, #attr, h))                                                        \
        return MStatus::kFailure;

    KORVANE_INPUT(m_active)
    settings.active = h.asBool();
    KORVANE_INPUT(m_flPath)
    pathFits = CopyText(h, settings.path, sizeof(settings.path));
    KORVANE_INPUT(m_flName)
    nameFits = CopyText(h, settings.name, sizeof(settings.name));
    KORVANE_INPUT(m_flFormat)
    settings.format = h.asShort();
    KORVANE_INPUT(m_flIndexMode)
    settings.indexMode = h.asShort();
    KORVANE_INPUT(m_flIdxFractionStrength)
    settings.fractionStrength = h.asFloat();
    KORVANE_INPUT(m_flIdxValue)
    settings.indexValue = h.asFloat();
    FrameOfIndexValue(settings.indexValue, settings.indexMode, settings.fractionStrength,
                      settings.frame, settings.fraction);
    KORVANE_INPUT(m_flLoadNormals)
    settings.loadNormals = h.asBool();
    KORVANE_INPUT(m_flLoadMotions)
    settings.loadMotions = h.asBool();
    KORVANE_INPUT(m_flLoadUVWs)
    settings.loadUvws = h.asBool();
    KORVANE_INPUT(m_flLoadColors)
    settings.loadColors = h.asBool();
    KORVANE_INPUT(m_wfObjGroupActive)
    settings.useGroups = h.asBool();
    KORVANE_INPUT(m_wfObjGroupInvert)
    settings.invertGroups = h.asBool();
    KORVANE_INPUT(m_wfObjGroupNames)
    groupsFit = CopyText(h, settings.groupNames, sizeof(settings.groupNames));
    KORVANE_INPUT(m_dtScaleMotions)
    settings.motionScale = h.asFloat();
    KORVANE_INPUT(m_dtBlurNormals)
    settings.blurNormals = h.asInt();
    KORVANE_INPUT(m_dtBlurMotions)
    settings.blurMotions = h.asInt();
    KORVANE_INPUT(m_dtBlurUVWs)
    settings.blurUvws = h.asInt();
    KORVANE_INPUT(m_dtBlurColors)
    settings.blurColors = h.asInt();
    KORVANE_INPUT(m_fxFixDoubleEdges)
    settings.fixDoubleEdges = h.asBool();
    KORVANE_INPUT(m_fxFixNonManiEdges)
    settings.fixNonManifoldEdges = h.asBool();
    KORVANE_INPUT(m_fxCloseHoles)
    settings.closeHoles = h.asBool();
    KORVANE_INPUT(m_fxInvertPolygons)
    settings.invertPolygons = h.asBool();
    KORVANE_INPUT(m_fxQuadrangulate)
    settings.quadrangulate = h.asBool();
    KORVANE_INPUT(m_fxPush)
    settings.push = h.asFloat();
    KORVANE_INPUT(m_fxThickness)
    settings.thickness = h.asFloat();
    KORVANE_INPUT(m_fxTriangulate)
    settings.triangulate = h.asInt();
    KORVANE_INPUT(m_fxSimpleSmooth)
    settings.smoothIterations = h.asInt();
    KORVANE_INPUT(m_dtPostBlurNormals)
    settings.postBlurNormals = h.asInt();
    KORVANE_INPUT(m_dtPostDisconnectPolys)
    settings.disconnectPolygons = h.asBool();
    KORVANE_INPUT(m_msSetOnlyVertices)
    settings.setOnlyVertices = h.asBool();
    KORVANE_INPUT(m_flRangeActive)
    settings.rangeActive = h.asBool();
    KORVANE_INPUT(m_flRangeStart)
    settings.rangeStart = h.asInt();
    KORVANE_INPUT(m_flRangeEnd)
    settings.rangeEnd = h.asInt();
    KORVANE_INPUT(m_flBeforeRange)
    settings.beforeRange = h.asShort();
    KORVANE_INPUT(m_flAfterRange)
    settings.afterRange = h.asShort();
    KORVANE_INPUT(m_flMissingFrames)
    settings.missingFrames = h.asShort();
    KORVANE_INPUT(m_flSubFrameMode)
    settings.subFrameMode = h.asShort();
    KORVANE_INPUT(m_msMotionColorSet)
    motionSetFits = CopyText(h, settings.motionColorSet, sizeof(settings.motionColorSet));
    KORVANE_INPUT(m_msMotionUnit)
    settings.motionUnit = h.asShort();
    KORVANE_INPUT(m_msNormalsPerCorner)
    settings.normalsPerCorner = h.asBool();
#undef KORVANE_INPUT
    settings.framesPerSecond = static_cast<float>(MTime(1.0, MTime::kSeconds).asUnits(MTime::uiUnit()));

    // The group names only matter while the group filter is on.
    const char* refusedText = nullptr;
    if (!pathFits)
        refusedText = "[Korvane] the cache path is longer than 1535 characters; nothing is loaded.";
    else if (!nameFits)
        refusedText = "[Korvane] the file name pattern is longer than 512 characters; nothing is loaded.";
    else if (!groupsFit && settings.useGroups)
        refusedText = "[Korvane] the group names are longer than 2049 characters; nothing is loaded.";
    else if (!motionSetFits)
        refusedText = "[Korvane] the motion color set name is longer than 512 characters; nothing is loaded.";

    // The process-wide OpenMP thread count follows the host's setting; no
    // step of this evaluation runs a parallel region itself.
    const int threads = MThreadUtils::getNumThreads();
    if (threads > 0)
        omp_set_num_threads(threads);

    if (plug != outMesh)
        return MStatus::kUnknownParameter;

    MStatus st;
    MDataHandle outHandle = data.outputValue(outMesh, &st);
    if (st.error())
    {
        std::fprintf(stderr, "[Korvane] ERROR getting polygon data handle.\n");
        return MStatus::kFailure;
    }
    MFnMeshData meshDataFn;
    MObject meshData = meshDataFn.create(&st);
    if (st.error())
    {
        std::fprintf(stderr, "[Korvane] ERROR creating outputData.\n");
        return MStatus::kFailure;
    }

    // The direction of play, for the read-ahead of the next frame.
    if (!refusedText)
        KorvaneNotePlayedFrame(settings, m_playHint);
    MStatus status;
    BuildOutputMesh(settings, meshData, status, refusedText);

    outHandle.set(meshData);
    data.setClean(plug);
    if (status.error())
    {
        std::fprintf(stderr, "[Korvane] ERROR creating mesh.\n");
        return MStatus::kFailure;
    }
    return MStatus::kSuccess;
}

// ---------------------------------------------------------------------------
// BuildOutputMesh

void Korvane::BuildOutputMesh(const NodeSettings& settings, MObject& meshData, MStatus& status,
                              const char* refusedText)
{
    // An empty mesh first: from here on the output always holds a mesh.
    status = MStatus::kSuccess;
    MFnMesh meshFn;
    {
        MFloatPointArray points;
        MIntArray counts;
        MIntArray connects;
        meshFn.create(0, 0, points, counts, connects, meshData);
    }
    if (!settings.active)
        return; // nothing is read: the empty mesh is the output

    if (refusedText)
    {
        MGlobal::displayError(refusedText);
        status = MStatus::kFailure;
        return;
    }
    // Environment variables in the directory, so that one scene works on
    // every machine of a farm.
    char directory[kSettingsPathSize];
    char variable[256];
    const int32_t expanded =
        ExpandPathVariables(settings.path, directory, sizeof(directory), variable, sizeof(variable));
    if (expanded == kPathVariableUnset)
    {
        MGlobal::displayError(MString("[Korvane] the environment variable \"") + variable +
                              "\" in the cache path \"" + settings.path + "\" is not set; nothing is loaded.");
        status = MStatus::kFailure;
        return;
    }
    if (expanded != kPathExpanded)
    {
        MGlobal::displayError(MString("[Korvane] the cache path \"") + settings.path +
                              "\" is longer than 1535 characters with its variables; nothing is loaded.");
        status = MStatus::kFailure;
        return;
    }

    char path[kCachePathSize];
    char partnerPath[kCachePathSize];
    FramePick pick;
    switch (ResolveFrame(settings, directory, pick, path, partnerPath))
    {
    case kResolveLoad: break;
    case kResolveBlank: return; // outside the range with Blank: the empty mesh
    case kResolveMissingBlank:
    {
        MString line("[Korvane] no file for frame ");
        line += pick.frame;
        MGlobal::displayInfo(line + ": \"" + path + "\"; the mesh is empty.");
        return;
    }
    case kResolveRangeReversed:
    {
        MString line("[Korvane] the frame range starts after it ends (Range Start ");
        line += settings.rangeStart;
        line += ", Range End ";
        line += settings.rangeEnd;
        MGlobal::displayError(line + "); nothing is loaded.");
        status = MStatus::kFailure;
        return;
    }
    default:
        MGlobal::displayError(
            "[Korvane] the cache file path is longer than 2047 characters; nothing is loaded.");
        status = MStatus::kFailure;
        return;
    }

    // The next frame in the direction of play starts loading into the
    // operating system's cache while this one is read, processed and drawn;
    // after a jump, once this one is read.
    const bool inPlay = KorvaneLoadIsInPlay(path, m_playHint);
    if (inPlay)
        KorvanePrefetchNextFrame(settings, directory, pick.frame, path, m_playHint);
    else
        KorvaneEndReadAhead(m_playHint, path);

    ZNQGeometry* geometry = KorvaneNewGeometry();
    ZNQLoadPlace place;
    const int32_t rc =
        geometry ? KorvaneLoadPicked(*geometry, settings, pick, path, partnerPath, &place) : ZNQ_ERR_MEMORY;
    if (!inPlay)
        KorvanePrefetchNextFrame(settings, directory, pick.frame, path, m_playHint);
    if (rc != 0)
    {
        // The geometry is already empty; no partial result reaches the host.
        MGlobal::displayError(MString("[Korvane] failed to load or create \"") + path + "\".");
        static const char kPrefix[] = "[Korvane] ";
        char message[sizeof(kPrefix) + kZNQErrorMessageMaxLen];
        MGlobal::displayError(ZNQErrorMessage(rc, message, true, kPrefix));
        // Where and why, when the reader knows: one more line.
        char detail[sizeof(kPrefix) + 256];
        std::memcpy(detail, kPrefix, sizeof(kPrefix));
        if (PlaceFormat(place, detail + sizeof(kPrefix) - 1, sizeof(detail) - sizeof(kPrefix) + 1) > 0)
            MGlobal::displayError(detail);
        status = MStatus::kFailure;
        KorvaneDeleteGeometry(geometry);
        return;
    }

    KorvaneWriteHostMesh(*geometry, meshFn, meshData, settings, pick.motionFactor, status);
    KorvaneDeleteGeometry(geometry);
}
