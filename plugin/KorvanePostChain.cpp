// The post-processing chain: the mesh operations that the node's inputs
// select, run in one fixed order on the loaded geometry. Host-neutral, so it
// can be driven without Maya.
#include "geometry/ZNQGeometry.h"
#include "plugin/KorvaneSettings.h"

int32_t RunPostProcessingChain(ZNQGeometry& geometry, const NodeSettings& settings)
{
    // The motion scale always runs, also at 1.0, and after the sub-frame
    // offset of the evaluation: that offset uses the vectors as loaded.
    geometry.ScaleMotionVectors(settings.motionScale);

    // Blurs of the loaded data; an iteration count of 0 or less does nothing.
    int32_t rc = geometry.BlurNormals(1.0f, settings.blurNormals);
    if (rc == 0)
        rc = geometry.BlurMotions(1.0f, settings.blurMotions);
    if (rc == 0)
        rc = geometry.BlurColors(1.0f, settings.blurColors);
    if (rc == 0)
        rc = geometry.BlurUvws(1.0f, settings.blurUvws);

    // Repairs and reshaping, each only when switched on.
    if (rc == 0 && (settings.fixDoubleEdges || settings.fixNonManifoldEdges))
        rc = geometry.FixEdges(settings.fixNonManifoldEdges, settings.fixDoubleEdges);
    if (rc == 0 && settings.closeHoles)
        rc = geometry.CloseHoles(-1.0f, 255); // no size limit, fillers up to 255 corners
    if (rc == 0 && settings.invertPolygons)
        geometry.InvertPolygons(true);
    if (rc == 0 && settings.quadrangulate)
        rc = geometry.Quadrangulate(30.0f, 45.0f);
    if (rc == 0 && settings.push != 0.0f)
        rc = geometry.Push(settings.push, true, 4);
    if (rc == 0 && settings.thickness != 0.0f)
        rc = geometry.Thickness(-0.5f * settings.thickness, 0.5f * settings.thickness, true, 4, 0, 0);

    // Triangulation. Polygons of five or more corners are split in every
    // mode, so the host never receives them.
    if (rc == 0)
    {
        switch (settings.triangulate)
        {
        case kTriangulateConcave:
            rc = geometry.TriangulateFivePlus();
            if (rc == 0)
                rc = geometry.TriangulateConcave();
            break;
        case kTriangulateAll:
            rc = geometry.Triangulate(nullptr, 0, false);
            break;
        default:
            rc = geometry.TriangulateFivePlus();
            break;
        }
    }

    if (rc == 0 && settings.smoothIterations > 0)
        rc = geometry.SimpleSmooth(1.0f, settings.smoothIterations);
    if (rc == 0)
        rc = geometry.BlurNormals(1.0f, settings.postBlurNormals);
    if (rc == 0 && settings.disconnectPolygons)
        rc = geometry.DisconnectPolygons();
    return rc;
}
