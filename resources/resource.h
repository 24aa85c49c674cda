/* Numbers shared by keywarden.rc and the C++ code: templates, controls, icons
   and the program's own window messages. Plain numbers, since the resource
   compiler sees this file too. */
#ifndef KEYWARDEN_RESOURCE_H
#define KEYWARDEN_RESOURCE_H

/* Dialog templates */
#define IDD_ABOUT_PAGE      100
#define IDD_CHANGES_PAGE    101
#define IDD_MAIN            102
#define IDD_OPTIONS_PAGE    130
#define IDD_ALERT           136

/* Icons. <windows.h> names a system icon IDI_WARNING; here the name is the
   program's own warning icon, so include this file after <windows.h>. */
#undef IDI_WARNING
#define IDI_KEYWARDEN       128   /* the program's icon, the tray icon at rest */
#define IDI_WARNING         133   /* first flash frame, alert picture */
#define IDI_BLANK           138   /* second flash frame: transparent */

/* Controls */
#define IDC_STATIC          (-1)
#define IDC_OK              1     /* IDOK */
#define IDC_GO_AWAY         2     /* IDCANCEL */
#define IDC_TABS            1007
#define IDC_VALUE_LIST      1022
#define IDC_DELETE          1023
#define IDC_REGEDIT         1025
#define IDC_REVERT          1026
#define IDC_ONLY_SHOW_CHANGES 1027
#define IDC_RESET_ALARM     1028
#define IDC_POPUP_ALERT     1029
#define IDC_AUTOSTART       1030
#define IDC_SHOW_CHANGES    1034
#define IDC_DO_NOT_SHOW     1035
#define IDC_HELP_BUTTON     1038
#define IDC_PRODUCT_NAME    1040
#define IDC_NO_FLASH        1041
#define IDC_WATCH_NOTICE    1045  /* the Changes page's "cannot watch" line */
#define IDC_REMEMBER_STATE  1050
#define IDC_STATE_NOTICE    1051
#define IDC_KEEP_JOURNAL    1042
#define IDC_OPEN_JOURNAL    1043
#define IDC_JOURNAL_PROBLEM 1044

/* Window messages */
#define MSG_TRAY_CALLBACK    (0x0400 + 1)   /* WM_USER + 1, to MainDialog */
#define MSG_SHOW_PAGE        (0x0400 + 2)   /* WM_USER + 2, to MainDialog */
#define MSG_REGISTRY_CHANGED 0x8000         /* WM_APP, to ChangesPage */
#define MSG_REFRESH_LIST     (0x8000 + 1)   /* WM_APP + 1, to ChangesPage */
#define MSG_WATCH_STATE      (0x8000 + 2)   /* WM_APP + 2, to ChangesPage: wParam 1 watching, 0 not */
#define MSG_JOURNAL_PROBLEM  (0x8000 + 16)  /* WM_APP + 16, to OptionsPage: the journal met a problem */

#endif
