// Stand-in host: the exported API version text of a plug-in.
// Defines MApiVersion: include it (through MFnPlugin.h) in exactly one
// translation unit of a plug-in, or define MNoVersionString before it.
#ifndef KHOST_MAYA_MApiVersion_h
#define KHOST_MAYA_MApiVersion_h

#include <maya/MTypes.h>

#if !defined(MNoVersionString)
extern "C" {
PLUGIN_EXPORT char MApiVersion[] = "201600";
}
#endif

#endif
