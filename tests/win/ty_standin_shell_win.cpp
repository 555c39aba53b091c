// The shell's side of the stand-in's controls on Windows: special folders
// the test names, the item lists and the allocator that frees them, and the
// link objects, made here as the stand-in makes them, so that each of their
// calls can be recorded and refused. COM's set-up and take-down are the
// system's, counted. The links the real shell makes are the Wine suite's.
#include <stdio.h>
#include <string.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "ty_import_slots_win.h"
#include "ty_standin.h"
#include "ty_standin_link_control.h"
#include "ty_standin_system_control.h"
#include "ty_standin_ui_control.h"

namespace {

struct ItemList {
    bool held;
    int folder;
};

struct LinkFault {
    StandinLinkCall call;
    int atCall;
    HRESULT error;
};

class LinkObject;
std::vector<ItemList> itemLists;
std::map<int, std::string> specialFolders;  // the known ones
int allocatorReferences;
std::vector<StandinLink> links;
std::vector<LinkObject *> liveLinks;
std::vector<LinkFault> linkFaults;
int linkCalls[kStandinLinkCallKinds];
int coInitializeCalls;
int coUninitializeCalls;
int comDepth;

// Item lists are numbers that only this allocator frees; one freed twice or
// never handed out ends the test program.
const uintptr_t kFirstItemList = 0x1D000;

ItemList &heldItemList(LPCITEMIDLIST list) {
    size_t index = ((uintptr_t)list - kFirstItemList) / 4;
    if ((uintptr_t)list < kFirstItemList || index >= itemLists.size() || !itemLists[index].held) abort();
    return itemLists[index];
}

class ShellAllocator : public IMalloc {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override {
        *object = iid == IID_IUnknown || iid == IID_IMalloc ? this : NULL;
        if (*object == NULL) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++allocatorReferences; }
    ULONG STDMETHODCALLTYPE Release() override { return (ULONG)--allocatorReferences; }
    void *STDMETHODCALLTYPE Alloc(SIZE_T) override { return NULL; }
    void *STDMETHODCALLTYPE Realloc(void *, SIZE_T) override { return NULL; }
    void STDMETHODCALLTYPE Free(void *block) override { heldItemList((LPCITEMIDLIST)block).held = false; }
    SIZE_T STDMETHODCALLTYPE GetSize(void *) override { return 0; }
    int STDMETHODCALLTYPE DidAlloc(void *) override { return -1; }
    void STDMETHODCALLTYPE HeapMinimize() override {}
} shellAllocator;

HRESULT linkFault(StandinLinkCall call) {
    linkCalls[call]++;
    for (const LinkFault &fault : linkFaults)
        if (fault.call == call && fault.atCall == linkCalls[call]) return fault.error;
    return S_OK;
}

// The link object: one reference count behind both interfaces, freed at its
// last Release. Save writes a small text file where the link would go.
class LinkObject : public IShellLinkA, public IPersistFile {
public:
    explicit LinkObject(size_t index) : index_(index) {}
    virtual ~LinkObject() {}

    void *interfaceFor(REFIID iid) {
        if (iid == IID_IUnknown || iid == IID_IShellLinkA) return static_cast<IShellLinkA *>(this);
        if (iid == IID_IPersistFile || iid == IID_IPersist) return static_cast<IPersistFile *>(this);
        return NULL;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override {
        if (object == NULL) return E_POINTER;
        *object = NULL;
        HRESULT fault = linkFault(kStandinQueryInterface);
        if (FAILED(fault)) return fault;
        *object = interfaceFor(iid);
        if (*object == NULL) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)++record().references; }
    ULONG STDMETHODCALLTYPE Release() override {
        int left = --record().references;
        if (left <= 0) {
            for (size_t i = 0; i < liveLinks.size(); i++)
                if (liveLinks[i] == this) liveLinks.erase(liveLinks.begin() + (long)i--);
            delete this;
        }
        return (ULONG)left;
    }
    // IShellLinkA
    HRESULT STDMETHODCALLTYPE GetPath(LPSTR, int, WIN32_FIND_DATAA *, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDList(LPITEMIDLIST *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(LPCITEMIDLIST) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) override {
        return set(kStandinSetDescription, "SetDescription", &StandinLink::description, name);
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR folder) override {
        return set(kStandinSetWorkingDirectory, "SetWorkingDirectory", &StandinLink::workingFolder, folder);
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR arguments) override {
        return set(kStandinSetArguments, "SetArguments", &StandinLink::arguments, arguments);
    }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR, int, int *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override {
        return set(kStandinSetPath, "SetPath", &StandinLink::target, file);
    }
    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID *classId) override {
        if (classId == NULL) return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR *) override { return E_NOTIMPL; }

private:
    StandinLink &record() { return links[index_]; }
    HRESULT set(StandinLinkCall call, const char *name, std::string StandinLink::*field, LPCSTR value) {
        Unwatched unwatched;
        record().calls.push_back(name);
        HRESULT fault = linkFault(call);
        if (FAILED(fault)) return fault;
        if (value == NULL) return E_INVALIDARG;
        record().*field = value;
        return S_OK;
    }
    size_t index_;
};

// Written past the C runtime, whose streams a test may make fail.
HRESULT LinkObject::Save(LPCOLESTR fileName, BOOL remember) {
    Unwatched unwatched;
    record().calls.push_back("Save");
    HRESULT fault = linkFault(kStandinSave);
    if (FAILED(fault)) return fault;
    if (fileName == NULL) return E_INVALIDARG;
    char path[MAX_PATH];
    if (WideCharToMultiByte(CP_ACP, 0, fileName, -1, path, sizeof path, NULL, NULL) == 0) return E_INVALIDARG;
    if (standinPathDenied(path)) return E_ACCESSDENIED;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    const StandinLink &link = record();
    std::string content = "[link]\ntarget=" + link.target + "\narguments=" + link.arguments +
                          "\nworking folder=" + link.workingFolder + "\ndescription=" + link.description + "\n";
    DWORD done = 0;
    bool written = WriteFile(file, content.data(), (DWORD)content.size(), &done, NULL) && done == content.size();
    if (!CloseHandle(file) || !written) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    record().saved = true;
    record().savedPath = path;
    record().remember = remember;
    return S_OK;
}

BOOL WINAPI folderPath(LPCITEMIDLIST list, LPSTR path) {
    auto known = specialFolders.find(heldItemList(list).folder);
    std::string answer = known == specialFolders.end() ? "" : known->second;
    if (answer.empty() || answer.size() >= MAX_PATH) {
        path[0] = '\0';
        return FALSE;
    }
    memcpy(path, answer.c_str(), answer.size() + 1);
    return TRUE;
}

HRESULT WINAPI theAllocator(IMalloc **allocator) {
    *allocator = &shellAllocator;
    shellAllocator.AddRef();
    return S_OK;
}

HRESULT WINAPI folderLocation(HWND, int folder, LPITEMIDLIST *list) {
    *list = NULL;
    if (specialFolders.find(folder) == specialFolders.end()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    Unwatched unwatched;
    itemLists.push_back({true, folder});
    *list = (LPITEMIDLIST)(kFirstItemList + (itemLists.size() - 1) * 4);
    return S_OK;
}

HRESULT WINAPI countInitialize(LPVOID reserved) {
    coInitializeCalls++;
    HRESULT result = REAL(CoInitialize)(reserved);
    if (SUCCEEDED(result)) comDepth++;
    return result;
}

void WINAPI countUninitialize(void) {
    coUninitializeCalls++;
    if (comDepth > 0) comDepth--;
    REAL(CoUninitialize)();
}

HRESULT WINAPI makeLink(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID *object) {
    if (object == NULL) return E_POINTER;
    *object = NULL;
    HRESULT fault = linkFault(kStandinCoCreateInstance);
    if (FAILED(fault)) return fault;
    if (classId != CLSID_ShellLink) return REAL(CoCreateInstance)(classId, outer, context, iid, object);
    // As COM answers: only between CoInitialize and CoUninitialize, in process.
    if (comDepth == 0) return CO_E_NOTINITIALIZED;
    if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    if (outer != NULL) return CLASS_E_NOAGGREGATION;
    Unwatched unwatched;
    StandinLink record;
    record.saved = false;
    record.remember = FALSE;
    record.references = 1;
    links.push_back(record);
    LinkObject *link = new LinkObject(links.size() - 1);
    *object = link->interfaceFor(iid);
    if (*object == NULL) {
        delete link;
        links.pop_back();
        return E_NOINTERFACE;
    }
    liveLinks.push_back(link);
    return S_OK;
}

}  // namespace

void standinResetShell() {
    replaceImport(SHGetSpecialFolderLocation, folderLocation);
    replaceImport(SHGetPathFromIDListA, folderPath);
    replaceImport(SHGetMalloc, theAllocator);
    replaceImport(CoInitialize, countInitialize);
    replaceImport(CoUninitialize, countUninitialize);
    replaceImport(CoCreateInstance, makeLink);
    itemLists.clear();
    specialFolders.clear();
    allocatorReferences = 0;
    for (LinkObject *link : liveLinks) delete link;
    liveLinks.clear();
    links.clear();
    linkFaults.clear();
    for (int &count : linkCalls) count = 0;
    coInitializeCalls = 0;
    coUninitializeCalls = 0;
    // A test that ended inside COM leaves it set up: this thread's depth is
    // the system's, not the test's.
    while (comDepth > 0) {
        comDepth--;
        REAL(CoUninitialize)();
    }
}

void standinSetSpecialFolder(int folder, const char *path) {
    if (path == NULL) {
        specialFolders.erase(folder);
    } else {
        specialFolders[folder] = path;
    }
}

int standinItemListsHeld() {
    int held = 0;
    for (const ItemList &list : itemLists) held += list.held;
    return held;
}

void standinFailLinkCall(StandinLinkCall call, int nth, HRESULT error) {
    linkFaults.push_back({call, linkCalls[call] + nth, error});
}

const std::vector<StandinLink> &standinLinks() { return links; }
int standinCoInitializeCount() { return coInitializeCalls; }
int standinCoUninitializeCount() { return coUninitializeCalls; }

int standinComReferences() {
    int references = allocatorReferences;
    for (const StandinLink &link : links) references += link.references;
    return references;
}
