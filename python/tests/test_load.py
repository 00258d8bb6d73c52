# korvane.load: arrays, optional data, group filter, failures.
import os
import pathlib
import sys

import numpy as np
import pytest

import korvane
from conftest import CUBE_FACES, CUBE_VERTS, write_obj


def test_cube_arrays_and_dtypes(cube_obj):
    m = korvane.load(cube_obj)
    assert (m.num_vertices, m.num_polygons, m.num_nodes) == (8, 6, 24)
    assert m.positions.dtype == np.float32 and m.positions.shape == (8, 3)
    assert m.counts.dtype == np.int32 and m.counts.tolist() == [4] * 6
    assert m.indices.dtype == np.int32 and m.indices.shape == (24,)
    # Positions come back as written, in file order; polygons as listed.
    assert m.positions.tolist() == [list(map(float, v)) for v in CUBE_VERTS]
    assert m.indices.tolist() == [i for f in CUBE_FACES for i in f]
    assert m.normals is None and m.uvws is None and m.colors is None and m.motions is None
    assert m.mem_peak > 0 and m.mem_used > 0
    assert "8 vertices, 6 polygons" in repr(m)


def test_optional_data_only_when_asked(tmp_path):
    n = [(0.0, 0.0, 1.0)] * 4
    uv = [(0.0, 0.0), (1.0, 0.0), (1.0, 1.0), (0.0, 1.0)]
    p = write_obj(tmp_path / "q.OBJ", CUBE_VERTS[:4], [[0, 1, 2, 3]], uvs=uv, normals=n)
    plain = korvane.load(p)
    assert plain.normals is None and plain.uvws is None
    m = korvane.load(p, normals=True, uvws=True)
    assert m.normals.shape == (4, 3) and m.normals.dtype == np.float32
    assert m.uvws.shape == (4, 3)
    assert m.uvws[:, :2].tolist() == [list(t) for t in uv]
    assert np.allclose(m.vertex_normals, [0, 0, 1])
    assert m.vertex_uvws.shape == (4, 3)


def test_znq_sample_all_data(sample_dir):
    m = korvane.load(sample_dir / "Fluid.0001.znq", normals=True, motions=True, colors=True, uvws=True)
    nv, nn = m.num_vertices, m.num_nodes
    assert m.positions.shape == (nv, 3)
    assert m.normals.shape == (nn, 3) and m.uvws.shape == (nn, 3)
    assert m.colors.shape == (nn, 4) and m.colors.dtype == np.float32
    assert m.motions.shape == (nv, 3)
    assert m.vertex_colors.shape == (nv, 4)
    assert int(m.counts.sum()) == nn == len(m.indices)
    assert 0 <= m.indices.min() and m.indices.max() < nv


def test_matches_cli_info_data(sample_dir):
    from conftest import cli_json

    f = sample_dir / "Fluid.0002.znq"
    ref = cli_json("info", f, "--all", "--json", "--data")
    m = korvane.load(f, normals=True, motions=True, colors=True, uvws=True)
    assert np.array_equal(m.positions, np.array(ref["vertPos"], dtype=np.float32))
    assert m.counts.tolist() == ref["polyNumVert"] and m.indices.tolist() == ref["polyVInd"]
    assert np.array_equal(m.colors, np.array(ref["nodeCol"], dtype=np.float32))
    assert np.array_equal(m.motions, np.array(ref["vertMotion"], dtype=np.float32))
    # Counted by the heap's usable block sizes, which depend on the heap's
    # state: equal up to a few bytes of slack per block.
    assert ref["memPeak"] <= m.mem_peak + 512 and m.mem_peak <= ref["memPeak"] + 512
    assert m.mem_used <= m.mem_peak


def test_group_filter(tmp_path):
    faces = [[0, 1, 2], [0, 2, 3], [4, 5, 6]]
    p = write_obj(tmp_path / "g.obj", CUBE_VERTS, faces, groups=["a", "a", "b"])
    assert korvane.load(p).num_polygons == 3
    assert korvane.load(p, groups=["a"]).num_polygons == 2
    assert korvane.load(p, groups="a;").num_polygons == 2
    only_b = korvane.load(p, groups=("a",), invert_groups=True)
    assert only_b.num_polygons == 1 and only_b.num_vertices == 3  # unused vertices go
    with pytest.raises(ValueError):
        korvane.load(p, groups=["a;b"])
    with pytest.raises(TypeError):
        korvane.load(p, groups=[1])


def test_paths(cube_obj):
    assert korvane.load(pathlib.Path(cube_obj)).num_vertices == 8
    assert korvane.load(str(cube_obj).encode()).num_vertices == 8
    with pytest.raises(ValueError):
        korvane.load(str(cube_obj) + "\0.znq")
    with pytest.raises(TypeError):
        korvane.load(42)


@pytest.mark.skipif(sys.platform != "linux", reason="file names are bytes on Linux")
def test_file_names_that_are_not_utf8(tmp_path, cube_obj):
    # os.listdir gives such names as str with surrogates; they must load as
    # their bytes, and check_sequence must report them so that os.fsencode
    # gives the bytes back.
    raw = os.fsencode(tmp_path) + b"/Cu\xffbe.0001.obj"
    os.rename(os.fsencode(cube_obj), raw)
    (name,) = [n for n in os.listdir(tmp_path) if n.startswith("Cu")]
    assert korvane.load(os.path.join(tmp_path, name)).num_vertices == 8
    assert korvane.load(raw).num_vertices == 8
    r = korvane.check_sequence(os.path.join(tmp_path, name.replace("0001", "####")))
    assert r["ok"] and r["numLoaded"] == 1
    assert r["pattern"] == os.path.join(tmp_path, name.replace("0001", "####"))
    assert korvane.check_sequence(raw.replace(b"0001", b"####"))["numLoaded"] == 1
    # A group name with such a byte is looked for as that byte.
    obj = tmp_path / "g.obj"
    obj.write_bytes(b"v 0 0 0\nv 1 0 0\nv 0 1 0\ng gr\xffp\nf 1 2 3\n")
    assert korvane.load(obj, groups=["gr\udcffp"]).num_polygons == 1
    assert korvane.load(obj, groups="gr\udcffp;").num_polygons == 1
    assert korvane.load(obj, groups=["grp"]).num_polygons == 0
    with pytest.raises(UnicodeError):
        korvane.load(obj, groups=["\ud800"])


def test_failures_raise_cache_error(tmp_path, cube_obj):
    with pytest.raises(korvane.CacheError) as e:
        korvane.load(tmp_path / "missing.znq")
    assert e.value.code == 45
    assert e.value.message == "unable to find or open file."
    assert str(e.value) == "error 45: unable to find or open file."
    assert e.value.path == str(tmp_path / "missing.znq")
    assert e.value.where is None and e.value.reason is None
    assert isinstance(e.value, Exception)

    # A reader that stops on a line says which and why.
    bad = tmp_path / "bad.obj"
    bad.write_bytes(b"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -3\n")
    with pytest.raises(korvane.CacheError) as e:
        korvane.load(bad)
    assert e.value.where == "line 4"
    assert "negative index -3" in e.value.reason
    assert korvane.CacheError("by hand").code is None

    other = tmp_path / "cube.obj.bak"
    other.write_bytes(cube_obj.read_bytes())
    with pytest.raises(korvane.CacheError) as e:
        korvane.load(other)
    assert e.value.code == 51 and e.value.message == "unknown file extension."

    bad = tmp_path / "bad.znq"
    bad.write_bytes(b"\x00\x01 not a cache at all")
    with pytest.raises(korvane.CacheError) as e:
        korvane.load(bad)
    assert e.value.code != 0 and str(e.value).startswith(f"error {e.value.code}: ")


def test_random_and_cut_files_fail_cleanly(tmp_path, sample_dir):
    # Any bytes under any extension: a Mesh within its invariants or CacheError.
    rng = np.random.default_rng(11)
    good = (sample_dir / "Fluid.0001.znq").read_bytes()
    for k in range(120):
        ext = [".znq", ".drs2", ".bin", ".obj"][k % 4]
        if k % 3 == 0:
            data = good[: int(rng.integers(0, len(good)))]
        elif k % 3 == 1:
            b = bytearray(good)
            for i in rng.integers(0, len(b), size=8):
                b[i] = int(rng.integers(0, 256))
            data = bytes(b)
        else:
            data = rng.integers(0, 256, size=int(rng.integers(0, 300)), dtype=np.uint8).tobytes()
        p = tmp_path / f"f{k}{ext}"
        p.write_bytes(data)
        try:
            m = korvane.load(p, normals=True, motions=True, colors=True, uvws=True)
        except korvane.CacheError as e:
            assert e.code != 0
            continue
        assert int(m.counts.sum()) == m.num_nodes == len(m.indices)
        if m.num_nodes:
            assert 0 <= m.indices.min() and m.indices.max() < m.num_vertices


def test_convert_keeps_what_the_target_holds(tmp_path, cube_obj):
    out = tmp_path / "out"
    out.mkdir()
    result = korvane.convert(cube_obj, out / "cube.znq")
    assert result == {"dropped": [], "changed": []}  # positions and polygons only
    a = korvane.load(cube_obj)
    b = korvane.load(out / "cube.znq")
    assert np.array_equal(a.positions, b.positions)
    assert np.array_equal(a.counts, b.counts) and np.array_equal(a.indices, b.indices)
    assert not list(out.glob("*.tmp*")), "no temporary file is left"

    with pytest.raises(ValueError):
        korvane.convert(cube_obj, out / "cube.xyz")
    with pytest.raises(ValueError):
        korvane.convert(cube_obj, cube_obj)  # never over the input
    with pytest.raises(korvane.CacheError) as e:
        korvane.convert(tmp_path / "missing.obj", out / "m.znq")
    assert e.value.code == 45
    assert not (out / "m.znq").exists()
