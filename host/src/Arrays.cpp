// The host's array types. All share one layout (data, length, capacity,
// growth increment) and the same members, defined once by a macro.
#include "HostInternal.h"

#include <maya/MColorArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MIntArray.h>
#include <maya/MVectorArray.h>

#include <new>

namespace
{
// Reallocates to exactly `cap` elements, keeping the first `keep`; the
// others are new default elements.
template <class E> bool Reserve(E*& data, unsigned int& capacity, unsigned int keep, unsigned int cap)
{
    if (cap == 0)
    {
        delete[] data;
        data = nullptr;
        capacity = 0;
        return true;
    }
    E* fresh = new (std::nothrow) E[cap](); // value-initialised: zeros, or the default element
    if (!fresh)
        return false;
    for (unsigned int i = 0; i < keep && i < cap; ++i)
        fresh[i] = data[i];
    delete[] data;
    data = fresh;
    capacity = cap;
    return true;
}
} // namespace

#define KHOST_ARRAY(A, E, CONST_E)                                                                          \
    A::A() : fData(nullptr), fLength(0), fCapacity(0), fIncrement(0) {}                                   \
    A::A(const A& o) : A() { *this = o; }                                                                   \
    A::~A() { delete[] fData; }                                                                             \
    A& A::operator=(const A& o)                                                                             \
    {                                                                                                       \
        if (this != &o && (o.fLength <= fCapacity || Reserve(fData, fCapacity, 0, o.fLength)))              \
        {                                                                                                   \
            for (unsigned int i = 0; i < o.fLength; ++i)                                                    \
                fData[i] = o.fData[i];                                                                      \
            fLength = o.fLength;                                                                            \
        }                                                                                                   \
        return *this;                                                                                       \
    }                                                                                                       \
    CONST_E A::operator[](unsigned int i) const { return fData[i]; }                                        \
    E& A::operator[](unsigned int i) { return fData[i]; }                                                   \
    MStatus A::setLength(unsigned int n)                                                                    \
    {                                                                                                       \
        /* A reallocation default-constructs the new elements itself. */                                    \
        if (n > fCapacity)                                                                                  \
        {                                                                                                   \
            if (!Reserve(fData, fCapacity, fLength, n))                                                     \
                return MS::kInsufficientMemory;                                                             \
        }                                                                                                   \
        else                                                                                                \
        {                                                                                                   \
            for (unsigned int i = fLength; i < n; ++i)                                                      \
                fData[i] = E();                                                                             \
        }                                                                                                   \
        fLength = n;                                                                                        \
        return MS::kSuccess;                                                                                \
    }                                                                                                       \
    unsigned int A::length() const { return fLength; }                                                      \
    MStatus A::clear()                                                                                      \
    {                                                                                                       \
        delete[] fData;                                                                                     \
        fData = nullptr;                                                                                    \
        fLength = fCapacity = 0;                                                                            \
        return MS::kSuccess;                                                                                \
    }

KHOST_ARRAY(MIntArray, int, int)
KHOST_ARRAY(MFloatArray, float, float)
KHOST_ARRAY(MFloatPointArray, MFloatPoint, const MFloatPoint&)
KHOST_ARRAY(MVectorArray, MVector, const MVector&)
KHOST_ARRAY(MColorArray, MColor, const MColor&)

MStatus MFloatPointArray::set(unsigned int i, float x, float y, float z, float w)
{
    if (i >= fLength)
        return MS::kInvalidParameter;
    fData[i] = MFloatPoint(x, y, z, w);
    return MS::kSuccess;
}
