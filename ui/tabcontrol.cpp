#include "ui/tabcontrol.h"

int TabControl::InsertItem(int index, TCITEMA* item)
{
    return static_cast<int>(Send(TCM_INSERTITEMA, static_cast<WPARAM>(index),
                                 reinterpret_cast<LPARAM>(item)));
}

LRESULT TabControl::AdjustRect(BOOL larger, RECT* rect)
{
    return Send(TCM_ADJUSTRECT, static_cast<WPARAM>(larger), reinterpret_cast<LPARAM>(rect));
}
