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
    MObject h = KHostAccess::make(o);
    if (h.hasFn(fn))
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
const char* MFnBase::className() { return "MFnBase"; }
bool MFnBase::hasObj(MFn::Type t) const { return f_ptr && KHostAccess::make(static_cast<Obj*>(f_ptr)).hasFn(t); }
bool MFnBase::hasObj(const MObject& o) const { return Compatible(type(), KHostAccess::get(o)); }
MObject MFnBase::object(MStatus* st) const
{
    Set(st, f_ptr ? MS::kSuccess : MS::kInvalidParameter);
    return KHostAccess::make(static_cast<Obj*>(f_ptr));
}
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
MObject MFnNumericData::create(Type t, MStatus* st)
{
    if (t <= kInvalid || t >= kLast)
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    NumericDataObj* d = new NumericDataObj;
    d->numType = t;
    KHostAccess::fnAttach(*this, d);
    Set(st, MS::kSuccess);
    return KHostAccess::make(d);
}
MFnNumericData::Type MFnNumericData::numericType(MStatus* st) const
{
    Obj* o = KHostAccess::fnObj(*this);
    if (!o || o->fnType != MFn::kNumericData)
    {
        Set(st, MS::kInvalidParameter);
        return kInvalid;
    }
    Set(st, MS::kSuccess);
    return static_cast<NumericDataObj*>(o)->numType;
}

MObject MFnStringData::create(const MString& str, MStatus* st)
{
    StringDataObj* d = new StringDataObj;
    d->value = str;
    KHostAccess::fnAttach(*this, d);
    Set(st, MS::kSuccess);
    return KHostAccess::make(d);
}
MObject MFnStringData::create(MStatus* st) { return create(MString(), st); }
MString MFnStringData::string(MStatus* st) const
{
    Obj* o = KHostAccess::fnObj(*this);
    if (!o || o->fnType != MFn::kStringData)
    {
        Set(st, MS::kInvalidParameter);
        return MString();
    }
    Set(st, MS::kSuccess);
    return static_cast<StringDataObj*>(o)->value;
}
MStatus MFnStringData::set(const MString& s)
{
    Obj* o = KHostAccess::fnObj(*this);
    if (!o || o->fnType != MFn::kStringData)
        return MS::kInvalidParameter;
    static_cast<StringDataObj*>(o)->value = s;
    return MS::kSuccess;
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
    if (!o || !KHostAccess::make(o).hasFn(MFn::kAttribute))
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
AttrObj* TypedOf(const MFnBase& fn, MStatus* st)
{
    AttrObj* a = AttrOf(fn, st);
    if (a && a->kind != AKind::kTyped)
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

#define KHOST_ATTR_FLAG(GETTER, SETTER, FIELD)                                                            \
    bool MFnAttribute::GETTER(MStatus* st) const                                                          \
    {                                                                                                     \
        AttrObj* a = AttrOf(*this, st);                                                                   \
        return a ? a->FIELD : false;                                                                      \
    }                                                                                                     \
    MStatus MFnAttribute::SETTER(bool state)                                                              \
    {                                                                                                     \
        MStatus st;                                                                                       \
        AttrObj* a = AttrOf(*this, &st);                                                                  \
        if (a)                                                                                            \
            a->FIELD = state;                                                                             \
        return st;                                                                                        \
    }

KHOST_ATTR_FLAG(isReadable, setReadable, readable)
KHOST_ATTR_FLAG(isWritable, setWritable, writable)
KHOST_ATTR_FLAG(isConnectable, setConnectable, connectable)
KHOST_ATTR_FLAG(isStorable, setStorable, storable)
KHOST_ATTR_FLAG(isCached, setCached, cached)
KHOST_ATTR_FLAG(isArray, setArray, array)
KHOST_ATTR_FLAG(indexMatters, setIndexMatters, indexMatters)
KHOST_ATTR_FLAG(isKeyable, setKeyable, keyable)
KHOST_ATTR_FLAG(isChannelBoxFlagSet, setChannelBox, channelBox)
KHOST_ATTR_FLAG(isHidden, setHidden, hidden)
KHOST_ATTR_FLAG(isUsedAsColor, setUsedAsColor, usedAsColor)
KHOST_ATTR_FLAG(isIndeterminant, setIndeterminant, indeterminant)
KHOST_ATTR_FLAG(isRenderSource, setRenderSource, renderSource)
KHOST_ATTR_FLAG(isWorldSpace, setWorldSpace, worldSpace)
KHOST_ATTR_FLAG(isAffectsWorldSpace, setAffectsWorldSpace, affectsWorldSpace)
KHOST_ATTR_FLAG(isUsedAsFilename, setUsedAsFilename, usedAsFilename)
KHOST_ATTR_FLAG(affectsAppearance, setAffectsAppearance, affectsAppearance)
KHOST_ATTR_FLAG(usesArrayDataBuilder, setUsesArrayDataBuilder, usesArrayDataBuilder)
KHOST_ATTR_FLAG(internal, setInternal, internal)

MStatus MFnAttribute::setNiceNameOverride(const MString& name)
{
    MStatus st;
    AttrObj* a = AttrOf(*this, &st);
    if (a)
        a->niceName = name.asChar();
    return st;
}
MStatus MFnAttribute::setDisconnectBehavior(DisconnectBehavior b)
{
    MStatus st;
    AttrObj* a = AttrOf(*this, &st);
    if (a)
        a->disconnectBehavior = b;
    return st;
}
MFnAttribute::DisconnectBehavior MFnAttribute::disconnectBehavior(MStatus* st) const
{
    AttrObj* a = AttrOf(*this, st);
    return a ? (DisconnectBehavior)a->disconnectBehavior : kReset;
}
MString MFnAttribute::name(MStatus* st) const
{
    AttrObj* a = AttrOf(*this, st);
    return a ? MString(a->longName.c_str()) : MString();
}
MString MFnAttribute::shortName(MStatus* st) const
{
    AttrObj* a = AttrOf(*this, st);
    return a ? MString(a->shortName.c_str()) : MString();
}
MObject MFnAttribute::parent(MStatus* st) const
{
    AttrOf(*this, st);
    return MObject();   // compound attributes are not modelled
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
MObject MFnNumericAttribute::create(const MString& full, const MString& brief, const MObject& c1,
                                    const MObject& c2, const MObject& c3, MStatus* st)
{
    const MObject* kids[3] = {&c1, &c2, &c3};
    for (int i = 0; i < 3; ++i)
    {
        bool optional = i == 2 && kids[i]->isNull();
        if (!optional && !kids[i]->hasFn(MFn::kNumericAttribute))
        {
            Set(st, MS::kInvalidParameter);
            return MObject();
        }
    }
    AttrObj* a = NewAttr(*this, MFn::kNumericAttribute, AKind::kNumeric, full, brief, st);
    if (!a)
        return MObject();
    a->numType = c3.isNull() ? MFnNumericData::k2Double : MFnNumericData::k3Double;
    for (int i = 0; i < 3; ++i)
        if (!kids[i]->isNull())
            a->children.push_back(Ref(KHostAccess::get(*kids[i])));
    return KHostAccess::make(a);
}
MObject MFnNumericAttribute::createColor(const MString& full, const MString& brief, MStatus* st)
{
    MObject o = create(full, brief, MFnNumericData::k3Float, 0.0, st);
    if (AttrObj* a = NumericOf(*this, nullptr))
        a->usedAsColor = true;
    return o;
}
MObject MFnNumericAttribute::createPoint(const MString& full, const MString& brief, MStatus* st)
{
    return create(full, brief, MFnNumericData::k3Float, 0.0, st);
}
MObject MFnNumericAttribute::createAddr(const MString& full, const MString& brief, void* def, MStatus* st)
{
    MObject o = create(full, brief, MFnNumericData::kAddr, 0.0, st);
    if (AttrObj* a = NumericOf(*this, nullptr))
        a->defaultAddr = def;
    return o;
}
MFnNumericData::Type MFnNumericAttribute::unitType(MStatus* st) const
{
    AttrObj* a = NumericOf(*this, st);
    return a ? a->numType : MFnNumericData::kInvalid;
}
MObject MFnNumericAttribute::child(unsigned int i, MStatus* st) const
{
    AttrObj* a = NumericOf(*this, st);
    if (!a || i >= a->children.size())
    {
        Set(st, MS::kInvalidParameter);
        return MObject();
    }
    return KHostAccess::make(a->children[i].get());
}

#define KHOST_RANGE(HAS, GET, SET, FLAG, FIELD)                                                           \
    bool MFnNumericAttribute::HAS(MStatus* st) const                                                      \
    {                                                                                                     \
        AttrObj* a = NumericOf(*this, st);                                                                \
        return a && a->FLAG;                                                                              \
    }                                                                                                     \
    MStatus MFnNumericAttribute::GET(double& v) const                                                     \
    {                                                                                                     \
        MStatus st;                                                                                       \
        AttrObj* a = NumericOf(*this, &st);                                                               \
        if (!a)                                                                                           \
            return st;                                                                                    \
        if (!a->FLAG)                                                                                     \
            return MS::kFailure;                                                                          \
        v = a->FIELD;                                                                                     \
        return MS::kSuccess;                                                                              \
    }                                                                                                     \
    MStatus MFnNumericAttribute::SET(double v)                                                            \
    {                                                                                                     \
        MStatus st;                                                                                       \
        AttrObj* a = NumericOf(*this, &st);                                                               \
        if (!a)                                                                                           \
            return st;                                                                                    \
        a->FLAG = true;                                                                                   \
        a->FIELD = v;                                                                                     \
        return MS::kSuccess;                                                                              \
    }

KHOST_RANGE(hasMin, getMin, setMin, hasMin, min)
KHOST_RANGE(hasMax, getMax, setMax, hasMax, max)
KHOST_RANGE(hasSoftMin, getSoftMin, setSoftMin, hasSoftMin, softMin)
KHOST_RANGE(hasSoftMax, getSoftMax, setSoftMax, hasSoftMax, softMax)

// Compound ranges and defaults keep their first component.
MStatus MFnNumericAttribute::getMin(double& a, double& b) const { MStatus s = getMin(a); b = a; return s; }
MStatus MFnNumericAttribute::getMin(double& a, double& b, double& c) const { MStatus s = getMin(a); b = c = a; return s; }
MStatus MFnNumericAttribute::getMax(double& a, double& b) const { MStatus s = getMax(a); b = a; return s; }
MStatus MFnNumericAttribute::getMax(double& a, double& b, double& c) const { MStatus s = getMax(a); b = c = a; return s; }
MStatus MFnNumericAttribute::setMin(double a, double) { return setMin(a); }
MStatus MFnNumericAttribute::setMin(double a, double, double) { return setMin(a); }
MStatus MFnNumericAttribute::setMax(double a, double) { return setMax(a); }
MStatus MFnNumericAttribute::setMax(double a, double, double) { return setMax(a); }

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
template <class T> MStatus GetDefaultNumber(const MFnBase& fn, T& out)
{
    MStatus st;
    AttrObj* a = NumericOf(fn, &st);
    if (a)
        out = (T)a->defaultNumber;
    return st;
}
} // namespace

MStatus MFnNumericAttribute::setDefault(bool v) { return SetDefaultNumber(*this, v ? 1.0 : 0.0); }
MStatus MFnNumericAttribute::setDefault(char v) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(int v) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(int v, int) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(int v, int, int) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(MInt64 v) { return SetDefaultNumber(*this, (double)v); }
MStatus MFnNumericAttribute::setDefault(float v) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(float v, float) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(float v, float, float) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(double v) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(double v, double) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(double v, double, double) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(double v, double, double, double) { return SetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::setDefault(void* v)
{
    MStatus st;
    AttrObj* a = NumericOf(*this, &st);
    if (!a)
        return st;
    if (a->numType != MFnNumericData::kAddr)
        return MS::kInvalidParameter;
    a->defaultAddr = v;
    return MS::kSuccess;
}
MStatus MFnNumericAttribute::getDefault(bool& v)
{
    double d = 0;
    MStatus s = GetDefaultNumber(*this, d);
    v = d != 0;
    return s;
}
MStatus MFnNumericAttribute::getDefault(char& v) { return GetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::getDefault(int& v) { return GetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::getDefault(int& v, int& b) { MStatus s = GetDefaultNumber(*this, v); b = v; return s; }
MStatus MFnNumericAttribute::getDefault(int& v, int& b, int& c) { MStatus s = GetDefaultNumber(*this, v); b = c = v; return s; }
MStatus MFnNumericAttribute::getDefault(MInt64& v) { return GetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::getDefault(float& v) { return GetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::getDefault(float& v, float& b) { MStatus s = GetDefaultNumber(*this, v); b = v; return s; }
MStatus MFnNumericAttribute::getDefault(float& v, float& b, float& c) { MStatus s = GetDefaultNumber(*this, v); b = c = v; return s; }
MStatus MFnNumericAttribute::getDefault(double& v) { return GetDefaultNumber(*this, v); }
MStatus MFnNumericAttribute::getDefault(double& v, double& b) { MStatus s = GetDefaultNumber(*this, v); b = v; return s; }
MStatus MFnNumericAttribute::getDefault(double& v, double& b, double& c) { MStatus s = GetDefaultNumber(*this, v); b = c = v; return s; }
MStatus MFnNumericAttribute::getDefault(double& v, double& b, double& c, double& d)
{
    MStatus s = GetDefaultNumber(*this, v);
    b = c = d = v;
    return s;
}

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
MString MFnEnumAttribute::fieldName(short value, MStatus* st) const
{
    AttrObj* a = EnumOf(*this, st);
    if (a)
        for (const auto& f : a->fields)
            if (f.second == value)
                return MString(f.first.c_str());
    Set(st, MS::kInvalidParameter);
    return MString();
}
short MFnEnumAttribute::fieldIndex(const MString& label, MStatus* st) const
{
    AttrObj* a = EnumOf(*this, st);
    if (a)
        for (const auto& f : a->fields)
            if (f.first == label.asChar())
                return f.second;
    Set(st, MS::kInvalidParameter);
    return 0;
}
MStatus MFnEnumAttribute::getMin(short& v) const
{
    MStatus st;
    AttrObj* a = EnumOf(*this, &st);
    if (!a)
        return st;
    if (a->fields.empty())
        return MS::kFailure;
    v = a->fields[0].second;
    for (const auto& f : a->fields)
        v = f.second < v ? f.second : v;
    return MS::kSuccess;
}
MStatus MFnEnumAttribute::getMax(short& v) const
{
    MStatus st;
    AttrObj* a = EnumOf(*this, &st);
    if (!a)
        return st;
    if (a->fields.empty())
        return MS::kFailure;
    v = a->fields[0].second;
    for (const auto& f : a->fields)
        v = f.second > v ? f.second : v;
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
MStatus MFnEnumAttribute::setDefault(const MString& label)
{
    MStatus st;
    short v = fieldIndex(label, &st);
    if (!st)
        return st;
    return setDefault(v);
}
MStatus MFnEnumAttribute::getDefault(short& v) const
{
    MStatus st;
    AttrObj* a = EnumOf(*this, &st);
    if (a)
        v = (short)a->defaultNumber;
    return st;
}

// ---------------------------------------------------------------------------
// MFnTypedAttribute
MObject MFnTypedAttribute::create(const MString& full, const MString& brief, const MTypeId&, MObject def,
                                  MStatus* st)
{
    // Plug-in data types are not modelled: the attribute holds any data.
    AttrObj* a = NewAttr(*this, MFn::kTypedAttribute, AKind::kTyped, full, brief, st);
    if (!a)
        return MObject();
    a->dataType = MFnData::kPlugin;
    a->defaultData = Ref(KHostAccess::get(def));
    return KHostAccess::make(a);
}
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
              (t == MFnData::kMesh && d->fnType != MFn::kMeshData) || !def.hasFn(MFn::kData)))
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
MObject MFnTypedAttribute::create(const MString& full, const MString& brief, MFnData::Type t, MStatus* st)
{
    return create(full, brief, t, MObject::kNullObj, st);
}
MFnData::Type MFnTypedAttribute::attrType(MStatus* st) const
{
    AttrObj* a = TypedOf(*this, st);
    return a ? a->dataType : MFnData::kInvalid;
}
MStatus MFnTypedAttribute::getDefault(MObject& def)
{
    MStatus st;
    AttrObj* a = TypedOf(*this, &st);
    if (a)
        KHostAccess::set(def, a->defaultData.get());
    return st;
}
MStatus MFnTypedAttribute::setDefault(const MObject& def)
{
    MStatus st;
    AttrObj* a = TypedOf(*this, &st);
    if (!a)
        return st;
    Obj* d = KHostAccess::get(def);
    if (d && !def.hasFn(MFn::kData))
        return MS::kInvalidParameter;
    a->defaultData = Ref(d);
    return MS::kSuccess;
}
