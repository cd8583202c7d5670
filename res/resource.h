/* Resource identifiers of cyclowis.exe; read by the C++ code and by windres. */
#ifndef CYCLOWISP_RESOURCE_H
#define CYCLOWISP_RESOURCE_H

/* Application icon */
#define IDI_APP            102

/* Meter dialog and its controls (IDCANCEL 2 is its Exit button) */
#define IDD_METER          103
#define IDC_HIDE             3
#define IDC_DELAYTEXT     1017
#define IDC_DELAY         1023
#define IDC_SETDEFAULT    1026

/* Popup menu of the notification icons (IDCANCEL 2 is its Exit item) */
#define IDR_POPUP          117
#define IDM_ABOUT          106
#define IDM_PROPERTIES     108

/* About box (IDOK 1 is its OK button) */
#define IDD_ABOUT          118

/* String table: the hint shown once, on the first start on Windows 10 and later */
#define IDS_HINT_TITLE     201
#define IDS_HINT_TEXT      202

/* String table: the meter dialog's caption, by which a second start knows the running meter */
#define IDS_METER_CAPTION  203

#endif
