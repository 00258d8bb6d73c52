// MGlobal and MThreadUtils of the stand-in host.
#include "HostInternal.h"

#include <maya/MGlobal.h>
#include <maya/MThreadUtils.h>

#include <cstdlib>
#include <thread>

using namespace khost_impl;

void MGlobal::displayInfo(const MString& s) { Show(khost::MessageKind::kInfo, s.asChar()); }
void MGlobal::displayError(const MString& s) { Show(khost::MessageKind::kError, s.asChar()); }

namespace
{
MStatus Run(const MString& command, CommandResultData* r)
{
    return RunCommandLine(command.asChar(), r, nullptr);
}
// An array result joined with blanks when text is asked for.
std::string Joined(const CommandResultData& r)
{
    std::string s;
    for (size_t i = 0; i < r.words.size(); ++i)
        s += (i ? " " : "") + r.words[i];
    return s;
}
} // namespace

MStatus MGlobal::executeCommand(const MString& command, bool, bool)
{
    CommandResultData r;
    return Run(command, &r);
}
MStatus MGlobal::executeCommand(const MString& command, double& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    char* end = nullptr;
    const double v = r.words.size() == 1 ? std::strtod(r.words[0].c_str(), &end) : 0.0;
    if (!end || end == r.words[0].c_str() || *end != 0)
        return MS::kFailure;
    result = v;
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, int& result, bool displayEnabled, bool undoEnabled)
{
    double v = 0.0;
    MStatus st = executeCommand(command, v, displayEnabled, undoEnabled);
    if (st)
        result = (int)v;
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, MString& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (st)
        result = Joined(r).c_str();
    return st;
}
// ---------------------------------------------------------------------------
int MThreadUtils::getNumThreads()
{
    int n = S().numThreads;
    if (n >= 1)
        return n;
    unsigned int hw = std::thread::hardware_concurrency();
    return hw ? (int)hw : 1;
}

// ---------------------------------------------------------------------------
// MTime: values are kept in their own unit and converted through seconds.

#include <maya/MTime.h>

namespace
{
// Units per second; 0 for units without a fixed length. Frame rates are
// whole numbers, so a second converts to frames exactly.
double PerSecond(MTime::Unit unit)
{
    static const double kFramesPerSecond[] = {
        15,  24,  25,  30,  48,  50,  60,  2,   3,    4,    5,    6,    8,    10,  12,
        16,  20,  40,  75,  80,  100, 120, 125, 150,  200,  240,  250,  300,  375, 400,
        500, 600, 750, 1200, 1500, 2000, 3000, 6000,
    };
    static_assert(sizeof(kFramesPerSecond) / sizeof(kFramesPerSecond[0]) ==
                      MTime::k6000FPS - MTime::kGames + 1,
                  "one rate per frame unit");
    switch (unit)
    {
    case MTime::kHours:
        return 1.0 / 3600.0;
    case MTime::kMinutes:
        return 1.0 / 60.0;
    case MTime::kSeconds:
        return 1.0;
    case MTime::kMilliseconds:
        return 1000.0;
    default:
        break;
    }
    const int i = static_cast<int>(unit);
    if (i < MTime::kGames || i > MTime::k6000FPS)
        return 0.0;
    return kFramesPerSecond[i - MTime::kGames];
}
} // namespace

MTime::MTime(double time_val, Unit unit) : val(time_val), valUnit(unit) {}

double MTime::asUnits(Unit other_unit) const
{
    const double from = PerSecond(valUnit);
    const double to = PerSecond(other_unit);
    if (from <= 0.0 || to <= 0.0)
        return 0.0;
    return from == to ? val : val / from * to;
}

MTime::Unit MTime::uiUnit() { return static_cast<Unit>(S().timeUnit); }
