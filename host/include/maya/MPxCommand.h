// Stand-in host: MPxCommand, the base of plug-in commands.
#ifndef KHOST_MAYA_MPxCommand_h
#define KHOST_MAYA_MPxCommand_h

#include <maya/MTypes.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

class MArgList;
class MIntArray;
class MDoubleArray;
class MStringArray;

class OPENMAYA_EXPORT MPxCommand
{
public:
    MPxCommand();
    virtual ~MPxCommand();

    virtual MStatus doIt(const MArgList& args);
    virtual MStatus undoIt();
    virtual MStatus redoIt();
    virtual bool isUndoable() const;
    virtual bool hasSyntax() const;

    static void displayInfo(const MString& theInfo);
    static void displayWarning(const MString& theWarning, bool showLineNumber = false);
    static void displayError(const MString& theError, bool showLineNumber = false);

    static void clearResult();
    static void setResult(unsigned int val);
    static void setResult(int val);
    static void setResult(double val);
    static void setResult(bool val);
    static void setResult(const char* val);
    static void setResult(const MString& val);
    static void setResult(const MIntArray& val);
    static void setResult(const MDoubleArray& val);
    static void setResult(const MStringArray& val);
    static void appendToResult(unsigned int val);
    static void appendToResult(int val);
    static void appendToResult(double val);
    static void appendToResult(bool val);
    static void appendToResult(const char* val);
    static void appendToResult(const MString& val);
    static void appendToResult(const MStringArray& val);

private:
    MPxCommand(const MPxCommand&);
    MPxCommand& operator=(const MPxCommand&);
    void* data;
};

#endif
