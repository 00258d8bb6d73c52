// Value types of the stand-in host: MStatus, MString, MObject, MTypeId,
// MArgList, MDGContext, points, vectors, colours and the arrays.
#include "HostInternal.h"

#include <maya/MArgList.h>
#include <maya/MColorArray.h>
#include <maya/MDGContext.h>
#include <maya/MDoubleArray.h>
#include <maya/MFloatArray.h>
#include <maya/MFloatPointArray.h>
#include <maya/MIntArray.h>
#include <maya/MPlug.h>
#include <maya/MPoint.h>
#include <maya/MPointArray.h>
#include <maya/MStringArray.h>
#include <maya/MTypeId.h>
#include <maya/MVectorArray.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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
MStatus::operator bool() const { return fStatusCode == kSuccess; }
bool MStatus::error() const { return fStatusCode != kSuccess; }
void MStatus::clear() { setSuccess(); }
MStatus::MStatusCode MStatus::statusCode() const { return (MStatusCode)fStatusCode; }
MString MStatus::errorString() const
{
    if (fStatusCode <= kEndOfFile)
        return MString(kStatusTexts[fStatusCode]);
    return MString("Unknown Status");
}
void MStatus::perror(const char* text) const
{
    const char* name = fStatusCode <= kEndOfFile ? kStatusNames[fStatusCode] : "kUnknownStatus";
    std::fprintf(stderr, "%s: (%s): %s\n", text ? text : "", name, errorString().asChar());
    std::fflush(stderr);
}
void MStatus::perror(const MString& text) const { perror(text.asChar()); }
void MStatus::set(bool status, unsigned char internalCode, unsigned char code)
{
    fStatus = status;
    fInternalStatusCode = internalCode;
    fStatusCode = code;
}
void MStatus::setSuccess()
{
    fStatus = true;
    fInternalStatusCode = 0;
    fStatusCode = kSuccess;
}
bool operator==(MStatus::MStatusCode c, const MStatus& s) { return s == c; }
bool operator!=(MStatus::MStatusCode c, const MStatus& s) { return s != c; }
std::ostream& operator<<(std::ostream& os, MStatus& s) { return os << s.errorString(); }

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
MString::MString(const char* s, int len) : api_data(new StrRep)
{
    if (s && len > 0)
        rep(api_data)->assign(s, (size_t)len);
}
MString::MString(const wchar_t* s, int len) : api_data(new StrRep)
{
    if (len > 0)
        rep(api_data)->assign(FromWide(s, len));
}
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
MString operator+(const char* l, const MString& r)
{
    MString s(l);
    s += r;
    return s;
}
std::ostream& operator<<(std::ostream& os, const MString& s) { return os << s.asChar(); }

MStatus MString::set(const char* s)
{
    rep(api_data)->assign(s ? s : "");
    return MS::kSuccess;
}
MStatus MString::set(const char* s, int len)
{
    rep(api_data)->clear();
    if (s && len > 0)
        rep(api_data)->assign(s, (size_t)len);
    return MS::kSuccess;
}
MStatus MString::set(double v)
{
    rep(api_data)->assign(FormatDouble(v));
    return MS::kSuccess;
}
MStatus MString::set(double v, int precision)
{
    char buf[512];
    if (precision < 0 || precision > 300)
        return MS::kInvalidParameter;
    std::snprintf(buf, sizeof buf, "%.*f", precision, v);
    rep(api_data)->assign(buf);
    return MS::kSuccess;
}
const char* MString::asChar() const { return rep(api_data)->c_str(); }
const char* MString::asChar(int& len) const
{
    len = (int)rep(api_data)->size();
    return rep(api_data)->c_str();
}
const char* MString::asUTF8() const { return asChar(); }
const char* MString::asUTF8(int& len) const { return asChar(len); }
const wchar_t* MString::asWChar() const
{
    StrRep* r = rep(api_data);
    r->wide.clear();
    const std::string& s = *r;
    for (size_t i = 0; i < s.size();)
    {
        unsigned char c = (unsigned char)s[i];
        unsigned long cp = c;
        size_t n = 1;
        if (c >= 0xF0 && i + 3 < s.size() + 0)
        {
            cp = ((c & 0x07UL) << 18) | ((s[i + 1] & 0x3FUL) << 12) | ((s[i + 2] & 0x3FUL) << 6) | (s[i + 3] & 0x3FUL);
            n = 4;
        }
        else if (c >= 0xE0 && i + 2 < s.size())
        {
            cp = ((c & 0x0FUL) << 12) | ((s[i + 1] & 0x3FUL) << 6) | (s[i + 2] & 0x3FUL);
            n = 3;
        }
        else if (c >= 0xC0 && i + 1 < s.size())
        {
            cp = ((c & 0x1FUL) << 6) | (s[i + 1] & 0x3FUL);
            n = 2;
        }
        r->wide += (wchar_t)cp;
        i += n;
    }
    return r->wide.c_str();
}
const wchar_t* MString::asWChar(int& len) const
{
    const wchar_t* w = asWChar();
    len = (int)rep(api_data)->wide.size();
    return w;
}
unsigned int MString::length() const { return (unsigned int)rep(api_data)->size(); }
unsigned int MString::numChars() const
{
    unsigned int n = 0;
    for (unsigned char c : *rep(api_data))
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}
void MString::clear() { rep(api_data)->clear(); }
int MString::index(char c) const
{
    size_t p = rep(api_data)->find(c);
    return p == std::string::npos ? -1 : (int)p;
}
int MString::rindex(char c) const
{
    size_t p = rep(api_data)->rfind(c);
    return p == std::string::npos ? -1 : (int)p;
}
MString MString::substring(int start, int end) const
{
    const std::string& s = *rep(api_data);
    if (start < 0)
        start = 0;
    if (end >= (int)s.size())
        end = (int)s.size() - 1;
    if (end < start)
        return MString();
    return MString(s.c_str() + start, end - start + 1);
}
MString MString::substringW(int start, int end) const { return substring(start, end); }
MStatus MString::split(char c, MStringArray& array) const
{
    array.clear();
    const std::string& s = *rep(api_data);
    size_t b = 0;
    while (b <= s.size())
    {
        size_t e = s.find(c, b);
        if (e == std::string::npos)
            e = s.size();
        if (e > b)
            array.append(MString(s.c_str() + b, (int)(e - b)));
        b = e + 1;
    }
    return MS::kSuccess;
}
MString MString::toUpperCase() const
{
    MString r(*this);
    for (char& c : *rep(r.api_data))
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return r;
}
MString MString::toLowerCase() const
{
    MString r(*this);
    for (char& c : *rep(r.api_data))
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return r;
}
MStatus MString::substitute(const MString& first, const MString& second)
{
    std::string& s = *rep(api_data);
    const std::string& a = *rep(first.api_data);
    const std::string& b = *rep(second.api_data);
    if (a.empty())
        return MS::kInvalidParameter;
    std::string out;
    size_t p = 0;
    for (size_t q; (q = s.find(a, p)) != std::string::npos; p = q + a.size())
        out.append(s, p, q - p).append(b);
    out.append(s, p, std::string::npos);
    s.swap(out);
    return MS::kSuccess;
}

static bool ParseLong(const std::string& s, long long* out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || end == s.c_str())
        return false;
    *out = v;
    return true;
}
static bool ParseDouble(const std::string& s, double* out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (*end != 0 || end == s.c_str())
        return false;
    *out = v;
    return true;
}
bool MString::isShort() const
{
    long long v;
    return ParseLong(*rep(api_data), &v) && v >= -32768 && v <= 32767;
}
short MString::asShort() const { return isShort() ? (short)std::strtol(asChar(), nullptr, 10) : 0; }
bool MString::isInt() const
{
    long long v;
    return ParseLong(*rep(api_data), &v) && v >= INT32_MIN && v <= INT32_MAX;
}
int MString::asInt() const { return isInt() ? (int)std::strtol(asChar(), nullptr, 10) : 0; }
bool MString::isUnsigned() const
{
    long long v;
    return ParseLong(*rep(api_data), &v) && v >= 0 && v <= (long long)UINT32_MAX;
}
unsigned int MString::asUnsigned() const { return isUnsigned() ? (unsigned int)std::strtoll(asChar(), nullptr, 10) : 0u; }
bool MString::isFloat() const
{
    double v;
    return ParseDouble(*rep(api_data), &v);
}
float MString::asFloat() const
{
    double v = 0;
    return ParseDouble(*rep(api_data), &v) ? (float)v : 0.0f;
}
bool MString::isDouble() const { return isFloat(); }
double MString::asDouble() const
{
    double v = 0;
    return ParseDouble(*rep(api_data), &v) ? v : 0.0;
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
bool MObject::hasFn(MFn::Type fs) const { return ptr && FnHas(static_cast<Obj*>(ptr)->fnType, fs); }
bool MObject::isNull() const
{
    if (!ptr)
        return true;
    Obj* o = static_cast<Obj*>(ptr);
    if (o->fnType == MFn::kDependencyNode || FnHas(o->fnType, MFn::kDependencyNode))
        return !static_cast<NodeObj*>(o)->alive;
    return false;
}
MFn::Type MObject::apiType() const { return ptr ? static_cast<Obj*>(ptr)->fnType : MFn::kInvalid; }
const char* MObject::apiTypeStr() const
{
    static const char* const names[] = {"kInvalid", "kBase", "kNamedObject", "kDependencyNode", "kDagNode",
                                        "kTransform", "kMesh", "kSet", "kShadingEngine", "kPluginDependNode",
                                        "kAttribute", "kNumericAttribute", "kEnumAttribute", "kTypedAttribute",
                                        "kData", "kNumericData", "kStringData", "kGeometryData", "kMeshData",
                                        "kPluginData", "kPlugin", "kLast"};
    MFn::Type t = apiType();
    return (t >= 0 && t <= MFn::kLast) ? names[t] : "kInvalid";
}
bool MObject::operator==(const MObject& o) const { return ptr == o.ptr; }
bool MObject::operator!=(const MObject& o) const { return ptr != o.ptr; }

// ---------------------------------------------------------------------------
// MTypeId
MTypeId::MTypeId() : fId(0) {}
MTypeId::MTypeId(unsigned int id) : fId(id) {}
MTypeId::MTypeId(unsigned int prefix, unsigned int id) : fId((prefix << 8) | (id & 0xFFu)) {}
MTypeId::MTypeId(const MTypeId& o) : fId(o.fId) {}
MTypeId::~MTypeId() {}
MTypeId& MTypeId::operator=(const MTypeId& o)
{
    fId = o.fId;
    return *this;
}
bool MTypeId::operator==(const MTypeId& o) const { return fId == o.fId; }
bool MTypeId::operator!=(const MTypeId& o) const { return fId != o.fId; }
unsigned int MTypeId::id(MStatus* st) const
{
    if (st)
        *st = MS::kSuccess;
    return fId;
}

// ---------------------------------------------------------------------------
// MArgList: the words of a command line.
typedef std::vector<std::string> Words;
const unsigned int MArgList::kInvalidArgIndex = 0xFFFFFFFFu;
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
bool MArgList::asBool(unsigned int i, MStatus* st) const
{
    const std::string* w = Word(fArgs, i, st);
    if (!w)
        return false;
    const std::string& s = *w;
    if (s == "1" || s == "on" || s == "true" || s == "yes")
        return true;
    if (s == "0" || s == "off" || s == "false" || s == "no")
        return false;
    SetSt(st, MS::kInvalidParameter);
    return false;
}
int MArgList::asInt(unsigned int i, MStatus* st) const
{
    const std::string* w = Word(fArgs, i, st);
    long long v = 0;
    if (!w)
        return 0;
    if (!ParseLong(*w, &v) || v < INT32_MIN || v > INT32_MAX)
    {
        SetSt(st, MS::kInvalidParameter);
        return 0;
    }
    return (int)v;
}
double MArgList::asDouble(unsigned int i, MStatus* st) const
{
    const std::string* w = Word(fArgs, i, st);
    double v = 0;
    if (!w)
        return 0;
    if (!ParseDouble(*w, &v))
    {
        SetSt(st, MS::kInvalidParameter);
        return 0;
    }
    return v;
}
MString MArgList::asString(unsigned int i, MStatus* st) const
{
    const std::string* w = Word(fArgs, i, st);
    return w ? MString(w->c_str(), (int)w->size()) : MString();
}
MVector MArgList::asVector(unsigned int& i, unsigned int n, MStatus* st) const
{
    MVector v;
    if (n > 3)
    {
        SetSt(st, MS::kInvalidParameter);
        return v;
    }
    for (unsigned int k = 0; k < n; ++k)
    {
        MStatus s;
        v[k] = asDouble(i + k, &s);
        if (!s)
        {
            SetSt(st, s.statusCode());
            return MVector();
        }
    }
    i += n;
    SetSt(st, MS::kSuccess);
    return v;
}
MPoint MArgList::asPoint(unsigned int& i, unsigned int n, MStatus* st) const
{
    MVector v = asVector(i, n, st);
    return MPoint(v.x, v.y, v.z);
}
// Array arguments: a count followed by that many values.
MIntArray MArgList::asIntArray(unsigned int& i, MStatus* st) const
{
    MIntArray out;
    MStatus s;
    int n = asInt(i, &s);
    if (!s || n < 0 || (unsigned int)n > length() - i - 1)
    {
        SetSt(st, MS::kInvalidParameter);
        return out;
    }
    for (int k = 0; k < n; ++k)
    {
        out.append(asInt(i + 1 + k, &s));
        if (!s)
        {
            SetSt(st, MS::kInvalidParameter);
            return MIntArray();
        }
    }
    i += (unsigned int)n + 1;
    SetSt(st, MS::kSuccess);
    return out;
}
MDoubleArray MArgList::asDoubleArray(unsigned int& i, MStatus* st) const
{
    MDoubleArray out;
    MStatus s;
    int n = asInt(i, &s);
    if (!s || n < 0 || (unsigned int)n > length() - i - 1)
    {
        SetSt(st, MS::kInvalidParameter);
        return out;
    }
    for (int k = 0; k < n; ++k)
    {
        out.append(asDouble(i + 1 + k, &s));
        if (!s)
        {
            SetSt(st, MS::kInvalidParameter);
            return MDoubleArray();
        }
    }
    i += (unsigned int)n + 1;
    SetSt(st, MS::kSuccess);
    return out;
}
MStringArray MArgList::asStringArray(unsigned int& i, MStatus* st) const
{
    MStringArray out;
    MStatus s;
    int n = asInt(i, &s);
    if (!s || n < 0 || (unsigned int)n > length() - i - 1)
    {
        SetSt(st, MS::kInvalidParameter);
        return out;
    }
    for (int k = 0; k < n; ++k)
        out.append(asString(i + 1 + k));
    i += (unsigned int)n + 1;
    SetSt(st, MS::kSuccess);
    return out;
}
unsigned int MArgList::flagIndex(const char* shortFlag, const char* longFlag) const
{
    const Words& w = *static_cast<Words*>(fArgs);
    for (size_t k = 0; k < w.size(); ++k)
    {
        if (w[k].size() < 2 || w[k][0] != '-')
            continue;
        const char* name = w[k].c_str() + 1;
        if ((shortFlag && std::strcmp(name, shortFlag[0] == '-' ? shortFlag + 1 : shortFlag) == 0) ||
            (longFlag && std::strcmp(name, longFlag[0] == '-' ? longFlag + 1 : longFlag) == 0))
            return (unsigned int)k;
    }
    return kInvalidArgIndex;
}
MArgList& MArgList::addArg(bool a)
{
    static_cast<Words*>(fArgs)->push_back(a ? "true" : "false");
    return *this;
}
MArgList& MArgList::addArg(int a)
{
    static_cast<Words*>(fArgs)->push_back(std::to_string(a));
    return *this;
}
MArgList& MArgList::addArg(double a)
{
    static_cast<Words*>(fArgs)->push_back(FormatNumber(a));
    return *this;
}
MArgList& MArgList::addArg(const MString& a)
{
    static_cast<Words*>(fArgs)->push_back(a.asChar());
    return *this;
}

// ---------------------------------------------------------------------------
// MDGContext: only the normal context exists in this host.
MDGContext MDGContext::fsNormal;
MDGContext::MDGContext() : fNormal(true) {}
MDGContext::MDGContext(const MDGContext& o) : fNormal(o.fNormal) {}
MDGContext::~MDGContext() {}
MDGContext& MDGContext::operator=(const MDGContext& o)
{
    fNormal = o.fNormal;
    return *this;
}
bool MDGContext::isNormal(MStatus* st) const
{
    SetSt(st, MS::kSuccess);
    return fNormal;
}

// ---------------------------------------------------------------------------
// Points, vectors, colours.
const MFloatPoint MFloatPoint::origin;
MFloatPoint::MFloatPoint() : x(0), y(0), z(0), w(1) {}
MFloatPoint::MFloatPoint(const MFloatPoint& s) = default;
MFloatPoint::MFloatPoint(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}
MFloatPoint::~MFloatPoint() {}
MFloatPoint& MFloatPoint::operator=(const MFloatPoint& s) = default;
float MFloatPoint::operator[](unsigned int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
float& MFloatPoint::operator[](unsigned int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
bool MFloatPoint::operator==(const MFloatPoint& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
bool MFloatPoint::operator!=(const MFloatPoint& o) const { return !(*this == o); }
MStatus MFloatPoint::get(float d[4]) const
{
    d[0] = x, d[1] = y, d[2] = z, d[3] = w;
    return MS::kSuccess;
}
MStatus MFloatPoint::setCast(const MPoint& p)
{
    x = (float)p.x, y = (float)p.y, z = (float)p.z, w = (float)p.w;
    return MS::kSuccess;
}

const MPoint MPoint::origin;
MPoint::MPoint() : x(0), y(0), z(0), w(1) {}
MPoint::MPoint(const MPoint& s) = default;
MPoint::MPoint(double xx, double yy, double zz, double ww) : x(xx), y(yy), z(zz), w(ww) {}
MPoint::~MPoint() {}
MPoint& MPoint::operator=(const MPoint& s) = default;
double MPoint::operator[](unsigned int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
double& MPoint::operator[](unsigned int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
bool MPoint::operator==(const MPoint& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
bool MPoint::operator!=(const MPoint& o) const { return !(*this == o); }
MStatus MPoint::get(double d[4]) const
{
    d[0] = x, d[1] = y, d[2] = z, d[3] = w;
    return MS::kSuccess;
}

const MVector MVector::zero;
const MVector MVector::one(1, 1, 1);
const MVector MVector::xAxis(1, 0, 0);
const MVector MVector::yAxis(0, 1, 0);
const MVector MVector::zAxis(0, 0, 1);
MVector::MVector() : x(0), y(0), z(0) {}
MVector::MVector(const MVector& s) = default;
MVector::MVector(double xx, double yy, double zz) : x(xx), y(yy), z(zz) {}
MVector::MVector(const double d[3]) : x(d[0]), y(d[1]), z(d[2]) {}
MVector::MVector(const float f[3]) : x(f[0]), y(f[1]), z(f[2]) {}
MVector::~MVector() {}
MVector& MVector::operator=(const MVector& s) = default;
double MVector::operator[](unsigned int i) const { return i == 0 ? x : i == 1 ? y : z; }
double& MVector::operator[](unsigned int i) { return i == 0 ? x : i == 1 ? y : z; }
MVector MVector::operator+(const MVector& o) const { return MVector(x + o.x, y + o.y, z + o.z); }
MVector MVector::operator-(const MVector& o) const { return MVector(x - o.x, y - o.y, z - o.z); }
MVector MVector::operator-() const { return MVector(-x, -y, -z); }
MVector MVector::operator*(double s) const { return MVector(x * s, y * s, z * s); }
double MVector::operator*(const MVector& o) const { return x * o.x + y * o.y + z * o.z; }
MVector MVector::operator^(const MVector& o) const
{
    return MVector(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x);
}
bool MVector::operator==(const MVector& o) const { return x == o.x && y == o.y && z == o.z; }
bool MVector::operator!=(const MVector& o) const { return !(*this == o); }
double MVector::length() const { return std::sqrt(x * x + y * y + z * z); }
MVector MVector::normal() const
{
    MVector v(*this);
    v.normalize();
    return v;
}
MStatus MVector::normalize()
{
    double l = length();
    if (l > 0)
        x /= l, y /= l, z /= l;
    return MS::kSuccess;
}
MStatus MVector::get(double d[3]) const
{
    d[0] = x, d[1] = y, d[2] = z;
    return MS::kSuccess;
}

const MColor MColor::kOpaqueBlack(0.0f, 0.0f, 0.0f, 1.0f);
MColor::MColor() : r(0), g(0), b(0), a(1) {}
MColor::MColor(const MColor& s) = default;
MColor::MColor(float rr, float gg, float bb, float aa) : r(rr), g(gg), b(bb), a(aa) {}
MColor::MColor(const float rgb[3]) : r(rgb[0]), g(rgb[1]), b(rgb[2]), a(1) {}
MColor::MColor(float alpha) : r(0), g(0), b(0), a(alpha) {}
MColor::MColor(MColorType m, unsigned char c1, unsigned char c2, unsigned char c3, unsigned char alpha)
    : r(0), g(0), b(0), a(1)
{
    set(m, c1 / 255.0f, c2 / 255.0f, c3 / 255.0f, alpha / 255.0f);
}
MColor::MColor(MColorType m, unsigned short c1, unsigned short c2, unsigned short c3, unsigned short alpha)
    : r(0), g(0), b(0), a(1)
{
    set(m, c1 / 65535.0f, c2 / 65535.0f, c3 / 65535.0f, alpha / 65535.0f);
}
MColor::MColor(MColorType m, float c1, float c2, float c3, float alpha) : r(0), g(0), b(0), a(1)
{
    set(m, c1, c2, c3, alpha);
}
MColor::MColor(MColorType m, double c1, double c2, double c3, double alpha) : r(0), g(0), b(0), a(1)
{
    set(m, (float)c1, (float)c2, (float)c3, (float)alpha);
}
MColor::~MColor() {}
MColor& MColor::operator=(const MColor& s) = default;
float MColor::operator[](unsigned int i) const { return i == 0 ? r : i == 1 ? g : i == 2 ? b : a; }
float& MColor::operator[](unsigned int i) { return i == 0 ? r : i == 1 ? g : i == 2 ? b : a; }
// HSV: hue in degrees [0, 360), saturation and value in [0, 1].
bool MColor::set(MColorType m, float c1, float c2, float c3, float alpha)
{
    a = alpha;
    switch (m)
    {
    case kRGB:
        r = c1, g = c2, b = c3;
        return true;
    case kHSV:
    {
        float h = std::fmod(c1, 360.0f);
        if (h < 0)
            h += 360.0f;
        float c = c3 * c2, x = c * (1 - std::fabs(std::fmod(h / 60.0f, 2.0f) - 1)), mm = c3 - c;
        float rr = 0, gg = 0, bb = 0;
        int sector = (int)(h / 60.0f);
        switch (sector)
        {
        case 0: rr = c, gg = x; break;
        case 1: rr = x, gg = c; break;
        case 2: gg = c, bb = x; break;
        case 3: gg = x, bb = c; break;
        case 4: rr = x, bb = c; break;
        default: rr = c, bb = x; break;
        }
        r = rr + mm, g = gg + mm, b = bb + mm;
        return true;
    }
    case kCMY:
    case kCMYK:
        r = 1 - c1, g = 1 - c2, b = 1 - c3;
        return true;
    }
    return false;
}
bool MColor::get(float rgb[3]) const
{
    rgb[0] = r, rgb[1] = g, rgb[2] = b;
    return true;
}
bool MColor::get(MColorType m, float& c1, float& c2, float& c3) const
{
    switch (m)
    {
    case kRGB:
        c1 = r, c2 = g, c3 = b;
        return true;
    case kHSV:
    {
        float mx = std::fmax(r, std::fmax(g, b)), mn = std::fmin(r, std::fmin(g, b)), d = mx - mn;
        float h = 0;
        if (d > 0)
        {
            if (mx == r)
                h = 60.0f * std::fmod((g - b) / d, 6.0f);
            else if (mx == g)
                h = 60.0f * ((b - r) / d + 2);
            else
                h = 60.0f * ((r - g) / d + 4);
        }
        if (h < 0)
            h += 360.0f;
        c1 = h, c2 = mx > 0 ? d / mx : 0, c3 = mx;
        return true;
    }
    case kCMY:
    case kCMYK:
        c1 = 1 - r, c2 = 1 - g, c3 = 1 - b;
        return true;
    }
    return false;
}
MColor MColor::operator*(float s) const { return MColor(r * s, g * s, b * s, a * s); }
MColor MColor::operator*(const MColor& o) const { return MColor(r * o.r, g * o.g, b * o.b, a * o.a); }
MColor MColor::operator/(float s) const { return MColor(r / s, g / s, b / s, a / s); }
MColor MColor::operator+(const MColor& o) const { return MColor(r + o.r, g + o.g, b + o.b, a + o.a); }
MColor MColor::operator-(const MColor& o) const { return MColor(r - o.r, g - o.g, b - o.b, a - o.a); }
MColor MColor::operator-() const { return MColor(-r, -g, -b, -a); }
bool MColor::operator==(const MColor& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
bool MColor::operator!=(const MColor& o) const { return !(*this == o); }
