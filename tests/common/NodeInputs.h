// The Korvane node's inputs in the order of creation, as a user meets them:
// names, kind, default and soft slider range. The first 31 are the node's
// original inputs; newer ones follow them.
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
inline const NodeInput kNodeInputs[] = {
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
    // Render output.
    {"m_msMotionColorSet", "Motion Color Set", IK::kString, 0, "", 0, 0},
    {"m_msMotionUnit", "Motion Unit", IK::kEnum, 0, nullptr, 0, 0},
    {"m_msNormalsPerCorner", "Keep Corner Normals", IK::kBool, 0, nullptr, 0, 0},
};
constexpr int kOriginalInputCount = 31;
constexpr int kNodeInputCount = static_cast<int>(sizeof(kNodeInputs) / sizeof(kNodeInputs[0]));

} // namespace kvt
