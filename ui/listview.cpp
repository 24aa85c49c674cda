#include "ui/listview.h"

#include <unordered_set>

namespace {

// Under Wine every edit of a list that draws costs milliseconds (its scroll
// bars are set again each time); past this many, drawing waits for the end.
const size_t kEditsDrawnOneByOne = 8;

const std::string& CellText(const ListRow& row, size_t column)
{
    static const std::string empty;
    return column < row.texts.size() ? row.texts[column] : empty;
}

// Stops the list drawing while it lives, then draws it once.
class DrawingPaused {
public:
    DrawingPaused(HWND list, bool pause) : hwnd(pause ? list : nullptr)
    {
        if (hwnd)
            SendMessageA(hwnd, WM_SETREDRAW, FALSE, 0);
    }
    ~DrawingPaused()
    {
        if (!hwnd)
            return;
        SendMessageA(hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    DrawingPaused(const DrawingPaused&) = delete;
    DrawingPaused& operator=(const DrawingPaused&) = delete;

private:
    HWND hwnd;
};

}  // namespace

LRESULT ListView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return Window::WindowProc(message, wParam, lParam);
}

int ListView::OnAttach()
{
    Send(LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(CLR_NONE));
    return 1;
}

DWORD ListView::SetExtendedStyle(DWORD styles)
{
    return static_cast<DWORD>(Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(styles)));
}

int ListView::InsertColumn(int column, const char* text, int format, int width, int subItem)
{
    LVCOLUMNA record = {};
    record.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    record.fmt = format;
    record.cx = width;
    // The control copies the text; it never writes through this pointer.
    record.pszText = const_cast<char*>(text);
    record.iSubItem = subItem;
    return static_cast<int>(Send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                                 reinterpret_cast<LPARAM>(&record)));
}

LRESULT ListView::DeleteAllItems()
{
    shown.clear();
    return Send(LVM_DELETEALLITEMS, 0, 0);
}

LPARAM ListView::GetItemParam(int item)
{
    LVITEMA record = {};
    record.mask = LVIF_PARAM;
    record.iItem = item;
    record.iSubItem = 0;
    if (!Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&record)))
        return 0;
    return record.lParam;
}

int ListView::NextItem(int after, UINT flags)
{
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(after), MAKELPARAM(flags, 0)));
}

void ListView::InsertRow(int index, const ListRow& row)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(CellText(row, 0).c_str());
    Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    UpdateRow(index, ListRow(), row, true);
}

size_t ListView::UpdateRow(int index, const ListRow& from, const ListRow& to, bool apply)
{
    size_t set = 0;
    const size_t columns = from.texts.size() > to.texts.size() ? from.texts.size() : to.texts.size();
    for (size_t column = 0; column < columns; ++column) {
        const std::string& text = CellText(to, column);
        if (text == CellText(from, column))
            continue;
        ++set;
        if (!apply)
            continue;
        LVITEMA cell = {};
        cell.iSubItem = static_cast<int>(column);
        cell.pszText = const_cast<char*>(text.c_str());
        Send(LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&cell));
    }
    return set;
}

void ListView::SetRows(std::vector<ListRow> rows)
{
    bool sameKeys = rows.size() == shown.size();
    for (size_t i = 0; sameKeys && i < rows.size(); ++i)
        sameKeys = rows[i].key == shown[i].key;
    if (sameKeys) {
        size_t edits = 0;
        for (size_t i = 0; i < rows.size(); ++i)
            edits += UpdateRow(static_cast<int>(i), shown[i], rows[i], false);
        if (edits) {
            DrawingPaused paused(hwnd, edits > kEditsDrawnOneByOne);
            for (size_t i = 0; i < rows.size(); ++i)
                UpdateRow(static_cast<int>(i), shown[i], rows[i], true);
        }
        shown = std::move(rows);
        return;
    }

    // A row that moves is inserted anew: its selection and focus are read
    // before anything changes and given back when it is inserted.
    std::unordered_set<std::string> selected, wanted;
    for (int item = NextItem(-1, LVNI_SELECTED); item >= 0 && static_cast<size_t>(item) < shown.size();
         item = NextItem(item, LVNI_SELECTED))
        selected.insert(shown[static_cast<size_t>(item)].key);
    const int focusedItem = NextItem(-1, LVNI_FOCUSED);
    const std::string* focused =
        focusedItem >= 0 && static_cast<size_t>(focusedItem) < shown.size() ? &shown[static_cast<size_t>(focusedItem)].key
                                                                             : nullptr;
    for (const ListRow& row : rows)
        wanted.insert(row.key);

    DrawingPaused paused(hwnd, true);
    // The items are rows[0..i) followed by shown[old..): rows that go are
    // deleted where they stand, a row that stays is updated in place.
    size_t old = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int index = static_cast<int>(i);
        for (; old < shown.size() && !wanted.count(shown[old].key); ++old)
            Send(LVM_DELETEITEM, i, 0);
        if (old < shown.size() && shown[old].key == rows[i].key) {
            UpdateRow(index, shown[old++], rows[i], true);
            continue;
        }
        InsertRow(index, rows[i]);
        UINT state = selected.count(rows[i].key) ? LVIS_SELECTED : 0;
        if (focused && *focused == rows[i].key)
            state |= LVIS_FOCUSED;
        if (state) {
            LVITEMA item = {};
            item.stateMask = item.state = state;
            Send(LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
        }
    }
    for (; old < shown.size(); ++old)
        Send(LVM_DELETEITEM, rows.size(), 0);
    shown = std::move(rows);
}
