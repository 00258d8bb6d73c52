// Placeholder: replaced by the operation's implementation.
#include "geometry/ZNQGeometry.h"

int32_t ZNQGeometry::Push(float, bool, int32_t) { return 0; }
int32_t ZNQGeometry::Thickness(float, float, bool, int32_t, int32_t, int32_t) { return 0; }
