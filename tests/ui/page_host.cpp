#include "tests/ui/page_host.h"
#include "resources/resource.h"

PageHost::PageHost()
{
    main.Create(nullptr, IDD_MAIN);
    tabs.Create(&main, IDC_TABS);
    const char* names[] = {"Main", "Options", "About"};
    for (int i = 0; i < 3; ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(names[i]);
        tabs.InsertItem(i, &item);
    }
}

PageHost::~PageHost()
{
    DestroyWindow(main.hwnd);
}

void PageHost::AddPage(Dialog& page, int templateId)
{
    RECT area;
    tabs.GetClientRect(&area);
    tabs.AdjustRect(FALSE, &area);
    page.Create(&tabs, templateId);
    MoveWindow(page.hwnd, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

void PageHost::ShowPage(int tab, Dialog& page)
{
    tabs.Send(TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
    for (HWND child = GetWindow(tabs.hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (child != page.hwnd && GetWindowLongPtrA(child, GWLP_USERDATA))
            ShowWindow(child, SW_HIDE);
    page.Show(SW_SHOW);
}
