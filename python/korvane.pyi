"""Korvane polygon-mesh caches for pipeline scripts (type stub of the native module).

load() reads one cache file into a Mesh, check_sequence() checks a whole
sequence as `korvane info PATTERN --json` does, Mesh.from_arrays() builds a
mesh from your own arrays. Array properties are read-only float32 / int32
numpy copies; operations change the mesh in place and raise CacheError on
failure (the mesh is then empty).
"""

import os
from typing import Any, Iterable, Literal, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
_Groups = Union[None, str, Iterable[str]]
_Floats = npt.ArrayLike
_Ints = npt.ArrayLike
_F32 = npt.NDArray[np.float32]
_I32 = npt.NDArray[np.int32]
_TriangulateMode = Union[Literal["off", "concave", "all", "Off", "Concave Polygons", "All Polygons"], int]

class CacheError(Exception):
    """A load or a mesh operation failed; str() is "error N: TEXT"."""

    code: int
    """The library's error code (never 0)."""
    message: str
    """The code's text without the "error N: " head."""
    path: Optional[str]
    """The file that failed to load; None for an operation."""
    where: Optional[str]
    """Place in the file where the reader stopped, or None."""
    reason: Optional[str]
    """What the reader found there, or None."""

class Mesh:
    """A polygon mesh; a node is one polygon corner (one entry of indices)."""

    def __init__(self) -> None:
        """An empty mesh."""
    @staticmethod
    def from_arrays(
        positions: _Floats,
        counts: _Ints,
        indices: _Ints,
        normals: Optional[_Floats] = None,
        uvws: Optional[_Floats] = None,
        colors: Optional[_Floats] = None,
        motions: Optional[_Floats] = None,
        clean: bool = True,
    ) -> "Mesh":
        """positions (V,3), counts (P,) 0..255, indices (N,) in [0, V) with N = sum(counts);
        normals/uvws (N,3), colors (N,4), motions (V,3). clean: the load clean-up.
        TypeError for non-numeric data, ValueError for bad shapes, counts or indices."""
    def copy(self) -> "Mesh": ...
    def __copy__(self) -> "Mesh": ...
    def __deepcopy__(self, memo: Any) -> "Mesh": ...
    @property
    def num_vertices(self) -> int: ...
    @property
    def num_polygons(self) -> int: ...
    @property
    def num_nodes(self) -> int: ...
    @property
    def mem_peak(self) -> int:
        """Highest number of counted bytes the geometry has held."""
    @property
    def mem_used(self) -> int: ...
    @property
    def positions(self) -> _F32:
        """(V, 3) float32, read-only; assign a (V, 3) array to move the vertices."""
    @positions.setter
    def positions(self, value: _Floats) -> None: ...
    @property
    def counts(self) -> _I32:
        """(P,) int32 corner count per polygon."""
    @property
    def indices(self) -> _I32:
        """(N,) int32 vertex of each node, polygon after polygon."""
    @property
    def normals(self) -> Optional[_F32]:
        """(N, 3) node normals or None."""
    @normals.setter
    def normals(self, value: Optional[_Floats]) -> None: ...
    @property
    def uvws(self) -> Optional[_F32]:
        """(N, 3) node UVWs or None."""
    @uvws.setter
    def uvws(self, value: Optional[_Floats]) -> None: ...
    @property
    def colors(self) -> Optional[_F32]:
        """(N, 4) node colours (r, g, b, a) or None."""
    @colors.setter
    def colors(self, value: Optional[_Floats]) -> None: ...
    @property
    def motions(self) -> Optional[_F32]:
        """(V, 3) motion vector per vertex or None."""
    @motions.setter
    def motions(self, value: Optional[_Floats]) -> None: ...
    @property
    def vertex_normals(self) -> Optional[_F32]:
        """(V, 3) vertex normals as Maya receives them (blurred after blur_normals)."""
    @property
    def vertex_uvws(self) -> Optional[_F32]: ...
    @property
    def vertex_colors(self) -> Optional[_F32]: ...

    # Operations, in the node's order of the post-processing chain, with its arguments.
    def scale_motions(self, factor: float) -> None: ...
    def blur_normals(self, iterations: int, strength: float = 1.0) -> None: ...
    def blur_motions(self, iterations: int, strength: float = 1.0) -> None: ...
    def blur_colors(self, iterations: int, strength: float = 1.0) -> None: ...
    def blur_uvws(self, iterations: int, strength: float = 1.0) -> None: ...
    def fix_edges(self, non_manifold: bool = True, double: bool = True) -> None: ...
    def close_holes(self, max_extent: float = -1.0, max_vertices: int = 255) -> None: ...
    def invert(self) -> None: ...
    def quadrangulate(self, max_normal_angle: float = 30.0, max_corner_deviation: float = 45.0) -> None: ...
    def push(self, distance: float) -> None: ...
    def thickness(self, thickness: float) -> None: ...
    def triangulate(self, mode: _TriangulateMode = "all") -> None: ...
    def smooth(self, iterations: int, strength: float = 1.0) -> None: ...
    def disconnect(self) -> None: ...
    def clean_up(self) -> None: ...

def load(
    path: _Path,
    normals: bool = False,
    motions: bool = False,
    colors: bool = False,
    uvws: bool = False,
    groups: _Groups = None,
    invert_groups: bool = False,
) -> Mesh:
    """Reads one cache file (.znq, .drs2, .bin, .obj) as the node does; raises CacheError."""

def check_sequence(
    pattern: _Path,
    frames: Union[None, int, Tuple[int, int], Sequence[int], str] = None,
    *,
    normals: bool = False,
    motions: bool = False,
    colors: bool = False,
    uvws: bool = False,
    groups: _Groups = None,
    invert_groups: bool = False,
) -> dict[str, Any]:
    """What `korvane info PATTERN --json` reports, as a dict ("ok", "missing", "failed", ...)."""
    ...

def convert(
    input: _Path,
    output: _Path,
    *,
    normals: bool = True,
    motions: bool = True,
    colors: bool = True,
    uvws: bool = True,
    groups: _Groups = None,
    invert_groups: bool = False,
    ascii: bool = False,
) -> dict[str, list[str]]:
    """One file into the format the output's extension picks; {"dropped": [...], "changed": [...]}."""
