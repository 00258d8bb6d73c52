# Shared fixtures of the Python module's tests: small hand-made .obj files,
# sample .znq sequences written by the korvane program, and its JSON output.
import json
import os
import shutil
import subprocess

import pytest

CLI = os.environ.get("KORVANE_CLI") or shutil.which("korvane")


def run_cli(*args, check=True):
    if not CLI:
        pytest.skip("the korvane program is not known (set KORVANE_CLI)")
    r = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True)
    if check and r.returncode not in (0, 1):
        raise AssertionError(f"korvane {' '.join(map(str, args))}: {r.returncode}\n{r.stderr}")
    return r


def cli_json(*args):
    return json.loads(run_cli(*args).stdout)


def write_obj(path, verts, faces, uvs=None, normals=None, groups=None):
    """faces: lists of 0-based vertex indices; uvs / normals: one entry per vertex,
    referenced with the vertex's own index; groups: group name per face or None."""
    lines = [f"v {x!r} {y!r} {z!r}" for x, y, z in verts]
    lines += [f"vt {u!r} {v!r}" for u, v in uvs or []]
    lines += [f"vn {x!r} {y!r} {z!r}" for x, y, z in normals or []]
    current = None
    for k, f in enumerate(faces):
        if groups and groups[k] != current:
            current = groups[k]
            lines.append(f"g {current}")
        if uvs and normals:
            refs = [f"{i + 1}/{i + 1}/{i + 1}" for i in f]
        elif normals:
            refs = [f"{i + 1}//{i + 1}" for i in f]
        elif uvs:
            refs = [f"{i + 1}/{i + 1}" for i in f]
        else:
            refs = [str(i + 1) for i in f]
        lines.append("f " + " ".join(refs))
    path.write_text("\n".join(lines) + "\n")
    return path


# Unit cube, faces wound outwards (counter-clockwise seen from outside).
CUBE_VERTS = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]
CUBE_FACES = [[0, 3, 2, 1], [4, 5, 6, 7], [0, 1, 5, 4], [2, 3, 7, 6], [1, 2, 6, 5], [0, 4, 7, 3]]


@pytest.fixture
def cube_obj(tmp_path):
    return write_obj(tmp_path / "cube.obj", CUBE_VERTS, CUBE_FACES)


@pytest.fixture(scope="session")
def sample_dir(tmp_path_factory):
    d = tmp_path_factory.mktemp("sample")
    run_cli("sample", d, "--frames", 4, "--tris", 400)
    return d


@pytest.fixture(scope="session")
def holes_dir(tmp_path_factory):
    d = tmp_path_factory.mktemp("holes")
    run_cli("sample", d, "--frames", 1, "--tris", 2000, "--holes", "--rough")
    return d
