// Resource ids, shared by ty_installer.rc and the code.
#ifndef TY_RESOURCE_H
#define TY_RESOURCE_H

#define IDD_LICENCE 130
#define IDD_WELCOME 131
#define IDD_DESTINATION 132
#define IDD_PROGRESS 133
#define IDI_INSTALLER 135
#define IDD_READY 136

#define IDS_MODULE_UPPER 1
#define IDS_MODULE 103

#endif
