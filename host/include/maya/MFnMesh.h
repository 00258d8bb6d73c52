// Stand-in host: MFnMesh, the function set of polygon meshes.
#ifndef KHOST_MAYA_MFnMesh_h
#define KHOST_MAYA_MFnMesh_h

#include <maya/MFnDagNode.h>
#include <maya/MObject.h>
#include <maya/MColor.h>
#include <maya/MColorArray.h>
#include <maya/MVectorArray.h>
#include <maya/MVector.h>
#include <maya/MPoint.h>
#include <maya/MFloatPoint.h>
#include <maya/MDGModifier.h>
#include <maya/MString.h>
#include <maya/MStringArray.h>

#define kMFnMeshInstanceUnspecified -1

class MFloatPointArray;
class MPointArray;
class MIntArray;
class MFloatArray;
class MDagPath;
class MSelectionList;
class OPENMAYA_EXPORT MFnMesh : public MFnDagNode
{
public:
    MFnMesh();
    MFnMesh(MObject& object, MStatus* ReturnStatus = NULL);
    MFnMesh(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnMesh();
    virtual MFn::Type type() const;
    static const char* className();

    MFnMesh(const MDagPath& object, MStatus* ret = NULL);

    enum MColorRepresentation
    {
        kAlpha = 1,
        kRGB = 3,
        kRGBA = 4
    };

    MObject create(int numVertices, int numPolygons, const MFloatPointArray& vertexArray,
                   const MIntArray& polygonCounts, const MIntArray& polygonConnects,
                   MObject parentOrOwner = MObject::kNullObj, MStatus* ReturnStatus = NULL);
    MObject create(int numVertices, int numPolygons, const MPointArray& vertexArray,
                   const MIntArray& polygonCounts, const MIntArray& polygonConnects,
                   MObject parentOrOwner = MObject::kNullObj, MStatus* ReturnStatus = NULL);
    MObject create(int numVertices, int numPolygons, const MFloatPointArray& vertexArray,
                   const MIntArray& polygonCounts, const MIntArray& polygonConnects,
                   const MFloatArray& uArray, const MFloatArray& vArray,
                   MObject parentOrOwner = MObject::kNullObj, MStatus* ReturnStatus = NULL);
    MObject create(int numVertices, int numPolygons, const MPointArray& vertexArray,
                   const MIntArray& polygonCounts, const MIntArray& polygonConnects,
                   const MFloatArray& uArray, const MFloatArray& vArray,
                   MObject parentOrOwner = MObject::kNullObj, MStatus* ReturnStatus = NULL);

    int numVertices(MStatus* ReturnStatus = NULL) const;
    int numPolygons(MStatus* ReturnStatus = NULL) const;
    int numFaceVertices(MStatus* ReturnStatus = NULL) const;
    int numUVs(MStatus* ReturnStatus = NULL) const;
    int numUVs(const MString& uvSet, MStatus* ReturnStatus = NULL) const;

    MStatus getPoints(MFloatPointArray& vertexArray, MSpace::Space space = MSpace::kObject) const;
    MStatus getPoints(MPointArray& vertexArray, MSpace::Space space = MSpace::kObject) const;
    MStatus setPoints(MFloatPointArray& vertexArray, MSpace::Space space = MSpace::kObject);
    MStatus setPoints(MPointArray& vertexArray, MSpace::Space space = MSpace::kObject);
    MStatus getVertices(MIntArray& vertexCount, MIntArray& vertexList) const;

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
    MStatus setColors(const MColorArray& colors, const MString* colorSet = NULL);
    MStatus setColors(const MColorArray& colors, const MString* colorSet, MColorRepresentation rep);
    MStatus assignColors(const MIntArray& colorIds, const MString* colorSet = NULL);
    MStatus setVertexColors(MColorArray& colors, MIntArray& vertexList, MDGModifier* modifier = NULL);
    MStatus setVertexColors(MColorArray& colors, MIntArray& vertexList, MDGModifier* modifier,
                            MColorRepresentation rep);

    MStatus setUVs(const MFloatArray& uArray, const MFloatArray& vArray, const MString* uvSet = NULL);
    MStatus getUVs(MFloatArray& uArray, MFloatArray& vArray, const MString* uvSet = NULL) const;
    MStatus assignUVs(const MIntArray& uvCounts, const MIntArray& uvIds, const MString* uvSet = NULL);
    MStatus getAssignedUVs(MIntArray& uvCounts, MIntArray& uvIds, const MString* uvSet = NULL) const;
    MStatus clearUVs(const MString* uvSet = NULL);

private:
    MFnMesh(const MFnMesh&);
    MFnMesh& operator=(const MFnMesh&);
    MFnMesh* operator&() const;
};

#endif
