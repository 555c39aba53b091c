// The shell's folder browser and item lists, for host builds, with Windows'
// values. The behaviour lives in ty_standin_ui.cpp; tests steer it through
// ty_standin_ui_control.h.
#ifndef TY_STANDIN_SHLOBJ_H
#define TY_STANDIN_SHLOBJ_H

#include <windows.h>

typedef LONG HRESULT;
typedef uint32_t ULONG;
typedef size_t SIZE_T;
#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005)
#define SUCCEEDED(result) ((HRESULT)(result) >= 0)
#define FAILED(result) ((HRESULT)(result) < 0)

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

// The shell's allocator, called through its interface as on Windows.
struct IMalloc {
    virtual HRESULT QueryInterface(const void *iid, void **object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual void *Alloc(SIZE_T size) = 0;
    virtual void *Realloc(void *block, SIZE_T size) = 0;
    virtual void Free(void *block) = 0;
    virtual SIZE_T GetSize(void *block) = 0;
    virtual int DidAlloc(void *block) = 0;
    virtual void HeapMinimize() = 0;
};
typedef IMalloc *LPMALLOC;

extern "C" {

LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA info);
BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
HRESULT WINAPI SHGetMalloc(IMalloc **allocator);

}

#endif
