// Stand-in host: MThreadUtils, the host's thread settings.
#ifndef KHOST_MAYA_MThreadUtils_h
#define KHOST_MAYA_MThreadUtils_h

#include <maya/MGlobal.h>

class OPENMAYA_EXPORT MThreadUtils
{
public:
    static int getNumThreads();
};

#endif
