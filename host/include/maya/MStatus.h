// Stand-in host: MStatus, the result of host API calls.
#ifndef KHOST_MAYA_MStatus_h
#define KHOST_MAYA_MStatus_h

#include <maya/MTypes.h>
#include <maya/MIOStream.h>

class MString;

class OPENMAYA_EXPORT MStatus
{
public:
    enum MStatusCode
    {
        kSuccess = 0,
        kFailure,
        kInsufficientMemory,
        kInvalidParameter,
        kLicenseFailure,
        kUnknownParameter,
        kNotImplemented,
        kNotFound,
        kEndOfFile
    };

    MStatus();
    MStatus(MStatusCode code);
    MStatus(const MStatus& other);
    MStatus& operator=(const MStatus& other);

    // Kept with operator bool: without them, a comparison would compile
    // through the bool and mean something else.
    bool operator==(const MStatus& other) const;
    bool operator==(MStatusCode code) const;
    bool operator!=(const MStatus& other) const;
    bool operator!=(MStatusCode code) const;
    operator bool() const;

    bool error() const;
    MStatusCode statusCode() const;
    void perror(const char* text) const;

    friend OPENMAYA_EXPORT bool operator==(MStatusCode code, const MStatus& status);
    friend OPENMAYA_EXPORT bool operator!=(MStatusCode code, const MStatus& status);

protected:
    unsigned char fStatusCode;
    unsigned char fInternalStatusCode;
    bool fStatus;
};

#if !defined(MNoMSTypedef)
typedef MStatus MS;
#endif

#endif
