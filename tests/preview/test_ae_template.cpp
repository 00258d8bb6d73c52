// The Attribute Editor template AEKorvaneTemplate.mel: it must show each of
// the node's inputs exactly once, in the frame of its group word, in the
// order of creation within that frame, and nothing twice. The template is
// read as text and its editorTemplate statements are replayed here.
//
// With the plug-in and the stand-in host built, the same checks also run
// against the attribute list of the registered node type.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../common/NodeInputs.h"

#if defined(KORVANE_TEST_WITH_HOST)
#include <korvane/HeadlessHost.h>
#endif

namespace
{

std::vector<std::string> InputNames()
{
    std::vector<std::string> names;
    for (int i = 0; i < kvt::kNumNodeInputs; ++i)
        names.push_back(kvt::NodeInputAt(i).longName);
    return names;
}

// The top-level frames and the group word of the attributes they hold.
const std::map<std::string, std::string> kFrameGroup = {
    {"File Loading", "fl"},     {"Wavefront Groups", "wf"}, {"Data Treatment", "dt"},
    {"Fixes and Effects", "fx"}, {"Mesh Output", "ms"},
};

// Group word of an input: the two letters after "m_"; m_active belongs to
// file loading (it decides whether any file is loaded).
std::string GroupOf(const std::string& attr)
{
    if (attr == "m_active")
        return "fl";
    return attr.size() > 4 ? attr.substr(2, 2) : std::string();
}

// ---------------------------------------------------------------------------
// A small reader for the MEL subset the template uses.

std::string ReadText(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Index just past the string literal that opens at s[at] (a '"'); escaped
// characters are stepped over. s.size() when the literal is not closed.
size_t StringEnd(const std::string& s, size_t at)
{
    for (size_t i = at + 1; i < s.size(); ++i)
    {
        if (s[i] == '\\')
            ++i;
        else if (s[i] == '"')
            return i + 1;
    }
    return s.size();
}

// Removes // and /* */ comments outside string literals.
std::string StripComments(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i)
    {
        if (s[i] == '"')
        {
            const size_t end = StringEnd(s, i);
            out.append(s, i, end - i);
            i = end - 1;
        }
        else if (s.compare(i, 2, "//") == 0)
        {
            i = std::min(s.find('\n', i), s.size()) - 1;
            out += ' ';
        }
        else if (s.compare(i, 2, "/*") == 0)
        {
            const size_t end = s.find("*/", i + 2);
            i = end == std::string::npos ? s.size() : end + 1;
            out += ' ';
        }
        else
            out += s[i];
    }
    return out;
}

// The body (between the outer braces) of `global proc <name>(...)`, or "".
std::string ProcBody(const std::string& code, const std::string& name, std::string* params = nullptr)
{
    size_t at = 0;
    while ((at = code.find("global proc", at)) != std::string::npos)
    {
        const size_t open = code.find('(', at);
        const size_t close = code.find(')', open);
        if (open == std::string::npos || close == std::string::npos)
            return std::string();
        std::string head = code.substr(at, open - at);
        while (!head.empty() && std::isspace(static_cast<unsigned char>(head.back())))
            head.pop_back();
        if (head.substr(head.find_last_of(" \t\n") + 1) == name)
        {
            if (params)
                *params = code.substr(open + 1, close - open - 1);
            const size_t brace = code.find('{', close);
            int depth = 0;
            for (size_t i = brace; i < code.size(); ++i)
            {
                if (code[i] == '"')
                    i = StringEnd(code, i) - 1;
                else if (code[i] == '{')
                    ++depth;
                else if (code[i] == '}' && --depth == 0)
                    return code.substr(brace + 1, i - brace - 1);
            }
            return std::string();
        }
        at = close;
    }
    return std::string();
}

// The statements of a body split into words; string literals keep their
// quotes so that flags and values can be told apart.
std::vector<std::vector<std::string>> Statements(const std::string& body)
{
    std::vector<std::vector<std::string>> out;
    std::vector<std::string> words;
    std::string word;
    auto flush = [&]() {
        if (!word.empty())
            words.push_back(word);
        word.clear();
    };
    for (size_t i = 0; i < body.size(); ++i)
    {
        const char c = body[i];
        if (c == '"')
        {
            flush();
            const size_t end = StringEnd(body, i);
            word = body.substr(i, end - i);
            flush();
            i = end - 1;
        }
        else if (c == ';')
        {
            flush();
            if (!words.empty())
                out.push_back(words);
            words.clear();
        }
        else if (std::isspace(static_cast<unsigned char>(c)))
            flush();
        else
            word += c;
    }
    flush();
    if (!words.empty())
        out.push_back(words);
    return out;
}

bool IsString(const std::string& w) { return w.size() >= 2 && w.front() == '"' && w.back() == '"'; }
std::string Unquote(const std::string& w) { return IsString(w) ? w.substr(1, w.size() - 2) : w; }

struct Control
{
    std::string attr;
    std::vector<std::string> frames; // enclosing layouts, outermost first
    std::string annotation;          // "" when none
    std::string changeCommand;       // -addControl's optional command
    bool custom = false;             // from -callCustom
    size_t statement = 0;
};

// What the template's editorTemplate statements do, in order.
struct Template
{
    std::vector<Control> controls;
    std::vector<std::string> suppressed;
    std::vector<std::string> topFrames;            // top-level layout titles in order
    std::vector<std::string> customProcs;          // -callCustom new/replace procs
    std::vector<std::string> problems;             // structural faults found while replaying
    size_t beginScroll = 0, endScroll = 0, dependTemplate = 0, extraControls = 0, lastSuppress = 0;
    size_t numStatements = 0;
};

Template Replay(const std::string& body)
{
    Template t;
    std::vector<std::string> frames;
    const auto statements = Statements(body);
    t.numStatements = statements.size();
    for (size_t s = 0; s < statements.size(); ++s)
    {
        const std::vector<std::string>& w = statements[s];
        const size_t pos = s + 1; // 0 means "never seen"
        if (w[0] == "AEdependNodeTemplate")
        {
            if (w.size() != 2 || w[1] != "$nodeName")
                t.problems.push_back("AEdependNodeTemplate must get $nodeName");
            t.dependTemplate = pos;
            continue;
        }
        if (w[0] != "editorTemplate")
        {
            t.problems.push_back("unexpected statement " + w[0]);
            continue;
        }
        std::string annotation;
        for (size_t i = 1; i < w.size(); ++i)
        {
            const std::string& flag = w[i];
            auto value = [&](size_t k) { return i + k < w.size() ? w[i + k] : std::string(); };
            if (flag == "-beginScrollLayout")
                t.beginScroll = pos;
            else if (flag == "-endScrollLayout")
                t.endScroll = pos;
            else if (flag == "-beginLayout")
            {
                const std::string title = Unquote(value(1));
                if (frames.empty())
                    t.topFrames.push_back(title);
                frames.push_back(title);
                ++i;
            }
            else if (flag == "-collapse")
            {
                if (value(1) != "0" && value(1) != "1" && value(1) != "true" && value(1) != "false")
                    t.problems.push_back("-collapse needs 0 or 1");
                ++i;
            }
            else if (flag == "-endLayout")
            {
                if (frames.empty())
                    t.problems.push_back("-endLayout without -beginLayout");
                else
                    frames.pop_back();
            }
            else if (flag == "-annotation")
            {
                annotation = Unquote(value(1));
                ++i;
            }
            else if (flag == "-addControl")
            {
                Control c;
                c.attr = Unquote(value(1));
                c.frames = frames;
                c.annotation = annotation;
                c.statement = pos;
                ++i;
                if (IsString(value(1)))
                {
                    c.changeCommand = Unquote(value(1));
                    ++i;
                }
                t.controls.push_back(c);
            }
            else if (flag == "-callCustom")
            {
                t.customProcs.push_back(Unquote(value(1)));
                t.customProcs.push_back(Unquote(value(2)));
                for (i += 3; i < w.size() && IsString(w[i]); ++i)
                {
                    Control c;
                    c.attr = Unquote(w[i]);
                    c.frames = frames;
                    c.custom = true;
                    c.statement = pos;
                    t.controls.push_back(c);
                }
                --i;
            }
            else if (flag == "-suppress")
            {
                t.suppressed.push_back(Unquote(value(1)));
                t.lastSuppress = pos;
                ++i;
            }
            else if (flag == "-addExtraControls")
                t.extraControls = pos;
            else
                t.problems.push_back("unexpected word " + flag);
        }
    }
    if (!frames.empty())
        t.problems.push_back("unclosed layout " + frames.back());
    return t;
}

class AETemplate : public ::testing::Test
{
protected:
    void SetUp() override
    {
        source = ReadText(KORVANE_AE_TEMPLATE_PATH);
        ASSERT_FALSE(source.empty()) << "cannot read " << KORVANE_AE_TEMPLATE_PATH;
        code = StripComments(source);
        body = ProcBody(code, "AEKorvaneTemplate", &params);
        ASSERT_FALSE(body.empty()) << "no global proc AEKorvaneTemplate";
        tpl = Replay(body);
    }

    // Checks the template against a list of inputs in creation order.
    void ExpectLayoutFollows(const std::vector<std::string>& inputs)
    {
        std::map<std::string, size_t> rank;
        for (size_t i = 0; i < inputs.size(); ++i)
            rank[inputs[i]] = i;

        // Every input once, nothing else.
        std::map<std::string, int> seen;
        for (const Control& c : tpl.controls)
            ++seen[c.attr];
        for (const std::string& name : inputs)
            EXPECT_EQ(seen[name], 1) << name << " must be shown exactly once";
        for (const auto& kv : seen)
            EXPECT_TRUE(rank.count(kv.first)) << kv.first << " is not an input of the node";
        EXPECT_EQ(tpl.controls.size(), inputs.size());

        // Frame by group word; creation order inside each top-level frame.
        std::map<std::string, size_t> lastRank;
        for (const Control& c : tpl.controls)
        {
            ASSERT_FALSE(c.frames.empty()) << c.attr << " outside any frame";
            const std::string& top = c.frames.front();
            ASSERT_TRUE(kFrameGroup.count(top)) << "unknown frame " << top;
            EXPECT_EQ(kFrameGroup.at(top), GroupOf(c.attr)) << c.attr << " in frame " << top;
            if (!rank.count(c.attr))
                continue;
            if (lastRank.count(top))
            {
                EXPECT_GT(rank[c.attr], lastRank[top]) << c.attr << " out of creation order in " << top;
            }
            lastRank[top] = rank[c.attr];
        }

        // Frames in the order of their first attribute.
        std::vector<std::string> expectedFrames;
        for (const std::string& name : inputs)
            for (const auto& kv : kFrameGroup)
                if (kv.second == GroupOf(name) &&
                    std::find(expectedFrames.begin(), expectedFrames.end(), kv.first) == expectedFrames.end())
                    expectedFrames.push_back(kv.first);
        EXPECT_EQ(tpl.topFrames, expectedFrames);

        // No input is hidden.
        for (const std::string& s : tpl.suppressed)
            EXPECT_FALSE(rank.count(s)) << s << " is suppressed";
    }

    std::string source, code, body, params;
    Template tpl;
};

} // namespace

TEST_F(AETemplate, StructureIsSound)
{
    EXPECT_EQ(params, "string $nodeName");
    for (const std::string& p : tpl.problems)
        ADD_FAILURE() << p;
    EXPECT_EQ(tpl.beginScroll, 1u) << "the scroll layout opens first";
    EXPECT_EQ(tpl.endScroll, tpl.numStatements) << "and closes last";
    ASSERT_GT(tpl.dependTemplate, 0u) << "AEdependNodeTemplate $nodeName is missing";
    ASSERT_GT(tpl.extraControls, 0u) << "-addExtraControls is missing";
    EXPECT_LT(tpl.dependTemplate, tpl.extraControls);
    EXPECT_LT(tpl.lastSuppress, tpl.extraControls) << "suppress before -addExtraControls";
    for (const Control& c : tpl.controls)
        EXPECT_LT(c.statement, tpl.dependTemplate) << c.attr << " after the base attributes";
}

TEST_F(AETemplate, ShowsEveryInputOnceInItsFrameInCreationOrder)
{
    ExpectLayoutFollows(InputNames());
}

TEST_F(AETemplate, ShowsNothingTwice)
{
    // The output would otherwise come back through -addExtraControls.
    EXPECT_NE(std::find(tpl.suppressed.begin(), tpl.suppressed.end(), "outMesh"), tpl.suppressed.end());
    std::set<std::string> unique(tpl.suppressed.begin(), tpl.suppressed.end());
    EXPECT_EQ(unique.size(), tpl.suppressed.size()) << "a control is suppressed twice";
}

TEST_F(AETemplate, ActiveHeadsTheOpenFileLoadingFrame)
{
    ASSERT_FALSE(tpl.controls.empty());
    EXPECT_EQ(tpl.controls.front().attr, "m_active");
    EXPECT_EQ(tpl.controls.front().frames, std::vector<std::string>{"File Loading"});
    EXPECT_NE(body.find("-beginLayout \"File Loading\" -collapse 0"), std::string::npos);
}

TEST_F(AETemplate, ControlsAreAnnotatedAndThePatternExplained)
{
    for (const Control& c : tpl.controls)
        EXPECT_TRUE(c.custom || c.annotation.size() > 20u) << c.attr << " has no useful annotation";
    for (const Control& c : tpl.controls)
    {
        if (c.attr != "m_flName")
            continue;
        EXPECT_NE(c.annotation.find("'#'"), std::string::npos) << c.annotation;
        EXPECT_NE(c.annotation.find("zeros"), std::string::npos) << c.annotation;
        EXPECT_NE(c.annotation.find("shot_0007"), std::string::npos) << c.annotation;
    }
}

TEST_F(AETemplate, PathHasAFolderBrowser)
{
    const Control* path = nullptr;
    for (const Control& c : tpl.controls)
        if (c.attr == "m_flPath")
            path = &c;
    ASSERT_NE(path, nullptr);
    EXPECT_TRUE(path->custom) << "m_flPath is drawn by -callCustom";

    // The custom procs and change commands exist with one string argument.
    std::vector<std::string> procs = tpl.customProcs;
    for (const Control& c : tpl.controls)
        if (!c.changeCommand.empty())
            procs.push_back(c.changeCommand);
    ASSERT_FALSE(procs.empty());
    for (const std::string& name : procs)
    {
        std::string args;
        EXPECT_FALSE(ProcBody(code, name, &args).empty()) << "global proc " << name << " is missing";
        EXPECT_EQ(args.substr(0, 7), "string ") << name;
    }

    // The browse button opens a folder dialog and stores the choice.
    const std::string browse = ProcBody(code, "AEKorvaneBrowsePath");
    EXPECT_NE(browse.find("fileDialog2"), std::string::npos);
    EXPECT_NE(browse.find("-fileMode 3"), std::string::npos);
    EXPECT_NE(browse.find("setAttr -type \"string\""), std::string::npos);
}

#if defined(KORVANE_TEST_WITH_HOST)

// The inputs of the registered node type: every attribute that affects outMesh.
TEST_F(AETemplate, FollowsTheRegisteredNodeType)
{
    khost::PluginLoadResult lr = khost::LoadPlugin(KORVANE_PLUGIN_PATH);
    ASSERT_TRUE(lr.loaded) << lr.error;
    std::vector<khost::AttributeInfo> attrs;
    ASSERT_TRUE(khost::TypeAttributes("Korvane", &attrs));

    std::vector<std::string> inputs;
    std::vector<std::string> nice;
    bool hasOutMesh = false;
    for (const khost::AttributeInfo& a : attrs)
    {
        if (a.longName == "outMesh")
            hasOutMesh = true;
        if (std::find(a.affects.begin(), a.affects.end(), "outMesh") != a.affects.end())
        {
            inputs.push_back(a.longName);
            nice.push_back(a.niceName);
        }
    }
    EXPECT_TRUE(hasOutMesh);
    ASSERT_EQ(inputs.size(), static_cast<size_t>(kvt::kNumNodeInputs));
    for (size_t i = 0; i < inputs.size(); ++i)
    {
        EXPECT_EQ(inputs[i], kvt::NodeInputAt(static_cast<int>(i)).longName) << "creation order at " << i;
        EXPECT_EQ(nice[i], kvt::NodeInputAt(static_cast<int>(i)).niceName) << inputs[i];
    }
    ExpectLayoutFollows(inputs);
    khost::UnloadPlugin(lr.name, true);
}

#endif
