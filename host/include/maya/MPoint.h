// Stand-in host: MPoint, a point of four doubles.
#ifndef KHOST_MAYA_MPoint_h
#define KHOST_MAYA_MPoint_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MPoint
{
public:
    MPoint();
    MPoint(const MPoint& srcpt);
    MPoint(double xx, double yy, double zz = 0.0, double ww = 1.0);
    ~MPoint();
    MPoint& operator=(const MPoint& src);
    double operator[](unsigned int i) const;
    double& operator[](unsigned int i);
    bool operator==(const MPoint& other) const;
    bool operator!=(const MPoint& other) const;
    MStatus get(double dest[4]) const;

    static const MPoint origin;

    double x;
    double y;
    double z;
    double w;
};

#endif
