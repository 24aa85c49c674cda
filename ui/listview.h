#ifndef KEYWARDEN_UI_LISTVIEW_H
#define KEYWARDEN_UI_LISTVIEW_H

#include "ui/window.h"
#include <commctrl.h>

#include <string>
#include <vector>

// One row of a report-mode list as SetRows shows it.
struct ListRow {
    std::string key;                 // names the row from one SetRows to the next
    std::vector<std::string> texts;  // column 0 first; a missing column is empty
};

class ListView : public Window {
public:
    // Passes every message on unchanged.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Item text is drawn over the list's own background; always returns 1,
    // also when the control rejects the colour.
    int OnAttach() override;

    // Replaces every extended style bit (no mask); returns the previous styles.
    DWORD SetExtendedStyle(DWORD styles);
    // Returns the new column's index, or -1.
    int InsertColumn(int column, const char* text, int format, int width, int subItem);
    LRESULT DeleteAllItems();
    // The item's LPARAM, or 0 when there is no such item.
    LPARAM GetItemParam(int item);

    // Makes the list show these rows in this order, changing only the items
    // that differ from the last call's rows: a row whose key was shown before
    // keeps its selection and focus, the list keeps its scroll position, and
    // bulk work is drawn once at the end. A list filled this way must get its
    // items from SetRows only. Items carry no LPARAM.
    void SetRows(std::vector<ListRow> rows);

private:
    void InsertRow(int index, const ListRow& row);
    // Sets the cells of the item whose texts differ; the number of cells set.
    size_t UpdateRow(int index, const ListRow& from, const ListRow& to, bool apply);
    int NextItem(int after, UINT flags);

    std::vector<ListRow> shown;  // what the items show, in their order
};

#endif
