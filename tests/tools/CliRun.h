// Running the built `korvane` in the tests: with standard output and error
// captured in files, or on a pseudo-terminal (to see what an artist sees).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace clitest {

struct CliRun
{
    int status = -1;
    std::string out, err;
};

inline std::string Slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline bool Has(const std::string& s, const std::string& part)
{
    return s.find(part) != std::string::npos;
}

// A fresh scratch directory per test program and name.
inline std::string ScratchDir(const std::string& name)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvane_" + name + "_" + std::to_string(long(getpid())));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Runs `korvane <args>` through the shell (args as written), standard
// output and error redirected into files of `scratch`.
inline CliRun Run(const std::string& scratch, const std::string& args)
{
    const std::string out = scratch + "/stdout", err = scratch + "/stderr";
    const std::string cmd = std::string("'") + KORVANE_EXE + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int rc = std::system(cmd.c_str());
    CliRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
}

// Runs the shell command line `command` with its standard streams on a new
// pseudo-terminal and returns everything written to the terminal in `out`
// (a command may still redirect some streams to files itself).
inline CliRun RunOnTerminal(const std::string& command)
{
    CliRun r;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return r;
    if (pid == 0)
    {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    char buf[4096];
    for (;;)
    {
        pollfd p{master, POLLIN, 0};
        const int ready = poll(&p, 1, 60000);
        if (ready <= 0)
            break;
        const ssize_t n = read(master, buf, sizeof(buf));
        if (n > 0)
            r.out.append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break; // EIO once the child has gone
    }
    close(master);
    int rc = 0;
    waitpid(pid, &rc, 0);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
}

} // namespace clitest
