#ifndef TY_BOXES_H
#define TY_BOXES_H

#define IDD_FORM 100
#define IDC_FORM_LABEL 100
#define IDC_FORM_NAME 101
#define IDC_FORM_REMEMBER 102
#define IDC_FORM_APPLY 103

#endif
