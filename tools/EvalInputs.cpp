#include "EvalInputs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace korvane
{

std::string NormalizeWords(const std::string& s)
{
    std::string out;
    bool blank = false;
    for (char c : s)
    {
        if (std::isspace(static_cast<unsigned char>(c)))
        {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out += ' ';
        blank = false;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

namespace
{

std::string FirstWord(const std::string& label)
{
    const std::string n = NormalizeWords(label);
    std::string w = n.substr(0, n.find(' '));
    while (!w.empty() && !std::isalnum(static_cast<unsigned char>(w.back())))
        w.pop_back();
    return w;
}

// Aliases of one field before the first-field-wins rule.
std::vector<std::string> OwnAliases(const std::vector<khost::EnumField>& fields, size_t index)
{
    std::vector<std::string> out;
    const std::string n = NormalizeWords(fields[index].label);
    const size_t open = n.rfind('(');
    const size_t close = n.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open + 1)
    {
        std::string inner = n.substr(open + 1, close - open - 1);
        if (!inner.empty() && inner[0] == '.')
            inner.erase(0, 1);
        if (!inner.empty())
        {
            out.push_back(inner);
            if (n.find("ascii") != std::string::npos)
                out.push_back(inner + "-ascii");
        }
    }
    const std::string w = FirstWord(fields[index].label);
    if (!w.empty())
    {
        bool unique = true;
        for (size_t k = 0; k < fields.size(); ++k)
            if (k != index && FirstWord(fields[k].label) == w)
                unique = false;
        if (unique)
            out.push_back(w);
    }
    return out;
}

size_t Distance(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
    {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j)
        {
            const size_t up = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

bool IsInput(const khost::AttributeInfo& a)
{
    return a.writable && a.kind != khost::AttrKind::kMesh && a.kind != khost::AttrKind::kTypedOther;
}

std::string NumberText(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

} // namespace

std::vector<std::string> EnumAliases(const std::vector<khost::EnumField>& fields, size_t index)
{
    std::vector<std::string> out;
    if (index >= fields.size())
        return out;
    for (const std::string& alias : OwnAliases(fields, index))
    {
        bool earlier = false;
        for (size_t k = 0; k < index && !earlier; ++k)
        {
            const std::vector<std::string> other = OwnAliases(fields, k);
            earlier = std::find(other.begin(), other.end(), alias) != other.end();
        }
        if (!earlier && std::find(out.begin(), out.end(), alias) == out.end())
            out.push_back(alias);
    }
    return out;
}

const khost::AttributeInfo* FindInput(const std::vector<khost::AttributeInfo>& attrs,
                                      const std::string& name, std::string* suggestion)
{
    for (const khost::AttributeInfo& a : attrs)
        if (a.longName == name || a.shortName == name)
            return &a;
    const std::string n = NormalizeWords(name);
    for (const khost::AttributeInfo& a : attrs)
        if (!a.niceName.empty() && NormalizeWords(a.niceName) == n)
            return &a;
    // Case-insensitive long names too (m_flloadnormals).
    for (const khost::AttributeInfo& a : attrs)
        if (NormalizeWords(a.longName) == n)
            return &a;
    if (suggestion)
    {
        suggestion->clear();
        size_t best = static_cast<size_t>(-1);
        for (const khost::AttributeInfo& a : attrs)
        {
            if (!IsInput(a))
                continue;
            size_t d = Distance(name, a.longName);
            if (!a.niceName.empty())
                d = std::min(d, Distance(n, NormalizeWords(a.niceName)));
            if (d < best)
            {
                best = d;
                *suggestion = a.longName;
            }
        }
        // Only a name within about half its length is a suggestion.
        if (best > std::max<size_t>(3, name.size() / 2))
            suggestion->clear();
    }
    return nullptr;
}

bool EnumValueText(const khost::AttributeInfo& attr, const std::string& text, std::string* valueText)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (!text.empty() && end && *end == '\0')
    {
        *valueText = std::to_string(v);
        return true;
    }
    const std::string n = NormalizeWords(text);
    for (const khost::EnumField& f : attr.fields)
        if (NormalizeWords(f.label) == n)
        {
            *valueText = std::to_string(f.value);
            return true;
        }
    for (size_t i = 0; i < attr.fields.size(); ++i)
        for (const std::string& alias : EnumAliases(attr.fields, i))
            if (alias == n)
            {
                *valueText = std::to_string(attr.fields[i].value);
                return true;
            }
    return false;
}

std::string ResolveSetting(const std::string& typeName, std::string& attr, std::string& value)
{
    std::vector<khost::AttributeInfo> attrs;
    if (!khost::TypeAttributes(typeName, &attrs))
        return ""; // the host decides
    std::string suggestion;
    const khost::AttributeInfo* a = FindInput(attrs, attr, &suggestion);
    if (!a)
    {
        std::string e = "no input named '" + attr + "'";
        if (!suggestion.empty())
            e += "; did you mean '" + suggestion + "'?";
        else
            e += " (korvane eval --help lists them)";
        return e;
    }
    attr = a->longName;
    if (a->kind == khost::AttrKind::kEnum)
    {
        std::string number;
        if (!EnumValueText(*a, value, &number))
        {
            std::string e = "'" + value + "' is not a value of " + attr + "; use one of";
            for (size_t i = 0; i < a->fields.size(); ++i)
            {
                e += (i ? ", " : " ") + std::to_string(a->fields[i].value);
                const std::vector<std::string> al = EnumAliases(a->fields, i);
                if (!al.empty())
                    e += " (" + al[0] + ")";
            }
            return e;
        }
        value = number;
    }
    return "";
}

void PrintInputs(std::FILE* out, const std::string& typeName)
{
    std::vector<khost::AttributeInfo> attrs;
    if (!khost::TypeAttributes(typeName, &attrs))
        return;
    std::fprintf(out, "\nInputs of the %s node (--set NAME=VALUE; NAME the long name or the nice name):\n",
                 typeName.c_str());
    for (const khost::AttributeInfo& a : attrs)
    {
        if (!IsInput(a))
            continue;
        std::string def;
        if (a.kind == khost::AttrKind::kString)
            def = "\"" + a.defaultString + "\"";
        else if (a.kind == khost::AttrKind::kBool)
            def = a.defaultNumber != 0 ? "on" : "off";
        else
            def = NumberText(a.defaultNumber);
        std::fprintf(out, "  %-26s %-7s default %s", a.longName.c_str(), khost::AttrKindName(a.kind),
                     def.c_str());
        if (!a.niceName.empty())
            std::fprintf(out, "  \"%s\"", a.niceName.c_str());
        std::fputc('\n', out);
        for (size_t i = 0; i < a.fields.size(); ++i)
        {
            std::string al;
            for (const std::string& s : EnumAliases(a.fields, i))
                al += (al.empty() ? "" : ", ") + s;
            std::fprintf(out, "      %d  %s%s%s%s\n", a.fields[i].value, a.fields[i].label.c_str(),
                         al.empty() ? "" : "  (", al.c_str(), al.empty() ? "" : ")");
        }
    }
}

} // namespace korvane
