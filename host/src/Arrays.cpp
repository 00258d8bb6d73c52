// The host's array types. All share one layout (data, length, capacity,
// growth increment) and the same members, defined once by a macro.
#include "HostInternal.h"

#include <maya/MColorArray.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MIntArray.h>
#include <maya/MPointArray.h>
#include <maya/MStringArray.h>
#include <maya/MVectorArray.h>

#include <new>

namespace
{
// Reallocates to exactly `cap` elements, keeping the first `keep`.
template <class E> bool Reserve(E*& data, unsigned int& capacity, unsigned int keep, unsigned int cap)
{
    if (cap == 0)
    {
        delete[] data;
        data = nullptr;
        capacity = 0;
        return true;
    }
    E* fresh = new (std::nothrow) E[cap];
    if (!fresh)
        return false;
    for (unsigned int i = 0; i < keep && i < cap; ++i)
        fresh[i] = data[i];
    delete[] data;
    data = fresh;
    capacity = cap;
    return true;
}

template <class E> bool Grow(E*& data, unsigned int& capacity, unsigned int length, unsigned int need)
{
    if (need <= capacity)
        return true;
    unsigned long long cap = capacity ? capacity : 8;
    while (cap < need)
        cap *= 2;
    if (cap > 0xFFFFFFFFull)
        cap = need;
    return Reserve(data, capacity, length, (unsigned int)cap);
}
} // namespace

#define KHOST_ARRAY_COMMON(A, E, PARAM)                                                                     \
    A::A() : fData(nullptr), fLength(0), fCapacity(0), fIncrement(0) {}                                   \
    A::A(const A& o) : fData(nullptr), fLength(0), fCapacity(0), fIncrement(o.fIncrement) { copy(o); }    \
    A::~A() { delete[] fData; }                                                                             \
    A& A::operator=(const A& o)                                                                             \
    {                                                                                                       \
        if (this != &o)                                                                                     \
            copy(o);                                                                                        \
        return *this;                                                                                       \
    }                                                                                                       \
    E& A::operator[](unsigned int i) { return fData[i]; }                                                   \
    MStatus A::setLength(unsigned int n)                                                                    \
    {                                                                                                       \
        if (n > fCapacity && !Reserve(fData, fCapacity, fLength, n))                                        \
            return MS::kInsufficientMemory;                                                                 \
        for (unsigned int i = fLength; i < n; ++i)                                                          \
            fData[i] = E();                                                                                 \
        fLength = n;                                                                                        \
        return MS::kSuccess;                                                                                \
    }                                                                                                       \
    unsigned int A::length() const { return fLength; }                                                      \
    MStatus A::remove(unsigned int i)                                                                       \
    {                                                                                                       \
        if (i >= fLength)                                                                                   \
            return MS::kInvalidParameter;                                                                   \
        for (unsigned int k = i + 1; k < fLength; ++k)                                                      \
            fData[k - 1] = fData[k];                                                                        \
        --fLength;                                                                                          \
        return MS::kSuccess;                                                                                \
    }                                                                                                       \
    MStatus A::insert(PARAM e, unsigned int i)                                                              \
    {                                                                                                       \
        if (i > fLength)                                                                                    \
            return MS::kInvalidParameter;                                                                   \
        E copyOfE = e;                                                                                      \
        if (!Grow(fData, fCapacity, fLength, fLength + 1))                                                  \
            return MS::kInsufficientMemory;                                                                 \
        for (unsigned int k = fLength; k > i; --k)                                                          \
            fData[k] = fData[k - 1];                                                                        \
        fData[i] = copyOfE;                                                                                 \
        ++fLength;                                                                                          \
        return MS::kSuccess;                                                                                \
    }                                                                                                       \
    MStatus A::append(PARAM e)                                                                              \
    {                                                                                                       \
        E copyOfE = e;                                                                                      \
        if (fLength == 0xFFFFFFFFu || !Grow(fData, fCapacity, fLength, fLength + 1))                        \
            return MS::kInsufficientMemory;                                                                 \
        fData[fLength++] = copyOfE;                                                                         \
        return MS::kSuccess;                                                                                \
    }                                                                                                       \
    MStatus A::copy(const A& o)                                                                             \
    {                                                                                                       \
        if (this == &o)                                                                                     \
            return MS::kSuccess;                                                                            \
        if (o.fLength > fCapacity && !Reserve(fData, fCapacity, 0, o.fLength))                              \
            return MS::kInsufficientMemory;                                                                 \
        for (unsigned int i = 0; i < o.fLength; ++i)                                                        \
            fData[i] = o.fData[i];                                                                          \
        fLength = o.fLength;                                                                                \
        return MS::kSuccess;                                                                                \
    }                                                                                                       \
    MStatus A::clear()                                                                                      \
    {                                                                                                       \
        delete[] fData;                                                                                     \
        fData = nullptr;                                                                                    \
        fLength = fCapacity = 0;                                                                            \
        return MS::kSuccess;                                                                                \
    }                                                                                                       \
    void A::setSizeIncrement(unsigned int n) { fIncrement = n; }                                            \
    unsigned int A::sizeIncrement() const { return fIncrement; }                                            \
    std::ostream& operator<<(std::ostream& os, const A& a)                                                  \
    {                                                                                                       \
        os << "[";                                                                                          \
        for (unsigned int i = 0; i < a.length(); ++i)                                                       \
            os << (i ? ", " : "") << ElementText(a[i]);                                                     \
        return os << "]";                                                                                   \
    }

namespace
{
std::string ElementText(int v) { return std::to_string(v); }
std::string ElementText(double v) { return khost_impl::FormatNumber(v); }
std::string ElementText(const MString& s) { return s.asChar(); }
std::string ElementText(const MFloatPoint& p)
{
    return "(" + ElementText(p.x) + ", " + ElementText(p.y) + ", " + ElementText(p.z) + ", " + ElementText(p.w) + ")";
}
std::string ElementText(const MPoint& p)
{
    return "(" + ElementText(p.x) + ", " + ElementText(p.y) + ", " + ElementText(p.z) + ", " + ElementText(p.w) + ")";
}
std::string ElementText(const MVector& p)
{
    return "(" + ElementText(p.x) + ", " + ElementText(p.y) + ", " + ElementText(p.z) + ")";
}
std::string ElementText(const MColor& p)
{
    return "(" + ElementText(p.r) + ", " + ElementText(p.g) + ", " + ElementText(p.b) + ", " + ElementText(p.a) + ")";
}

// Fills an array from a plain source.
template <class A, class F> MStatus FillFrom(A& a, unsigned int count, F f)
{
    MStatus st = a.setLength(count);
    if (!st)
        return st;
    for (unsigned int i = 0; i < count; ++i)
        a[i] = f(i);
    return st;
}
} // namespace

// ---- MIntArray
KHOST_ARRAY_COMMON(MIntArray, int, int)
MIntArray::MIntArray(const int src[], unsigned int n) : MIntArray() { FillFrom(*this, n, [&](unsigned i) { return src[i]; }); }
MIntArray::MIntArray(unsigned int n, int v) : MIntArray() { FillFrom(*this, n, [&](unsigned) { return v; }); }
int MIntArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MIntArray::set(int e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MIntArray::get(int out[]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        out[i] = fData[i];
    return MS::kSuccess;
}

// ---- MFloatArray
KHOST_ARRAY_COMMON(MFloatArray, float, float)
MFloatArray::MFloatArray(const float src[], unsigned int n) : MFloatArray() { FillFrom(*this, n, [&](unsigned i) { return src[i]; }); }
MFloatArray::MFloatArray(const double src[], unsigned int n) : MFloatArray()
{
    FillFrom(*this, n, [&](unsigned i) { return (float)src[i]; });
}
MFloatArray::MFloatArray(unsigned int n, float v) : MFloatArray() { FillFrom(*this, n, [&](unsigned) { return v; }); }
float MFloatArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MFloatArray::set(float e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MFloatArray::set(double e, unsigned int i) { return set((float)e, i); }
MStatus MFloatArray::get(float out[]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        out[i] = fData[i];
    return MS::kSuccess;
}

// ---- MDoubleArray
KHOST_ARRAY_COMMON(MDoubleArray, double, double)
MDoubleArray::MDoubleArray(const double src[], unsigned int n) : MDoubleArray() { FillFrom(*this, n, [&](unsigned i) { return src[i]; }); }
MDoubleArray::MDoubleArray(const float src[], unsigned int n) : MDoubleArray()
{
    FillFrom(*this, n, [&](unsigned i) { return (double)src[i]; });
}
MDoubleArray::MDoubleArray(unsigned int n, double v) : MDoubleArray() { FillFrom(*this, n, [&](unsigned) { return v; }); }
double MDoubleArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MDoubleArray::set(double e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MDoubleArray::set(float e, unsigned int i) { return set((double)e, i); }
MStatus MDoubleArray::get(double out[]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        out[i] = fData[i];
    return MS::kSuccess;
}

// ---- MFloatPointArray
KHOST_ARRAY_COMMON(MFloatPointArray, MFloatPoint, const MFloatPoint&)
MFloatPointArray::MFloatPointArray(const MFloatPoint src[], unsigned int n) : MFloatPointArray()
{
    FillFrom(*this, n, [&](unsigned i) { return src[i]; });
}
MFloatPointArray::MFloatPointArray(const float src[][4], unsigned int n) : MFloatPointArray()
{
    FillFrom(*this, n, [&](unsigned i) { return MFloatPoint(src[i][0], src[i][1], src[i][2], src[i][3]); });
}
MFloatPointArray::MFloatPointArray(const double src[][4], unsigned int n) : MFloatPointArray()
{
    FillFrom(*this, n, [&](unsigned i) {
        return MFloatPoint((float)src[i][0], (float)src[i][1], (float)src[i][2], (float)src[i][3]);
    });
}
MFloatPointArray::MFloatPointArray(unsigned int n, const MFloatPoint& v) : MFloatPointArray()
{
    FillFrom(*this, n, [&](unsigned) { return v; });
}
const MFloatPoint& MFloatPointArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MFloatPointArray::set(const MFloatPoint& e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MFloatPointArray::set(unsigned int i, float x, float y, float z, float w) { return set(MFloatPoint(x, y, z, w), i); }
MStatus MFloatPointArray::set(float e[4], unsigned int i) { return set(MFloatPoint(e[0], e[1], e[2], e[3]), i); }
MStatus MFloatPointArray::set(double e[4], unsigned int i)
{
    return set(MFloatPoint((float)e[0], (float)e[1], (float)e[2], (float)e[3]), i);
}
MStatus MFloatPointArray::append(float x, float y, float z, float w) { return append(MFloatPoint(x, y, z, w)); }
MStatus MFloatPointArray::get(float out[][4]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        fData[i].get(out[i]);
    return MS::kSuccess;
}

// ---- MPointArray
KHOST_ARRAY_COMMON(MPointArray, MPoint, const MPoint&)
MPointArray::MPointArray(const MPoint src[], unsigned int n) : MPointArray() { FillFrom(*this, n, [&](unsigned i) { return src[i]; }); }
MPointArray::MPointArray(const double src[][4], unsigned int n) : MPointArray()
{
    FillFrom(*this, n, [&](unsigned i) { return MPoint(src[i][0], src[i][1], src[i][2], src[i][3]); });
}
MPointArray::MPointArray(const float src[][4], unsigned int n) : MPointArray()
{
    FillFrom(*this, n, [&](unsigned i) { return MPoint(src[i][0], src[i][1], src[i][2], src[i][3]); });
}
MPointArray::MPointArray(unsigned int n, const MPoint& v) : MPointArray() { FillFrom(*this, n, [&](unsigned) { return v; }); }
const MPoint& MPointArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MPointArray::set(const MPoint& e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MPointArray::set(unsigned int i, double x, double y, double z, double w) { return set(MPoint(x, y, z, w), i); }
MStatus MPointArray::set(double e[4], unsigned int i) { return set(MPoint(e[0], e[1], e[2], e[3]), i); }
MStatus MPointArray::set(float e[4], unsigned int i) { return set(MPoint(e[0], e[1], e[2], e[3]), i); }
MStatus MPointArray::append(double x, double y, double z, double w) { return append(MPoint(x, y, z, w)); }
MStatus MPointArray::get(double out[][4]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        fData[i].get(out[i]);
    return MS::kSuccess;
}

// ---- MVectorArray
KHOST_ARRAY_COMMON(MVectorArray, MVector, const MVector&)
MVectorArray::MVectorArray(const MVector src[], unsigned int n) : MVectorArray() { FillFrom(*this, n, [&](unsigned i) { return src[i]; }); }
MVectorArray::MVectorArray(const double src[][3], unsigned int n) : MVectorArray()
{
    FillFrom(*this, n, [&](unsigned i) { return MVector(src[i]); });
}
MVectorArray::MVectorArray(const float src[][3], unsigned int n) : MVectorArray()
{
    FillFrom(*this, n, [&](unsigned i) { return MVector(src[i]); });
}
MVectorArray::MVectorArray(unsigned int n, const MVector& v) : MVectorArray() { FillFrom(*this, n, [&](unsigned) { return v; }); }
const MVector& MVectorArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MVectorArray::set(const MVector& e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MVectorArray::set(double e[3], unsigned int i) { return set(MVector(e), i); }
MStatus MVectorArray::set(float e[3], unsigned int i) { return set(MVector(e), i); }
MStatus MVectorArray::get(double out[][3]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        fData[i].get(out[i]);
    return MS::kSuccess;
}

// ---- MColorArray
KHOST_ARRAY_COMMON(MColorArray, MColor, const MColor&)
MColorArray::MColorArray(const MColor src[], unsigned int n) : MColorArray() { FillFrom(*this, n, [&](unsigned i) { return src[i]; }); }
MColorArray::MColorArray(const float src[][4], unsigned int n) : MColorArray()
{
    FillFrom(*this, n, [&](unsigned i) { return MColor(src[i][0], src[i][1], src[i][2], src[i][3]); });
}
MColorArray::MColorArray(const double src[][4], unsigned int n) : MColorArray()
{
    FillFrom(*this, n, [&](unsigned i) {
        return MColor((float)src[i][0], (float)src[i][1], (float)src[i][2], (float)src[i][3]);
    });
}
MColorArray::MColorArray(unsigned int n, const MColor& v) : MColorArray() { FillFrom(*this, n, [&](unsigned) { return v; }); }
const MColor& MColorArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MColorArray::set(const MColor& e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MColorArray::set(unsigned int i, float r, float g, float b, float a) { return set(MColor(r, g, b, a), i); }
MStatus MColorArray::set(float e[4], unsigned int i) { return set(MColor(e[0], e[1], e[2], e[3]), i); }
MStatus MColorArray::set(double e[4], unsigned int i)
{
    return set(MColor((float)e[0], (float)e[1], (float)e[2], (float)e[3]), i);
}
MStatus MColorArray::append(float r, float g, float b, float a) { return append(MColor(r, g, b, a)); }
MStatus MColorArray::get(float out[][4]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        out[i][0] = fData[i].r, out[i][1] = fData[i].g, out[i][2] = fData[i].b, out[i][3] = fData[i].a;
    return MS::kSuccess;
}

// ---- MStringArray
KHOST_ARRAY_COMMON(MStringArray, MString, const MString&)
MStringArray::MStringArray(const MString src[], unsigned int n) : MStringArray()
{
    FillFrom(*this, n, [&](unsigned i) { return src[i]; });
}
MStringArray::MStringArray(unsigned int n, const MString& v) : MStringArray() { FillFrom(*this, n, [&](unsigned) { return v; }); }
const MString& MStringArray::operator[](unsigned int i) const { return fData[i]; }
MStatus MStringArray::set(const MString& e, unsigned int i)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = e;
    return MS::kSuccess;
}
MStatus MStringArray::get(MString out[]) const
{
    for (unsigned int i = 0; i < fLength; ++i)
        out[i] = fData[i];
    return MS::kSuccess;
}
