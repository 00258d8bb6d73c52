# Mesh.from_arrays validation, array semantics and the node's operations.
import copy

import numpy as np
import pytest

import korvane
from conftest import CUBE_FACES, CUBE_VERTS, cli_json

QUAD = dict(positions=[[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], counts=[4], indices=[0, 1, 2, 3])


def cube(**kw):
    return korvane.Mesh.from_arrays(CUBE_VERTS, [4] * 6, [i for f in CUBE_FACES for i in f], **kw)


def polygons(m):
    out, at = [], 0
    for c in m.counts:
        out.append(m.indices[at:at + c].tolist())
        at += c
    return out


def test_from_arrays_round_trip():
    nrm = np.tile([0, 0, 1], (4, 1))
    col = np.linspace(0, 1, 16).reshape(4, 4)
    m = korvane.Mesh.from_arrays(**QUAD, normals=nrm, colors=col, uvws=np.zeros((4, 3)), motions=np.ones((4, 3)))
    assert m.positions.dtype == np.float32 and m.positions.tolist() == QUAD["positions"]
    assert m.counts.tolist() == [4] and m.indices.tolist() == [0, 1, 2, 3]
    assert np.array_equal(m.colors, col.astype(np.float32))
    assert m.motions.tolist() == [[1, 1, 1]] * 4
    wide = np.c_[np.array(QUAD["positions"], dtype=np.float64), np.ones(4)]
    strided = korvane.Mesh.from_arrays(wide[:, :3], np.array([4], dtype=np.uint8), np.arange(4, dtype=np.int16))
    assert strided.positions.tolist() == QUAD["positions"]
    empty = korvane.Mesh()
    assert empty.num_vertices == 0 and empty.positions.shape == (0, 3) and empty.counts.shape == (0,)
    assert repr(empty) == "<korvane.Mesh empty>"
    # Every operation runs on an empty mesh and on one without vertices.
    for m in (empty, korvane.Mesh.from_arrays([], [], [])):
        for op in ("fix_edges", "close_holes", "invert", "quadrangulate", "disconnect", "clean_up", "triangulate"):
            getattr(m, op)()
        m.push(1.0)
        m.thickness(1.0)
        m.smooth(3)
        m.blur_normals(3)
        m.blur_colors(3)
        m.blur_uvws(3)
        m.blur_motions(3)
        m.scale_motions(2.0)
        assert m.num_vertices == 0 and m.positions.shape == (0, 3) and m.vertex_colors is None


@pytest.mark.parametrize(
    "change, error",
    [
        (dict(indices=[0, 1, 2, 4]), ValueError),  # index past the last vertex
        (dict(indices=[0, 1, 2, -1]), ValueError),
        (dict(indices=[0, 1, 2, 2**40]), ValueError),
        (dict(counts=[3]), ValueError),  # counts do not add up
        (dict(counts=[256], indices=[0] * 256), ValueError),
        (dict(counts=[-4]), ValueError),
        (dict(positions=[[0, 0], [1, 0], [1, 1], [0, 1]]), ValueError),  # wrong shape
        (dict(positions=np.zeros(12)), ValueError),
        (dict(counts=[[4]]), ValueError),
        (dict(indices=[0.0, 1.0, 2.0, 3.0]), TypeError),  # reals where integers are needed
        (dict(counts=[True]), TypeError),
        (dict(positions=[["a", "b", "c"]] * 4), TypeError),
        (dict(positions=np.zeros((4, 3), dtype=complex)), TypeError),
        (dict(normals=np.zeros((3, 3))), ValueError),  # one row per node
        (dict(colors=np.zeros((4, 3))), ValueError),
        (dict(motions=np.zeros((5, 3))), ValueError),
        (dict(positions=object()), TypeError),
    ],
)
def test_from_arrays_rejects(change, error):
    with pytest.raises(error):
        korvane.Mesh.from_arrays(**{**QUAD, **change})


def test_from_arrays_random_indices_never_crash():
    rng = np.random.default_rng(7)
    for _ in range(200):
        nv = int(rng.integers(0, 6))
        counts = rng.integers(0, 6, size=int(rng.integers(0, 5)))
        indices = rng.integers(-2, nv + 2, size=int(counts.sum()))
        ok = bool(((indices >= 0) & (indices < nv)).all())
        try:
            m = korvane.Mesh.from_arrays(rng.normal(size=(nv, 3)), counts, indices)
        except ValueError:
            assert not ok
            continue
        assert ok
        m.triangulate("all")  # whatever clean-up left, operations run on it
        assert (m.counts == 3).all()


def test_clean_like_a_load():
    pos = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [5, 5, 5]]
    kw = dict(counts=[3, 2, 3], indices=[0, 1, 2, 0, 1, 0, 0, 1])
    m = korvane.Mesh.from_arrays(pos, **kw)
    assert polygons(m) == [[0, 1, 2]] and m.num_vertices == 3  # degenerate polygons and vertex 3 gone
    raw = korvane.Mesh.from_arrays(pos, **kw, clean=False)
    assert raw.num_polygons == 3 and raw.num_vertices == 4
    raw.clean_up()
    assert polygons(raw) == [[0, 1, 2]]


def test_arrays_are_read_only_snapshots():
    m = cube()
    before = m.positions
    assert m.positions is before  # one copy per state of the mesh
    with pytest.raises(ValueError):
        before[0, 0] = 9.0
    m.smooth(3)
    after = m.positions
    assert after is not before
    assert before.tolist() == [list(map(float, v)) for v in CUBE_VERTS]  # the old snapshot is untouched
    assert not np.array_equal(after, before)


def test_setters_replace_data():
    m = cube()
    m.positions = m.positions + np.float32(2.0)
    assert m.positions.min() == 2.0
    m.normals = np.tile([0.0, 1.0, 0.0], (24, 1))
    assert m.normals.shape == (24, 3)
    m.normals = None
    assert m.normals is None
    m.motions = np.ones((8, 3))
    m.scale_motions(0.5)
    assert np.all(m.motions == 0.5)
    with pytest.raises(ValueError):
        m.positions = np.zeros((7, 3))
    with pytest.raises(TypeError):
        m.positions = None
    with pytest.raises(ValueError):
        m.colors = np.zeros((24, 3))
    with pytest.raises(ValueError):
        korvane.Mesh().positions = np.zeros((0, 3))


def test_copy_is_independent():
    m = cube()
    c = copy.deepcopy(m)
    c.disconnect()
    assert c.num_vertices == 24 and m.num_vertices == 8
    assert np.array_equal(m.copy().positions, m.positions)


def test_triangulate_modes():
    # A convex pentagon and a concave quad (a dart).
    pos = [[0, 0, 0], [2, 0, 0], [3, 1, 0], [1, 2, 0], [-1, 1, 0], [10, 0, 0], [12, 1, 0], [10, 0.2, 0], [8, 1, 0]]
    kw = dict(counts=[5, 4], indices=[0, 1, 2, 3, 4, 5, 6, 7, 8])
    for mode, expect in [("off", [3, 3, 3, 4]), (0, [3, 3, 3, 4]), (7, [3, 3, 3, 4]),
                         ("concave", [3] * 5), ("Concave Polygons", [3] * 5), (1, [3] * 5),
                         ("all", [3] * 5), (2, [3] * 5)]:
        m = korvane.Mesh.from_arrays(pos, **kw)
        m.triangulate(mode)
        assert sorted(m.counts.tolist()) == expect, mode
    convex = korvane.Mesh.from_arrays(**QUAD)
    convex.triangulate("concave")
    assert convex.counts.tolist() == [4]  # a convex quad stays
    convex.triangulate()
    assert convex.counts.tolist() == [3, 3]
    with pytest.raises(ValueError):
        convex.triangulate("some")
    with pytest.raises(TypeError):
        convex.triangulate(1.5)


def test_invert_disconnect_quadrangulate():
    m = cube(normals=np.tile([0.0, 0.0, 1.0], (24, 1)))
    m.invert()
    for before, after in zip(CUBE_FACES, polygons(m)):
        assert sorted(before) == sorted(after)
        # Same cycle, other direction.
        k = after.index(before[0])
        assert after[k:] + after[:k] == [before[0]] + before[:0:-1]
    assert np.all(m.normals == [0, 0, -1])
    m.disconnect()
    assert m.num_vertices == m.num_nodes == 24
    tris = korvane.Mesh.from_arrays(QUAD["positions"], [3, 3], [0, 1, 2, 0, 2, 3])
    tris.quadrangulate()
    assert tris.counts.tolist() == [4]


def test_repairs_and_shells():
    open_cube = korvane.Mesh.from_arrays(CUBE_VERTS, [4] * 5, [i for f in CUBE_FACES[:5] for i in f])
    open_cube.close_holes()
    assert open_cube.num_polygons == 6
    none_closed = korvane.Mesh.from_arrays(CUBE_VERTS, [4] * 5, [i for f in CUBE_FACES[:5] for i in f])
    none_closed.close_holes(max_vertices=2)
    assert none_closed.num_polygons == 5
    with pytest.raises(ValueError):
        none_closed.close_holes(max_vertices=256)

    doubled = korvane.Mesh.from_arrays(QUAD["positions"], [3, 3], [0, 1, 2, 0, 1, 2], clean=False)
    doubled.fix_edges(non_manifold=False, double=True)
    assert doubled.num_vertices > 4  # new midpoint vertices split the double edges

    c = cube()
    lo, hi = c.positions.min(0), c.positions.max(0)
    c.push(0.5)
    assert np.all(c.positions.min(0) < lo) and np.all(c.positions.max(0) > hi)
    c.push(0.0)

    shell = cube()
    shell.thickness(0.2)
    assert shell.num_polygons == 12 and shell.num_vertices == 16  # closed: no side quads
    rim = korvane.Mesh.from_arrays(**QUAD)
    rim.thickness(0.2)
    assert rim.num_polygons == 2 + 4

    s = cube()
    s.smooth(5)
    assert np.ptp(s.positions, axis=0).max() < 1.0
    s.smooth(0)


def test_blurs_change_derived_vertex_data():
    rng = np.random.default_rng(3)
    m = korvane.Mesh.from_arrays(CUBE_VERTS, [4] * 6, [i for f in CUBE_FACES for i in f],
                                 normals=rng.normal(size=(24, 3)), colors=rng.random((24, 4)),
                                 uvws=rng.random((24, 3)), motions=rng.normal(size=(8, 3)))
    n0, c0, u0, mo0 = m.vertex_normals, m.vertex_colors, m.vertex_uvws, m.motions
    m.blur_normals(2)
    m.blur_colors(2)
    m.blur_uvws(2)
    m.blur_motions(2)
    assert not np.allclose(m.vertex_normals, n0)
    assert not np.allclose(m.vertex_colors, c0)
    assert not np.allclose(m.vertex_uvws, u0)
    assert not np.allclose(m.motions, mo0)
    kept = m.vertex_normals
    m.blur_normals(0)
    assert np.array_equal(m.vertex_normals, kept)


def test_failed_operation_empties_the_mesh_and_raises():
    # A fan of 300 triangles gives its centre more than 255 neighbours, past
    # the one-byte limit of the adjacency lists: blurring cannot build them.
    n = 300
    ang = np.linspace(0, 2 * np.pi, n, endpoint=False)
    pos = np.vstack([[0, 0, 0], np.c_[np.cos(ang), np.sin(ang), np.zeros(n)]])
    idx = np.array([[0, 1 + k, 1 + (k + 1) % n] for k in range(n)]).ravel()
    m = korvane.Mesh.from_arrays(pos, [3] * n, idx)
    with pytest.raises(korvane.CacheError) as e:
        m.smooth(1)
    assert e.value.code != 0 and e.value.path is None
    assert m.num_vertices == 0 and m.num_polygons == 0


def test_chain_as_the_node_runs_it(holes_dir):
    # The node's chain with these inputs, and the same steps called one by one.
    sets = {"m_flLoadNormals": "on", "m_fxFixDoubleEdges": "on", "m_fxCloseHoles": "on", "m_fxQuadrangulate": "on",
            "m_fxPush": "0.25", "m_fxTriangulate": "1", "m_fxSimpleSmooth": "2", "m_dtPostBlurNormals": "2",
            "m_dtBlurNormals": "1"}
    args = ["eval", "--set", f"m_flPath={holes_dir}", "--set", "m_flName=Fluid.####", "--frames", "1",
            "--json", "--data"]
    for k, v in sets.items():
        args += ["--set", f"{k}={v}"]
    ref = cli_json(*args)
    assert ref["status"] == "kSuccess"

    m = korvane.load(holes_dir / "Fluid.0001.znq", normals=True)
    m.scale_motions(1.0)
    m.blur_normals(1)
    m.fix_edges(non_manifold=False, double=True)
    m.close_holes()
    m.quadrangulate()
    m.push(0.25)
    m.triangulate("concave")
    m.smooth(2)
    m.blur_normals(2)
    assert m.counts.tolist() == ref["counts"]
    assert m.indices.tolist() == ref["connects"]
    assert np.array_equal(m.positions, np.array(ref["points"], dtype=np.float32))
    assert np.allclose(m.vertex_normals, np.array(ref["normals"], dtype=np.float32), atol=1e-6)
