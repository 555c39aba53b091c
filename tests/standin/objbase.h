// The part of COM that the installer uses, for host builds, with Windows'
// values: result codes, interface identifiers, the base interfaces, the
// shell's allocator and the file interface of persistent objects. As on
// MinGW, windows.h brings this in. The behaviour lives in ty_standin_link.cpp
// and ty_standin_ui.cpp; tests steer it through ty_standin_link_control.h.
#ifndef TY_STANDIN_OBJBASE_H
#define TY_STANDIN_OBJBASE_H

#include <windows.h>

typedef LONG HRESULT;
typedef uint32_t ULONG;
typedef size_t SIZE_T;

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_FAIL ((HRESULT)0x80004005)
#define E_ACCESSDENIED ((HRESULT)0x80070005)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define SUCCEEDED(result) ((HRESULT)(result) >= 0)
#define FAILED(result) ((HRESULT)(result) < 0)
#define HRESULT_FROM_WIN32(error) \
    ((HRESULT)(error) <= 0 ? (HRESULT)(error) : (HRESULT)(((error) & 0x0000FFFF) | 0x80070000))

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u

// Windows' wide characters are 16 bits; the host's wchar_t is not.
typedef WCHAR OLECHAR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;

typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef IID *LPIID;
typedef CLSID *LPCLSID;

#ifdef __cplusplus
#define REFGUID const GUID &
#define REFIID const IID &
#define REFCLSID const CLSID &

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; i++)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

extern "C" {
extern const IID IID_IUnknown;
extern const IID IID_IMalloc;
extern const IID IID_IPersist;
extern const IID IID_IPersistFile;
}

// Interfaces in their Windows method order.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void **object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
typedef IUnknown *LPUNKNOWN;

struct IMalloc : public IUnknown {
    virtual void *Alloc(SIZE_T size) = 0;
    virtual void *Realloc(void *block, SIZE_T size) = 0;
    virtual void Free(void *block) = 0;
    virtual SIZE_T GetSize(void *block) = 0;
    virtual int DidAlloc(void *block) = 0;
    virtual void HeapMinimize() = 0;
};
typedef IMalloc *LPMALLOC;

struct IPersist : public IUnknown {
    virtual HRESULT GetClassID(CLSID *classId) = 0;
};

struct IPersistFile : public IPersist {
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(LPCOLESTR fileName, DWORD mode) = 0;
    virtual HRESULT Save(LPCOLESTR fileName, BOOL remember) = 0;
    virtual HRESULT SaveCompleted(LPCOLESTR fileName) = 0;
    virtual HRESULT GetCurFile(LPOLESTR *fileName) = 0;
};

extern "C" {

HRESULT WINAPI CoInitialize(LPVOID reserved);
void WINAPI CoUninitialize(void);
HRESULT WINAPI CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid,
                                LPVOID *object);

}
#endif

#endif
