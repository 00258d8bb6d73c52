// Wavefront .obj writer for tests, benchmarks and fuzz seeds.
//
// Writes "v" statements for the positions, optional "vt" (2 or 3 components,
// from _nodeUvw) and "vn" (from _nodeNrm) statements, optional "g" statements
// and one "f" statement per polygon in the form the written data needs:
// v, v/vt, v//vn or v/vt/vn. Floats are written with 9 significant digits, so
// reading them back gives the same float bits.
#pragma once

#include <cstdint>
#include <string>

#include "geometry/ZNQGeometry.h"

struct ObjWriteOptions
{
    // Components per "vt" statement: 0 writes no texture coordinates; 1 to 3
    // write the first that many of each UVW. Ignored without _nodeUvw.
    int32_t uvwComponents = 3;
    // Writes "vn" statements; ignored without _nodeNrm.
    bool writeNormals = true;
    // One vt / vn per vertex when every node of each vertex carries the same
    // value (bitwise), referenced by the vertex index; otherwise, or when
    // false, one per node.
    bool shareByVertex = true;
    // One vt per node even when shareByVertex could share them (normals
    // still follow shareByVertex).
    bool uvwsPerNode = false;
    // Group of each polygon: an index into groupNames, or negative for no
    // change. A "g <name>" line is written before every polygon whose group
    // differs from the last group written. Null: no "g" statements.
    const int32_t* polyGroup = nullptr;
    const char* const* groupNames = nullptr;
    int32_t numGroups = 0;
    // "p " instead of "f " statements.
    bool pointStatements = false;
    // Line break after each statement ("\n", "\r\n", "\r").
    const char* lineBreak = "\n";
    // Comment written as the first line ("# " + text), or null.
    const char* comment = nullptr;
};

// Appends the text of geometry to out. 0, or 131 ("geometry is not valid and
// therefore cannot be saved.") when it has no positions, a polygon names a
// vertex out of range or a group index is out of range.
int32_t WriteObjToString(const ZNQGeometry& geometry, const ObjWriteOptions& options, std::string& out);

// Writes the file. 0, 131 as above, 132 when the file cannot be created,
// 134 when writing fails.
int32_t WriteObj(const ZNQGeometry& geometry, const char* path, const ObjWriteOptions& options);
