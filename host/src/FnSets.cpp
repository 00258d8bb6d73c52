// Function sets of the stand-in host: the base, the attribute function sets
// and the data function sets.
#include "HostInternal.h"

#include <maya/MFnAttribute.h>
#include <maya/MFnBase.h>
#include <maya/MFnData.h>
#include <maya/MFnEnumAttribute.h>
#include <maya/MFnGeometryData.h>
#include <maya/MFnMeshData.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnNumericData.h>
#include <maya/MFnStringData.h>
#include <maya/MFnTypedAttribute.h>
#include <maya/MTypeId.h>

using namespace khost_impl;

namespace
{
void Set(MStatus* st, MStatus::MStatusCode c)
{
    if (st)
        *st = c;
}

// Whether a function set of type `fn` may attach to `o`.
bool Compatible(MFn::Type fn, Obj* o)
{
    if (!o)
        return false;
    if (HasFn(o, fn))
        return true;
    // A mesh function set works on mesh data as well as on mesh nodes.
    return fn == MFn::kMesh && o->fnType == MFn::kMeshData;
}
} // namespace

Obj* KHostAccess::fnObj(const MFnBase& f) { return static_cast<Obj*>(f.f_ptr); }
void KHostAccess::fnAttach(MFnBase& f, Obj* o)
{
    Retain(o);
    Release(static_cast<Obj*>(f.f_ptr));
    f.f_ptr = o;
}

// ---------------------------------------------------------------------------
// MFnBase
MFnBase::MFnBase() : f_ptr(nullptr) {}
MFnBase::~MFnBase() { Release(static_cast<Obj*>(f_ptr)); }
MFn::Type MFnBase::type() const { return MFn::kBase; }
MStatus MFnBase::setObject(MObject& o) { return setObject(static_cast<const MObject&>(o)); }
MStatus MFnBase::setObject(const MObject& o)
{
    Obj* p = KHostAccess::get(o);
    if (p && !Compatible(type(), p))
    {
        KHostAccess::fnAttach(*this, nullptr);
        return MS::kInvalidParameter;
    }
    KHostAccess::fnAttach(*this, p);
    return p ? MS::kSuccess : MS::kInvalidParameter;
}

KHOST_FNSET(MFnData, MFn::kData)
KHOST_FNSET(MFnNumericData, MFn::kNumericData)
KHOST_FNSET(MFnStringData, MFn::kStringData)
KHOST_FNSET(MFnGeometryData, MFn::kGeometryData)
KHOST_FNSET(MFnMeshData, MFn::kMeshData)
KHOST_FNSET(MFnAttribute, MFn::kAttribute)
KHOST_FNSET(MFnNumericAttribute, MFn::kNumericAttribute)
KHOST_FNSET(MFnEnumAttribute, MFn::kEnumAttribute)
KHOST_FNSET(MFnTypedAttribute, MFn::kTypedAttribute)

// ---------------------------------------------------------------------------
// Data function sets.

MObject MFnStringData::create(const MString& str, MStatus* st)
{
    StringDataObj* d = new StringDataObj;
    d->value = str;
    KHostAccess::fnAttach(*this, d);
    Set(st, MS::kSuccess);
    return KHostAccess::make(d);
}

MObject MFnMeshData::create(MStatus* st)
{
    MeshDataObj* d = new (std::nothrow) MeshDataObj;
    if (!d)
    {
        Set(st, MS::kInsufficientMemory);
        return MObject();
    }
    KHostAccess::fnAttach(*this, d);
    Set(st, MS::kSuccess);
    return KHostAccess::make(d);
}

// ---------------------------------------------------------------------------
// Attributes.
namespace
{
AttrObj* AttrOf(const MFnBase& fn, MStatus* st)
{
    Obj* o = KHostAccess::fnObj(fn);
    if (!o || !HasFn(o, MFn::kAttribute))
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    Set(st, MS::kSuccess);
    return static_cast<AttrObj*>(o);
}
AttrObj* NumericOf(const MFnBase& fn, MStatus* st)
{
    AttrObj* a = AttrOf(fn, st);
    if (a && a->kind != AKind::kNumeric)
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    return a;
}
AttrObj* EnumOf(const MFnBase& fn, MStatus* st)
{
    AttrObj* a = AttrOf(fn, st);
    if (a && a->kind != AKind::kEnum)
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    return a;
}
// A new attribute with its names; null when the long name is empty.
AttrObj* NewAttr(MFnBase& fn, MFn::Type t, AKind kind, const MString& full, const MString& brief, MStatus* st)
{
    if (full.length() == 0)
    {
        Set(st, MS::kInvalidParameter);
        return nullptr;
    }
    AttrObj* a = new AttrObj(t);
    a->kind = kind;
    a->longName = full.asChar();
    a->shortName = brief.length() ? brief.asChar() : full.asChar();
    KHostAccess::fnAttach(fn, a);
    Set(st, MS::kSuccess);
    return a;
}
} // namespace

khost::AttrKind khost_impl::KindOf(const AttrObj& a)
{
    switch (a.kind)
    {
    case AKind::kEnum:
        return khost::AttrKind::kEnum;
    case AKind::kTyped:
        return a.dataType == MFnData::kString ? khost::AttrKind::kString
               : a.dataType == MFnData::kMesh ? khost::AttrKind::kMesh
                                              : khost::AttrKind::kTypedOther;
    case AKind::kNumeric:
        break;
    }
    switch (a.numType)
    {
    case MFnNumericData::kBoolean: return khost::AttrKind::kBool;
    case MFnNumericData::kByte: return khost::AttrKind::kByte;
    case MFnNumericData::kChar: return khost::AttrKind::kChar;
    case MFnNumericData::kShort: return khost::AttrKind::kShort;
    case MFnNumericData::kInt: return khost::AttrKind::kInt;
    case MFnNumericData::kInt64: return khost::AttrKind::kInt64;
    case MFnNumericData::kFloat: return khost::AttrKind::kFloat;
    case MFnNumericData::kDouble: return khost::AttrKind::kDouble;
    default: return khost::AttrKind::kNumericOther;
    }
}

bool khost_impl::IsSingleNumeric(const AttrObj& a)
{
    khost::AttrKind k = KindOf(a);
    return k != khost::AttrKind::kNumericOther && k != khost::AttrKind::kString && k != khost::AttrKind::kMesh &&
           k != khost::AttrKind::kTypedOther;
}

#define KHOST_ATTR_FLAG(SETTER, FIELD)                                                                    \
    MStatus MFnAttribute::SETTER(bool state)                                                              \
    {                                                                                                     \
        MStatus st;                                                                                       \
        AttrObj* a = AttrOf(*this, &st);                                                                  \
        if (a)                                                                                            \
            a->FIELD = state;                                                                             \
        return st;                                                                                        \
    }

KHOST_ATTR_FLAG(setWritable, writable)
KHOST_ATTR_FLAG(setStorable, storable)
KHOST_ATTR_FLAG(setArray, array)
KHOST_ATTR_FLAG(setKeyable, keyable)
KHOST_ATTR_FLAG(setUsesArrayDataBuilder, usesArrayDataBuilder)

MStatus MFnAttribute::setNiceNameOverride(const MString& name)
{
    MStatus st;
    AttrObj* a = AttrOf(*this, &st);
    if (a)
        a->niceName = name.asChar();
    return st;
}

// ---------------------------------------------------------------------------
// MFnNumericAttribute
MObject MFnNumericAttribute::create(const MString& full, const MString& brief, MFnNumericData::Type t,
                                    double def, MStatus* st)
{
    if (t <= MFnNumericData::kInvalid || t >= MFnNumericData::kLast)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    AttrObj* a = NewAttr(*this, MFn::kNumericAttribute, AKind::kNumeric, full, brief, st);
    if (!a)
        return MObject();
    a->numType = t;
    a->defaultNumber = def;
    return KHostAccess::make(a);
}

MStatus MFnNumericAttribute::setSoftMin(double v)
{
    MStatus st;
    AttrObj* a = NumericOf(*this, &st);
    if (a)
        a->hasSoftMin = true, a->softMin = v;
    return st;
}
MStatus MFnNumericAttribute::setSoftMax(double v)
{
    MStatus st;
    AttrObj* a = NumericOf(*this, &st);
    if (a)
        a->hasSoftMax = true, a->softMax = v;
    return st;
}

namespace
{
MStatus SetDefaultNumber(const MFnBase& fn, double v)
{
    MStatus st;
    AttrObj* a = NumericOf(fn, &st);
    if (!a)
        return st;
    if (a->numType == MFnNumericData::kAddr)
        return MS::kInvalidParameter;
    a->defaultNumber = v;
    return MS::kSuccess;
}
} // namespace

MStatus MFnNumericAttribute::setDefault(bool v) { return SetDefaultNumber(*this, v ? 1.0 : 0.0); }
MStatus MFnNumericAttribute::setDefault(int v) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(float v) { return SetDefaultNumber(*this, v); }

// ---------------------------------------------------------------------------
// MFnEnumAttribute
MObject MFnEnumAttribute::create(const MString& full, const MString& brief, short def, MStatus* st)
{
    AttrObj* a = NewAttr(*this, MFn::kEnumAttribute, AKind::kEnum, full, brief, st);
    if (!a)
        return MObject();
    a->numType = MFnNumericData::kShort;
    a->defaultNumber = def;
    return KHostAccess::make(a);
}
MStatus MFnEnumAttribute::addField(const MString& label, short value)
{
    MStatus st;
    AttrObj* a = EnumOf(*this, &st);
    if (!a)
        return st;
    if (label.length() == 0)
        return MS::kInvalidParameter;
    for (const auto& f : a->fields)
        if (f.first == label.asChar())
            return MS::kInvalidParameter;
    a->fields.emplace_back(label.asChar(), value);
    return MS::kSuccess;
}
MStatus MFnEnumAttribute::setDefault(short v)
{
    MStatus st;
    AttrObj* a = EnumOf(*this, &st);
    if (a)
        a->defaultNumber = v;
    return st;
}

// ---------------------------------------------------------------------------
// MFnTypedAttribute
MObject MFnTypedAttribute::create(const MString& full, const MString& brief, MFnData::Type t, MObject def,
                                  MStatus* st)
{
    if (t <= MFnData::kInvalid || t >= MFnData::kLast)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    Obj* d = KHostAccess::get(def);
    if (d && ((t == MFnData::kString && d->fnType != MFn::kStringData) ||
              (t == MFnData::kMesh && d->fnType != MFn::kMeshData) || !HasFn(d, MFn::kData)))
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    AttrObj* a = NewAttr(*this, MFn::kTypedAttribute, AKind::kTyped, full, brief, st);
    if (!a)
        return MObject();
    a->dataType = t;
    a->defaultData = Ref(d);
    return KHostAccess::make(a);
}
