// Numbers of the resources and controls, shared by the resource script and
// the code.
#pragma once

#define IDS_TITLE_PREFIX 103
#define IDS_CLASS_NAME 109

#define IDI_CLASS_ICON 107
#define IDI_SMALL_ICON 108
#define IDI_ALERT 32513

#define IDD_ERROR 103
#define IDD_PASSWORD 129
#define IDD_WARNINGS 1004

#define IDC_ERROR_TEXT 109
#define IDC_PASSWORD_EDIT 1002
#define IDC_PASSWORD_PROMPT 1003
#define IDC_WARNINGS_TEXT 1005

#define IDC_ABORT 104
#define IDC_CLOSE 105
#define IDC_UNZIP 113
#define IDC_OVERWRITE 114
#define IDC_DESTINATION 115
#define IDC_BROWSE 1006
