# korvane.check_sequence reports what `korvane info PATTERN --json` reports.
import shutil

import pytest

import korvane
from conftest import cli_json


def same_report(py, cli):
    py, cli = dict(py), dict(cli)
    assert py.pop("loadMs") >= 0 and cli.pop("loadMs") >= 0
    assert py == cli


@pytest.fixture
def broken_dir(sample_dir, tmp_path):
    # Frames 1, 3, 4 of the sample with frame 3 cut short and frame 2 absent.
    for f in (1, 3, 4):
        shutil.copy(sample_dir / f"Fluid.{f:04d}.znq", tmp_path)
    p = tmp_path / "Fluid.0003.znq"
    p.write_bytes(p.read_bytes()[:100])
    (tmp_path / "Fluid.003.znq").write_bytes(b"")  # not a frame of the pattern (padding)
    return tmp_path


def test_complete_sequence(sample_dir):
    pattern = str(sample_dir / "Fluid.####.znq")
    r = korvane.check_sequence(pattern)
    assert r["ok"] is True and r["numFiles"] == 4 and (r["first"], r["last"]) == (1, 4)
    assert r["has"] == {"normals": True, "motions": True, "colors": True, "uvws": True}
    same_report(r, cli_json("info", pattern, "--json"))


def test_gaps_failures_and_options(broken_dir):
    pattern = str(broken_dir / "Fluid.####.znq")
    r = korvane.check_sequence(pattern, frames=(1, 6))
    assert r["ok"] is False
    assert r["missing"] == [[2, 2], [5, 6]] and r["numMissing"] == 3
    assert [f["frame"] for f in r["failed"]] == [3] and r["failed"][0]["error"] != 0
    same_report(r, cli_json("info", pattern, "--frames", "1-6", "--json"))
    same_report(korvane.check_sequence(pattern, "1-6"), cli_json("info", pattern, "--frames", "1-6", "--json"))
    same_report(korvane.check_sequence(pattern, 4), cli_json("info", pattern, "--frames", "4", "--json"))
    only = korvane.check_sequence(pattern, normals=True, uvws=True)
    assert only["load"] == {"normals": True, "motions": False, "colors": False, "uvws": True}
    assert only["lacking"]["motions"] is None
    same_report(only, cli_json("info", pattern, "--normals", "--uvws", "--json"))
    nothing = korvane.check_sequence(str(broken_dir / "None.####.znq"))
    assert nothing["numFiles"] == 0 and nothing["first"] is None and nothing["ok"] is False


def test_bad_arguments(tmp_path):
    with pytest.raises(ValueError):
        korvane.check_sequence(str(tmp_path / "Fluid.0001.znq"))  # no '#' run
    with pytest.raises(OSError):
        korvane.check_sequence(str(tmp_path / "absent" / "Fluid.####.znq"))
    for frames, error in [((5, 1), ValueError), ("1-", ValueError), ("a", ValueError), ((1, 2, 3), ValueError),
                          (1.5, TypeError), (True, TypeError), (2**40, ValueError)]:
        with pytest.raises(error):
            korvane.check_sequence(str(tmp_path / "F.####.znq"), frames)
    assert korvane.check_sequence(str(tmp_path / "F.####.znq"), "-3--1")["numMissing"] == 3
