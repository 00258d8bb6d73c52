// Stand-in host: MVector, a vector of three doubles.
#ifndef KHOST_MAYA_MVector_h
#define KHOST_MAYA_MVector_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MVector
{
public:
    MVector();
    MVector(double xx, double yy, double zz = 0.0);

    double x;
    double y;
    double z;
};

#endif
