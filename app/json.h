// One JSON object per line, built as text. Every string goes out as valid
// UTF-8: control characters, quotes and backslashes are escaped, and each
// byte that is not part of a well-formed UTF-8 sequence becomes \ufffd, the
// replacement character, so registry bytes never reach a collector raw.
//
//   JsonWriter json;
//   json.String("message", text);
//   json.BeginObject("event");
//   json.String("action", "value-added");
//   json.EndObject();
//   std::string line = json.Finish();   // {"message":"...","event":{"action":"value-added"}}
#ifndef KEYWARDEN_APP_JSON_H
#define KEYWARDEN_APP_JSON_H

#include <stddef.h>

#include <string>

// Appends text (length bytes, zeros included) as the body of a JSON string,
// without the quotes. With maxOut nonzero, stops before the output would pass
// maxOut bytes, never inside an escape or a UTF-8 sequence; returns false when
// it stopped early.
bool AppendJsonText(std::string& out, const char* text, size_t length, size_t maxOut = 0);

// Standard base64 with padding.
std::string Base64(const unsigned char* data, size_t length);

// The text with every character outside ASCII written as a \u escape (a
// surrogate pair above U+FFFF). The input must be valid UTF-8, as every line
// JsonWriter makes is.
std::string JsonAsciiOnly(const std::string& utf8);

class JsonWriter {
public:
    // With maxString nonzero every string is clipped to that many output bytes
    // and every array to kMaxClippedItems items; Clipped() then tells.
    explicit JsonWriter(size_t maxString = 0);

    void String(const char* key, const std::string& text);
    void String(const char* key, const char* text, size_t length);
    void Bool(const char* key, bool value);
    void Number(const char* key, unsigned long long value);
    void BeginObject(const char* key);
    void EndObject();
    void BeginArray(const char* key);
    void ArrayString(const std::string& text);
    void EndArray();

    // Closes every open object and array; the line, without a newline.
    std::string Finish();
    bool Clipped() const { return clipped; }

    static const size_t kMaxClippedItems = 16;

private:
    void Key(const char* key);
    void Separator();

    std::string out;
    std::string closers;   // what closes each open level, innermost last
    bool first;            // nothing yet at the innermost level
    size_t maxString;
    size_t items;          // in the open array
    bool clipped;
};

#endif
