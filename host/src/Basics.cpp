// Value types of the stand-in host: MStatus, MString, MObject, MTypeId,
// MArgList, points, vectors and colours.
#include "HostInternal.h"

#include <maya/MArgList.h>
#include <maya/MTypeId.h>

#include <cstdio>

using namespace khost_impl;

// ---------------------------------------------------------------------------
// Reference counting and private access.
namespace khost_impl
{
void Retain(Obj* o)
{
    if (o)
        o->refs.fetch_add(1, std::memory_order_relaxed);
}
void Release(Obj* o)
{
    if (o && o->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete o;
}

std::string FormatNumber(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}
} // namespace khost_impl

Obj* KHostAccess::get(const MObject& o) { return static_cast<Obj*>(o.ptr); }
void KHostAccess::set(MObject& o, Obj* p)
{
    Retain(p);
    Release(static_cast<Obj*>(o.ptr));
    o.ptr = p;
}
MObject KHostAccess::make(Obj* p)
{
    MObject o;
    set(o, p);
    return o;
}
std::string& KHostAccess::str(MString& s) { return *static_cast<std::string*>(s.api_data); }
const std::string& KHostAccess::str(const MString& s) { return *static_cast<const std::string*>(s.api_data); }
std::vector<std::string>& KHostAccess::args(const MArgList& a)
{
    return *static_cast<std::vector<std::string>*>(a.fArgs);
}

// ---------------------------------------------------------------------------
// MStatus
static const char* const kStatusNames[] = {"kSuccess", "kFailure", "kInsufficientMemory", "kInvalidParameter",
                                           "kLicenseFailure", "kUnknownParameter", "kNotImplemented",
                                           "kNotFound", "kEndOfFile"};
static const char* const kStatusTexts[] = {"Success", "Unexpected Internal Failure", "Insufficient Memory",
                                           "Invalid Parameter", "License Failure", "Unknown Parameter",
                                           "Not Implemented", "Object or Item Not Found", "End of File"};

MStatus::MStatus() : fStatusCode(kSuccess), fInternalStatusCode(0), fStatus(true) {}
MStatus::MStatus(MStatusCode code) : fStatusCode((unsigned char)code), fInternalStatusCode(0), fStatus(code == kSuccess) {}
MStatus::MStatus(const MStatus& o) = default;
MStatus& MStatus::operator=(const MStatus& o) = default;
bool MStatus::operator==(const MStatus& o) const { return fStatusCode == o.fStatusCode; }
bool MStatus::operator==(MStatusCode c) const { return fStatusCode == c; }
bool MStatus::operator!=(const MStatus& o) const { return fStatusCode != o.fStatusCode; }
bool MStatus::operator!=(MStatusCode c) const { return fStatusCode != c; }
bool operator==(MStatus::MStatusCode c, const MStatus& s) { return s == c; }
bool operator!=(MStatus::MStatusCode c, const MStatus& s) { return s != c; }
MStatus::operator bool() const { return fStatusCode == kSuccess; }
bool MStatus::error() const { return fStatusCode != kSuccess; }
MStatus::MStatusCode MStatus::statusCode() const { return (MStatusCode)fStatusCode; }
void MStatus::perror(const char* text) const
{
    const bool known = fStatusCode <= kEndOfFile;
    std::fprintf(stderr, "%s: (%s): %s\n", text ? text : "", known ? kStatusNames[fStatusCode] : "kUnknownStatus",
                 known ? kStatusTexts[fStatusCode] : "Unknown Status");
    std::fflush(stderr);
}

// ---------------------------------------------------------------------------
// MString: api_data is a std::string (UTF-8), plus a wide copy on request.
namespace
{
struct StrRep : std::string
{
    std::wstring wide;
};
StrRep* rep(void* p) { return static_cast<StrRep*>(p); }

std::string FromWide(const wchar_t* w, long n)
{
    std::string out;
    if (!w)
        return out;
    for (long i = 0; n < 0 ? w[i] != 0 : i < n; ++i)
    {
        unsigned long c = (unsigned long)w[i];
        if (c < 0x80)
            out += (char)c;
        else if (c < 0x800)
        {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        }
        else if (c < 0x10000)
        {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
        else
        {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string FormatDouble(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}
} // namespace

MString::MString() : api_data(new StrRep) {}
MString::MString(const char* s) : api_data(new StrRep)
{
    if (s)
        rep(api_data)->assign(s);
}
MString::MString(const wchar_t* s) : api_data(new StrRep) { rep(api_data)->assign(FromWide(s, -1)); }
MString::MString(const MString& o) : api_data(new StrRep) { rep(api_data)->assign(*rep(o.api_data)); }
MString::~MString() { delete rep(api_data); }

MString& MString::operator+=(const MString& o)
{
    rep(api_data)->append(*rep(o.api_data));
    return *this;
}
MString& MString::operator+=(const char* o)
{
    if (o)
        rep(api_data)->append(o);
    return *this;
}
MString& MString::operator+=(double v)
{
    rep(api_data)->append(FormatDouble(v));
    return *this;
}
MString& MString::operator+=(int v)
{
    rep(api_data)->append(std::to_string(v));
    return *this;
}
MString& MString::operator+=(unsigned int v)
{
    rep(api_data)->append(std::to_string(v));
    return *this;
}
MString& MString::operator+=(float v)
{
    rep(api_data)->append(FormatDouble(v));
    return *this;
}
MString& MString::operator=(const MString& o)
{
    if (this != &o)
        rep(api_data)->assign(*rep(o.api_data));
    return *this;
}
MString& MString::operator=(const char* o)
{
    rep(api_data)->assign(o ? o : "");
    return *this;
}
MString& MString::operator=(double v)
{
    rep(api_data)->assign(FormatDouble(v));
    return *this;
}
bool MString::operator==(const MString& o) const { return *rep(api_data) == *rep(o.api_data); }
bool MString::operator==(const char* o) const { return *rep(api_data) == (o ? o : ""); }
bool MString::operator!=(const MString& o) const { return !(*this == o); }
bool MString::operator!=(const char* o) const { return !(*this == o); }
MString MString::operator+(const MString& o) const
{
    MString r(*this);
    r += o;
    return r;
}
MString MString::operator+(const char* o) const
{
    MString r(*this);
    r += o;
    return r;
}
MString MString::operator+(double v) const
{
    MString r(*this);
    r += v;
    return r;
}
const char* MString::asChar() const { return rep(api_data)->c_str(); }
const char* MString::asChar(int& len) const
{
    len = (int)rep(api_data)->size();
    return rep(api_data)->c_str();
}
unsigned int MString::length() const { return (unsigned int)rep(api_data)->size(); }
void MString::clear() { rep(api_data)->clear(); }
MString MString::substring(int start, int end) const
{
    const std::string& s = *rep(api_data);
    if (start < 0)
        start = 0;
    if (end >= (int)s.size())
        end = (int)s.size() - 1;
    if (end < start)
        return MString();
    MString r;
    rep(r.api_data)->assign(s, (size_t)start, (size_t)(end - start + 1));
    return r;
}

// ---------------------------------------------------------------------------
// MObject
MObject MObject::kNullObj;
MObject::MObject() : ptr(nullptr) {}
MObject::MObject(const MObject& o) : ptr(o.ptr) { Retain(static_cast<Obj*>(ptr)); }
MObject::~MObject() { Release(static_cast<Obj*>(ptr)); }
MObject& MObject::operator=(const MObject& o)
{
    KHostAccess::set(*this, static_cast<Obj*>(o.ptr));
    return *this;
}
// Whether an object of kind `have` has the function set `want`.
static bool FnHas(MFn::Type have, MFn::Type want)
{
    if (have == want || want == MFn::kBase)
        return have != MFn::kInvalid;
    switch (want)
    {
    case MFn::kDependencyNode:
        return have == MFn::kDagNode || have == MFn::kTransform || have == MFn::kMesh || have == MFn::kSet ||
               have == MFn::kShadingEngine || have == MFn::kPluginDependNode;
    case MFn::kDagNode:
        return have == MFn::kTransform || have == MFn::kMesh;
    case MFn::kSet:
        return have == MFn::kShadingEngine;
    case MFn::kAttribute:
        return have == MFn::kNumericAttribute || have == MFn::kEnumAttribute || have == MFn::kTypedAttribute;
    case MFn::kData:
        return have == MFn::kNumericData || have == MFn::kStringData || have == MFn::kMeshData ||
               have == MFn::kGeometryData || have == MFn::kPluginData;
    case MFn::kGeometryData:
        return have == MFn::kMeshData;
    default:
        return false;
    }
}
bool khost_impl::HasFn(const Obj* o, MFn::Type want) { return o && FnHas(o->fnType, want); }

bool MObject::isNull() const
{
    if (!ptr)
        return true;
    Obj* o = static_cast<Obj*>(ptr);
    if (o->fnType == MFn::kDependencyNode || FnHas(o->fnType, MFn::kDependencyNode))
        return !static_cast<NodeObj*>(o)->alive;
    return false;
}

// ---------------------------------------------------------------------------
// MTypeId
MTypeId::MTypeId() : fId(0) {}
MTypeId::MTypeId(unsigned int id) : fId(id) {}
MTypeId::MTypeId(const MTypeId& o) : fId(o.fId) {}
MTypeId::~MTypeId() {}
MTypeId& MTypeId::operator=(const MTypeId& o)
{
    fId = o.fId;
    return *this;
}
unsigned int MTypeId::id(MStatus* st) const
{
    if (st)
        *st = MS::kSuccess;
    return fId;
}

// ---------------------------------------------------------------------------
// MArgList: the words of a command line.
typedef std::vector<std::string> Words;
MArgList::MArgList() : fArgs(new Words) {}
MArgList::MArgList(const MArgList& o) : fArgs(new Words(*static_cast<Words*>(o.fArgs))) {}
MArgList::~MArgList() { delete static_cast<Words*>(fArgs); }
MArgList& MArgList::operator=(const MArgList& o)
{
    *static_cast<Words*>(fArgs) = *static_cast<Words*>(o.fArgs);
    return *this;
}
static void SetSt(MStatus* st, MStatus::MStatusCode c)
{
    if (st)
        *st = c;
}
unsigned int MArgList::length(MStatus* st) const
{
    SetSt(st, MS::kSuccess);
    return (unsigned int)static_cast<Words*>(fArgs)->size();
}
static const std::string* Word(void* args, unsigned int i, MStatus* st)
{
    Words& w = *static_cast<Words*>(args);
    if (i >= w.size())
    {
        SetSt(st, MS::kInvalidParameter);
        return nullptr;
    }
    SetSt(st, MS::kSuccess);
    return &w[i];
}
MString MArgList::asString(unsigned int i, MStatus* st) const
{
    const std::string* w = Word(fArgs, i, st);
    MString r;
    if (w)
        KHostAccess::str(r) = *w;
    return r;
}
// ---------------------------------------------------------------------------
// Points, vectors, colours.
MFloatPoint::MFloatPoint() : x(0), y(0), z(0), w(1) {}
MFloatPoint::MFloatPoint(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}

MVector::MVector() : x(0), y(0), z(0) {}
MVector::MVector(double xx, double yy, double zz) : x(xx), y(yy), z(zz) {}

MColor::MColor() : r(0), g(0), b(0), a(1) {}
// Colours of the RGB model only; the other models are refused (false).
bool MColor::set(MColorType m, float c1, float c2, float c3, float alpha)
{
    if (m != kRGB)
        return false;
    r = c1, g = c2, b = c3, a = alpha;
    return true;
}
