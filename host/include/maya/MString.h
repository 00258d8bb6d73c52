// Stand-in host: MString, the host's text type.
#ifndef KHOST_MAYA_MString_h
#define KHOST_MAYA_MString_h

#include <maya/MStatus.h>

class OPENMAYA_EXPORT MString
{
public:
    MString();
    MString(const char* charString);
    MString(const wchar_t* wideString);
    MString(const MString& other);
    ~MString();

    MString& operator+=(const MString& other);
    MString& operator+=(const char* other);
    MString& operator+=(double other);
    MString& operator+=(int other);
    MString& operator+=(unsigned int other);
    MString& operator+=(float other);
    MString& operator=(const MString& other);
    MString& operator=(const char* other);
    MString& operator=(double value);

    bool operator==(const MString& other) const;
    bool operator==(const char* other) const;
    bool operator!=(const MString& other) const;
    bool operator!=(const char* other) const;

    MString operator+(const MString& other) const;
    MString operator+(const char* other) const;
    MString operator+(double value) const;

    const char* asChar() const;
    const char* asChar(int& length) const;
    unsigned int length() const;
    void clear();
    MString substring(int start, int end) const;

protected:
    void* api_data;

private:
    friend struct KHostAccess;
};

#endif
