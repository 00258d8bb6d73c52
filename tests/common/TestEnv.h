// Setting and removing environment variables in the tests, on every platform.
#pragma once

#include <cstdlib>

namespace kvt
{

// Sets (value non-null) or removes an environment variable. Windows has no
// empty variables: setting one to "" removes it there.
inline void SetVariable(const char* name, const char* value)
{
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

} // namespace kvt
