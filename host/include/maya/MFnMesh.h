// Stand-in host: MFnMesh, the function set of polygon meshes.
#ifndef KHOST_MAYA_MFnMesh_h
#define KHOST_MAYA_MFnMesh_h

#include <maya/MFnDagNode.h>
#include <maya/MObject.h>
#include <maya/MColor.h>
#include <maya/MColorArray.h>
#include <maya/MVectorArray.h>
#include <maya/MVector.h>
#include <maya/MFloatPoint.h>
#include <maya/MDGModifier.h>
#include <maya/MString.h>

#define kMFnMeshInstanceUnspecified -1

class MFloatPointArray;
class MIntArray;
class MFloatArray;
class MSelectionList;

class OPENMAYA_EXPORT MFnMesh : public MFnDagNode
{
public:
    MFnMesh();
    MFnMesh(MObject& object, MStatus* ReturnStatus = NULL);
    MFnMesh(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnMesh();
    virtual MFn::Type type() const;

    enum MColorRepresentation
    {
        kAlpha = 1,
        kRGB = 3,
        kRGBA = 4
    };

    MObject create(int numVertices, int numPolygons, const MFloatPointArray& vertexArray,
                   const MIntArray& polygonCounts, const MIntArray& polygonConnects,
                   MObject parentOrOwner = MObject::kNullObj, MStatus* ReturnStatus = NULL);

    MStatus setVertexNormals(MVectorArray& normalArray, MIntArray& vertexList,
                             MSpace::Space space = MSpace::kObject);
    MStatus setFaceVertexNormals(MVectorArray& normalArray, MIntArray& faceList, MIntArray& vertexList,
                                 MSpace::Space space = MSpace::kObject);

    MString createColorSetWithNameDataMesh(const MString& colorSetName, bool clamped,
                                           MColorRepresentation rep, MStatus* ReturnStatus = NULL);
    MStatus setCurrentColorSetName(const MString& setName, MDGModifier* modifier = NULL,
                                   MSelectionList* currentSelection = NULL);
    MString currentColorSetName(int instance = kMFnMeshInstanceUnspecified,
                                MStatus* ReturnStatus = NULL) const;
    MStatus setColors(const MColorArray& colors, const MString* colorSet, MColorRepresentation rep);
    MStatus assignColors(const MIntArray& colorIds, const MString* colorSet = NULL);
    MStatus setVertexColors(MColorArray& colors, MIntArray& vertexList, MDGModifier* modifier = NULL);

    MStatus setUVs(const MFloatArray& uArray, const MFloatArray& vArray, const MString* uvSet = NULL);
    MStatus assignUVs(const MIntArray& uvCounts, const MIntArray& uvIds, const MString* uvSet = NULL);
private:
    MFnMesh(const MFnMesh&);
    MFnMesh& operator=(const MFnMesh&);
    MFnMesh* operator&() const;
};

#endif
