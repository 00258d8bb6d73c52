// Stand-in host: MString, the host's text type.
#ifndef KHOST_MAYA_MString_h
#define KHOST_MAYA_MString_h

#include <maya/MStatus.h>

class MStringArray;

class OPENMAYA_EXPORT MString
{
public:
    MString();
    MString(const char* charString);
    MString(const wchar_t* wideString);
    MString(const char* charString, int charLength);
    MString(const wchar_t* wideString, int length);
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

    MStatus set(const char* charString);
    MStatus set(const char* charString, int charLength);
    MStatus set(double value);
    MStatus set(double value, int precision);

    const char* asChar() const;
    const char* asChar(int& length) const;
    const char* asUTF8() const;
    const char* asUTF8(int& length) const;
    const wchar_t* asWChar() const;
    const wchar_t* asWChar(int& length) const;

    unsigned int length() const;
    unsigned int numChars() const;
    void clear();

    int index(char c) const;
    int rindex(char c) const;
    MString substring(int start, int end) const;
    MString substringW(int start, int end) const;
    MStatus split(char c, MStringArray& array) const;
    MString toUpperCase() const;
    MString toLowerCase() const;
    MStatus substitute(const MString& first, const MString& second);

    bool isShort() const;
    short asShort() const;
    bool isInt() const;
    int asInt() const;
    bool isUnsigned() const;
    unsigned int asUnsigned() const;
    bool isFloat() const;
    float asFloat() const;
    bool isDouble() const;
    double asDouble() const;

    friend OPENMAYA_EXPORT MString operator+(const char* left, const MString& right);
    friend OPENMAYA_EXPORT std::ostream& operator<<(std::ostream& os, const MString& s);

protected:
    void* api_data;

private:
    friend struct KHostAccess;
};

#endif
