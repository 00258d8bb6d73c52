// Docstrings of the Python module `korvane` (help(korvane.load) and kin).
// korvane.pyi repeats the signatures and the gist for editors.
#pragma once

static const char* const kDocModule = R"doc(Korvane polygon-mesh caches for pipeline scripts.

Read the per-frame cache files that the Korvane node shows in Maya
(.znq, .drs2 ascii and binary, RealFlow .bin, Wavefront .obj) into numpy
arrays, run the node's repair and reshaping operations on them, and check a
whole sequence before it goes to the farm. No Maya needed.

    import korvane, numpy as np
    report = korvane.check_sequence("cache/Fluid.####.znq", frames=(1, 100))
    if not report["ok"]:
        raise SystemExit(report["failed"] or report["missing"])
    mesh = korvane.load("cache/Fluid.0001.znq", normals=True)
    lo, hi = mesh.positions.min(axis=0), mesh.positions.max(axis=0)

load()            one file -> Mesh (raises CacheError)
check_sequence()  what `korvane info PATTERN --json` reports, as a dict
Mesh              positions, counts, indices, normals, uvws, colors, motions
                  as numpy arrays; the node's operations as methods
Mesh.from_arrays  a Mesh from your own arrays

The GIL is released while files load, operations run and sequences are
checked, so separate meshes can be worked on in separate threads.
)doc";

static const char* const kDocCacheError = R"doc(A load or a mesh operation failed.

str(error) is the library's message line, e.g.
"error 45: unable to find or open file.". Attributes:
  code     the error code (int, never 0)
  message  the code's text without the "error N: " head
  path     the file that failed to load, or None for an operation
  where    the place in the file where the reader stopped, or None
  reason   what the reader found there, or None
where and reason are None where the reader gives no place.)doc";

static const char* const kDocMesh = R"doc(A polygon mesh: vertices, polygons and optional per-node data.

A node is one polygon corner, one entry of `indices`. Normals, UVWs and
colours are stored per node, motion vectors per vertex.

Array properties return read-only numpy copies (float32 / int32), taken once
per state of the mesh: hold on to them as long as you like, they never
change. After an operation read the property again for the new data. (They
are copies, not views, because every operation builds new arrays and frees
the old ones: a view would point at freed memory. The copy costs a memcpy,
far less than the load or operation that made the data.) To edit,
assign a whole array: mesh.positions = mesh.positions + offset (same shape;
normals, uvws, colors and motions also take None to drop them).

Operations change the mesh in place, with the arguments the Korvane node
uses. A failing operation raises CacheError and leaves the mesh empty, as the
node leaves its output empty.

A Mesh is used by one thread at a time; a second thread that reaches it while
it is busy gets RuntimeError.)doc";

static const char* const kDocMeshInit = "An empty mesh (no vertices, no polygons).";

static const char* const kDocFromArrays = R"doc(Builds a mesh from arrays (numpy arrays or nested sequences):
  positions  (V, 3) real numbers, the vertex positions
  counts     (P,) integers 0..255, the corner count of each polygon
  indices    (N,) integers in [0, V), the vertex of each corner, polygon
             after polygon; N = sum(counts)
  normals    (N, 3), uvws (N, 3), colors (N, 4) per node, or None
  motions    (V, 3) per vertex, or None
  clean      run the clean-up that every load ends with: removes polygons
             with fewer than 3 corners or a repeated vertex, and vertices no
             polygon uses (which renumbers the vertices)

Values are converted to float32 / int32. Raises TypeError for data that is
not numeric (or real numbers where integers are needed) and ValueError for a
wrong shape, a count outside 0..255, counts that do not add up to
len(indices) or an index outside [0, V).

    quad = korvane.Mesh.from_arrays(
        [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], [4], [0, 1, 2, 3]))doc";

static const char* const kDocCopy = "An independent copy of the mesh (derived data is rebuilt on demand).";

static const char* const kDocPositions = "(V, 3) float32 vertex positions. Assign a (V, 3) array to move the vertices.";
static const char* const kDocCounts = "(P,) int32: the number of corners of each polygon (0 to 255).";
static const char* const kDocIndices =
    "(N,) int32: the vertex of each node (polygon corner), polygon after polygon, in the order around each "
    "polygon.";
static const char* const kDocNormals = "(N, 3) float32 node normals, or None. Assign (N, 3) or None.";
static const char* const kDocUvws = "(N, 3) float32 node UVWs (u, v, w), or None. Assign (N, 3) or None.";
static const char* const kDocColors = "(N, 4) float32 node colours (r, g, b, a), or None. Assign (N, 4) or None.";
static const char* const kDocMotions = "(V, 3) float32 motion vector per vertex, or None. Assign (V, 3) or None.";
static const char* const kDocVertexNormals =
    "(V, 3) float32 vertex normals, as the node hands them to Maya: the mean of each vertex's node normals "
    "when the mesh has node normals, else of its polygons' normals. After blur_normals they are the blurred "
    "normals. None for an empty mesh.";
static const char* const kDocVertexUvws = "(V, 3) float32 mean UVW of each vertex's nodes, or None without UVWs.";
static const char* const kDocVertexColors =
    "(V, 4) float32 mean colour of each vertex's nodes, as the node hands them to Maya, or None without colours.";

static const char* const kDocScaleMotions = "Multiplies every motion vector by factor (nothing without motions).";
static const char* const kDocBlurNormals = R"doc(Blurs the vertex normals over adjacent vertices, `iterations` times.

The result is in vertex_normals (the node normals stay as they are) and is
what push and thickness use, until an operation that changes the mesh.
0 or fewer iterations do nothing. strength (at most 1.0) is the node's 1.0.)doc";
static const char* const kDocBlurMotions = "Blurs the motion vectors over adjacent vertices, `iterations` times.";
static const char* const kDocBlurColors =
    "Blurs the vertex colours (vertex_colors) over adjacent vertices, `iterations` times.";
static const char* const kDocBlurUvws =
    "Blurs the vertex UVWs (vertex_uvws) over adjacent vertices, `iterations` times.";
static const char* const kDocFixEdges = R"doc(Repairs bad edges by splitting them at their midpoint, as the node's
"Fix non-manifold Edges" and "Fix double Edges" do.

  non_manifold  edges used by more than two polygons
  double        edges whose two polygons run along them in the same
                direction (a duplicated or wrongly wound polygon)
With both False nothing runs.)doc";
static const char* const kDocCloseHoles = R"doc(Closes the holes of the mesh with new polygons ("Close Holes").

The node closes every hole (max_extent -1.0: no size limit) with filling
polygons of up to 255 corners; max_extent 0 or max_vertices 2 or less close
nothing.)doc";
static const char* const kDocInvert = "Reverses the winding of every polygon and negates the node normals (\"Invert Polygons\").";
static const char* const kDocQuadrangulate = R"doc(Merges pairs of triangles into quads ("Quadrangulate").

The node uses a largest angle of 30 degrees between the two triangles'
normals and a largest deviation of 45 degrees of the quad's corners.)doc";
static const char* const kDocPush = R"doc(Moves every vertex along its vertex normal ("Push").

distance is relative to the local mesh density: it is multiplied by each
vertex's average distance to its neighbours, smoothed 4 times, as in the
node. 0 does nothing.)doc";
static const char* const kDocThickness = R"doc(Turns the surface into a closed shell of the given thickness ("Thickness").

The inner copy sits at -thickness/2, the outer at +thickness/2 along the
vertex normals, relative to the local mesh density as in push; open
boundaries are joined by side quads. 0 does nothing.)doc";
static const char* const kDocTriangulate = R"doc(Splits polygons into triangles ("Triangulate").

mode:
  "all" or 2       every polygon with more than three corners (default)
  "concave" or 1   polygons with five or more corners, then concave quads
  "off" or 0       polygons with five or more corners only: what the node
                   does in every mode, so Maya never receives them
As in the node, an integer other than 1 and 2 means "off".)doc";
static const char* const kDocSmooth = R"doc(Smooths the vertex positions over adjacent vertices ("Simple Smooth").

0 or fewer iterations do nothing. strength (at most 1.0) is the node's 1.0.)doc";
static const char* const kDocDisconnect =
    "Gives every node its own vertex, so no two polygons share a vertex (\"Disconnect all Polygons\").";
static const char* const kDocCleanUp =
    "Removes polygons with fewer than 3 corners or a repeated vertex, and unused vertices, as every load does.";

static const char* const kDocLoad = R"doc(Reads one cache file into a Mesh, exactly as the Korvane node reads a frame:
the reader is chosen by the extension (.znq, .drs2, .bin, .obj, any case),
and the mesh is cleaned up (illegal polygons and unused vertices removed).

  path           str, bytes or os.PathLike
  normals        read node normals      (.znq, .drs2, .obj)
  motions        read motion vectors    (.znq, .drs2, .bin)
  colors         read node colours      (.znq, .drs2)
  uvws           read UVWs              (.znq, .bin, .obj)
  groups         .obj only: keep these groups, as a list of names or as the
                 node's text "grp1;grp2;"; None reads every group
  invert_groups  .obj only: keep every group except those

Data a file does not carry stays None. Raises korvane.CacheError on failure,
for example code 45 "unable to find or open file." or 51 "unknown file
extension.".

    mesh = korvane.load("cache/Fluid.0001.znq", normals=True, motions=True)
    print(mesh.num_vertices, mesh.positions.dtype, mesh.positions.shape))doc";

static const char* const kDocCheckSequence = R"doc(Checks a whole cache sequence, as `korvane info PATTERN --json` does, and
returns the same object as a dict.

  pattern   a file name whose first '#' run stands for the frame number,
            e.g. "cache/Fluid.####.znq". Every file of the directory that the
            node reads for some frame is loaded: the frame with at least as
            many digits as the run, zero-padded (Fluid.0007, Fluid.12345,
            Fluid.-007; not Fluid.007).
  frames    None (the files found), a frame, (first, last) or "A-B": the
            frames the shot needs; others are ignored, absent ones missing
  normals, motions, colors, uvws
            the optional data to load and judge; with none of them set all
            four are loaded
  groups, invert_groups   the .obj group filter, as for load()

Keys of the result: pattern, directory, first, last, numFiles, numLoaded,
numMissing, missing ([[from, to], ...]), numFailed, failed ([{frame, path,
error, message}, ...]), numVert and numPoly ({min, minFrame, max, maxFrame}
or None), load / has / lacking ({normals, motions, colors, uvws}), loadMs,
create (the KorvaneCreate -f line that sets a node up for the sequence, or
None), ok (True when every frame loads and none is missing).

Raises ValueError for a pattern without a '#' run and OSError when the
directory cannot be read.

    report = korvane.check_sequence("cache/Fluid.####.znq", frames=(1001, 1100))
    if not report["ok"]:
        for f in report["failed"]:
            print(f["frame"], f["message"]))doc";

static const char* const kDocConvert = R"doc(Converts one cache file, as `korvane convert INPUT OUTPUT` does for each
frame, and returns what the target format could not keep.

  input     a file of a readable format (.znq, .drs2, .bin, .obj)
  output    the file to write; its extension picks the writer: .znq, .drs2
            (binary; ascii=True for ascii), .bin (RealFlow), .obj, .ply
  normals, motions, colors, uvws
            the optional data to carry over (all four by default)
  groups, invert_groups   the .obj group filter, as for load()

Whatever the target can hold is written bit-exactly; the result's "dropped"
lists the items it cannot hold, "changed" those it holds only approximately
(e.g. half-float normals in .znq). The file is written under a temporary name
and renamed into place; an input is never written over.

Raises CacheError when the input does not load, ValueError for an unknown
output extension or an output that is the input, OSError when writing fails
(nothing is left at the output path). For a sequence, loop over the frames
that check_sequence() reports.

    result = korvane.convert("cache/Fluid.0001.bin", "out/Fluid.0001.znq")
    if result["dropped"]:
        print("not kept:", ", ".join(result["dropped"]))
)doc";
