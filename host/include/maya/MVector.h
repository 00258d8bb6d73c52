// Stand-in host: MVector, a vector of three doubles.
#ifndef KHOST_MAYA_MVector_h
#define KHOST_MAYA_MVector_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MVector
{
public:
    MVector();
    MVector(const MVector& src);
    MVector(double xx, double yy, double zz = 0.0);
    MVector(const double d[3]);
    MVector(const float f[3]);
    ~MVector();
    MVector& operator=(const MVector& src);
    double operator[](unsigned int i) const;
    double& operator[](unsigned int i);
    MVector operator+(const MVector& other) const;
    MVector operator-(const MVector& other) const;
    MVector operator-() const;
    MVector operator*(double scale) const;
    double operator*(const MVector& other) const;
    MVector operator^(const MVector& other) const;
    bool operator==(const MVector& other) const;
    bool operator!=(const MVector& other) const;
    double length() const;
    MVector normal() const;
    MStatus normalize();
    MStatus get(double dest[3]) const;

    static const MVector zero;
    static const MVector one;
    static const MVector xAxis;
    static const MVector yAxis;
    static const MVector zAxis;

    double x;
    double y;
    double z;
};

#endif
