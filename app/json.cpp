#include "app/json.h"

#include <stdio.h>

namespace {

// Length of the well-formed UTF-8 sequence at p (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 when the byte starts none.
size_t SequenceLength(const unsigned char* p, size_t left)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return length;
}

void AppendEscape(std::string& out, unsigned int unit)
{
    char escape[8];
    snprintf(escape, sizeof escape, "\\u%04x", unit);
    out += escape;
}

}  // namespace

bool AppendJsonText(std::string& out, const char* text, size_t length, size_t maxOut)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    const size_t start = out.size();
    for (size_t i = 0; i < length;) {
        char piece[8];
        size_t pieceLength = 0;
        size_t used = 1;
        const unsigned char c = bytes[i];
        if (c == '"' || c == '\\') {
            piece[0] = '\\';
            piece[1] = static_cast<char>(c);
            pieceLength = 2;
        } else if (c < 0x20) {
            static const char kShort[] = "btn\0fr";  // \b \t \n, \f \r
            if (c >= 8 && c <= 13 && c != 11) {
                piece[0] = '\\';
                piece[1] = kShort[c - 8];
                pieceLength = 2;
            } else {
                pieceLength = static_cast<size_t>(snprintf(piece, sizeof piece, "\\u%04x", c));
            }
        } else {
            used = SequenceLength(bytes + i, length - i);
            if (used == 0) {
                used = 1;
                pieceLength = static_cast<size_t>(snprintf(piece, sizeof piece, "\\ufffd"));
            } else {
                for (size_t k = 0; k < used; ++k)
                    piece[k] = static_cast<char>(bytes[i + k]);
                pieceLength = used;
            }
        }
        if (maxOut && out.size() - start + pieceLength > maxOut)
            return false;
        out.append(piece, pieceLength);
        i += used;
    }
    return true;
}

std::string Base64(const unsigned char* data, size_t length)
{
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    for (size_t i = 0; i < length; i += 3) {
        const size_t left = length - i;
        const unsigned long group = static_cast<unsigned long>(data[i]) << 16 |
                                    (left > 1 ? static_cast<unsigned long>(data[i + 1]) << 8 : 0) |
                                    (left > 2 ? data[i + 2] : 0);
        out += kDigits[group >> 18 & 63];
        out += kDigits[group >> 12 & 63];
        out += left > 1 ? kDigits[group >> 6 & 63] : '=';
        out += left > 2 ? kDigits[group & 63] : '=';
    }
    return out;
}

std::string JsonAsciiOnly(const std::string& utf8)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const size_t length = SequenceLength(bytes + i, utf8.size() - i);
        if (length == 1) {
            out += static_cast<char>(bytes[i++]);
            continue;
        }
        if (length == 0) {
            AppendEscape(out, 0xFFFD);
            ++i;
            continue;
        }
        unsigned long code = bytes[i] & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k)
            code = code << 6 | (bytes[i + k] & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendEscape(out, static_cast<unsigned int>(0xD800 + (code >> 10)));
            AppendEscape(out, static_cast<unsigned int>(0xDC00 + (code & 0x3FF)));
        } else {
            AppendEscape(out, static_cast<unsigned int>(code));
        }
        i += length;
    }
    return out;
}

JsonWriter::JsonWriter(size_t maxOutString)
    : out("{"), closers("}"), first(true), maxString(maxOutString), items(0), clipped(false)
{
}

void JsonWriter::Separator()
{
    if (!first)
        out += ',';
    first = false;
}

void JsonWriter::Key(const char* key)
{
    Separator();
    out += '"';
    out += key;  // the program's own names: plain ASCII
    out += "\":";
}

void JsonWriter::String(const char* key, const std::string& text)
{
    String(key, text.data(), text.size());
}

void JsonWriter::String(const char* key, const char* text, size_t length)
{
    Key(key);
    out += '"';
    if (!AppendJsonText(out, text, length, maxString))
        clipped = true;
    out += '"';
}

void JsonWriter::Bool(const char* key, bool value)
{
    Key(key);
    out += value ? "true" : "false";
}

void JsonWriter::Number(const char* key, unsigned long long value)
{
    Key(key);
    out += std::to_string(value);
}

void JsonWriter::BeginObject(const char* key)
{
    Key(key);
    out += '{';
    closers += '}';
    first = true;
}

void JsonWriter::EndObject()
{
    out += closers.back();
    closers.pop_back();
    first = false;
}

void JsonWriter::BeginArray(const char* key)
{
    Key(key);
    out += '[';
    closers += ']';
    first = true;
    items = 0;
}

void JsonWriter::ArrayString(const std::string& text)
{
    if (maxString && items >= kMaxClippedItems) {
        clipped = true;
        return;
    }
    ++items;
    Separator();
    out += '"';
    if (!AppendJsonText(out, text.data(), text.size(), maxString))
        clipped = true;
    out += '"';
}

void JsonWriter::EndArray()
{
    EndObject();
}

std::string JsonWriter::Finish()
{
    while (!closers.empty()) {
        out += closers.back();
        closers.pop_back();
    }
    return std::move(out);
}
