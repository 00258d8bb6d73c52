// Stand-in host: MColor, a colour of four floats.
#ifndef KHOST_MAYA_MColor_h
#define KHOST_MAYA_MColor_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>

class OPENMAYA_EXPORT MColor
{
public:
    enum MColorType
    {
        kRGB,
        kHSV,
        kCMY,
        kCMYK
    };

    MColor();
    bool set(MColorType colorModel, float c1, float c2, float c3, float alpha = 1.0);

    float r;
    float g;
    float b;
    float a;
};

#endif
