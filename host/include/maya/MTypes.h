// Stand-in host: basic types, export macros and the API version.
#ifndef KHOST_MAYA_MTypes_h
#define KHOST_MAYA_MTypes_h

#define MAYA_API_VERSION 201600

#if !defined(NULL)
#define NULL 0L
#endif

#if defined(_WIN64) || defined(__x86_64__) || defined(__aarch64__) || defined(__LP64__)
#if !defined(MBits64_)
#define MBits64_
#endif
#endif

// The host's headers are written for Microsoft's compiler on Windows: they
// spell the attribute _declspec and use the built-in type __int64. MinGW's
// compiler knows __declspec and long long (its C run time's headers define
// __int64 the same way).
#if defined(_WIN32) && defined(__GNUC__)
#if !defined(_declspec)
#define _declspec(x) __declspec(x)
#endif
#if !defined(__int64)
#define __int64 long long
#endif
#endif

#if !defined(PLUGIN_EXPORT)
#if defined(_WIN32)
#define PLUGIN_EXPORT _declspec(dllexport)
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif
#endif

#if !defined(OPENMAYA_EXPORT)
#if defined(_WIN32)
#define OPENMAYA_EXPORT _declspec(dllimport)
#else
#define OPENMAYA_EXPORT __attribute__((visibility("default")))
#endif
#endif

#if !defined(FND_EXPORT)
#if defined(_WIN32)
#define FND_EXPORT _declspec(dllimport)
#else
#define FND_EXPORT __attribute__((visibility("default")))
#endif
#endif

#if defined(NT_PLUGIN)
#if !defined(_BOOL)
#define _BOOL
#endif
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#if !defined(WIN32_LEAN_AND_MEAN)
#define WIN32_LEAN_AND_MEAN
#endif
#endif

#if defined(_WIN32)
typedef __int64 MInt64;
#else
typedef long MInt64;
#endif

class MStatus;
class MSyntax;

typedef void* (*MCreatorFunction)();
typedef MStatus (*MInitializeFunction)();
typedef MSyntax (*MCreateSyntaxFunction)();

class OPENMAYA_EXPORT MSpace
{
public:
    enum Space
    {
        kInvalid = 0,
        kTransform = 1,
        kPreTransform = 2,
        kPostTransform = 3,
        kWorld = 4,
        kObject = kPreTransform,
        kLast = 5
    };
};

#endif
