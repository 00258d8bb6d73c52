// Fuzz target: the KorvaneCreate command, argument parsing included, as a
// user runs it: through the headless host with the built plug-in loaded.
//
// The parser reads an MArgList and reports through MGlobal, so it cannot run
// without a host; the stand-in host gives the real call path (the host's
// command line, MArgList, the plug-in's doIt, the network commands it runs)
// at a few microseconds per command.
//
// Input: argument words separated by '\n' (NUL bytes dropped), at most 16.
// Each word is passed quoted, so blanks, ';' and quotes stay inside it.
//
// Checks: the command returns; a plain node name as base name leaves exactly
// one new network (transform, shape, node, one connection, the transform
// selected); any other base name, like a syntax error, fails with its status
// and creates nothing, so no text of the input can run as a host command;
// the help text creates nothing; every line the command shows carries its
// tag or is a usage line. The scene is emptied after every input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "korvane/HeadlessHost.h"

namespace
{

std::string Quote(const std::string& word)
{
    std::string q = "\"";
    for (char c : word)
    {
        if (c == '"' || c == '\\')
            q += '\\';
        if (c == '\t')
        {
            q += "\\t";
            continue;
        }
        q += c;
    }
    return q + "\"";
}

// A node name as the command accepts it: letters, digits and '_', not
// beginning with a digit.
bool NodeName(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return !(s[0] >= '0' && s[0] <= '9');
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const khost::PluginLoadResult r = khost::LoadPlugin(KORVANE_PLUGIN_PATH);
    if (!r.loaded || r.status != khost::kSuccess)
    {
        std::fprintf(stderr, "cannot load the plug-in %s: %s\n", KORVANE_PLUGIN_PATH, r.error.c_str());
        std::abort();
    }
    khost::TakeMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> words(1);
    for (size_t i = 0; i < size && words.size() <= 16; ++i)
    {
        const char c = static_cast<char>(data[i]);
        if (c == '\n')
            words.emplace_back();
        else if (c != '\0')
            words.back() += c;
    }
    if (words.size() > 16)
        words.resize(16);
    if (size == 0)
        words.clear();

    std::string line = "KorvaneCreate";
    for (const std::string& w : words)
        line += " " + Quote(w);

    const size_t nodesBefore = khost::ListNodes().size();
    const khost::CommandResult r = khost::Execute(line);
    const std::vector<khost::Message> messages = khost::TakeMessages();

    // The flags as the command reads them, to know what it should have done.
    bool help = false;
    bool syntaxError = false;
    bool badName = false;
    bool hasFile = false;
    std::string base = "Korvane";
    for (size_t i = 0; i < words.size() && !help && !syntaxError && !badName; i += 2)
    {
        const std::string& flag = words[i];
        const std::string value = i + 1 < words.size() ? words[i + 1] : std::string();
        if (flag == "-h" || flag == "-help" || flag == "--help")
            help = true;
        else if (flag == "-v" && (value == "0" || value == "1" || value == "on" || value == "off"))
            continue;
        else if (flag == "-f" || flag == "-file")
        {
            if (i + 1 >= words.size() || value.empty())
                syntaxError = true;
            else
                hasFile = true;
        }
        else if (flag != "-n" || value.empty() || value[0] == '-')
            syntaxError = true;
        else if (!NodeName(value))
            badName = true;
        else
            base = value;
    }

    if (help)
    {
        KFUZZ_CHECK(r.status == khost::kSuccess);
        KFUZZ_CHECK(khost::ListNodes().size() == nodesBefore);
    }
    else if (syntaxError || badName)
    {
        KFUZZ_CHECK(r.status == (badName ? khost::kInvalidParameter : khost::kFailure));
        KFUZZ_CHECK(khost::ListNodes().size() == nodesBefore);
    }
    else if (hasFile)
    {
        // A file the fuzzer names is almost never a cache frame: refused with
        // nothing made; when it is one, the network and its time expression.
        if (r.status == khost::kSuccess)
            KFUZZ_CHECK(khost::ListNodes().size() >= nodesBefore + 3);
        else
        {
            KFUZZ_CHECK(r.status == khost::kFailure);
            KFUZZ_CHECK(khost::ListNodes().size() == nodesBefore);
        }
    }
    else
    {
        KFUZZ_CHECK(r.status == khost::kSuccess);
        KFUZZ_CHECK(khost::ListNodes().size() == nodesBefore + 3);
        KFUZZ_CHECK(khost::ListConnections().size() == 1);
        KFUZZ_CHECK(khost::Selection().size() == 1);
        // base + "1", or the next free number when the scene has that name
        // already (time1 is in every scene, so "-n time" gives time2).
        const std::string made = khost::Selection()[0];
        KFUZZ_CHECK(made.size() > base.size() && made.compare(0, base.size(), base) == 0);
        KFUZZ_CHECK(made.find_first_not_of("0123456789", base.size()) == std::string::npos);
        KFUZZ_CHECK(made == base + "1" || base == "time");
    }
    for (const khost::Message& m : messages)
        KFUZZ_CHECK(StartsWith(m.text, "[KorvaneCreate] ") || StartsWith(m.text, "usage: ") ||
                    StartsWith(m.text, "    -") || StartsWith(m.text, "example: ") ||
                    m.kind == khost::MessageKind::kError);

    khost::NewScene();
    khost::TakeMessages();
    return 0;
}
