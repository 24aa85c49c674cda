#include "tests/ui/template_reader.h"

namespace {

class Reader {
public:
    Reader(const BYTE* data, size_t length) : base(data), size(length), offset(0), failed(false) {}

    WORD Word()
    {
        if (offset + 2 > size) {
            failed = true;
            return 0;
        }
        WORD value = static_cast<WORD>(base[offset] | (base[offset + 1] << 8));
        offset += 2;
        return value;
    }

    DWORD Dword()
    {
        DWORD low = Word();
        DWORD high = Word();
        return low | (high << 16);
    }

    short Short() { return static_cast<short>(Word()); }

    BYTE Byte()
    {
        if (offset + 1 > size) {
            failed = true;
            return 0;
        }
        return base[offset++];
    }

    // A zero-terminated UTF-16 string of plain ASCII text.
    std::string String()
    {
        std::string text;
        for (WORD c = Word(); c != 0 && !failed; c = Word())
            text += c < 0x80 ? static_cast<char>(c) : '?';
        return text;
    }

    // Either a string or 0xFFFF followed by a number.
    std::string StringOrOrdinal(int* ordinal)
    {
        *ordinal = 0;
        WORD first = Word();
        if (first == 0)
            return std::string();
        if (first == 0xFFFF) {
            *ordinal = Word();
            return std::string();
        }
        offset -= 2;
        return String();
    }

    void AlignDword() { offset = (offset + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t bytes) { offset += bytes; failed = failed || offset > size; }
    bool Failed() const { return failed; }

private:
    const BYTE* base;
    size_t size;
    size_t offset;
    bool failed;
};

std::string PredefinedClass(int ordinal)
{
    switch (ordinal) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    default: return "#" + std::to_string(ordinal);
    }
}

}  // namespace

bool ReadDialogTemplate(int templateId, TemplateDialog* out)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    if (!data)
        return false;
    Reader reader(data, SizeofResource(module, resource));

    if (reader.Word() != 1 || reader.Word() != 0xFFFF)
        return false;
    reader.Dword();   // help id
    out->exStyle = reader.Dword();
    out->style = reader.Dword();
    WORD count = reader.Word();
    out->x = reader.Short();
    out->y = reader.Short();
    out->w = reader.Short();
    out->h = reader.Short();
    int ordinal;
    out->menu = reader.StringOrOrdinal(&ordinal);
    out->className = reader.StringOrOrdinal(&ordinal);
    out->caption = reader.String();
    if (out->style & (DS_SETFONT | DS_SHELLFONT)) {
        out->pointSize = reader.Word();
        reader.Word();   // weight
        reader.Byte();   // italic
        reader.Byte();   // character set
        out->face = reader.String();
    }
    for (WORD i = 0; i < count && !reader.Failed(); ++i) {
        reader.AlignDword();
        TemplateItem item;
        reader.Dword();   // help id
        item.exStyle = reader.Dword();
        item.style = reader.Dword();
        item.x = reader.Short();
        item.y = reader.Short();
        item.w = reader.Short();
        item.h = reader.Short();
        item.id = static_cast<int>(reader.Dword());
        item.className = reader.StringOrOrdinal(&ordinal);
        if (ordinal)
            item.className = PredefinedClass(ordinal);
        item.text = reader.StringOrOrdinal(&item.textOrdinal);
        reader.Skip(reader.Word());   // creation data
        out->items.push_back(item);
    }
    return !reader.Failed();
}
