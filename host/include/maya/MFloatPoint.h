// Stand-in host: MFloatPoint, a point of four floats.
#ifndef KHOST_MAYA_MFloatPoint_h
#define KHOST_MAYA_MFloatPoint_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class MPoint;
class MVector;

class OPENMAYA_EXPORT MFloatPoint
{
public:
    MFloatPoint();
    MFloatPoint(const MFloatPoint& src);
    MFloatPoint(float xx, float yy, float zz = 0.0, float ww = 1.0);
    ~MFloatPoint();
    MFloatPoint& operator=(const MFloatPoint& src);
    float operator[](unsigned int i) const;
    float& operator[](unsigned int i);
    bool operator==(const MFloatPoint& other) const;
    bool operator!=(const MFloatPoint& other) const;
    MStatus get(float dest[4]) const;
    MStatus setCast(const MPoint& srcpt);

    static const MFloatPoint origin;

    float x;
    float y;
    float z;
    float w;
};

#endif
