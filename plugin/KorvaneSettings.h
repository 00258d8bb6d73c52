// NodeSettings: the flat record that the node's compute fills from its inputs
// and the evaluation reads. Host-neutral (no Maya header), so the
// post-processing chain can be driven and tested without a host.
#pragma once

#include <cstdint>

struct ZNQGeometry;

// Text field sizes, terminating NUL included.
enum : int32_t
{
    kSettingsPathSize = 1536,
    kSettingsNameSize = 513,
    kSettingsGroupNamesSize = 2050,
    kCachePathSize = 2048,
};

// Triangulate modes of m_fxTriangulate.
enum : int32_t
{
    kTriangulateOff = 0,
    kTriangulateConcave = 1,
    kTriangulateAll = 2,
};

// m_flBeforeRange / m_flAfterRange: what a frame outside the range shows.
enum : int16_t
{
    kRangeHold = 0,
    kRangeBlank = 1,
    kRangeLoop = 2,
    kRangePingPong = 3,
};

// m_flMissingFrames: what a frame whose file does not exist shows.
enum : int16_t
{
    kMissingError = 0,
    kMissingBlank = 1,
    kMissingHoldPrevious = 2,
    kMissingNearest = 3,
};

// m_flSubFrameMode.
enum : int16_t
{
    kSubFrameMotionVectors = 0,
    kSubFrameInterpolate = 1,
};

// Units of the motion colour set (m_msMotionUnit).
enum : int32_t
{
    kMotionUnitPerFrame = 0,
    kMotionUnitPerSecond = 1,
};

// Starts zeroed for every evaluation; fields in this order.
struct NodeSettings
{
    bool active;
    char path[kSettingsPathSize];         // cache directory
    char name[kSettingsNameSize];         // file name pattern with a '#' run
    int16_t format;                       // m_flFormat
    int16_t indexMode;                    // m_flIndexMode
    int32_t frame;                        // computed
    float indexValue;                     // m_flIdxValue
    float fraction;                       // computed
    float fractionStrength;               // m_flIdxFractionStrength
    bool loadNormals;
    bool loadMotions;
    bool loadUvws;
    bool loadColors;
    bool useGroups;
    bool invertGroups;
    char groupNames[kSettingsGroupNamesSize];
    float motionScale;                    // m_dtScaleMotions
    int32_t blurNormals;                  // iterations
    int32_t blurMotions;
    int32_t blurUvws;
    int32_t blurColors;
    bool fixDoubleEdges;
    bool fixNonManifoldEdges;
    bool closeHoles;
    bool invertPolygons;
    bool quadrangulate;
    float push;
    float thickness;
    int32_t triangulate;                  // kTriangulate...
    int32_t smoothIterations;
    int32_t postBlurNormals;
    bool disconnectPolygons;
    bool setOnlyVertices;
    // Frame range, missing frames and sub-frames (the inputs after the
    // first 31); all zero gives the plain behaviour.
    bool rangeActive;                     // m_flRangeActive
    int32_t rangeStart;                   // m_flRangeStart
    int32_t rangeEnd;                     // m_flRangeEnd
    int16_t beforeRange;                  // kRange...
    int16_t afterRange;
    int16_t missingFrames;                // kMissing...
    int16_t subFrameMode;                 // kSubFrame...

    // Render output.
    char motionColorSet[kSettingsNameSize]; // m_msMotionColorSet; empty: no motion colour set
    int16_t motionUnit;                     // m_msMotionUnit, kMotionUnit...
    bool normalsPerCorner;                  // m_msNormalsPerCorner
    float framesPerSecond;                  // of the scene's time unit
};

// Runs the post-processing chain on a loaded geometry in its fixed order and
// returns the first non-zero code (0 when every step that ran succeeded).
int32_t RunPostProcessingChain(ZNQGeometry& geometry, const NodeSettings& settings);
