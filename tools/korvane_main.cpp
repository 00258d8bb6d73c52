// korvane: the command-line program. Inspects cache files and runs the
// plug-in inside the headless host. Exit status: 0 success, 1 load or
// evaluation failed, 2 usage error.
#include <cstdio>
#include <cstring>

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
                 "       korvane convert INPUT OUTPUT [load options] [--ascii] [--frames SPEC]\n"
                 "                    (INPUT a file or PATTERN; OUTPUT's extension picks the format)\n"
                 "       korvane sample DIR   (writes the bundled sample cache)\n"
                 "'korvane info --help' and 'korvane eval --help' describe each command.\n");
}

int main(int argc, char** argv)
{
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
    if (!std::strcmp(cmd, "info"))
        return KorvaneInfoMain(argc - 1, argv + 1);
    if (!std::strcmp(cmd, "eval"))
        return KorvaneEvalMain(argc - 1, argv + 1);
    if (!std::strcmp(cmd, "convert"))
        return KorvaneConvertMain(argc - 1, argv + 1);
    if (!std::strcmp(cmd, "sample"))
        return KorvaneSampleMain(argc - 1, argv + 1);
    std::fprintf(stderr, "korvane: unknown subcommand '%s'\n", cmd);
    Usage(stderr);
    return 2;
}
