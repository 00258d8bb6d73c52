// Placeholder: replaced by the operation's implementation.
#include "geometry/ZNQGeometry.h"

int32_t ZNQGeometry::BlurVertexData(float, const float*, int32_t, void*, int32_t, int32_t) { return 0; }
int32_t ZNQGeometry::BlurNormals(float, int32_t) { return 0; }
int32_t ZNQGeometry::BlurMotions(float, int32_t) { return 0; }
int32_t ZNQGeometry::BlurColors(float, int32_t) { return 0; }
int32_t ZNQGeometry::BlurUvws(float, int32_t) { return 0; }
int32_t ZNQGeometry::SimpleSmooth(float, int32_t) { return 0; }
int32_t ZNQGeometry::FillZeroNodeNormals() { return 0; }
