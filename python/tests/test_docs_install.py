# Docstrings, the stub file, the guide's example and the installed layout.
import ast
import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import korvane
from conftest import cli_json, run_cli

MODULE_DIR = pathlib.Path(korvane.__file__).parent
SOURCE_DIR = pathlib.Path(os.environ.get("KORVANE_SOURCE_DIR", pathlib.Path(__file__).parents[2]))


def public(obj):
    return {n for n in dir(obj) if not n.startswith("_")}


def test_docstrings_teach():
    text = korvane.load.__doc__
    for word in ("normals", "motions", "groups", "invert_groups", "CacheError", ".znq"):
        assert word in text
    assert "frames" in korvane.check_sequence.__doc__ and "ok" in korvane.check_sequence.__doc__
    for name in public(korvane.Mesh):
        assert getattr(korvane.Mesh, name).__doc__, name
    assert "code" in korvane.CacheError.__doc__ and korvane.__doc__


def test_stub_beside_module_lists_the_api():
    stub = MODULE_DIR / "korvane.pyi"
    assert stub.is_file()
    tree = ast.parse(stub.read_text())
    top = {n.name for n in tree.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))}
    assert {"load", "check_sequence", "Mesh", "CacheError"} <= top
    mesh = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "Mesh")
    stubbed = {n.name for n in mesh.body if isinstance(n, ast.FunctionDef) and not n.name.startswith("_")}
    assert stubbed == public(korvane.Mesh)
    funcs = {n.name for n in tree.body if isinstance(n, ast.FunctionDef)}
    assert funcs == {n for n in public(korvane) if callable(getattr(korvane, n))} - {"Mesh", "CacheError"}


def guide_example():
    guide = (SOURCE_DIR / "docs" / "guide.md").read_text()
    section = guide[guide.index("\n## Python\n"):]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_guide_example_runs(tmp_path):
    run_cli("sample", tmp_path / "sample", "--frames", 5, "--tris", 300)
    env = dict(os.environ, PYTHONPATH=str(MODULE_DIR))
    r = subprocess.run([sys.executable, "-c", guide_example()], cwd=tmp_path, env=env, capture_output=True,
                       text=True)
    assert r.returncode == 0, r.stderr
    info = cli_json("info", tmp_path / "sample" / "Fluid.0003.znq", "--json")
    assert f"vertices {info['numVert']} polygons {info['numPoly']}" in r.stdout
    assert "bbox min" in r.stdout and "volume" in r.stdout
    # With a frame gone the check stops the script.
    (tmp_path / "sample" / "Fluid.0004.znq").unlink()
    r = subprocess.run([sys.executable, "-c", guide_example()], cwd=tmp_path, env=env, capture_output=True,
                       text=True)
    assert r.returncode == 1 and "missing frames 4-4" in r.stdout


def test_enclosed_volume_of_the_unit_cube(cube_obj):
    # The guide's volume formula on a mesh with a known answer.
    import numpy as np

    tris = korvane.load(cube_obj)
    tris.triangulate("all")
    corners = tris.positions.astype(np.float64)[tris.indices.reshape(-1, 3)]
    a, b, c = corners[:, 0], corners[:, 1], corners[:, 2]
    assert np.einsum("ij,ij->i", a, np.cross(b, c)).sum() / 6.0 == pytest.approx(1.0)


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="ELF dynamic symbol table")
def test_module_exports_only_its_entry_point():
    # The geometry library inside must not be visible to (or bound to) another
    # copy in the same process, such as the loaded plug-in.
    import ctypes

    lib = ctypes.CDLL(korvane.__file__)
    assert hasattr(lib, "PyInit_korvane")
    for name in ("_Z12ZNQErrorTexti", "_Z12LoadFromFileR11ZNQGeometryPKcbbbbPKhS4_S4_S2_b"):
        assert not hasattr(lib, name), name


def test_cmake_install_layout(tmp_path):
    build = pathlib.Path(os.environ.get("KORVANE_BUILD_DIR", MODULE_DIR.parent))
    cmake = shutil.which("cmake")
    if not cmake or not (build / "CMakeCache.txt").is_file():
        pytest.skip("no CMake build tree beside the module")
    prefix = tmp_path / "prefix"
    r = subprocess.run([cmake, "--install", str(build), "--prefix", str(prefix), "--component", "python"],
                       capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    site = prefix / "lib" / f"python{sys.version_info[0]}.{sys.version_info[1]}" / "site-packages"
    assert (site / "korvane.pyi").is_file()
    assert list(site.glob("korvane*.so")) or list(site.glob("korvane*.pyd"))
    env = dict(os.environ, PYTHONPATH=str(site))
    r = subprocess.run([sys.executable, "-c", "import korvane; print(korvane.__file__)"], env=env,
                       capture_output=True, text=True, cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert pathlib.Path(r.stdout.strip()).parent == site
