// korvane: the command-line program. Inspects cache files and runs the
// plug-in inside the headless host. Exit status: 0 success, 1 load or
// evaluation failed, 2 usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <omp.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#if defined(KORVANE_HAVE_HOST)
#include "korvane/HeadlessHost.h"
#endif

// Subcommands, each in its own file; a weak default reports "not built".
int KorvaneInfoMain(int argc, char** argv);
int KorvaneEvalMain(int argc, char** argv);
int KorvaneSampleMain(int argc, char** argv);
int KorvaneConvertMain(int argc, char** argv);

#if defined(__GNUC__)
#define KORVANE_WEAK __attribute__((weak))
#else
#define KORVANE_WEAK
#endif

KORVANE_WEAK int KorvaneInfoMain(int, char**)
{
    std::fprintf(stderr, "korvane: 'info' is not available in this build\n");
    return 2;
}
KORVANE_WEAK int KorvaneEvalMain(int, char**)
{
    std::fprintf(stderr, "korvane: 'eval' is not available in this build\n");
    return 2;
}
KORVANE_WEAK int KorvaneSampleMain(int, char**)
{
    std::fprintf(stderr, "korvane: 'sample' is not available in this build\n");
    return 2;
}
KORVANE_WEAK int KorvaneConvertMain(int, char**)
{
    std::fprintf(stderr, "korvane: 'convert' is not available in this build\n");
    return 2;
}

static void Usage(FILE* f)
{
    std::fprintf(f,
                 "usage: korvane info FILE [--normals] [--motions] [--colors] [--uvws] [--all]\n"
                 "                         [--groups NAMES] [--invert-groups] [--json [--data]]\n"
                 "                         [--png PICTURE [--size WxH]]\n"
                 "       korvane info PATTERN [load options] [--frames A-B] [--json] [--quiet]\n"
                 "                         (checks a whole sequence, e.g. cache/File.####.znq)\n"
                 "       korvane eval [--plugin PATH] [--create-args \"...\"] [--set ATTR=VALUE]...\n"
                 "                    [--frames A|A-B|A-B:STEP] [--out PATTERN] [--json [--data]]\n"
                 "       korvane convert INPUT OUTPUT [load options] [--ascii] [--frames LIST]\n"
                 "                    (INPUT a file or PATTERN; OUTPUT's extension picks the format)\n"
                 "       korvane sample DIR   (writes the bundled sample cache)\n"
                 "info, eval and convert also take --threads N: the threads that loading and the derived\n"
                 "data may use (default: all cores); the results are the same for every N.\n"
                 "'korvane info --help' and 'korvane eval --help' describe each command.\n");
}

// Takes "--threads N" out of a subcommand's arguments (argv[0] is the
// subcommand) and sets the thread count of loading, derived data and the
// host. The values of the subcommands' own options are skipped, so that such
// a value may read "--threads". Returns false, with a message, for a bad N.
static bool TakeThreadsOption(int& argc, char** argv)
{
    static const char* const kTakesValue[] = {"--png",    "--size", "--frames", "--groups", "--plugin",
                                              "--create-args", "--set", "--out", "--time", "--fps",
                                              "--show"};
    int threads = 0;
    int out = 1;
    for (int i = 1; i < argc; ++i)
    {
        if (!std::strcmp(argv[i], "--threads"))
        {
            const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
            char* end = nullptr;
            const long n = v ? std::strtol(v, &end, 10) : 0;
            if (!v || end == v || *end != '\0' || n < 1 || n > 4096)
            {
                std::fprintf(stderr, "korvane: --threads needs a whole number from 1 to 4096, got '%s'\n",
                             v ? v : "");
                return false;
            }
            threads = static_cast<int>(n);
            ++i;
            continue;
        }
        argv[out++] = argv[i];
        for (const char* name : kTakesValue)
            if (!std::strcmp(argv[i], name) && i + 1 < argc)
            {
                argv[out++] = argv[++i];
                break;
            }
    }
    argv[out] = nullptr;
    argc = out;
    if (threads > 0)
    {
        omp_set_num_threads(threads);
#if defined(KORVANE_HAVE_HOST)
        khost::SetNumThreads(threads); // the node passes the host's count on
#endif
    }
    return true;
}

int main(int argc, char** argv)
{
#if defined(_WIN32)
    // The same bytes on every platform: the C run time's text mode would
    // write every "\n" of the tables, JSON lines and messages as "\r\n"
    // (and so a JSON line's end differed from the Linux build's).
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    if (argc < 2)
    {
        Usage(stderr);
        return 2;
    }
    const char* cmd = argv[1];
    if (!std::strcmp(cmd, "-h") || !std::strcmp(cmd, "--help") || !std::strcmp(cmd, "help"))
    {
        Usage(stdout);
        return 0;
    }
    if (!std::strcmp(cmd, "info") || !std::strcmp(cmd, "eval") || !std::strcmp(cmd, "convert"))
    {
        int subArgc = argc - 1;
        if (!TakeThreadsOption(subArgc, argv + 1))
            return 2;
        if (!std::strcmp(cmd, "info"))
            return KorvaneInfoMain(subArgc, argv + 1);
        if (!std::strcmp(cmd, "eval"))
            return KorvaneEvalMain(subArgc, argv + 1);
        return KorvaneConvertMain(subArgc, argv + 1);
    }
    if (!std::strcmp(cmd, "sample"))
        return KorvaneSampleMain(argc - 1, argv + 1);
    std::fprintf(stderr, "korvane: unknown subcommand '%s'\n", cmd);
    Usage(stderr);
    return 2;
}
