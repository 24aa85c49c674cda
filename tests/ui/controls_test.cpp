// The control wrappers on the real templates' controls.
#include "ui/controls.h"
#include "resources/resource.h"
#include "tests/ui/page_host.h"

#include <gtest/gtest.h>

namespace {

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.AddPage(changes, IDD_CHANGES_PAGE);
        host.AddPage(options, IDD_OPTIONS_PAGE);
    }

    PageHost host;
    Dialog changes;
    Dialog options;
};

LRESULT InsertItemWithParam(HWND list, int index, LPARAM param)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<char*>("item");
    item.lParam = param;
    return SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

TEST_F(ControlsTest, SetCheckChecksForAnyNonZeroFlagAndClearsForZero)
{
    CheckBox box;
    ASSERT_EQ(1, box.Create(&options, IDC_POPUP_ALERT));
    EXPECT_EQ(0, box.IsChecked()) << "unchecked in the template";
    for (int flag : {1, 2, -1, 0x10000}) {
        box.SetCheck(0);
        box.SetCheck(flag);
        EXPECT_EQ(BST_CHECKED, SendMessageA(box.hwnd, BM_GETCHECK, 0, 0)) << flag;
        EXPECT_EQ(1, box.IsChecked()) << flag;
    }
    box.SetCheck(0);
    EXPECT_EQ(BST_UNCHECKED, SendMessageA(box.hwnd, BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, box.IsChecked());
}

TEST_F(ControlsTest, IsCheckedReadsIndeterminateAsZero)
{
    CheckBox box;
    box.Create(&options, IDC_NO_FLASH);
    // Only a three-state box keeps the indeterminate state.
    SendMessageA(box.hwnd, BM_SETSTYLE, BS_AUTO3STATE, FALSE);
    SendMessageA(box.hwnd, BM_SETCHECK, BST_INDETERMINATE, 0);
    ASSERT_EQ(BST_INDETERMINATE, SendMessageA(box.hwnd, BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, box.IsChecked());
}

TEST_F(ControlsTest, ClickedCheckBoxTogglesAndReadsBack)
{
    CheckBox box;
    box.Create(&changes, IDC_ONLY_SHOW_CHANGES);
    SendMessageA(box.hwnd, BM_CLICK, 0, 0);
    EXPECT_EQ(1, box.IsChecked());
    SendMessageA(box.hwnd, BM_CLICK, 0, 0);
    EXPECT_EQ(0, box.IsChecked());
}

TEST_F(ControlsTest, UnboundWrappersFailQuietly)
{
    CheckBox box;
    EXPECT_EQ(0, box.Create(&options, 4242));
    box.SetCheck(1);
    EXPECT_EQ(0, box.IsChecked());
    ListView list;
    EXPECT_EQ(0, list.Create(&options, 4242));
    EXPECT_EQ(0, list.GetItemParam(0));
}

TEST_F(ControlsTest, ListViewAttachDrawsTextWithoutBackground)
{
    HWND control = GetDlgItem(changes.hwnd, IDC_VALUE_LIST);
    ASSERT_NE(CLR_NONE, static_cast<COLORREF>(SendMessageA(control, LVM_GETTEXTBKCOLOR, 0, 0)));
    ListView list;
    EXPECT_EQ(1, list.Create(&changes, IDC_VALUE_LIST));
    EXPECT_EQ(CLR_NONE, static_cast<COLORREF>(SendMessageA(control, LVM_GETTEXTBKCOLOR, 0, 0)));
}

TEST_F(ControlsTest, ListViewAttachReturnsOneWhenTheColourIsRejected)
{
    // A button knows nothing of list-view colours.
    ListView notAList;
    EXPECT_EQ(1, notAList.Create(&changes, IDC_DELETE));
}

TEST_F(ControlsTest, SetExtendedStyleReplacesEveryBit)
{
    ListView list;
    list.Create(&changes, IDC_VALUE_LIST);
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES),
              list.SetExtendedStyle(LVS_EX_HEADERDRAGDROP));
    EXPECT_EQ(static_cast<LRESULT>(LVS_EX_HEADERDRAGDROP),
              list.Send(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_HEADERDRAGDROP), list.SetExtendedStyle(0));
    EXPECT_EQ(0, list.Send(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

TEST_F(ControlsTest, InsertColumnSetsFormatWidthTextAndSubItem)
{
    ListView list;
    list.Create(&changes, IDC_VALUE_LIST);
    EXPECT_EQ(0, list.InsertColumn(0, "Status", LVCFMT_LEFT, 80, 0));
    EXPECT_EQ(1, list.InsertColumn(1, "Old Value", LVCFMT_RIGHT, 150, 3));

    char text[32] = "";
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    ASSERT_TRUE(list.Send(LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&column)));
    EXPECT_STREQ("Old Value", text);
    EXPECT_EQ(150, column.cx);
    EXPECT_EQ(LVCFMT_RIGHT, column.fmt & LVCFMT_JUSTIFYMASK);
    EXPECT_EQ(3, column.iSubItem);
}

TEST_F(ControlsTest, GetItemParamReturnsStoredValueAndNullForMissingItems)
{
    ListView list;
    list.Create(&changes, IDC_VALUE_LIST);
    list.InsertColumn(0, "Status", LVCFMT_LEFT, 80, 0);
    int stored = 0;
    ASSERT_EQ(0, InsertItemWithParam(list.hwnd, 0, reinterpret_cast<LPARAM>(&stored)));
    ASSERT_EQ(0, InsertItemWithParam(list.hwnd, 0, 0x5A5A));

    EXPECT_EQ(0x5A5A, list.GetItemParam(0));
    EXPECT_EQ(reinterpret_cast<LPARAM>(&stored), list.GetItemParam(1));
    EXPECT_EQ(0, list.GetItemParam(2));
    EXPECT_EQ(0, list.GetItemParam(-1));

    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(0, list.Send(LVM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(0, list.GetItemParam(0));
}

TEST_F(ControlsTest, TabControlInsertsAtPositionsAndGivesTheDisplayArea)
{
    char text[32] = "";
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ASSERT_EQ(3, host.tabs.Send(TCM_GETITEMCOUNT, 0, 0));
    ASSERT_TRUE(host.tabs.Send(TCM_GETITEMA, 1, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ("Options", text);

    TCITEMA extra = {};
    extra.mask = TCIF_TEXT;
    extra.pszText = const_cast<char*>("Extra");
    EXPECT_EQ(1, host.tabs.InsertItem(1, &extra));
    ASSERT_TRUE(host.tabs.Send(TCM_GETITEMA, 2, reinterpret_cast<LPARAM>(&item)));
    EXPECT_STREQ("Options", text);

    RECT client, display;
    host.tabs.GetClientRect(&client);
    display = client;
    host.tabs.AdjustRect(FALSE, &display);
    EXPECT_GT(display.top, client.top + 10) << "room for the tab headers";
    EXPECT_GE(display.left, client.left);
    EXPECT_LE(display.right, client.right);
    EXPECT_LE(display.bottom, client.bottom);
    EXPECT_GT(display.right - display.left, (client.right - client.left) * 9 / 10);
}

TEST_F(ControlsTest, PagesAreChildrenOfTheTabControl)
{
    EXPECT_EQ(host.tabs.hwnd, GetParent(changes.hwnd));
    EXPECT_EQ(host.tabs.hwnd, GetParent(options.hwnd));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&changes), GetWindowLongPtrA(changes.hwnd, GWLP_USERDATA));
}
