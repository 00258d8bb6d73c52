// ZNQGeometry: the one in-memory polygon mesh of Korvane.
//
// A plain record of counts and heap arrays. Every cache reader fills one, every
// mesh operation edits one in place, and the node turns one into its host mesh.
// A "node" is one polygon corner, i.e. one entry of _polyVInd; node normals,
// UVWs and colours are stored per node, motion vectors and user data per vertex.
//
// Memory: every array (geometry, derived data and operation temporaries) comes
// from _MemAlloc and goes back through _MemFree, so _memUsed / _memPeak always
// describe what the geometry holds and an optional limit can refuse growth.
//
// Derived data (edges, adjacency lists, normals, flags, ...) are built on first
// request by the _DynGet... getters, cached in _dyn, and released with
// _DynRelease. Whatever changes positions, polygons or node data must call
// _DynRelease(-1) before the next getter call.
//
// Thread safety: a geometry belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include <Imath/half.h>

// Element types of all geometry arrays: 12 and 16 bytes.
struct float3
{
    float x, y, z;
};
struct float4
{
    float x, y, z, w; // r, g, b, a for colours
};

// Per-node record of _DynGetPolyNodeFlags, 4 bytes.
struct ZNQNodeFlags
{
    uint8_t _reserved; // byte 0: carries nothing
    uint8_t _convex;   // byte 1: bit 0 set when the corner is convex or straight
    half _cos;         // bytes 2-3: cosine of the corner angle
};
static_assert(sizeof(ZNQNodeFlags) == 4, "node record is 4 bytes");

// Element types of BlurVertexData, by the numbers of the shared type table.
enum ZNQElementType : int32_t
{
    kElemFloat3 = 0,
    kElemFloat4 = 2,
    kElemHalf = 7,
    kElemFloat = 14,
    kElemDouble = 15,
};

// Point octree over a set of vertex positions (inner working in ZNQOctree.h).
struct ZNQOctree;

// Request mask bits of the derived-data items, in mask order.
enum : int32_t
{
    kDynVertUsed = 0x1,
    kDynPolyIllegal = 0x2,
    kDynPolyClasses = 0x4,
    kDynOctree = 0x8,
    kDynEdges = 0x10,
    kDynEdgeAdjPoly = 0x20,
    kDynVertAdjVert = 0x40,
    kDynVertAdjPoly = 0x80,
    kDynVertAvrgDist = 0x100,
    kDynVertBL = 0x200,
    kDynVertI = 0x400,
    kDynVertICtr = 0x800,
    kDynVertIArea = 0x1000,
    kDynVertIOctree = 0x2000,
    kDynPolyNodeFlags = 0x10000,
    kDynPolyVIndOffset = 0x20000,
    kDynPolyEInd = 0x40000,
    kDynPolyFlags = 0x80000,
    kDynPolyAreas = 0x100000,
    kDynPolyNrm = 0x200000,
    kDynVertNrm = 0x1000000,
    kDynVertUvw = 0x2000000,
    kDynVertCol = 0x4000000,
    kDynAll = -1,
};

// Polygon flag bits of _DynGetPolyFlags.
enum : uint8_t
{
    kPolyFlagConvex = 0x01,
    kPolyFlagIllegal = 0x80,
};

// The cache of derived items, in the order of the mask table. Counts are -1
// while not computed, pointers null. Adjacency lists keep three fields: the
// one-byte count per element, the shared int32 block, and one pointer per
// element into that block (a slice may be longer than its count).
struct ZNQDynData
{
    // 0x1
    int32_t _numVertUsed;
    int32_t _numVertUnused;
    // 0x2
    int32_t _numPolyIllegal;
    // 0x4
    int32_t _numPolyTris;
    int32_t _numPolyQuads;
    int32_t _numPolyFivePlus;
    int32_t _numPolyTwoMinus;
    // 0x8
    ZNQOctree* _octree;
    // 0x10: _numEdges pairs (first < second); per vertex the edges at it,
    // entry k joining the vertex with entry k of its neighbour list.
    int32_t _numEdges;
    int32_t* _edges;              // [2 * _numEdges]
    uint8_t* _vertAdjEdgeNum;     // [_numVert]
    int32_t* _vertAdjEdgeBlock;   // [sum of _vertAdjEdgeNum]
    int32_t** _vertAdjEdgeArr;    // [_numVert] into _vertAdjEdgeBlock
    // 0x20: per edge the polygons using it, ascending, once per node
    uint8_t* _edgeAdjPolyNum;     // [_numEdges]
    int32_t* _edgeAdjPolyBlock;   // [nodes with an edge: all nodes of legal polygons]
    int32_t** _edgeAdjPolyArr;    // [_numEdges]
    // 0x40: per vertex its neighbour vertices; capacity per vertex
    // min(2 x nodes on the vertex, 255)
    uint8_t* _vertAdjVertNum;     // [_numVert]
    int32_t* _vertAdjVertBlock;   // [sum of capacities]
    int32_t** _vertAdjVertArr;    // [_numVert]
    uint8_t* _nodeAdjNextSlot;    // [number of nodes] place of the next node's vertex
                                  // in the node vertex's neighbour list, 255 if none
    // 0x80: per vertex the polygons with a node on it, one entry per node
    uint8_t* _vertAdjPolyNum;     // [_numVert]
    int32_t* _vertAdjPolyBlock;   // [number of nodes]
    int32_t** _vertAdjPolyArr;    // [_numVert]
    // 0x100
    float* _vertAvrgDistToAdjVert; // [_numVert]
    // 0x200: boundary loops
    int32_t _numVertBL;
    int32_t* _vertBLIntIdx;       // [_numVertBL] index of each loop's last vertex
    int32_t* _vertBLVertIdx;      // [number of boundary vertices]
    // 0x400: vertex islands
    int32_t _numVertI;
    int32_t* _vertIID;            // [_numVert] island of each vertex
    int32_t* _vertINumVert;       // [_numVertI]
    int32_t* _vertIBlock;         // [_numVert]
    int32_t** _vertIVertArr;      // [_numVertI] ascending vertex lists
    // 0x800
    float3* _vertICtr;            // [_numVertI]
    // 0x1000
    float* _vertIArea;            // [_numVertI]
    // 0x2000
    ZNQOctree* _vertIOctree;      // [_numVertI] objects; element 0 owns the shared blocks
    // 0x10000
    ZNQNodeFlags* _polyNodeFlags; // [number of nodes]
    // 0x20000
    int32_t* _polyVIndOffset;     // [_numPoly]
    // 0x40000
    int32_t* _polyEInd;           // [number of nodes] edge from node to next node, -1 if none
    // 0x80000
    uint8_t* _polyFlags;          // [_numPoly]
    // 0x100000
    float* _polyAreas;            // [_numPoly]
    // 0x200000
    float3* _polyNrm;             // [_numPoly]
    // 0x1000000
    float3* _vertNrm;             // [_numVert]
    // 0x2000000
    float3* _vertUvw;             // [_numVert]
    // 0x4000000
    float4* _vertCol;             // [_numVert]
};

struct ZNQGeometry
{
    // ---- memory budget ----
    int16_t _memTrack;   // 1: count every allocation and release
    int16_t _memLimitOn; // nonzero: refuse allocations above _memLimit
    int64_t _memLimit;   // bytes
    int64_t _memUsed;    // bytes held now (usable size of each block)
    int64_t _memPeak;    // highest _memUsed since counting was switched on

    // ---- vertices ----
    int32_t _numVert;
    float3* _vertPos;     // [_numVert]; null: no mesh
    float3* _vertMotion;  // [_numVert] or null
    float4* _vertUser4;   // [_numVert] or null
    float3* _vertUser3[2]; // [_numVert] each, or null
    float* _vertUser1[4]; // [_numVert] each, or null

    // ---- polygons and nodes ----
    int32_t _numPoly;
    uint8_t* _polyNumVert; // [_numPoly] corner count, 0..255
    int32_t* _polyVInd;    // [number of nodes] vertex of each node, polygon after polygon
    float3* _nodeNrm;      // [number of nodes] or null
    float3* _nodeUvw;      // [number of nodes] or null
    float4* _nodeCol;      // [number of nodes] or null

    // ---- derived data ----
    ZNQDynData _dyn;

    int32_t _threading; // 1: derived-data builders may run a thread team

    // ------------------------------------------------------------------
    // Creation and clearing

    // Zero-fills the record, switches counting on, releases all derived
    // data (counts to -1) and sets _threading. Use instead of a constructor;
    // the record stays a plain aggregate.
    void Init(int32_t threading = 0);

    // Frees every array and all derived data; counts and limit back to 0,
    // _memUsed/_memPeak kept while counting was on; _threading kept.
    void Clear();

    // Number of nodes: the sum of _polyNumVert.
    int64_t NumNodes() const;

    // ------------------------------------------------------------------
    // Counted allocation. Null when the limit or the heap refuses; a request
    // of 0 bytes still returns a valid block, so null always means refusal.
    // - The limit check (when _memLimitOn) compares _memUsed + bytes with
    //   _memLimit; with _memTrack 1 the block's counted size is added to
    //   _memUsed and _memPeak follows.
    // - Counted size (CountedBytes): fixed by the request, the same on every
    //   platform: small blocks their request plus a 16-byte header, rounded
    //   up to 16; large blocks (>= 1 MiB) their mapping length, the request
    //   plus 64 rounded up to 2 MiB. Large blocks come from the system's page
    //   allocator (Linux: 2 MiB aligned anonymous mappings that the kernel
    //   may back with huge pages; Windows: VirtualAlloc), released ones are
    //   kept for reuse. Fresh pages are zero, so zeroed large requests cost
    //   no extra pass.
    // - Blocks must be freed through _MemFree/_MemFreeRaw of the same geometry
    //   (never free()), which subtracts the same counted size.
    void* _MemAlloc(size_t bytes, bool zeroed);
    // What a block of `bytes` adds to _memUsed.
    static uint64_t CountedBytes(size_t bytes);
    // Frees *block (counted) and nulls it; a null block is skipped.
    template <typename T>
    void _MemFree(T*& block)
    {
        _MemFreeRaw(static_cast<void*>(block));
        block = nullptr;
    }
    void _MemFreeRaw(void* block);

    // Typed convenience over _MemAlloc: count elements of T. A count whose
    // byte size would overflow size_t is refused (null).
    template <typename T>
    T* _MemAllocArr(size_t count, bool zeroed)
    {
        if (count > static_cast<size_t>(-1) / sizeof(T))
            return nullptr;
        return static_cast<T*>(_MemAlloc(count * sizeof(T), zeroed));
    }

    // ------------------------------------------------------------------
    // Derived data. Getters return 0 / null without a mesh or on failure
    // (then the item is released); pointers stay valid until the next release.
    // A caller that gets 0 / null from a getter it depends on releases all
    // derived data and reports the getter's code (88..123, see the table in
    // ZNQError.cpp), or 10 where its operation says so.
    //
    // _DynBuild(mask): false without _vertPos (everything released); true
    // with _numVert < 1 (everything released). Otherwise builds the requested
    // items in the fixed order 0x8, 0x1, 0x2, 0x4, 0x10, 0x20, 0x40, 0x80,
    // 0x100, ..., 0x2000, 0x10000, ..., 0x200000, 0x1000000, 0x2000000,
    // 0x4000000; each item is released first, its dependencies are fetched
    // through their getters, then it is allocated and computed. The first
    // refused allocation or missing dependency stops the call (false); the
    // failed item is released, items finished before it stay computed.
    // _DynRelease(mask): frees the items of every set bit, counts to -1.
    //
    // Order of lists: polygons ascending, each polygon's nodes in list order,
    // vertices ascending. Vertex adjacency: per node, the next node's vertex,
    // then the previous node's, each if new. Edges: numbered by lower end,
    // then by the higher end's place in the lower end's neighbour list; entry
    // k of a vertex's edge list joins it with entry k of its neighbour list.
    //
    // Limits and illegal input (the items stay in bounds on any input):
    // - Per-element counts are one byte. A vertex with more than 255
    //   neighbours or more than 255 nodes, or an edge used by more than 255
    //   nodes, fails the build of that item (vertex adjacency, and with it
    //   edges and everything after; vertex-to-polygon lists and vertex
    //   normals/UVWs/colours; edge-to-polygon lists).
    // - The neighbour-list slice of a vertex holds min(2 x its nodes, 255)
    //   entries, since no list may exceed 255.
    // - A vertex is never its own neighbour: a polygon that repeats an index
    //   adds no edge from a vertex to itself. Indices outside [0, _numVert)
    //   are skipped by every topology item (adjacency, edges, polygon lists,
    //   used vertices) and read as the origin by the shape items (node
    //   records, polygon normals and areas). A node whose edge does not exist
    //   for these reasons gets -1 in _DynGetPolyEInd and appears in no
    //   edge-to-polygon list.
    // - A polygon without nodes has the normal (0, 0, 0) and area 0.
    // - A vertex without nodes: vertex normal (0, 1, 0) when averaged from
    //   polygon normals, 0 when averaged from node normals, UVWs or colours.
    // - Node records: cosines are clamped to [-1, 1] before the half
    //   conversion.
    // - Octrees: see ZNQOctree.h.
    bool _DynBuild(int32_t mask);
    void _DynRelease(int32_t mask);

    int32_t _DynGetNumVertUsed();
    int32_t _DynGetNumVertUnused();
    int32_t _DynGetNumPolyIllegal();
    int32_t _DynGetNumPolyTris();
    int32_t _DynGetNumPolyQuads();
    int32_t _DynGetNumPolyFivePlus();
    int32_t _DynGetNumPolyTwoMinus();
    ZNQOctree* _DynGetOctree();
    int32_t _DynGetNumEdges();
    int32_t* _DynGetEdges();
    uint8_t* _DynGetVertAdjEdgeNum();
    int32_t** _DynGetVertAdjEdgeArr();
    uint8_t* _DynGetEdgeAdjPolyNum();
    int32_t** _DynGetEdgeAdjPolyArr();
    uint8_t* _DynGetVertAdjVertNum();
    int32_t** _DynGetVertAdjVertArr();
    uint8_t* _DynGetVertAdjPolyNum();
    int32_t** _DynGetVertAdjPolyArr();
    float* _DynGetVertAvrgDistToAdjVert();
    int32_t _DynGetNumVertBL();
    int32_t* _DynGetVertBLIntIdx();
    int32_t* _DynGetVertBLVertIdx();
    int32_t _DynGetNumVertI();
    int32_t* _DynGetVertIID();
    float3* _DynGetVertICtr();
    float* _DynGetVertIArea();
    ZNQOctree* _DynGetVertIOctree();
    ZNQNodeFlags* _DynGetPolyNodeFlags();
    int32_t* _DynGetPolyVIndOffset();
    int32_t* _DynGetPolyEInd();
    uint8_t* _DynGetPolyFlags();
    float* _DynGetPolyAreas();
    float3* _DynGetPolyNrm();
    float3* _DynGetVertNrm();
    float3* _DynGetVertUvw();
    float4* _DynGetVertCol();

    // ------------------------------------------------------------------
    // Motion vectors: multiplies each motion vector by factor when positions
    // and motions exist. Keeps derived data.
    void ScaleMotionVectors(float factor);

    // ------------------------------------------------------------------
    // Mesh operations (meshops/). Common contract:
    // - Return an error code (ZNQError.h): ZNQ_OK (0) also when there is
    //   nothing to do. A getter code (88..123) names the derived-data getter
    //   that failed; ZNQ_ERR_MEMORY a refused allocation.
    // - Nothing happens (ZNQ_OK, derived data kept) without positions, without
    //   vertices or without polygons, unless an operation says otherwise.
    // - Every per-vertex array (positions, motions, user channels) and every
    //   node array (normals, UVWs, colours) present is carried along; new
    //   arrays are allocated at their final size before any is replaced, so a
    //   failure leaves the mesh as it was unless an operation says otherwise.
    // - Derived data: released (full mask) once an operation changed the mesh
    //   or failed past its getters; kept when nothing was done.

    // Blurs data[count] of elementType (ZNQElementType) in place, Jacobi
    // style: per iteration each vertex becomes (1 - f) v + f (mean of its
    // neighbours), f = min(strength, 1), times weights[v] clamped to [0, 1]
    // when weights (one per vertex) is given. A vertex without neighbours
    // keeps its value, a zero result is stored as +0; halves and floats blend
    // in single, doubles in double precision. Nothing happens with fewer than
    // 2 vertices, strength <= 0 or NaN, or iterations < 1.
    // Codes: ZNQ_ERR_ILLEGAL_PARAMETER (data null or count != _numVert),
    // ZNQ_ERR_UNSUPPORTED_DATA_TYPE, ZNQ_ERR_DYN_VERT_ADJ_VERT_NUM / _ARR,
    // ZNQ_ERR_MEMORY (scratch). data is unchanged on failure. Derived data are
    // kept (data may itself be a derived array).
    int32_t BlurVertexData(float strength, const float* weights, int32_t iterations, void* data,
                           int32_t count, int32_t elementType);
    // Blurs the vertex normals, normalises them (below length 1e-15 left as
    // they are) and writes every node normal from its vertex; a node normal
    // array (number of nodes) is created when there was none. The vertex
    // normal item then holds the blurred normals; derived data stay valid.
    // Codes: ZNQ_ERR_DYN_VERT_NRM, ZNQ_ERR_MEMORY, the blur's; on failure the
    // node normals are as they were.
    int32_t BlurNormals(float strength, int32_t iterations);
    // Blurs _vertMotion in place when present. Codes: the blur's.
    int32_t BlurMotions(float strength, int32_t iterations);
    // Blur the vertex colours / UVWs (averages of the node values) and write
    // every node from its vertex, so seams are not kept; only when node
    // colours / UVWs exist. Codes: ZNQ_ERR_DYN_VERT_COL / ZNQ_ERR_DYN_VERT_UVW,
    // the blur's. Derived data stay valid.
    int32_t BlurColors(float strength, int32_t iterations);
    int32_t BlurUvws(float strength, int32_t iterations);
    // Blurs the positions (needs 2 vertices); node data untouched. Releases
    // all derived data once it ran, also after an error. Codes: the blur's.
    int32_t SimpleSmooth(float strength, int32_t iterations);
    // Every node normal equal to (0, 0, 0) takes its polygon's normal; the
    // vertex normal item is released when one changed. Codes:
    // ZNQ_ERR_INVALID_STATE without positions, ZNQ_ERR_DYN_POLY_NRM.
    int32_t FillZeroNodeNormals();

    // Splits non-manifold edges (more than two polygons, when fixNonManifold)
    // and double edges (two polygons along the edge the same way, when
    // fixDouble) at their midpoint: each affected polygon gets a new vertex
    // after the edge's start node; oppositely running pairs share one. New
    // vertices follow the old ones (midpoints of every per-vertex array), new
    // nodes take the mean of their neighbours' node data. Grows _numVert and
    // the node arrays by the vertices and nodes added. Codes:
    // ZNQ_ERR_DYN_EDGES, ZNQ_ERR_DYN_EDGE_ADJ_POLY_NUM / _ARR,
    // ZNQ_ERR_DYN_POLY_V_IND_OFFSET, ZNQ_ERR_MEMORY,
    // ZNQ_ERR_POLYGON_TOO_LARGE (a polygon would pass 255 corners).
    int32_t FixEdges(bool fixNonManifold, bool fixDouble);

    // Fills every simple boundary loop of at most maxVertices vertices (and,
    // with maxExtent > 0, a bounding box within maxExtent along each axis)
    // with one polygon, appended after the old ones in closing order; its
    // nodes take the vertex normal, UVW and colour of their vertex. maxExtent
    // 0: nothing; < 0: no size limit. maxVertices <= 2: nothing. Grows
    // _numPoly by the holes closed and the node arrays by their vertices.
    // Codes: ZNQ_ERR_DYN_EDGES, _VERT_ADJ_EDGE_NUM / _ARR,
    // _EDGE_ADJ_POLY_NUM / _ARR, _POLY_V_IND_OFFSET, _VERT_NRM, _VERT_UVW,
    // _VERT_COL (getters), ZNQ_ERR_MEMORY.
    int32_t CloseHoles(float maxExtent, uint8_t maxVertices);

    // Reverses every polygon in place: node j of c swaps with node c - 1 - j
    // in _polyVInd and every node array; with negateNormals every node normal
    // component has its sign bit flipped (two calls restore the bits).
    // Releases all derived data when polygons were reversed. Cannot fail.
    void InvertPolygons(bool negateNormals);
    // Merges pairs of adjacent triangles into quads close to a planar
    // rectangle: the corner deviation from 90 degrees at most
    // maxCornerDeviation (half of it in a first pass), the angle between the
    // two normals at most maxNormalAngle (both in degrees; NaN fails). Kept
    // polygons stay in order, the quads follow; _numPoly shrinks by one and
    // the node arrays by two nodes per merge. Nothing happens with
    // maxNormalAngle < 0 or NaN or a NaN deviation. Codes: ZNQ_ERR_MEMORY.
    int32_t Quadrangulate(float maxNormalAngle, float maxCornerDeviation);

    // Moves every vertex by distance along its vertex normal; with relative,
    // the distance is scaled per vertex by its mean distance to its
    // neighbours, blurred smoothIterations times. Nothing happens with
    // distance 0. Sizes unchanged. Codes: ZNQ_ERR_DYN_VERT_AVRG_DIST_TO_ADJ_VERT,
    // the blur's, ZNQ_ERR_DYN_VERT_NRM, ZNQ_ERR_MEMORY.
    int32_t Push(float distance, bool relative, int32_t smoothIterations);
    // Turns the surface into a closed shell: vertices 0..nv-1 the outer copy
    // (offset outerOffset along the vertex normals), nv..2nv-1 the inner copy
    // (innerOffset); polygons 0..np-1 the outer copies, np..2np-1 the inner
    // ones reversed with negated normals, then one side quad per boundary edge
    // (B) in ascending edge order. Sizes: 2 nv vertices, 2 np + B polygons,
    // 2 T + 4 B nodes (T the old nodes). innerScaleArray / outerScaleArray
    // 1..4 scale the offsets by a _vertUser1 channel (else none); relative as
    // for Push. The whole shell is inverted when outerOffset < innerOffset.
    // Codes: ZNQ_ERR_DYN_VERT_AVRG_DIST_TO_ADJ_VERT, the blur's,
    // ZNQ_ERR_DYN_EDGE_ADJ_POLY_NUM / _ARR, ZNQ_ERR_DYN_POLY_V_IND_OFFSET,
    // ZNQ_ERR_DYN_VERT_NRM, ZNQ_ERR_MEMORY (also for a shell beyond 32-bit
    // counts).
    int32_t Thickness(float innerOffset, float outerOffset, bool relative, int32_t smoothIterations,
                      int32_t innerScaleArray, int32_t outerScaleArray);

    // Splits polygons of 4+ corners into c - 2 triangles each, in place in the
    // polygon order, copying whole nodes (nothing interpolated): convex quads
    // (0,1,2) (0,2,3), concave quads along the diagonal of the larger corner
    // measures, convex 5+-gons as a fan from node 0, concave ones by ear
    // clipping. polygons null: all; else the count listed ones are split
    // (selectedKeep false) or kept (true), entries outside the mesh ignored.
    // Codes: ZNQ_ERR_ILLEGAL_POLYGONS (a polygon of fewer than 3 corners;
    // nothing changed), ZNQ_ERR_MEMORY, ZNQ_ERR_DYN_POLY_NODE_FLAGS,
    // ZNQ_ERR_DYN_POLY_FLAGS, ZNQ_ERR_DYN_POLY_NRM.
    int32_t Triangulate(const int32_t* polygons, int32_t count, bool selectedKeep);
    // Triangulate on the polygons of 5+ corners / on the concave polygons.
    // Codes: Triangulate's, ZNQ_ERR_DYN_POLY_FLAGS for the concave one.
    int32_t TriangulateFivePlus();
    int32_t TriangulateConcave();

    // Gives every node its own vertex: vertex k becomes a copy of node k's
    // vertex (every per-vertex array), the index list 0..T-1; _numVert
    // becomes the node count T. Node data and polygons untouched.
    // Codes: ZNQ_ERR_ILLEGAL_POLYGONS (an index outside the mesh; nothing
    // changed), ZNQ_ERR_MEMORY (also above 2^31 - 1 nodes).
    int32_t DisconnectPolygons();
};

// The one scoped counted temporary array: a block of the counted allocator
// that the scope owns and frees (counted) on every exit, so early returns
// keep the books balanced. It is either allocated at once (count, zeroed) or
// left empty and allocated later by Alloc; a finished block goes to the
// caller by release() or replaces a geometry field by SwapInto.
template <typename T>
struct ZNQScopedArray
{
    ZNQGeometry& geo;
    T* ptr;
    // Empty: ptr null until Alloc.
    explicit ZNQScopedArray(ZNQGeometry& g) : geo(g), ptr(nullptr) {}
    // count elements at once; ptr null when refused.
    ZNQScopedArray(ZNQGeometry& g, size_t count, bool zeroed)
        : geo(g), ptr(g._MemAllocArr<T>(count, zeroed))
    {
    }
    ~ZNQScopedArray() { geo._MemFree(ptr); }
    ZNQScopedArray(const ZNQScopedArray&) = delete;
    ZNQScopedArray& operator=(const ZNQScopedArray&) = delete;
    // Allocates count (uninitialised) elements when wanted, else stays
    // empty; false only on a refusal.
    bool Alloc(bool wanted, int64_t count)
    {
        if (!wanted)
            return true;
        ptr = geo._MemAllocArr<T>(static_cast<size_t>(count), false);
        return ptr != nullptr;
    }
    // Hands the block over to the caller; the guard no longer frees it.
    T* release()
    {
        T* p = ptr;
        ptr = nullptr;
        return p;
    }
    // Frees the geometry's old array in field and puts this block (null when
    // empty) in its place.
    void SwapInto(T*& field)
    {
        geo._MemFree(field);
        field = release();
    }
    T& operator[](size_t i) { return ptr[i]; }
};
