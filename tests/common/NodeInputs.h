// The Korvane node's inputs in the order of creation, as a user meets them:
// names, kind, default and soft slider range. The 31 first ones, then the 7
// of frame range, missing frames and sub-frame mode, then the 3 of the render
// output (NodeInputAt: all 41).
#pragma once

namespace kvt
{

enum class InputKind
{
    kBool,
    kInt,
    kFloat,
    kEnum,
    kString
};

struct NodeInput
{
    const char* longName;
    const char* niceName;
    InputKind kind;
    double def;              // numeric and enum
    const char* text;        // string default
    double softMin, softMax; // both 0: no soft range
};

using IK = InputKind;
inline const NodeInput kNodeInputs[31] = {
    {"m_active", "Active", IK::kBool, 1, nullptr, 0, 0},
    {"m_flPath", "Path", IK::kString, 0, "C:/Temp/Cache/", 0, 0},
    {"m_flName", "Filename", IK::kString, 0, "File.#", 0, 0},
    {"m_flFormat", "Fileformat", IK::kEnum, 4, nullptr, 0, 0},
    {"m_flIndexMode", "Index Mode", IK::kEnum, 0, nullptr, 0, 0},
    {"m_flIdxValue", "Idx Value", IK::kFloat, 1, nullptr, 1, 10},
    {"m_flIdxFractionStrength", "Idx Fraction Strength", IK::kFloat, 0, nullptr, 0, 1},
    {"m_flLoadNormals", "Load Normal Vectors", IK::kBool, 0, nullptr, 0, 0},
    {"m_flLoadMotions", "Load Motion Vectors", IK::kBool, 0, nullptr, 0, 0},
    {"m_flLoadUVWs", "Load UVWs", IK::kBool, 0, nullptr, 0, 0},
    {"m_flLoadColors", "Load Colors", IK::kBool, 0, nullptr, 0, 0},
    {"m_wfObjGroupActive", "Use Groups", IK::kBool, 0, nullptr, 0, 0},
    {"m_wfObjGroupInvert", "Invert", IK::kBool, 0, nullptr, 0, 0},
    {"m_wfObjGroupNames", "Group Names", IK::kString, 0, "grp1;grp2;", 0, 0},
    {"m_dtScaleMotions", "Scale Motion Vectors", IK::kFloat, 1, nullptr, 0, 0},
    {"m_dtBlurNormals", "Blur Normals", IK::kInt, 0, nullptr, 0, 10},
    {"m_dtBlurMotions", "Blur Motions", IK::kInt, 0, nullptr, 0, 10},
    {"m_dtBlurUVWs", "Blur UVWs", IK::kInt, 0, nullptr, 0, 10},
    {"m_dtBlurColors", "Blur Colors", IK::kInt, 0, nullptr, 0, 10},
    {"m_fxFixDoubleEdges", "Fix double Edges", IK::kBool, 0, nullptr, 0, 0},
    {"m_fxFixNonManiEdges", "Fix non-manifold Edges", IK::kBool, 0, nullptr, 0, 0},
    {"m_fxCloseHoles", "Close Holes", IK::kBool, 0, nullptr, 0, 0},
    {"m_fxInvertPolygons", "Invert Polygons", IK::kBool, 0, nullptr, 0, 0},
    {"m_fxQuadrangulate", "Quadrangulate", IK::kBool, 0, nullptr, 0, 0},
    {"m_fxPush", "Push", IK::kFloat, 0, nullptr, 0, 3},
    {"m_fxThickness", "Thickness", IK::kFloat, 0, nullptr, 0, 3},
    {"m_fxTriangulate", "Triangulate", IK::kEnum, 0, nullptr, 0, 0},
    {"m_fxSimpleSmooth", "Simple Smooth", IK::kInt, 0, nullptr, 0, 25},
    {"m_dtPostBlurNormals", "Blur Normals", IK::kInt, 0, nullptr, 0, 10},
    {"m_dtPostDisconnectPolys", "Disconnect all Polygons", IK::kBool, 0, nullptr, 0, 0},
    {"m_msSetOnlyVertices", "Set only Vertices (and 1st Polygon)", IK::kBool, 0, nullptr, 0, 0},
};

inline const NodeInput kRangeInputs[7] = {
    {"m_flRangeActive", "Use Frame Range", IK::kBool, 0, nullptr, 0, 0},
    {"m_flRangeStart", "Range Start", IK::kInt, 1, nullptr, 0, 0},
    {"m_flRangeEnd", "Range End", IK::kInt, 100, nullptr, 0, 0},
    {"m_flBeforeRange", "Before Range", IK::kEnum, 0, nullptr, 0, 0},
    {"m_flAfterRange", "After Range", IK::kEnum, 0, nullptr, 0, 0},
    {"m_flMissingFrames", "Missing Frames", IK::kEnum, 0, nullptr, 0, 0},
    {"m_flSubFrameMode", "Sub-frame", IK::kEnum, 0, nullptr, 0, 0},
};

inline const NodeInput kRenderInputs[3] = {
    {"m_msMotionColorSet", "Motion Color Set", IK::kString, 0, "", 0, 0},
    {"m_msMotionUnit", "Motion Unit", IK::kEnum, 0, nullptr, 0, 0},
    {"m_msNormalsPerCorner", "Keep Corner Normals", IK::kBool, 0, nullptr, 0, 0},
};

constexpr int kNumNodeInputs = 41;

// Input i of all 41 in creation order.
inline const NodeInput& NodeInputAt(int i)
{
    return i < 31 ? kNodeInputs[i] : (i < 38 ? kRangeInputs[i - 31] : kRenderInputs[i - 38]);
}

} // namespace kvt
