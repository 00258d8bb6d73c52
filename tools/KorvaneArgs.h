// Argument helpers shared by the subcommands of the command-line program.
#pragma once

#include <string>

// "WxH" (or "WXH"), each side a whole number from 1 to kPreviewMaxSide, the
// largest image side of the preview renderer. False, with width and height
// unchanged, for any other text.
bool ParseSize(const char* text, int& width, int& height);

// The usage message for a size ParseSize refuses:
// "bad picture size (WxH, 1 to <largest side> each)".
std::string PictureSizeError();

// Prints "korvane <command>: <what> '<arg>'" (without the quoted part when
// arg is null) and then usage on standard error; returns 2, the exit status
// of a usage error.
int ReportUsageError(const char* command, const char* usage, const char* what, const char* arg);
