#include "KorvaneJson.h"

#include <cmath>

namespace korvane {

void JsonString(std::string& out, const char* s)
{
    out += '"';
    for (const char* p = s ? s : ""; *p; ++p)
    {
        unsigned char c = static_cast<unsigned char>(*p);
        switch (c)
        {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20)
            {
                char buf[8];
                std::snprintf(buf, sizeof(buf), "\\u%04x", c);
                out += buf;
            }
            else
                out += static_cast<char>(c);
        }
    }
    out += '"';
}

void JsonFloat(std::string& out, float v)
{
    if (std::isnan(v))
        out += "\"nan\"";
    else if (std::isinf(v))
        out += v > 0 ? "\"inf\"" : "\"-inf\"";
    else
    {
        char buf[32];
        std::snprintf(buf, sizeof(buf), "%.9g", static_cast<double>(v));
        out += buf;
    }
}

void JsonFloats(std::string& out, const float* v, int n)
{
    out += '[';
    for (int i = 0; i < n; ++i)
    {
        if (i)
            out += ',';
        JsonFloat(out, v[i]);
    }
    out += ']';
}

void JsonTuples(std::string& out, const float* v, int64_t count, int width)
{
    if (!v)
    {
        out += "null";
        return;
    }
    out += '[';
    for (int64_t i = 0; i < count; ++i)
    {
        if (i)
            out += ',';
        JsonFloats(out, v + i * width, width);
    }
    out += ']';
}

void JsonInts(std::string& out, const int32_t* v, int64_t count)
{
    if (!v)
    {
        out += "null";
        return;
    }
    out += '[';
    char buf[16];
    for (int64_t i = 0; i < count; ++i)
    {
        if (i)
            out += ',';
        std::snprintf(buf, sizeof(buf), "%d", v[i]);
        out += buf;
    }
    out += ']';
}

void JsonBytesAsInts(std::string& out, const uint8_t* v, int64_t count)
{
    if (!v)
    {
        out += "null";
        return;
    }
    out += '[';
    char buf[8];
    for (int64_t i = 0; i < count; ++i)
    {
        if (i)
            out += ',';
        std::snprintf(buf, sizeof(buf), "%u", static_cast<unsigned>(v[i]));
        out += buf;
    }
    out += ']';
}

} // namespace korvane
