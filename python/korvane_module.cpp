// The Python module `korvane`: load cache files into numpy arrays, run the
// node's mesh operations on them, check whole sequences.
//
// Memory: a Mesh owns one ZNQGeometry (counted allocation, as every reader
// and operation uses it). Its array properties hand out read-only numpy
// copies, made once per state of the mesh and then cached. Views into the
// geometry would dangle: every operation builds new arrays and swaps them in,
// freeing the old ones, while a script may still hold the old view. A copy
// costs one memcpy per array and change, far less than the load or the
// operation that made it, and the counted budget keeps describing the
// geometry alone. Arrays are read-only so that nobody mistakes them for views;
// assigning a whole array to a property replaces the mesh's data.
//
// Threads: the GIL is released while a file loads, an operation runs or a
// sequence is checked. Each Mesh has a busy flag, set and tested while the
// GIL is held: a second thread that reaches a mesh in use gets RuntimeError
// instead of a mesh changing under it. Separate meshes run side by side.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "KorvaneSequence.h"
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "formats/ZNQLoadPlace.h"
#include "KorvaneConvert.h"
#include "geometry/ZNQGeometry.h"

namespace py = pybind11;

namespace {

PyObject* g_cacheError = nullptr; // korvane.CacheError

// Where and why a load failed, as the reader noted it: two strings, or None
// for what it did not say.
std::pair<py::object, py::object> FailurePlace(const ZNQLoadPlace& place)
{
    if (!place.Known())
        return {py::none(), py::none()};
    char where[96];
    PlaceWhere(place, where, sizeof(where));
    py::object w = where[0] ? py::object(py::str(where)) : py::object(py::none());
    py::object r = place.reason[0] ? py::object(py::str(place.reason)) : py::object(py::none());
    return {w, r};
}

// Raises korvane.CacheError for a library code. path: the file, or None.
[[noreturn]] void ThrowCacheError(int32_t code, py::object path, py::object where, py::object reason)
{
    char line[kZNQErrorMessageMaxLen];
    ZNQErrorMessage(code, line, true, nullptr);
    py::object type = py::reinterpret_borrow<py::object>(g_cacheError);
    py::object error = type(py::str(line));
    error.attr("code") = code;
    error.attr("message") = py::str(ZNQErrorText(code));
    error.attr("path") = std::move(path);
    error.attr("where") = std::move(where);
    error.attr("reason") = std::move(reason);
    PyErr_SetObject(g_cacheError, error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void ThrowCode(int32_t code) { ThrowCacheError(code, py::none(), py::none(), py::none()); }

[[noreturn]] void ThrowNoMemory()
{
    PyErr_NoMemory();
    throw py::error_already_set();
}

// A whole number from an int or anything with __index__ (numpy integers);
// bools and floats are refused.
long long WholeNumber(const py::handle& v, const char* what)
{
    if (PyBool_Check(v.ptr()) || !PyIndex_Check(v.ptr()))
        throw py::type_error(what);
    py::object i = py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr()));
    if (!i)
        throw py::error_already_set();
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
    if (overflow)
        return overflow > 0 ? LLONG_MAX : LLONG_MIN;
    if (n == -1 && PyErr_Occurred())
        throw py::error_already_set();
    return n;
}

// Text as the bytes it stands for: UTF-8, with the undecodable bytes that
// Python keeps as surrogates (os.listdir, glob, os.fsdecode) given back.
std::string TextBytes(const py::handle& text)
{
    py::object b =
        py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(text.ptr(), "utf-8", "surrogateescape"));
    if (!b)
        throw py::error_already_set(); // a lone surrogate that stands for no byte
    return b.cast<std::string>();
}

// A file system path (str, bytes or os.PathLike) as bytes for the C run time,
// as os.fsencode gives them, so that any name os.listdir returns can be read.
std::string PathArgument(const py::object& path, const char* what)
{
    const std::string s = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
    if (s.find('\0') != std::string::npos)
        throw py::value_error(std::string(what) + " contains a NUL character");
    return s;
}

// The .obj group filter: None, "grp1;grp2;" or a sequence of names.
bool GroupsArgument(const py::object& groups, std::string& out)
{
    if (groups.is_none())
        return false;
    if (py::isinstance<py::str>(groups))
        out = TextBytes(groups);
    else
    {
        if (py::isinstance<py::bytes>(groups) || !py::isinstance<py::iterable>(groups))
            throw py::type_error("groups must be None, a string such as \"grp1;grp2;\" or a list of names");
        for (py::handle name : groups)
        {
            if (!py::isinstance<py::str>(name))
                throw py::type_error("groups must hold strings");
            const std::string s = TextBytes(name);
            if (s.find(';') != std::string::npos)
                throw py::value_error("a group name in a list may not contain ';'");
            out += s;
            out += ';';
        }
    }
    if (out.find('\0') != std::string::npos)
        throw py::value_error("groups contains a NUL character");
    return true;
}

// The geometry of one Mesh. Cleared on destruction, so the books balance.
struct Geometry
{
    ZNQGeometry g;
    Geometry() { g.Init(0); }
    ~Geometry() { g.Clear(); }
    Geometry(const Geometry&) = delete;
    Geometry& operator=(const Geometry&) = delete;
};

// Copies a counted array of count elements into dst's budget; false when refused.
template <typename T>
bool CopyArray(ZNQGeometry& dst, T*& to, const T* from, size_t count)
{
    to = nullptr;
    if (!from)
        return true;
    to = dst._MemAllocArr<T>(count, false);
    if (!to)
        return false;
    if (count)
        std::memcpy(to, from, count * sizeof(T));
    return true;
}

// A copy of every mesh array (derived data is rebuilt on request).
bool CloneGeometry(const ZNQGeometry& src, ZNQGeometry& dst)
{
    dst.Clear();
    if (!src._vertPos)
        return true;
    const size_t nv = static_cast<size_t>(src._numVert);
    const size_t np = static_cast<size_t>(src._numPoly);
    const size_t nn = static_cast<size_t>(src.NumNodes());
    bool ok = CopyArray(dst, dst._vertPos, src._vertPos, nv) && CopyArray(dst, dst._vertMotion, src._vertMotion, nv) &&
              CopyArray(dst, dst._vertUser4, src._vertUser4, nv) &&
              CopyArray(dst, dst._vertUser3[0], src._vertUser3[0], nv) &&
              CopyArray(dst, dst._vertUser3[1], src._vertUser3[1], nv);
    for (int k = 0; k < 4 && ok; ++k)
        ok = CopyArray(dst, dst._vertUser1[k], src._vertUser1[k], nv);
    ok = ok && CopyArray(dst, dst._polyNumVert, src._polyNumVert, np) &&
         CopyArray(dst, dst._polyVInd, src._polyVInd, nn) && CopyArray(dst, dst._nodeNrm, src._nodeNrm, nn) &&
         CopyArray(dst, dst._nodeUvw, src._nodeUvw, nn) && CopyArray(dst, dst._nodeCol, src._nodeCol, nn);
    if (!ok)
    {
        dst.Clear();
        return false;
    }
    dst._numVert = src._numVert;
    dst._numPoly = src._numPoly;
    dst._DynRelease(kDynAll);
    return true;
}

// A read-only numpy array holding a copy of rows x width values of T.
template <typename T>
py::array ReadOnlyCopy(const T* data, int64_t rows, int width)
{
    std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(rows)};
    if (width > 1)
        shape.push_back(width);
    py::array_t<T> a(shape);
    const size_t count = static_cast<size_t>(rows) * static_cast<size_t>(width);
    if (count)
        std::memcpy(a.mutable_data(), data, count * sizeof(T));
    a.attr("flags").attr("writeable") = false;
    return std::move(a);
}

enum CacheSlot : int
{
    kSlotPositions,
    kSlotCounts,
    kSlotIndices,
    kSlotNormals,
    kSlotUvws,
    kSlotColors,
    kSlotMotions,
    kSlotVertexNormals,
    kSlotVertexUvws,
    kSlotVertexColors,
    kNumSlots
};

// ---------------------------------------------------------------------------
// Input arrays of from_arrays and the property setters.

enum class Kind
{
    Float,
    Int
};

// obj as a C-contiguous array of T with rows x width (width 0: one-dimensional).
// TypeError for a wrong kind of data, ValueError for a wrong shape.
template <typename T>
py::array_t<T, py::array::c_style> InputArray(const py::handle& obj, const char* name, Kind kind, int width,
                                              py::ssize_t rows = -1)
{
    py::array a = py::array::ensure(obj);
    if (!a)
    {
        PyErr_Clear();
        throw py::type_error(std::string(name) + " must be an array or a sequence of numbers");
    }
    const char k = a.dtype().kind();
    // An empty list comes as float64 of shape (0,): take it for any empty input.
    const bool empty = a.size() == 0 && a.ndim() == 1 && (k == 'f' || k == 'i' || k == 'u');
    if (empty && width)
        a = a.attr("reshape")(0, width);
    const bool okKind =
        empty || (kind == Kind::Float ? (k == 'f' || k == 'i' || k == 'u') : (k == 'i' || k == 'u'));
    if (!okKind)
        throw py::type_error(std::string(name) + (kind == Kind::Float ? " must hold real numbers, not dtype "
                                                                      : " must hold integers, not dtype ") +
                             py::str(a.dtype()).cast<std::string>());
    const std::string want = width ? "(n, " + std::to_string(width) + ")" : "(n,)";
    if ((width && (a.ndim() != 2 || a.shape(1) != width)) || (!width && a.ndim() != 1))
        throw py::value_error(std::string(name) + " must have the shape " + want + ", not " +
                              py::str(a.attr("shape")).cast<std::string>());
    if (rows >= 0 && a.shape(0) != rows)
        throw py::value_error(std::string(name) + " must have " + std::to_string(rows) + " rows, not " +
                              std::to_string(a.shape(0)));
    if (a.shape(0) > INT32_MAX)
        throw py::value_error(std::string(name) + " is too long");
    return py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(a);
}

// Fills a counted array of the geometry from a checked input; false when refused.
template <typename Elem>
bool FillFloats(ZNQGeometry& g, Elem*& field, const py::array_t<float, py::array::c_style>& a, size_t rows)
{
    field = g._MemAllocArr<Elem>(rows, false);
    if (!field)
        return false;
    if (rows)
        std::memcpy(field, a.data(), rows * sizeof(Elem));
    return true;
}

// ---------------------------------------------------------------------------

class Mesh
{
public:
    Mesh() : geo_(new Geometry) {}

    ZNQGeometry& G() { return geo_->g; }

    // Marks the mesh in use for one call; the GIL is held on entry and exit.
    class Busy
    {
    public:
        explicit Busy(Mesh& m) : m_(m)
        {
            if (m_.busy_)
                throw std::runtime_error("the mesh is in use by another thread");
            m_.busy_ = true;
        }
        ~Busy() { m_.busy_ = false; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        Mesh& m_;
    };

    void Invalidate()
    {
        for (py::object& o : cache_)
            o = py::object();
    }

    // Runs f(geometry) without the GIL. A non-zero code empties the mesh (the
    // library leaves a failed operation's geometry for its caller to clear)
    // and raises CacheError.
    template <typename F>
    void Run(F f)
    {
        Busy busy(*this);
        Invalidate();
        int32_t rc = 0;
        {
            py::gil_scoped_release nogil;
            rc = f(G());
            if (rc)
                G().Clear();
        }
        if (rc)
            ThrowCode(rc);
    }

    // Cached read-only copies.
    template <typename Make>
    py::object Cached(CacheSlot slot, Make make)
    {
        Busy busy(*this);
        if (!cache_[slot])
            cache_[slot] = make(G());
        return cache_[slot];
    }

    int32_t NumVert() const { return geo_->g._vertPos ? geo_->g._numVert : 0; }
    int64_t NumNodes() const { return geo_->g._polyNumVert ? geo_->g.NumNodes() : 0; }

    py::object Positions()
    {
        return Cached(kSlotPositions, [this](ZNQGeometry& g) -> py::object {
            return ReadOnlyCopy(g._vertPos ? &g._vertPos[0].x : nullptr, NumVert(), 3);
        });
    }
    py::object Counts()
    {
        return Cached(kSlotCounts, [](ZNQGeometry& g) -> py::object {
            const int32_t np = g._polyNumVert ? g._numPoly : 0;
            py::array_t<int32_t> a(np);
            int32_t* out = a.mutable_data();
            for (int32_t i = 0; i < np; ++i)
                out[i] = g._polyNumVert[i];
            a.attr("flags").attr("writeable") = false;
            return std::move(a);
        });
    }
    py::object Indices()
    {
        return Cached(kSlotIndices,
                      [this](ZNQGeometry& g) -> py::object { return ReadOnlyCopy(g._polyVInd, NumNodes(), 1); });
    }
    py::object NodeArray(CacheSlot slot)
    {
        return Cached(slot, [this, slot](ZNQGeometry& g) -> py::object {
            const float* p = nullptr;
            int width = 3;
            int64_t rows = NumNodes();
            switch (slot)
            {
            case kSlotNormals:
                p = g._nodeNrm ? &g._nodeNrm[0].x : nullptr;
                break;
            case kSlotUvws:
                p = g._nodeUvw ? &g._nodeUvw[0].x : nullptr;
                break;
            case kSlotColors:
                p = g._nodeCol ? &g._nodeCol[0].x : nullptr;
                width = 4;
                break;
            default:
                p = g._vertMotion && g._vertPos ? &g._vertMotion[0].x : nullptr;
                rows = NumVert();
                break;
            }
            if (!p)
                return py::none();
            return ReadOnlyCopy(p, rows, width);
        });
    }
    // Per-vertex means, as the host receives them. Built without the GIL.
    py::object VertexArray(CacheSlot slot)
    {
        Busy busy(*this);
        if (cache_[slot])
            return cache_[slot];
        ZNQGeometry& g = G();
        if (!g._vertPos || g._numVert < 1 || (slot == kSlotVertexUvws && !g._nodeUvw) ||
            (slot == kSlotVertexColors && !g._nodeCol))
            return py::none();
        const float* p = nullptr;
        {
            py::gil_scoped_release nogil;
            if (slot == kSlotVertexNormals)
            {
                const float3* n = g._DynGetVertNrm();
                p = n ? &n[0].x : nullptr;
            }
            else if (slot == kSlotVertexUvws)
            {
                const float3* u = g._DynGetVertUvw();
                p = u ? &u[0].x : nullptr;
            }
            else
            {
                const float4* c = g._DynGetVertCol();
                p = c ? &c[0].x : nullptr;
            }
        }
        if (!p)
            ThrowCode(slot == kSlotVertexNormals ? 121 : slot == kSlotVertexUvws ? 122 : 123);
        cache_[slot] = ReadOnlyCopy(p, g._numVert, slot == kSlotVertexColors ? 4 : 3);
        return cache_[slot];
    }

    // Property setters: a whole new array (or None for the optional ones).
    void SetVertexFloats(CacheSlot slot, const py::object& value)
    {
        Busy busy(*this);
        ZNQGeometry& g = G();
        if (!g._vertPos)
            throw py::value_error("the mesh is empty");
        float3*& field = slot == kSlotPositions ? g._vertPos : g._vertMotion;
        const char* name = slot == kSlotPositions ? "positions" : "motions";
        if (value.is_none())
        {
            if (slot == kSlotPositions)
                throw py::type_error("positions cannot be None");
        }
        const py::ssize_t nv = g._numVert;
        py::array_t<float, py::array::c_style> a;
        if (!value.is_none())
            a = InputArray<float>(value, name, Kind::Float, 3, nv);
        Invalidate();
        float3* fresh = nullptr;
        if (!value.is_none() && !FillFloats(g, fresh, a, static_cast<size_t>(nv)))
            ThrowNoMemory();
        g._MemFree(field);
        field = fresh;
        g._DynRelease(kDynAll);
    }
    void SetNodeFloats(CacheSlot slot, const py::object& value)
    {
        Busy busy(*this);
        ZNQGeometry& g = G();
        if (!g._vertPos)
            throw py::value_error("the mesh is empty");
        const py::ssize_t nn = static_cast<py::ssize_t>(NumNodes());
        const char* name = slot == kSlotNormals ? "normals" : slot == kSlotUvws ? "uvws" : "colors";
        const int width = slot == kSlotColors ? 4 : 3;
        py::array_t<float, py::array::c_style> a;
        if (!value.is_none())
            a = InputArray<float>(value, name, Kind::Float, width, nn);
        Invalidate();
        if (slot == kSlotColors)
        {
            float4* fresh = nullptr;
            if (!value.is_none() && !FillFloats(g, fresh, a, static_cast<size_t>(nn)))
                ThrowNoMemory();
            g._MemFree(g._nodeCol);
            g._nodeCol = fresh;
        }
        else
        {
            float3*& field = slot == kSlotNormals ? g._nodeNrm : g._nodeUvw;
            float3* fresh = nullptr;
            if (!value.is_none() && !FillFloats(g, fresh, a, static_cast<size_t>(nn)))
                ThrowNoMemory();
            g._MemFree(field);
            field = fresh;
        }
        g._DynRelease(kDynAll);
    }

    std::unique_ptr<Geometry> geo_;

private:
    bool busy_ = false;
    py::object cache_[kNumSlots];
};

// ---------------------------------------------------------------------------

Mesh Load(const py::object& path, bool normals, bool motions, bool colors, bool uvws, const py::object& groups,
          bool invertGroups)
{
    const std::string p = PathArgument(path, "path");
    std::string groupText;
    const bool useGroups = GroupsArgument(groups, groupText);
    Mesh m;
    int32_t rc = 0;
    ZNQLoadPlace place;
    {
        py::gil_scoped_release nogil;
        rc = LoadFromFile(m.G(), p.c_str(), normals, motions, colors, uvws, nullptr, nullptr, nullptr,
                          useGroups ? groupText.c_str() : nullptr, invertGroups, &place);
    }
    if (rc)
    {
        auto where = FailurePlace(place);
        ThrowCacheError(rc, py::str(p), std::move(where.first), std::move(where.second));
    }
    return m;
}

Mesh FromArrays(const py::object& positions, const py::object& counts, const py::object& indices,
                const py::object& normals, const py::object& uvws, const py::object& colors,
                const py::object& motions, bool clean)
{
    auto pos = InputArray<float>(positions, "positions", Kind::Float, 3);
    auto cnt = InputArray<int64_t>(counts, "counts", Kind::Int, 0);
    auto ind = InputArray<int64_t>(indices, "indices", Kind::Int, 0);
    const py::ssize_t nv = pos.shape(0), np = cnt.shape(0), nn = ind.shape(0);

    int64_t sum = 0;
    const int64_t* c = cnt.data();
    for (py::ssize_t i = 0; i < np; ++i)
    {
        if (c[i] < 0 || c[i] > 255)
            throw py::value_error("counts[" + std::to_string(i) + "] is " + std::to_string(c[i]) +
                                  ": a polygon has 0 to 255 corners");
        sum += c[i];
    }
    if (sum != nn)
        throw py::value_error("the counts add up to " + std::to_string(sum) + " corners, but indices has " +
                              std::to_string(nn));
    const int64_t* x = ind.data();
    for (py::ssize_t i = 0; i < nn; ++i)
        if (x[i] < 0 || x[i] >= nv)
            throw py::value_error("indices[" + std::to_string(i) + "] is " + std::to_string(x[i]) +
                                  ", outside [0, " + std::to_string(nv) + ")");

    py::array_t<float, py::array::c_style> nrm, uvw, col, mot;
    if (!normals.is_none())
        nrm = InputArray<float>(normals, "normals", Kind::Float, 3, nn);
    if (!uvws.is_none())
        uvw = InputArray<float>(uvws, "uvws", Kind::Float, 3, nn);
    if (!colors.is_none())
        col = InputArray<float>(colors, "colors", Kind::Float, 4, nn);
    if (!motions.is_none())
        mot = InputArray<float>(motions, "motions", Kind::Float, 3, nv);

    Mesh m;
    ZNQGeometry& g = m.G();
    bool ok = FillFloats(g, g._vertPos, pos, static_cast<size_t>(nv));
    ok = ok && (motions.is_none() || FillFloats(g, g._vertMotion, mot, static_cast<size_t>(nv)));
    ok = ok && (normals.is_none() || FillFloats(g, g._nodeNrm, nrm, static_cast<size_t>(nn)));
    ok = ok && (uvws.is_none() || FillFloats(g, g._nodeUvw, uvw, static_cast<size_t>(nn)));
    ok = ok && (colors.is_none() || FillFloats(g, g._nodeCol, col, static_cast<size_t>(nn)));
    if (ok)
    {
        g._polyNumVert = g._MemAllocArr<uint8_t>(static_cast<size_t>(np), false);
        g._polyVInd = g._MemAllocArr<int32_t>(static_cast<size_t>(nn), false);
        ok = g._polyNumVert && g._polyVInd;
    }
    if (!ok)
    {
        g.Clear();
        ThrowNoMemory();
    }
    for (py::ssize_t i = 0; i < np; ++i)
        g._polyNumVert[i] = static_cast<uint8_t>(c[i]);
    for (py::ssize_t i = 0; i < nn; ++i)
        g._polyVInd[i] = static_cast<int32_t>(x[i]);
    g._numVert = static_cast<int32_t>(nv);
    g._numPoly = static_cast<int32_t>(np);
    g._DynRelease(kDynAll);
    if (clean)
        m.Run([](ZNQGeometry& geo) { return CleanUp(geo); });
    return m;
}

// frames: None, a frame, (first, last) or "A-B" / "A".
void FramesArgument(const py::object& frames, korvane::SequenceOptions& o)
{
    if (frames.is_none())
        return;
    long long a = 0, b = 0;
    auto whole = [](const py::handle& v) -> long long {
        const long long f = WholeNumber(v, "frames must be None, a frame, (first, last) or \"A-B\"");
        if (f < INT_MIN || f > INT_MAX)
            throw py::value_error("a frame must fit in 32 bits");
        return f;
    };
    if (py::isinstance<py::str>(frames))
    {
        const std::string s = frames.cast<std::string>();
        // "A" or "A-B", negative frames allowed ("-10--1").
        size_t pos = 0;
        auto number = [&s, &pos](long long& v) {
            size_t start = pos;
            if (pos < s.size() && (s[pos] == '-' || s[pos] == '+'))
                ++pos;
            const size_t digits = pos;
            while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9')
                ++pos;
            if (pos == digits || pos - digits > 10)
                return false;
            v = std::stoll(s.substr(start, pos - start));
            return v >= INT_MIN && v <= INT_MAX;
        };
        bool ok = number(a);
        b = a;
        if (ok && pos < s.size() && s[pos] == '-')
        {
            ++pos;
            ok = number(b);
        }
        if (!ok || pos != s.size())
            throw py::value_error("bad frame range \"" + s + "\" (whole frames A-B or A)");
    }
    else if (py::isinstance<py::tuple>(frames) || py::isinstance<py::list>(frames))
    {
        py::sequence seq = frames;
        if (seq.size() != 2)
            throw py::value_error("frames as a pair is (first, last)");
        a = whole(seq[0]);
        b = whole(seq[1]);
    }
    else
        a = b = whole(frames);
    if (a > b)
        throw py::value_error("the first frame comes after the last");
    o.hasFrames = true;
    o.frameFrom = a;
    o.frameTo = b;
}

py::dict CheckSequence(const py::object& pattern, const py::object& frames, bool normals, bool motions,
                       bool colors, bool uvws, const py::object& groups, bool invertGroups)
{
    const std::string p = PathArgument(pattern, "pattern");
    korvane::FramePattern fp;
    if (!korvane::SplitPattern(p, fp))
        throw py::value_error("the pattern's file name has no '#' run for the frame number: " + p);
    korvane::SequenceOptions o;
    o.normals = normals;
    o.motions = motions;
    o.colors = colors;
    o.uvws = uvws;
    std::string groupText;
    if (GroupsArgument(groups, groupText))
        o.groups = groupText.c_str();
    o.invertGroups = invertGroups;
    FramesArgument(frames, o);
    korvane::SeqReport r;
    std::string error;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = korvane::CheckSequence(fp, o, r, error);
    }
    if (!ok)
    {
        PyErr_SetString(PyExc_OSError, error.c_str());
        throw py::error_already_set();
    }
    const std::string json = korvane::SequenceJson(p.c_str(), r);
    // Paths are bytes: decoded as os.fsdecode does, so that os.fsencode gives
    // them back exactly.
    py::object text = py::bytes(json).attr("decode")("utf-8", "surrogateescape");
    return py::module_::import("json").attr("loads")(text);
}

// One file into the format its output's extension picks, as korvane convert
// does for each frame: the list of items dropped and of items written only
// approximately.
py::dict Convert(const py::object& input, const py::object& output, bool normals, bool motions, bool colors,
                 bool uvws, const py::object& groups, bool invertGroups, bool ascii)
{
    korvane::ConvertRequest q;
    q.input = PathArgument(input, "input");
    q.output = PathArgument(output, "output");
    q.normals = normals;
    q.motions = motions;
    q.colors = colors;
    q.uvws = uvws;
    std::string groupText;
    if (GroupsArgument(groups, groupText))
        q.groups = groupText.c_str();
    q.invertGroups = invertGroups;
    q.ascii = ascii;
    korvane::ConvertOutcome out;
    {
        py::gil_scoped_release nogil;
        out = korvane::ConvertFile(q);
    }
    switch (out.status)
    {
    case korvane::ConvertOutcome::kOk:
        break;
    case korvane::ConvertOutcome::kLoadFailed:
    {
        auto where = FailurePlace(out.place);
        ThrowCacheError(out.loadError, py::str(q.input), std::move(where.first), std::move(where.second));
    }
    case korvane::ConvertOutcome::kWriteFailed:
        PyErr_SetString(PyExc_OSError, out.message.c_str());
        throw py::error_already_set();
    default:
        throw py::value_error(out.message);
    }
    auto items = [](const std::string& text) {
        py::list list;
        size_t at = 0;
        while (at < text.size())
        {
            size_t end = text.find(", ", at);
            if (end == std::string::npos)
                end = text.size();
            list.append(py::str(text.substr(at, end - at)));
            at = end + 2;
        }
        return list;
    };
    py::dict d;
    d["dropped"] = items(out.dropped);
    d["changed"] = items(out.changed);
    return d;
}

int32_t TriangulateMode(const py::object& mode)
{
    if (py::isinstance<py::str>(mode))
    {
        std::string s = mode.cast<std::string>();
        for (char& ch : s)
            if (ch >= 'A' && ch <= 'Z')
                ch = static_cast<char>(ch - 'A' + 'a');
        if (s == "off")
            return 0;
        if (s == "concave" || s == "concave polygons")
            return 1;
        if (s == "all" || s == "all polygons")
            return 2;
        throw py::value_error("triangulate mode is \"off\", \"concave\" or \"all\" (or 0, 1, 2), not \"" +
                              mode.cast<std::string>() + "\"");
    }
    const long long v = WholeNumber(mode, "triangulate mode is \"off\", \"concave\" or \"all\" (or 0, 1, 2)");
    return v == 1 ? 1 : v == 2 ? 2 : 0; // as the node: every other value is "off"
}

int32_t IterationsArgument(long long n)
{
    return n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : static_cast<int32_t>(n);
}

std::string Repr(Mesh& m)
{
    Mesh::Busy busy(m);
    const ZNQGeometry& g = m.G();
    if (!g._vertPos)
        return "<korvane.Mesh empty>";
    std::string s = "<korvane.Mesh " + std::to_string(g._numVert) + " vertices, " + std::to_string(g._numPoly) +
                    " polygons, " + std::to_string(m.NumNodes()) + " nodes";
    if (g._nodeNrm)
        s += ", normals";
    if (g._nodeUvw)
        s += ", uvws";
    if (g._nodeCol)
        s += ", colors";
    if (g._vertMotion)
        s += ", motions";
    return s + ">";
}

} // namespace

#include "korvane_docs.h"

PYBIND11_MODULE(korvane, mod)
{
    mod.doc() = kDocModule;
    mod.attr("__version__") = KORVANE_VERSION;

    g_cacheError = PyErr_NewExceptionWithDoc("korvane.CacheError", kDocCacheError, PyExc_Exception, nullptr);
    if (!g_cacheError)
        throw py::error_already_set();
    mod.add_object("CacheError", py::handle(g_cacheError));
    // Defaults, so that an instance made by a script has every attribute too.
    for (const char* name : {"code", "message", "path", "where", "reason"})
        py::handle(g_cacheError).attr(name) = py::none();

    py::class_<Mesh> mesh(mod, "Mesh", kDocMesh);
    mesh.def(py::init<>(), kDocMeshInit)
        .def_static("from_arrays", &FromArrays, py::arg("positions"), py::arg("counts"), py::arg("indices"),
                    py::arg("normals") = py::none(), py::arg("uvws") = py::none(), py::arg("colors") = py::none(),
                    py::arg("motions") = py::none(), py::arg("clean") = true, kDocFromArrays)
        .def("copy",
             [](Mesh& self) {
                 Mesh::Busy busy(self);
                 Mesh out;
                 bool ok = false;
                 {
                     py::gil_scoped_release nogil;
                     ok = CloneGeometry(self.G(), out.G());
                 }
                 if (!ok)
                     ThrowNoMemory();
                 return out;
             },
             kDocCopy)
        .def("__copy__", [](py::object self) { return self.attr("copy")(); })
        .def("__deepcopy__", [](py::object self, py::object) { return self.attr("copy")(); }, py::arg("memo"))
        .def("__repr__", &Repr)
        .def_property_readonly("num_vertices", [](Mesh& m) {
                Mesh::Busy busy(m);
                return m.NumVert();
            }, "Number of vertices.")
        .def_property_readonly(
            "num_polygons", [](Mesh& m) {
                Mesh::Busy busy(m);
                return m.G()._polyNumVert ? m.G()._numPoly : 0;
            }, "Number of polygons.")
        .def_property_readonly("num_nodes", [](Mesh& m) {
                Mesh::Busy busy(m);
                return m.NumNodes();
            },
                               "Number of nodes (polygon corners): the sum of counts, the length of indices.")
        .def_property_readonly(
            "mem_peak", [](Mesh& m) {
                Mesh::Busy busy(m);
                return m.G()._memPeak;
            },
            "Highest number of bytes the mesh's geometry has held (the library's counted allocation).")
        .def_property_readonly(
            "mem_used", [](Mesh& m) {
                Mesh::Busy busy(m);
                return m.G()._memUsed;
            }, "Bytes the mesh's geometry holds now.")
        .def_property("positions", &Mesh::Positions,
                      [](Mesh& m, const py::object& v) { m.SetVertexFloats(kSlotPositions, v); }, kDocPositions)
        .def_property_readonly("counts", &Mesh::Counts, kDocCounts)
        .def_property_readonly("indices", &Mesh::Indices, kDocIndices)
        .def_property(
            "normals", [](Mesh& m) { return m.NodeArray(kSlotNormals); },
            [](Mesh& m, const py::object& v) { m.SetNodeFloats(kSlotNormals, v); }, kDocNormals)
        .def_property(
            "uvws", [](Mesh& m) { return m.NodeArray(kSlotUvws); },
            [](Mesh& m, const py::object& v) { m.SetNodeFloats(kSlotUvws, v); }, kDocUvws)
        .def_property(
            "colors", [](Mesh& m) { return m.NodeArray(kSlotColors); },
            [](Mesh& m, const py::object& v) { m.SetNodeFloats(kSlotColors, v); }, kDocColors)
        .def_property(
            "motions", [](Mesh& m) { return m.NodeArray(kSlotMotions); },
            [](Mesh& m, const py::object& v) { m.SetVertexFloats(kSlotMotions, v); }, kDocMotions)
        .def_property_readonly(
            "vertex_normals", [](Mesh& m) { return m.VertexArray(kSlotVertexNormals); }, kDocVertexNormals)
        .def_property_readonly(
            "vertex_uvws", [](Mesh& m) { return m.VertexArray(kSlotVertexUvws); }, kDocVertexUvws)
        .def_property_readonly(
            "vertex_colors", [](Mesh& m) { return m.VertexArray(kSlotVertexColors); }, kDocVertexColors)
        // ---- operations, with the arguments the node passes ----
        .def(
            "scale_motions",
            [](Mesh& m, float factor) {
                m.Run([factor](ZNQGeometry& g) {
                    g.ScaleMotionVectors(factor);
                    return 0;
                });
            },
            py::arg("factor"), kDocScaleMotions)
        .def(
            "blur_normals",
            [](Mesh& m, long long iterations, float strength) {
                m.Run([&](ZNQGeometry& g) { return g.BlurNormals(strength, IterationsArgument(iterations)); });
            },
            py::arg("iterations"), py::arg("strength") = 1.0f, kDocBlurNormals)
        .def(
            "blur_motions",
            [](Mesh& m, long long iterations, float strength) {
                m.Run([&](ZNQGeometry& g) { return g.BlurMotions(strength, IterationsArgument(iterations)); });
            },
            py::arg("iterations"), py::arg("strength") = 1.0f, kDocBlurMotions)
        .def(
            "blur_colors",
            [](Mesh& m, long long iterations, float strength) {
                m.Run([&](ZNQGeometry& g) { return g.BlurColors(strength, IterationsArgument(iterations)); });
            },
            py::arg("iterations"), py::arg("strength") = 1.0f, kDocBlurColors)
        .def(
            "blur_uvws",
            [](Mesh& m, long long iterations, float strength) {
                m.Run([&](ZNQGeometry& g) { return g.BlurUvws(strength, IterationsArgument(iterations)); });
            },
            py::arg("iterations"), py::arg("strength") = 1.0f, kDocBlurUvws)
        .def(
            "fix_edges",
            [](Mesh& m, bool nonManifold, bool doubleEdges) {
                if (!nonManifold && !doubleEdges)
                    return;
                m.Run([&](ZNQGeometry& g) { return g.FixEdges(nonManifold, doubleEdges); });
            },
            py::arg("non_manifold") = true, py::arg("double") = true, kDocFixEdges)
        .def(
            "close_holes",
            [](Mesh& m, float maxExtent, int maxVertices) {
                if (maxVertices < 0 || maxVertices > 255)
                    throw py::value_error("max_vertices is 0 to 255");
                m.Run([&](ZNQGeometry& g) { return g.CloseHoles(maxExtent, static_cast<uint8_t>(maxVertices)); });
            },
            py::arg("max_extent") = -1.0f, py::arg("max_vertices") = 255, kDocCloseHoles)
        .def(
            "invert",
            [](Mesh& m) {
                m.Run([](ZNQGeometry& g) {
                    g.InvertPolygons(true);
                    return 0;
                });
            },
            kDocInvert)
        .def(
            "quadrangulate",
            [](Mesh& m, float maxNormalAngle, float maxCornerDeviation) {
                m.Run([&](ZNQGeometry& g) { return g.Quadrangulate(maxNormalAngle, maxCornerDeviation); });
            },
            py::arg("max_normal_angle") = 30.0f, py::arg("max_corner_deviation") = 45.0f, kDocQuadrangulate)
        .def(
            "push",
            [](Mesh& m, float distance) {
                if (distance == 0.0f)
                    return;
                m.Run([&](ZNQGeometry& g) { return g.Push(distance, true, 4); });
            },
            py::arg("distance"), kDocPush)
        .def(
            "thickness",
            [](Mesh& m, float t) {
                if (t == 0.0f)
                    return;
                const float inner = -0.5f * t, outer = 0.5f * t;
                m.Run([&](ZNQGeometry& g) { return g.Thickness(inner, outer, true, 4, 0, 0); });
            },
            py::arg("thickness"), kDocThickness)
        .def(
            "triangulate",
            [](Mesh& m, const py::object& mode) {
                const int32_t k = TriangulateMode(mode);
                m.Run([k](ZNQGeometry& g) {
                    if (k == 1)
                    {
                        const int32_t rc = g.TriangulateFivePlus();
                        return rc ? rc : g.TriangulateConcave();
                    }
                    if (k == 2)
                        return g.Triangulate(nullptr, 0, false);
                    return g.TriangulateFivePlus();
                });
            },
            py::arg("mode") = "all", kDocTriangulate)
        .def(
            "smooth",
            [](Mesh& m, long long iterations, float strength) {
                if (iterations <= 0)
                    return;
                m.Run([&](ZNQGeometry& g) { return g.SimpleSmooth(strength, IterationsArgument(iterations)); });
            },
            py::arg("iterations"), py::arg("strength") = 1.0f, kDocSmooth)
        .def(
            "disconnect", [](Mesh& m) { m.Run([](ZNQGeometry& g) { return g.DisconnectPolygons(); }); },
            kDocDisconnect)
        .def(
            "clean_up", [](Mesh& m) { m.Run([](ZNQGeometry& g) { return CleanUp(g); }); }, kDocCleanUp);

    mod.def("load", &Load, py::arg("path"), py::arg("normals") = false, py::arg("motions") = false,
            py::arg("colors") = false, py::arg("uvws") = false, py::arg("groups") = py::none(),
            py::arg("invert_groups") = false, kDocLoad);
    mod.def("check_sequence", &CheckSequence, py::arg("pattern"), py::arg("frames") = py::none(),
            py::kw_only(), py::arg("normals") = false, py::arg("motions") = false, py::arg("colors") = false,
            py::arg("uvws") = false, py::arg("groups") = py::none(), py::arg("invert_groups") = false,
            kDocCheckSequence);
    mod.def("convert", &Convert, py::arg("input"), py::arg("output"), py::kw_only(), py::arg("normals") = true,
            py::arg("motions") = true, py::arg("colors") = true, py::arg("uvws") = true,
            py::arg("groups") = py::none(), py::arg("invert_groups") = false, py::arg("ascii") = false, kDocConvert);
}
