// Internal helpers shared by the mesh operations in meshops/. Not installed
// API: only the .cpp files of this folder include it.
//
// - Names for the error codes of the derived-data getters, so that every
//   operation returns the code that names the getter it depended on.
// - Small inline vector helpers on float3/float4 with explicit rounding order
//   (no fused operations, so results are the same on every build).
// - PendingArray: a counted array held aside until it replaces a geometry field.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "errors/ZNQError.h"
#include "geometry/ZNQGeometry.h"

namespace znq_ops
{

// Codes returned when a derived-data getter fails (its message names it).
enum : int32_t
{
    kErrDynEdges = 97,           // _DynGetEdges()
    kErrDynVertAdjEdgeNum = 98,  // _DynGetVertAdjEdgeNum()
    kErrDynVertAdjEdgeArr = 99,  // _DynGetVertAdjEdgeArr()
    kErrDynEdgeAdjPolyNum = 100, // _DynGetEdgeAdjPolyNum()
    kErrDynEdgeAdjPolyArr = 101, // _DynGetEdgeAdjPolyArr()
    kErrDynVertAdjVertNum = 102, // _DynGetVertAdjVertNum()
    kErrDynVertAdjVertArr = 103, // _DynGetVertAdjVertArr()
    kErrDynPolyVIndOffset = 116, // _DynGetPolyVIndOffset()
    kErrDynPolyNrm = 120,        // _DynGetPolyNrm()
    kErrDynVertNrm = 121,        // _DynGetVertNrm()
    kErrDynVertUvw = 122,        // _DynGetVertUvw()
    kErrDynVertCol = 123,        // _DynGetVertCol()
};

// Below this length a vector counts as zero and is left unnormalised.
constexpr float kTinyLength = 1e-15f;

// True when v lies in [0, n): one unsigned compare also rejects negatives.
inline bool InRange(int32_t v, int32_t n)
{
    return static_cast<uint32_t>(v) < static_cast<uint32_t>(n);
}

// Divides v by its length unless the length is below kTinyLength.
inline void NormalizeNonTiny(float3& v)
{
    const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(len < kTinyLength))
    {
        v.x /= len;
        v.y /= len;
        v.z /= len;
    }
}

inline float3 Mid(const float3& a, const float3& b)
{
    return float3{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
}

inline float4 Mid(const float4& a, const float4& b)
{
    return float4{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f, (a.w + b.w) * 0.5f};
}

inline float3 Sub(const float3& a, const float3& b)
{
    return float3{a.x - b.x, a.y - b.y, a.z - b.z};
}

inline float3 Cross(const float3& a, const float3& b)
{
    return float3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float Dot(const float3& a, const float3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Flips the sign bit of f (0.0 becomes -0.0, NaN keeps its payload).
inline float FlipSign(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    bits ^= 0x80000000u;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A new array that belongs to the operation until it is swapped into the
// geometry; freed (counted) on every other exit.
template <typename T>
struct PendingArray
{
    ZNQGeometry& geo;
    T* ptr = nullptr;

    explicit PendingArray(ZNQGeometry& g) : geo(g) {}
    ~PendingArray() { geo._MemFree(ptr); }
    PendingArray(const PendingArray&) = delete;
    PendingArray& operator=(const PendingArray&) = delete;

    // Allocates count elements when wanted; false only on a refusal.
    bool Alloc(bool wanted, int64_t count)
    {
        if (!wanted)
            return true;
        ptr = geo._MemAllocArr<T>(static_cast<size_t>(count), false);
        return ptr != nullptr;
    }
    // Frees the geometry's old array and hands this one over.
    void SwapInto(T*& field)
    {
        geo._MemFree(field);
        field = ptr;
        ptr = nullptr;
    }
};

} // namespace znq_ops
