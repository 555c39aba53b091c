// The shell's folder browser, special folders, item lists and link object,
// for host builds, with Windows' values. The behaviour lives in
// ty_standin_ui.cpp (folders, item lists) and ty_standin_link.cpp (links);
// tests steer it through ty_standin_ui_control.h and
// ty_standin_link_control.h.
#ifndef TY_STANDIN_SHLOBJ_H
#define TY_STANDIN_SHLOBJ_H

#include <windows.h>
#include <objbase.h>

typedef struct _ITEMIDLIST {
    BYTE mkid[1];
} ITEMIDLIST, *LPITEMIDLIST;
typedef const ITEMIDLIST *LPCITEMIDLIST;

typedef int (CALLBACK *BFFCALLBACK)(HWND, UINT, LPARAM, LPARAM);

typedef struct _browseinfoA {
    HWND hwndOwner;
    LPCITEMIDLIST pidlRoot;
    LPSTR pszDisplayName;
    LPCSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
} BROWSEINFOA, *LPBROWSEINFOA;

#define BIF_RETURNONLYFSDIRS 0x0001u
#define BIF_DONTGOBELOWDOMAIN 0x0002u

// Special folders (CSIDL)
#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_STARTMENU 0x000B
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017

extern "C" {
extern const CLSID CLSID_ShellLink;
extern const IID IID_IShellLinkA;
}

typedef struct _WIN32_FIND_DATAA WIN32_FIND_DATAA;

// The shell's link object, in Windows' method order.
struct IShellLinkA : public IUnknown {
    virtual HRESULT GetPath(LPSTR file, int size, WIN32_FIND_DATAA *data, DWORD flags) = 0;
    virtual HRESULT GetIDList(LPITEMIDLIST *list) = 0;
    virtual HRESULT SetIDList(LPCITEMIDLIST list) = 0;
    virtual HRESULT GetDescription(LPSTR name, int size) = 0;
    virtual HRESULT SetDescription(LPCSTR name) = 0;
    virtual HRESULT GetWorkingDirectory(LPSTR folder, int size) = 0;
    virtual HRESULT SetWorkingDirectory(LPCSTR folder) = 0;
    virtual HRESULT GetArguments(LPSTR arguments, int size) = 0;
    virtual HRESULT SetArguments(LPCSTR arguments) = 0;
    virtual HRESULT GetHotkey(WORD *hotkey) = 0;
    virtual HRESULT SetHotkey(WORD hotkey) = 0;
    virtual HRESULT GetShowCmd(int *showCommand) = 0;
    virtual HRESULT SetShowCmd(int showCommand) = 0;
    virtual HRESULT GetIconLocation(LPSTR iconPath, int size, int *icon) = 0;
    virtual HRESULT SetIconLocation(LPCSTR iconPath, int icon) = 0;
    virtual HRESULT SetRelativePath(LPCSTR relativePath, DWORD reserved) = 0;
    virtual HRESULT Resolve(HWND window, DWORD flags) = 0;
    virtual HRESULT SetPath(LPCSTR file) = 0;
};

extern "C" {

LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA info);
BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
HRESULT WINAPI SHGetMalloc(IMalloc **allocator);
HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int folder, LPITEMIDLIST *list);

}

#endif
