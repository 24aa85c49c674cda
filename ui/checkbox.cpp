#include "ui/checkbox.h"

LRESULT CheckBox::SetCheck(int checked)
{
    return Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int CheckBox::IsChecked()
{
    return Send(BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}
