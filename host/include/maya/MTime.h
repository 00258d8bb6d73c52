// Stand-in host: MTime, a time value with its unit, and the scene's time unit.
#ifndef KHOST_MAYA_MTime_h
#define KHOST_MAYA_MTime_h

#include <maya/MStatus.h>

class OPENMAYA_EXPORT MTime
{
public:
    enum Unit
    {
        kInvalid,
        kHours,
        kMinutes,
        kSeconds,
        kMilliseconds,
        kGames,      // 15 frames per second
        kFilm,       // 24
        kPALFrame,   // 25
        kNTSCFrame,  // 30
        kShowScan,   // 48
        kPALField,   // 50
        kNTSCField,  // 60
        k2FPS,
        k3FPS,
        k4FPS,
        k5FPS,
        k6FPS,
        k8FPS,
        k10FPS,
        k12FPS,
        k16FPS,
        k20FPS,
        k40FPS,
        k75FPS,
        k80FPS,
        k100FPS,
        k120FPS,
        k125FPS,
        k150FPS,
        k200FPS,
        k240FPS,
        k250FPS,
        k300FPS,
        k375FPS,
        k400FPS,
        k500FPS,
        k600FPS,
        k750FPS,
        k1200FPS,
        k1500FPS,
        k2000FPS,
        k3000FPS,
        k6000FPS,
        kUserDef,
        kLast
    };

    MTime(double time_val, Unit unit = kFilm);
    double asUnits(Unit other_unit) const;
    static Unit uiUnit();

private:
    double val;
    Unit valUnit;
};

#endif
