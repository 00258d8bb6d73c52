// Stand-in host: MFloatPoint, a point of four floats.
#ifndef KHOST_MAYA_MFloatPoint_h
#define KHOST_MAYA_MFloatPoint_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MFloatPoint
{
public:
    MFloatPoint();
    MFloatPoint(float xx, float yy, float zz = 0.0, float ww = 1.0);

    float x;
    float y;
    float z;
    float w;
};

#endif
