// Resource ids, shared by ty_installer.rc and the code.
#ifndef TY_RESOURCE_H
#define TY_RESOURCE_H

#define IDD_LICENCE 130
#define IDD_WELCOME 131
#define IDD_DESTINATION 132
#define IDD_PROGRESS 133
#define IDI_INSTALLER 135
#define IDD_READY 136

// Controls of the pages
#define IDC_STATUS_TEXT 1004
#define IDC_LICENCE_TEXT 1005
#define IDC_BROWSE 1006
#define IDC_FOLDER 1007
#define IDC_PICTURE 1008
#define IDC_PROGRESS_BAR 1009
#define IDC_TASK_HELP 1010
#define IDC_TASK_START 1011
#define IDC_TASK_START_MENU 1012

#define IDS_MODULE_UPPER 1
#define IDS_MODULE 103

#endif
