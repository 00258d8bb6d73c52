// Placeholder: replaced by the operation's implementation.
#include "geometry/ZNQGeometry.h"

int32_t ZNQGeometry::Triangulate(const int32_t*, int32_t, bool) { return 0; }
int32_t ZNQGeometry::TriangulateFivePlus() { return 0; }
int32_t ZNQGeometry::TriangulateConcave() { return 0; }
