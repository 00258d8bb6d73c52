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

    bool operator==(const MStatus& other) const;
    bool operator==(MStatusCode code) const;
    bool operator!=(const MStatus& other) const;
    bool operator!=(MStatusCode code) const;
    operator bool() const;

    bool error() const;
    void clear();
    MStatusCode statusCode() const;
    MString errorString() const;
    void perror(const char* text) const;
    void perror(const MString& text) const;

    void set(bool status, unsigned char internalCode, unsigned char code);
    void setSuccess();

    friend OPENMAYA_EXPORT bool operator==(MStatusCode code, const MStatus& status);
    friend OPENMAYA_EXPORT bool operator!=(MStatusCode code, const MStatus& status);
    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, MStatus& status);

protected:
    unsigned char fStatusCode;
    unsigned char fInternalStatusCode;
    bool fStatus;
};

#if !defined(MNoMSTypedef)
typedef MStatus MS;
#endif

#define MFAIL(status) ((status).error())

#define CHECK_MSTATUS(_status)                                                  \
    {                                                                           \
        MStatus _maya_status = (_status);                                       \
        if (MStatus::kSuccess != _maya_status)                                  \
        {                                                                       \
            std::cerr << "\nAPI error detected in " << __FILE__ << " at line " \
                      << __LINE__ << std::endl;                                 \
            _maya_status.perror("");                                            \
        }                                                                       \
    }

#define CHECK_MSTATUS_AND_RETURN(_status, _retVal)                              \
    {                                                                           \
        MStatus _maya_status = (_status);                                       \
        if (MStatus::kSuccess != _maya_status)                                  \
        {                                                                       \
            std::cerr << "\nAPI error detected in " << __FILE__ << " at line " \
                      << __LINE__ << std::endl;                                 \
            _maya_status.perror("");                                            \
            return (_retVal);                                                   \
        }                                                                       \
    }

#define CHECK_MSTATUS_AND_RETURN_IT(_status) CHECK_MSTATUS_AND_RETURN((_status), (_status))

#endif
