// Placeholder: replaced by the operation's implementation.
#include "geometry/ZNQGeometry.h"

void ZNQGeometry::InvertPolygons(bool) {}
