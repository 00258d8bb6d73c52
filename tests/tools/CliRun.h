// Running the built `korvane` in the tests: with standard output and error
// captured in files, or (POSIX only) on a pseudo-terminal, to see what an
// artist sees.
//
// Run() takes the arguments as one string in the shell's quoting (words
// split at blanks; '...' literal; "..." with \" \\ \$ \` escapes; a
// backslash outside quotes escapes the next character), splits them itself
// and starts the program directly: posix_spawn on POSIX, CreateProcessW on
// Windows with a command line quoted by the MSVC run time's argv rules. No
// shell is involved on either, so a test's words reach korvane byte for byte
// (backslash paths, '%', '#', ';' ...). Shell operators (> < | ; & $ `)
// outside quotes are refused: the run fails with status -1 and says why.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

inline long ProcessId()
{
#if defined(_WIN32)
    return long(_getpid());
#else
    return long(getpid());
#endif
}

// `path` as a JSON string's contents: backslashes (Windows folders) and
// quotes escaped, as korvane's --json writes them.
inline std::string Json(const std::string& path)
{
    std::string s;
    for (const char c : path)
    {
        if (c == '\\' || c == '"')
            s += '\\';
        s += c;
    }
    return s;
}

// `path` with forward slashes only: how korvane writes a path into a MEL
// command (KorvaneCreate -f "..."), where a backslash would start an escape.
inline std::string Generic(std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

// A fresh scratch directory per test program and name.
inline std::string ScratchDir(const std::string& name)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("korvane_" + name + "_" + std::to_string(ProcessId()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Splits `line` into words by the shell's quoting rules (see the top).
// Returns false, with the reason in `why`, on an unclosed quote or a shell
// operator outside quotes.
inline bool SplitWords(const std::string& line, std::vector<std::string>& words, std::string& why)
{
    words.clear();
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i)
    {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n')
        {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'')
        {
            const size_t end = line.find('\'', i + 1);
            if (end == std::string::npos)
            {
                why = "unclosed ' in: " + line;
                return false;
            }
            word.append(line, i + 1, end - i - 1);
            i = end;
        }
        else if (c == '"')
        {
            size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j)
            {
                if (line[j] == '\\' && j + 1 < line.size() &&
                    (line[j + 1] == '"' || line[j + 1] == '\\' || line[j + 1] == '$' || line[j + 1] == '`'))
                    ++j;
                else if (line[j] == '$' || line[j] == '`')
                {
                    why = "shell expansion in \"...\" is not supported: " + line;
                    return false;
                }
                word += line[j];
            }
            if (j >= line.size())
            {
                why = "unclosed \" in: " + line;
                return false;
            }
            i = j;
        }
        else if (c == '\\')
        {
            if (i + 1 < line.size())
                word += line[++i];
        }
        else if (std::string("<>|;&$`()").find(c) != std::string::npos)
        {
            why = std::string("shell operator '") + c + "' outside quotes is not supported: " + line;
            return false;
        }
        else
            word += c;
    }
    if (inWord)
        words.push_back(word);
    return true;
}

#if defined(_WIN32)

inline std::wstring Widen(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), &w[0], n);
    return w;
}

// Appends `arg` to a command line so that the MSVC run time (and
// CommandLineToArgvW) gives it back unchanged as one argv entry: quoted when
// empty or holding blanks or quotes; inside quotes, backslashes are literal
// except before a quote or the closing quote, where they are doubled, and a
// quote is \".
inline void AppendQuoted(std::wstring& cmd, const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    {
        cmd += arg;
        return;
    }
    cmd += L'"';
    for (size_t i = 0;; ++i)
    {
        size_t backslashes = 0;
        while (i < arg.size() && arg[i] == L'\\')
        {
            ++i;
            ++backslashes;
        }
        if (i == arg.size())
        {
            cmd.append(backslashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"')
            cmd.append(backslashes * 2 + 1, L'\\');
        else
            cmd.append(backslashes, L'\\');
        cmd += arg[i];
    }
    cmd += L'"';
}

// korvane.exe: the build puts every program into one folder, so it is
// beside the running test program (KORVANE_EXE names the file; its folder is
// the build machine's spelling, which need not be a valid Windows path).
inline std::wstring KorvaneExe()
{
    std::wstring self(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD n = GetModuleFileNameW(nullptr, &self[0], DWORD(self.size()));
        if (n < self.size())
        {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
    const std::filesystem::path beside =
        std::filesystem::path(self).parent_path() / std::filesystem::path(Widen(KORVANE_EXE)).filename();
    std::error_code ec;
    if (std::filesystem::exists(beside, ec))
        return beside.wstring();
    return Widen(KORVANE_EXE);
}

inline int Spawn(const std::vector<std::string>& words, const std::string& out, const std::string* err,
                 std::string& why)
{
    const std::wstring exe = KorvaneExe();
    // argv[0] follows other rules (quotes, no escapes); a path holds no quote.
    std::wstring cmd = L"\"" + exe + L"\"";
    for (const std::string& w : words)
    {
        cmd += L' ';
        AppendQuoted(cmd, Widen(w));
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE in = CreateFileW(L"NUL", GENERIC_READ, share, &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE o = CreateFileW(Widen(out).c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    // Both streams into one file: the same handle, so one file position.
    HANDLE e = INVALID_HANDLE_VALUE;
    if (!err)
        DuplicateHandle(GetCurrentProcess(), o, GetCurrentProcess(), &e, 0, TRUE, DUPLICATE_SAME_ACCESS);
    else
        e = CreateFileW(Widen(*err).c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    int status = -1;
    if (in == INVALID_HANDLE_VALUE || o == INVALID_HANDLE_VALUE || e == INVALID_HANDLE_VALUE)
        why = "cannot open the null device or the output files in the scratch folder";
    else
    {
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in;
        si.hStdOutput = o;
        si.hStdError = e;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
            why = "CreateProcessW failed, error " + std::to_string(GetLastError());
        else
        {
            WaitForSingleObject(pi.hProcess, INFINITE);
            DWORD code = 0;
            if (GetExitCodeProcess(pi.hProcess, &code))
                status = int(code);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    for (HANDLE h : {in, o, e})
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    return status;
}

#else

inline int Spawn(const std::vector<std::string>& words, const std::string& out, const std::string* err,
                 std::string& why)
{
    std::vector<std::string> argv0{KORVANE_EXE};
    argv0.insert(argv0.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : argv0)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err)
        posix_spawn_file_actions_addopen(&fa, 2, err->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    else
        posix_spawn_file_actions_adddup2(&fa, 1, 2); // one file, one position (2>&1)
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
    {
        why = std::string("posix_spawn failed: ") + std::strerror(rc);
        return -1;
    }
    int ws = 0;
    while (waitpid(pid, &ws, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

#endif

// Runs `korvane <args>` (args in the shell's quoting, see the top), standard
// input from the null device, standard output and error into files of
// `scratch`; with `oneFile`, both into one file (as 2>&1 does), returned in
// `out`.
inline CliRun Run(const std::string& scratch, const std::string& args, bool oneFile = false)
{
    CliRun r;
    std::vector<std::string> words;
    std::string why;
    const std::string out = scratch + "/stdout", err = scratch + "/stderr";
    if (!SplitWords(args, words, why))
    {
        r.err = "CliRun: " + why;
        return r;
    }
    std::remove(out.c_str());
    std::remove(err.c_str());
    r.status = Spawn(words, out, oneFile ? nullptr : &err, why);
    r.out = Slurp(out);
    if (!oneFile)
        r.err = Slurp(err);
    if (!why.empty())
        r.err = "CliRun: " + why + "\n" + r.err;
    return r;
}

#if !defined(_WIN32)
// Runs the shell command line `command` with its standard streams on a new
// pseudo-terminal and returns everything written to the terminal in `out`
// (a command may still redirect some streams to files itself). POSIX only:
// the tests that use it are about a terminal's progress line.
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
#endif

} // namespace clitest
