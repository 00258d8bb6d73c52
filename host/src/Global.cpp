// MGlobal and MThreadUtils of the stand-in host.
#include "HostInternal.h"

#include <maya/MDoubleArray.h>
#include <maya/MGlobal.h>
#include <maya/MIntArray.h>
#include <maya/MStringArray.h>
#include <maya/MThreadUtils.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

using namespace khost_impl;

MGlobal::MMayaState MGlobal::mayaState(MStatus* st)
{
    if (st)
        *st = MS::kSuccess;
    return kLibraryApp;
}
MString MGlobal::mayaVersion() { return MString("2016"); }
int MGlobal::apiVersion() { return MAYA_API_VERSION; }

void MGlobal::displayInfo(const MString& s) { Show(khost::MessageKind::kInfo, s.asChar()); }
void MGlobal::displayWarning(const MString& s) { Show(khost::MessageKind::kWarning, s.asChar()); }
void MGlobal::displayError(const MString& s) { Show(khost::MessageKind::kError, s.asChar()); }

namespace
{
MStatus Run(const MString& command, CommandResultData* r)
{
    return RunCommandLine(command.asChar(), r, nullptr);
}
bool ToDouble(const std::string& w, double* out)
{
    if (w.empty())
        return false;
    char* end = nullptr;
    double v = std::strtod(w.c_str(), &end);
    if (*end != 0)
        return false;
    *out = v;
    return true;
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
MStatus MGlobal::executeCommand(const MString&, MCommandResult&, bool, bool)
{
    return MS::kNotImplemented;   // MCommandResult is not part of this host
}
MStatus MGlobal::executeCommand(const MString& command, int& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    double v = 0;
    if (r.words.size() != 1 || !ToDouble(r.words[0], &v))
        return MS::kFailure;
    result = (int)v;
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, MIntArray& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    result.clear();
    for (const std::string& w : r.words)
    {
        double v = 0;
        if (!ToDouble(w, &v))
            return MS::kFailure;
        result.append((int)v);
    }
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, double& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    if (r.words.size() != 1 || !ToDouble(r.words[0], &result))
        return MS::kFailure;
    return st;
}
MStatus MGlobal::executeCommand(const MString& command, MDoubleArray& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    result.clear();
    for (const std::string& w : r.words)
    {
        double v = 0;
        if (!ToDouble(w, &v))
            return MS::kFailure;
        result.append(v);
    }
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
MStatus MGlobal::executeCommand(const MString& command, MStringArray& result, bool, bool)
{
    CommandResultData r;
    MStatus st = Run(command, &r);
    if (!st)
        return st;
    result.clear();
    for (const std::string& w : r.words)
        result.append(MString(w.c_str(), (int)w.size()));
    return st;
}
MString MGlobal::executeCommandStringResult(const MString& command, bool, bool, MStatus* st)
{
    CommandResultData r;
    MStatus s = Run(command, &r);
    if (st)
        *st = s;
    return s ? MString(Joined(r).c_str()) : MString();
}

namespace
{
MStatus NoPython()
{
    Show(khost::MessageKind::kError, "Python is not available in this host.");
    return MS::kFailure;
}
} // namespace

MStatus MGlobal::executePythonCommand(const MString&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, int&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MIntArray&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, double&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MDoubleArray&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MString&, bool, bool) { return NoPython(); }
MStatus MGlobal::executePythonCommand(const MString&, MStringArray&, bool, bool) { return NoPython(); }
MString MGlobal::executePythonCommandStringResult(const MString&, bool, bool, MStatus* st)
{
    MStatus s = NoPython();
    if (st)
        *st = s;
    return MString();
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
void MThreadUtils::syncNumOpenMPThreads() {}
int MThreadUtils::getCacheLineSize() { return 64; }

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

MTime::MTime() : val(0.0), valUnit(uiUnit()) {}
MTime::MTime(const MTime& src) = default;
MTime::MTime(double time_val, Unit unit) : val(time_val), valUnit(unit) {}
MTime::~MTime() = default;
MTime& MTime::operator=(const MTime& rhs) = default;

MTime::Unit MTime::unit() const { return valUnit; }
double MTime::value() const { return val; }

MStatus MTime::setUnit(Unit new_unit)
{
    if (PerSecond(new_unit) <= 0.0)
        return MS::kInvalidParameter;
    val = as(new_unit);
    valUnit = new_unit;
    return MS::kSuccess;
}

MStatus MTime::setValue(double new_value)
{
    val = new_value;
    return MS::kSuccess;
}

double MTime::as(Unit other_unit) const
{
    const double from = PerSecond(valUnit);
    const double to = PerSecond(other_unit);
    if (from <= 0.0 || to <= 0.0)
        return 0.0;
    return from == to ? val : val / from * to;
}

double MTime::asUnits(Unit other_unit) const { return as(other_unit); }

MTime::Unit MTime::uiUnit() { return static_cast<Unit>(S().timeUnit); }

MStatus MTime::setUIUnit(Unit new_unit)
{
    if (PerSecond(new_unit) <= 0.0)
        return MS::kInvalidParameter;
    S().timeUnit = static_cast<int>(new_unit);
    return MS::kSuccess;
}
