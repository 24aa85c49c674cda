#include "ui/listview.h"

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
