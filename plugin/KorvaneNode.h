// The Korvane dependency node: shows one frame of a polygon-mesh cache.
//
// 31 inputs select the cache file, the data to load and the post-processing,
// 7 more the frame range, missing frames and sub-frame mode, and 3 more what
// the mesh hands to renderers; the output outMesh carries the resulting mesh.
// Every evaluation reads the frame's file again; the node keeps nothing between evaluations.
#pragma once

#include <maya/MFnMesh.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MTypeId.h>

#include "plugin/KorvanePrefetch.h"
#include "plugin/KorvaneSettings.h"

class Korvane : public MPxNode
{
public:
    Korvane() = default;
    ~Korvane() override;

    // Evaluates outMesh; any other plug gives kUnknownParameter after the
    // inputs were read. kFailure when an input or the output cannot be
    // fetched, or when the load, an operation or the mesh output failed (the
    // output then holds an empty mesh).
    MStatus compute(const MPlug& plug, MDataBlock& data) override;

    // Node creator for registration: a new node, owned by the host.
    static void* creator();
    // Creates, adds and links the 41 inputs and outMesh. kFailure (with a
    // line on standard error) at the first attribute that fails.
    static MStatus initialize();

    // Builds the mesh of one evaluation into meshData (made by
    // MFnMeshData::create). The output always holds at least an empty mesh.
    // refusedText: a line shown instead of loading when an input text did
    // not fit its field (null when all fit). status: success, kFailure after
    // a refused text, a load or operation error, kInsufficientMemory when an
    // output array cannot be sized, or the status of MFnMesh::create.
    void BuildOutputMesh(const NodeSettings& settings, MObject& meshData, MStatus& status,
                         const char* refusedText = nullptr);

    static const MTypeId id; // 0x11FF10

    // Inputs, in the order of creation.
    static MObject m_active;
    static MObject m_flPath;
    static MObject m_flName;
    static MObject m_flFormat;
    static MObject m_flIndexMode;
    static MObject m_flIdxValue;
    static MObject m_flIdxFractionStrength;
    static MObject m_flLoadNormals;
    static MObject m_flLoadMotions;
    static MObject m_flLoadUVWs;
    static MObject m_flLoadColors;
    static MObject m_wfObjGroupActive;
    static MObject m_wfObjGroupInvert;
    static MObject m_wfObjGroupNames;
    static MObject m_dtScaleMotions;
    static MObject m_dtBlurNormals;
    static MObject m_dtBlurMotions;
    static MObject m_dtBlurUVWs;
    static MObject m_dtBlurColors;
    static MObject m_fxFixDoubleEdges;
    static MObject m_fxFixNonManiEdges;
    static MObject m_fxCloseHoles;
    static MObject m_fxInvertPolygons;
    static MObject m_fxQuadrangulate;
    static MObject m_fxPush;
    static MObject m_fxThickness;
    static MObject m_fxTriangulate;
    static MObject m_fxSimpleSmooth;
    static MObject m_dtPostBlurNormals;
    static MObject m_dtPostDisconnectPolys;
    static MObject m_msSetOnlyVertices;
    // Frame range, missing frames and sub-frame mode, created after the 31.
    static MObject m_flRangeActive;
    static MObject m_flRangeStart;
    static MObject m_flRangeEnd;
    static MObject m_flBeforeRange;
    static MObject m_flAfterRange;
    static MObject m_flMissingFrames;
    static MObject m_flSubFrameMode;
    static MObject m_msMotionColorSet;
    static MObject m_msMotionUnit;
    static MObject m_msNormalsPerCorner;
    // Output.
    static MObject outMesh;

private:
    // Direction of play for the read-ahead of the next frame's file; a hint,
    // no geometry (every evaluation still loads its frame anew).
    KorvanePlayHint m_playHint;
};

// Writes the geometry into the mesh owned by meshData: points and polygons,
// then vertex normals (per corner with settings.normalsPerCorner), RGBA
// vertex colours, per-corner UVs and the motion colour set when the geometry
// carries them (all skipped with settings.setOnlyVertices, which keeps all
// vertices and the first polygon). Sets status as described for
// BuildOutputMesh; failures of the optional data are shown, not returned.
// meshFn: the function set that made the empty mesh in meshData.
// motionFactor: the motion along the timeline per processed motion vector
// (FramePick::motionFactor: 1, 0 for a held frame, -1 playing backwards).
void KorvaneWriteHostMesh(ZNQGeometry& geometry, MFnMesh& meshFn, MObject& meshData,
                          const NodeSettings& settings, float motionFactor, MStatus& status);
