// The .obj reader's short paths for reals and corner indices against the
// general conversions they stand in for: every real must come out as
// strtod's double rounded to float, bit for bit, and every index as its
// decimal value, for the forms the short paths take and the ones they hand on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../common/KvTest.h"

using namespace kvt;

namespace {

// One triangle per three tokens, each vertex its own, so that nothing is
// removed by the clean-up and vertex i holds tokens 3i .. 3i+2.
std::string ObjOfTokens(const std::vector<std::string>& tokens)
{
    std::string text;
    for (size_t i = 0; i < tokens.size(); i += 3)
        text += "v " + tokens[i] + " " + tokens[i + 1] + " " + tokens[i + 2] + "\n";
    const size_t numVert = tokens.size() / 3;
    for (size_t v = 0; v + 2 < numVert; v += 3)
        text += "f " + std::to_string(v + 1) + " " + std::to_string(v + 2) + " " + std::to_string(v + 3) + "\n";
    return text;
}

// True when strtod converts the whole token: only then is it a value.
bool WholeToken(const std::string& token)
{
    char* e = nullptr;
    std::strtod(token.c_str(), &e);
    return e != token.c_str() && *e == '\0';
}

// Tokens that strtod converts to their end load as strtod's value; every
// other token (text glued to a number, nothing convertible) is no value, so
// its statement is a value short and the load fails with 50, in the first,
// second or third place of a "v ", "vn " or "vt " statement.
void ExpectStrtodValues(const std::vector<std::string>& all)
{
    std::vector<std::string> tokens, glued;
    for (const std::string& t : all)
        (WholeToken(t) ? tokens : glued).push_back(t);
    while (tokens.size() % 9)
        tokens.push_back("0.125");
    Geo g;
    const std::string path = WriteText("fast_reals.obj", ObjOfTokens(tokens));
    ASSERT_EQ(ReadObj(g, path.c_str(), false, false, nullptr, false), 0);
    ASSERT_EQ(g->_numVert, static_cast<int32_t>(tokens.size() / 3));
    const float* got = &g->_vertPos[0].x;
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        // strtod as the C standard has it: no conversion gives +0 (Windows'
        // msvcrt gives -0 for "-.").
        char* end = nullptr;
        const double ref = std::strtod(tokens[i].c_str(), &end);
        const float want = end == tokens[i].c_str() ? 0.0f : static_cast<float>(ref);
        if (std::isnan(want))
            EXPECT_TRUE(std::isnan(got[i])) << tokens[i];
        else
            EXPECT_EQ(Bits(got[i]), Bits(want)) << "token '" << tokens[i] << "'";
    }
    const char* tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (size_t i = 0; i < glued.size(); ++i)
    {
        const std::string& t = glued[i];
        const int place = static_cast<int>(i % 3);
        std::string vals[3] = {"0.5", "0.5", "0.5"};
        vals[place] = t;
        const std::string three = vals[0] + " " + vals[1] + " " + vals[2] + "\n";
        Geo h;
        std::string text = std::string("v ") + three + tri + "f 1 2 3\n";
        EXPECT_EQ(ReadObj(h, WriteText("glued.obj", text).c_str(), false, false, nullptr, false), 50)
            << "v token '" << t << "'";
        text = std::string(tri) + "vn " + three + "f 1//1 2//1 3//1\n";
        EXPECT_EQ(ReadObj(h, WriteText("glued.obj", text).c_str(), true, false, nullptr, false), 50)
            << "vn token '" << t << "'";
        text = std::string(tri) + "vt " + three + "f 1/1 2/1 3/1\n";
        EXPECT_EQ(ReadObj(h, WriteText("glued.obj", text).c_str(), false, true, nullptr, false), 50)
            << "vt token '" << t << "'";
        // Not taken, the glued statement is not looked at.
        EXPECT_EQ(ReadObj(h, WriteText("glued.obj", text).c_str(), false, false, nullptr, false), 0)
            << "vt token '" << t << "'";
    }
}

std::string Digits(std::mt19937& rng, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>('0' + rng() % 10);
    return s;
}

} // namespace

TEST(ObjFastPaths, HandPickedRealsMatchStrtod)
{
    std::vector<std::string> t = {
        "0", "-0", "+0", "1", "-1", "+1.5", ".5", "-.25", "5.", "1e5", "1E-5", "2.5e+3",
        "0x1A", "-0x10", "0x1p3", "inf", "-nan", "1e", "1e+", "3.25ex", "1.5garbage",
        "0.1", "0.2", "0.3", "1e22", "1e23", "1e-22", "1e-23", "123456789012345678",
        "9007199254740993", "9007199254740992", "0.000000000000000000000000001", "1e-45",
        "3.4028235e38", "3.4028236e38", "1e39", "-1e39", "1.17549435e-38", "7.0064923e-46",
        "4.10221946e-05", "0.00165850599", "1.03999925", "00000000000000000001", "1e00001",
        "12345678901234567890123", "-.", "+-1", "-+1",
        // Names, hexadecimal and cut forms the general conversion decides.
        "nan", "NaN", "nan(123)", "-inf", "Infinity", "infx", "-0x1.8p1", "0x", "abc", ".", "-", "+", "--1",
        "1e400", "-1e400", "1e-50", "1e-320", "1.00000005960464477539062500001", "1.000000059604644775390625",
        "0.000000000000000000000000000000000000000000001401298464324817", "00012.5000", "1,5",
        // Glued forms met in real files.
        "1.#INF", "-1.#INF", "1.#IND", "-1.#QNAN", "3.1+e2", "1e5e5", "0.5f", "2..5", "1.5.", "7-3"};
    ExpectStrtodValues(t);
}

TEST(ObjFastPaths, RandomRealsMatchStrtod)
{
    std::mt19937 rng(1234);
    std::vector<std::string> t;
    char buf[64];
    for (int i = 0; i < 30000; ++i)
    {
        switch (rng() % 5)
        {
        case 0: // printf forms of random floats and doubles
        {
            uint32_t u = static_cast<uint32_t>(rng());
            float f;
            std::memcpy(&f, &u, 4);
            if (!std::isfinite(f))
                f = 1.0f;
            std::snprintf(buf, sizeof(buf), (rng() & 1) ? "%.9g" : "%.17g", (rng() & 1) ? f : double(f) * 1.0000001);
            t.push_back(buf);
            break;
        }
        case 1: // plain decimals with many or few digits
        {
            std::string s = (rng() & 1) ? "-" : "";
            s += Digits(rng, 1 + static_cast<int>(rng() % 12));
            if (rng() % 4)
                s += "." + Digits(rng, static_cast<int>(rng() % 14));
            t.push_back(s);
            break;
        }
        case 2: // exponents around the edges of the exact powers
        {
            std::string s = Digits(rng, 1 + static_cast<int>(rng() % 18));
            const int e = static_cast<int>(rng() % 60) - 30;
            s += "e" + std::to_string(e);
            t.push_back(s);
            break;
        }
        case 3: // a sign, up to 25 digits with the point anywhere, a wide exponent
        {
            std::string s = (rng() % 4 == 0) ? "-" : ((rng() % 4 == 0) ? "+" : "");
            const int n = 1 + static_cast<int>(rng() % 25), dot = static_cast<int>(rng() % (n + 1));
            s += Digits(rng, dot) + "." + Digits(rng, n - dot);
            if (rng() % 4)
                s += "e" + std::to_string(static_cast<int>(rng() % 121) - 60);
            t.push_back(s);
            break;
        }
        default: // near 2^53 and other long integers
        {
            const uint64_t base = (uint64_t(1) << 53) - 50 + rng() % 100;
            std::snprintf(buf, sizeof(buf), "%llu.%u", static_cast<unsigned long long>(base), unsigned(rng() % 10));
            t.push_back(buf);
            break;
        }
        }
    }
    ExpectStrtodValues(t);
}

TEST(ObjFastPaths, RandomGluedFormsFailLikeStrtodSays)
{
    // Numbers of the forms the short paths take, with a character glued on
    // that strtod might or might not take as part of the number: whether the
    // token is a value must follow strtod's end, not the short path's.
    std::mt19937 rng(99);
    const char tails[] = "#+-eE.xXpP,;/abcfinINF0123456789";
    std::vector<std::string> t;
    for (int i = 0; i < 400; ++i)
    {
        std::string s = (rng() & 1) ? "-" : "";
        s += Digits(rng, 1 + static_cast<int>(rng() % 8));
        if (rng() & 1)
            s += "." + Digits(rng, static_cast<int>(rng() % 6));
        if (rng() % 3 == 0)
            s += "e" + std::to_string(static_cast<int>(rng() % 40) - 20);
        const int n = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < n; ++k)
            s += tails[rng() % (sizeof(tails) - 1)];
        t.push_back(s);
    }
    ExpectStrtodValues(t);
}

TEST(ObjFastPaths, CornerIndicesOfEveryLength)
{
    // Few vertices, named through leading zeros and signs with every digit
    // count from 1 to 8 (the short path takes up to seven).
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.5 0.5\nvn 0 0 1\n"
                             "f 1 2 3\nf 01 0000002 00000003/1/1\nf +1/1 2/0000001/1 3/1/00000001\n"
                             "f 0000001/01/001 00000002 000003\n";
    Geo g;
    const std::string path = WriteText("fast_indices.obj", text);
    ASSERT_EQ(ReadObj(g, path.c_str(), true, true, nullptr, false), 0);
    ASSERT_EQ(g->_numPoly, 4);
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(g->_polyVInd[k], k % 3) << k;

    // Out of range in every length: refused.
    const char* bad[] = {"1234567", "12345678", "-1", "0", "0000000", "3000000000000000000001",
                         "000000000000000000001"};
    for (const char* index : bad)
    {
        Geo h;
        const std::string file = WriteText("fast_indices_bad.obj",
                                           std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 ") + index + "\n");
        EXPECT_NE(ReadObj(h, file.c_str(), false, false, nullptr, false), 0) << index;
    }
}

// The sixteen-byte line-end and corner-count scans against a plain one:
// face lines with blanks of every kind and run length, tokens across every
// block boundary (preceding lines of every length shift the alignment),
// trailing blanks and every line break. Each polygon must have the corners
// the plain tokenizer counts, in file order.
TEST(ObjFastPaths, CornerCountsMatchAPlainTokenizer)
{
    std::mt19937 rng(4242u);
    const int numVert = 300;
    std::string text;
    for (int v = 0; v < numVert; ++v)
        text += "v " + std::to_string(v) + " 0 0\n";
    const char* blanks[] = {" ", "  ", "\t", " \t ", "\v", "\f", "                 ", " \f\v "};
    const char* breaks[] = {"\n", "\r\n", "\r", "\n\n", "\r\r\n"};
    std::vector<int> want;
    for (int f = 0; f < 400; ++f)
    {
        text += "#" + std::string(rng() % 40, 'x') + "\n"; // shifts the next line's alignment
        const int corners = 3 + static_cast<int>(rng() % 40);
        std::string line = "f";
        const int first = static_cast<int>(rng() % (numVert - corners)) + 1;
        for (int c = 0; c < corners; ++c)
        {
            line += c == 0 ? " " : blanks[rng() % 8]; // one space after the keyword
            line += std::to_string(first + c);
        }
        if (rng() % 3 == 0)
            line += blanks[rng() % 8];
        text += line + breaks[rng() % 5];
        // The plain tokenizer: runs of non-blank bytes after "f ".
        int n = 0;
        bool inToken = false;
        for (size_t i = 2; i < line.size(); ++i)
        {
            const char ch = line[i];
            const bool blank = ch == ' ' || ch == '\t' || ch == '\v' || ch == '\f';
            if (!blank && !inToken)
                ++n;
            inToken = !blank;
        }
        want.push_back(n);
    }
    Geo g;
    const std::string path = WriteText("fast_corners.obj", text);
    ASSERT_EQ(ReadObj(g, path.c_str(), false, false, nullptr, false), 0);
    ASSERT_EQ(g->_numPoly, static_cast<int32_t>(want.size()));
    for (size_t p = 0; p < want.size(); ++p)
        ASSERT_EQ(g->_polyNumVert[p], want[p]) << "polygon " << p;
}

namespace {

// An index written with leading zeros to width digits (at least its own).
std::string Padded(int index, int width)
{
    std::string s = std::to_string(index);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<size_t>(width) - s.size(), '0');
    return s;
}

} // namespace

// Corner references of every form and field length against a plain reading
// of what each field means: a, a/b/c (the forms the block read takes, up to
// 8 digits a field), and the ones it hands on: a/b, a/b/c/d, a sign, 9 to 12
// digits, text glued after a field. Lines before each face shift it across
// every alignment of the 32-byte block, and the last face ends the text
// without a line break. Every corner must name the vertex, texture
// coordinate and normal the plain reading names.
TEST(ObjFastPaths, CornerFormsMatchAPlainReader)
{
    std::mt19937 rng(2027u);
    const int num = 40;
    std::string text;
    for (int i = 1; i <= num; ++i)
        text += "v " + std::to_string(i) + " 0 0\nvt " + std::to_string(i) + ".5 0\nvn 0 0 " + std::to_string(i) +
                "\n";
    struct Corner
    {
        int v, t, n; // 0: the field is absent
    };
    std::vector<Corner> want;
    std::vector<int> sizes;
    const char* breaks[] = {"\n", "\r\n"};
    const char* blanks[] = {" ", " ", " ", "  ", "\t"};
    int next = 0;
    const int faces = 600;
    for (int f = 0; f < faces; ++f)
    {
        text += "#" + std::string(rng() % 33, 'x') + "\n";
        const int corners = 3 + static_cast<int>(rng() % 4);
        std::string line = "f";
        for (int c = 0; c < corners; ++c)
        {
            Corner k = {next++ % num + 1, static_cast<int>(rng() % num) + 1, static_cast<int>(rng() % num) + 1};
            // Mostly the block read's forms, each field 1 to 8 digits; now
            // and then 9 to 12 digits or another form.
            auto width = [&rng] { return rng() % 8 == 0 ? 9 + static_cast<int>(rng() % 4) : 1 + static_cast<int>(rng() % 8); };
            std::string token;
            switch (rng() % 10)
            {
            case 0:
                token = Padded(k.v, width());
                k.t = k.n = 0;
                break;
            case 1:
                token = Padded(k.v, width()) + "/" + Padded(k.t, width());
                k.n = 0;
                break;
            case 2:
                token = Padded(k.v, width()) + "/" + Padded(k.t, width()) + "/" + Padded(k.n, width()) + "/7";
                break;
            case 3:
                token = "+" + Padded(k.v, width()) + "/" + Padded(k.t, width()) + "/" + Padded(k.n, width());
                break;
            case 4:
                token = Padded(k.v, width()) + "x/" + Padded(k.t, width()) + "/" + Padded(k.n, width()) + "y";
                break;
            default:
                token = Padded(k.v, width()) + "/" + Padded(k.t, width()) + "/" + Padded(k.n, width());
                break;
            }
            line += (c == 0 ? std::string(" ") : std::string(blanks[rng() % 5])) + token;
            want.push_back(k);
        }
        sizes.push_back(corners);
        text += line + (f + 1 < faces ? breaks[rng() % 2] : "");
    }
    Geo g;
    const std::string path = WriteText("fast_corner_forms.obj", text);
    ASSERT_EQ(ReadObj(g, path.c_str(), true, true, nullptr, false), 0);
    ASSERT_EQ(g->_numPoly, faces);
    for (int f = 0; f < faces; ++f)
        ASSERT_EQ(g->_polyNumVert[f], sizes[static_cast<size_t>(f)]) << "polygon " << f;
    ASSERT_EQ(g->NumNodes(), static_cast<int64_t>(want.size()));
    for (size_t k = 0; k < want.size(); ++k)
    {
        const Corner& c = want[k];
        EXPECT_EQ(g->_vertPos[g->_polyVInd[k]].x, static_cast<float>(c.v)) << "corner " << k;
        EXPECT_EQ(g->_nodeUvw[k].x, c.t ? static_cast<float>(c.t) + 0.5f : 0.0f) << "corner " << k;
        EXPECT_EQ(g->_nodeNrm[k].z, c.n ? static_cast<float>(c.n) : 0.0f) << "corner " << k;
        EXPECT_EQ(g->_nodeNrm[k].y, c.n ? 0.0f : 1.0f) << "corner " << k;
    }
}

// An index out of range in each field of a block-read corner, at every field
// length, and a zero field: the code, the line and the reason of the plain
// reading (the same corner with a sign, which the block read hands on).
TEST(ObjFastPaths, CornerRangeFailuresAreTheSameEitherWay)
{
    const std::string head = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n# two\n";
    for (int field = 0; field < 3; ++field)
        for (int width = 1; width <= 8; ++width)
            for (const int bad : {0, 4, 9})
            {
                if (std::to_string(bad).size() > static_cast<size_t>(width))
                    continue;
                std::string fields[3] = {"3", "1", "1"};
                fields[field] = Padded(bad, width);
                const std::string corner = fields[0] + "/" + fields[1] + "/" + fields[2];
                ZNQLoadPlace block, plain;
                Geo g, h;
                const int32_t rcBlock = ReadObj(g, WriteText("fast_corner_bad.obj", head + "f 1/1/1 2/1/1 " + corner + "\n").c_str(),
                                                true, true, nullptr, false, &block);
                const int32_t rcPlain = ReadObj(h, WriteText("fast_corner_bad.obj", head + "f 1/1/1 2/1/1 +" + corner + "\n").c_str(),
                                                true, true, nullptr, false, &plain);
                EXPECT_EQ(rcBlock, 50) << corner;
                EXPECT_EQ(rcBlock, rcPlain) << corner;
                EXPECT_EQ(block.line, 7) << corner;
                EXPECT_EQ(block.line, plain.line) << corner;
                EXPECT_STREQ(block.reason, plain.reason) << corner;
            }
}

// Digits after the point of every count from 0 to 20 (the word step takes
// eight at a time, the byte loop the rest), behind 0 to 5 digits before the
// point, with every sign and exponents inside and outside the exact
// powers; then the same runs with a byte glued on that is no digit, among
// them the bytes of 0xFA and above (which carry when 6 is added) and the
// neighbours of the digits, '/' and ':'.
TEST(ObjFastPaths, FractionsOfEveryLength)
{
    const std::string pattern = "9876543210123456789012345";
    const std::string nines(25, '9');
    std::vector<std::string> t;
    for (const std::string& digits : {pattern, nines, std::string(25, '0')})
        for (int whole = 0; whole <= 5; ++whole)
            for (int frac = 0; frac <= 20; ++frac)
                for (const char* sign : {"", "-", "+"})
                    for (const char* exp : {"", "e5", "E-7", "e+22", "e-30"})
                        t.push_back(sign + digits.substr(0, static_cast<size_t>(whole)) + "." +
                                    digits.substr(5, static_cast<size_t>(frac)) + exp);
    for (int frac = 0; frac <= 17; ++frac)
        for (const char* glue : {"\xFA", "\xFF", "\xF9", "/", ":", "\x80"})
        {
            t.push_back("1." + pattern.substr(0, static_cast<size_t>(frac)) + glue);
            t.push_back("0." + nines.substr(0, static_cast<size_t>(frac)) + glue + "5");
        }
    ExpectStrtodValues(t);
}

// A value that runs into the end of the text without a line break is no
// value, however many digits it has after the point.
TEST(ObjFastPaths, LastValueWithoutLineBreak)
{
    for (int frac = 1; frac <= 18; ++frac)
    {
        const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nv 1 2 0." + std::string(static_cast<size_t>(frac), '7');
        Geo g;
        ZNQLoadPlace place;
        EXPECT_EQ(ReadObj(g, WriteText("fast_cut.obj", text).c_str(), false, false, nullptr, false, &place), 50) << frac;
        EXPECT_EQ(place.line, 5) << frac;
        EXPECT_STREQ(place.reason, "vertex: the last value needs a line break after it") << frac;
    }
}
