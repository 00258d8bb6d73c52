// Placeholder: replaced by the operation's implementation.
#include "geometry/ZNQGeometry.h"

int32_t ZNQGeometry::DisconnectPolygons() { return 0; }
