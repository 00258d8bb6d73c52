// Replays stored fuzz inputs through a target's LLVMFuzzerTestOneInput
// without libFuzzer, so that every build (gcc too, sanitizers or not) runs
// the seed corpora and every input that ever crashed or hung.
//
// Usage: <program> <file or directory>...   Directories are read in name
// order, one level deep; missing ones are skipped. Exit code 0 when every
// input returned; a failing check aborts the program.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

static bool RunFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, as libFuzzer hands it over, so an
    // over-read is seen by the sanitizers.
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    return true;
}

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    size_t runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i)
    {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec))
        {
            std::vector<fs::path> files;
            for (const fs::directory_entry& e : fs::directory_iterator(arg, ec))
                if (e.is_regular_file() && e.path().filename().string()[0] != '.' &&
                    e.path().filename() != "README.md")
                    files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& f : files)
            {
                std::printf("replay %s\n", f.string().c_str());
                std::fflush(stdout);
                ok = RunFile(f) && ok;
                ++runs;
            }
        }
        else if (fs::is_regular_file(arg, ec))
        {
            ok = RunFile(arg) && ok;
            ++runs;
        }
        else
        {
            std::printf("skipped (missing): %s\n", argv[i]);
        }
    }
    std::printf("%zu inputs replayed\n", runs);
    return ok ? 0 : 1;
}
