// Uses the installed headers and library the way an outside project would.
#include "errors/ZNQError.h"
#include "formats/ZNQFormats.h"
#include "geometry/ZNQGeometry.h"

#include <cstdio>
#include <cstring>

int main()
{
    ZNQGeometry geo;
    geo.Init(0);
    int32_t rc = LoadFromFile(geo, "does-not-exist.znq", true, true, true, true, nullptr, nullptr,
                              nullptr, nullptr, false);
    char msg[256];
    ZNQErrorMessage(rc, msg, true, nullptr);
    geo.Clear();
    std::printf("%s\n", msg);
    return std::strcmp(msg, "error 45: unable to find or open file.") == 0 ? 0 : 1;
}
