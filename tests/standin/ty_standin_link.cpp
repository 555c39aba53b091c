// The COM side of the Win32 stand-in: initialisation counts, the interface
// identifiers, and the shell's link object with its file interface.
#include "ty_standin.h"
#include "ty_standin_internal.h"
#include "ty_standin_link_control.h"
#include "ty_standin_ui_control.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

// Windows' values.
extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IMalloc = {0x00000002, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

namespace {

struct LinkFault {
    StandinLinkCall call;
    int atCall;
    HRESULT error;
};

class ShellLink;

std::vector<StandinLink> links;
std::vector<ShellLink *> liveLinks;
std::vector<LinkFault> linkFaults;
int linkCalls[kStandinLinkCallKinds];
int coInitializeCalls;
int coUninitializeCalls;
int comDepth;

HRESULT linkFault(StandinLinkCall call) {
    linkCalls[call]++;
    for (const LinkFault &fault : linkFaults)
        if (fault.call == call && fault.atCall == linkCalls[call]) return fault.error;
    return S_OK;
}

// The link object: one reference count behind both interfaces. It is freed
// at its last Release, so that a call after that is a use after free.
class ShellLink : public IShellLinkA, public IPersistFile {
public:
    explicit ShellLink(size_t index) : index_(index) {}

    void *interfaceFor(REFIID iid) {
        if (iid == IID_IUnknown || iid == IID_IShellLinkA) return static_cast<IShellLinkA *>(this);
        if (iid == IID_IPersistFile || iid == IID_IPersist) return static_cast<IPersistFile *>(this);
        return NULL;
    }

    HRESULT QueryInterface(REFIID iid, void **object) override {
        if (object == NULL) return E_POINTER;
        *object = NULL;
        HRESULT fault = linkFault(kStandinQueryInterface);
        if (FAILED(fault)) return fault;
        *object = interfaceFor(iid);
        if (*object == NULL) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG AddRef() override { return (ULONG)++record().references; }

    ULONG Release() override {
        int left = --record().references;
        if (left <= 0) {
            for (size_t i = 0; i < liveLinks.size(); i++) {
                if (liveLinks[i] == this) {
                    liveLinks.erase(liveLinks.begin() + (long)i);
                    break;
                }
            }
            delete this;
        }
        return (ULONG)left;
    }

    // IShellLinkA
    HRESULT GetPath(LPSTR, int, WIN32_FIND_DATAA *, DWORD) override { return E_NOTIMPL; }
    HRESULT GetIDList(LPITEMIDLIST *) override { return E_NOTIMPL; }
    HRESULT SetIDList(LPCITEMIDLIST) override { return E_NOTIMPL; }
    HRESULT GetDescription(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT SetDescription(LPCSTR name) override {
        return set(kStandinSetDescription, "SetDescription", &StandinLink::description, name);
    }
    HRESULT GetWorkingDirectory(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT SetWorkingDirectory(LPCSTR folder) override {
        return set(kStandinSetWorkingDirectory, "SetWorkingDirectory", &StandinLink::workingFolder,
                   folder);
    }
    HRESULT GetArguments(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT SetArguments(LPCSTR arguments) override {
        return set(kStandinSetArguments, "SetArguments", &StandinLink::arguments, arguments);
    }
    HRESULT GetHotkey(WORD *) override { return E_NOTIMPL; }
    HRESULT SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT GetShowCmd(int *) override { return E_NOTIMPL; }
    HRESULT SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT GetIconLocation(LPSTR, int, int *) override { return E_NOTIMPL; }
    HRESULT SetIconLocation(LPCSTR, int) override { return E_NOTIMPL; }
    HRESULT SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT Resolve(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT SetPath(LPCSTR file) override {
        return set(kStandinSetPath, "SetPath", &StandinLink::target, file);
    }

    // IPersistFile
    HRESULT GetClassID(CLSID *classId) override {
        if (classId == NULL) return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT IsDirty() override { return S_FALSE; }
    HRESULT Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT Save(LPCOLESTR fileName, BOOL remember) override;
    HRESULT SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT GetCurFile(LPOLESTR *) override { return E_NOTIMPL; }

private:
    StandinLink &record() { return links[index_]; }

    HRESULT set(StandinLinkCall call, const char *name, std::string StandinLink::*field,
                LPCSTR value) {
        record().calls.push_back(name);
        HRESULT fault = linkFault(call);
        if (FAILED(fault)) return fault;
        if (value == NULL) return E_INVALIDARG;
        record().*field = value;
        return S_OK;
    }

    size_t index_;
};

// A small text file stands for the link file: where it points, in a form a
// person reading a failed test can follow.
HRESULT ShellLink::Save(LPCOLESTR fileName, BOOL remember) {
    record().calls.push_back("Save");
    HRESULT fault = linkFault(kStandinSave);
    if (FAILED(fault)) return fault;
    if (fileName == NULL) return E_INVALIDARG;
    std::string path;
    for (const OLECHAR *c = fileName; *c != 0; c++) path += standinAnsiFromWide(*c);
    if (standinPathIsDenied(path.c_str())) return E_ACCESSDENIED;
    int descriptor = open(standinHostPath(path.c_str()).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (descriptor == -1) {
        return standinWindowsErrno(errno) == ENOENT ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)
                                                    : E_ACCESSDENIED;
    }
    const StandinLink &link = record();
    std::string content = "[link]\ntarget=" + link.target + "\narguments=" + link.arguments +
                          "\nworking folder=" + link.workingFolder +
                          "\ndescription=" + link.description + "\n";
    bool written = write(descriptor, content.data(), content.size()) == (ssize_t)content.size();
    if (close(descriptor) != 0 || !written) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    record().saved = true;
    record().savedPath = path;
    record().remember = remember;
    return S_OK;
}

}  // namespace

void standinResetLink() {
    // Objects a test left unreleased go with the test.
    for (ShellLink *link : liveLinks) delete link;
    liveLinks.clear();
    links.clear();
    linkFaults.clear();
    for (int &count : linkCalls) count = 0;
    coInitializeCalls = 0;
    coUninitializeCalls = 0;
    comDepth = 0;
}

void standinFailLinkCall(StandinLinkCall call, int nth, HRESULT error) {
    linkFaults.push_back({call, linkCalls[call] + nth, error});
}

const std::vector<StandinLink> &standinLinks() { return links; }
int standinCoInitializeCount() { return coInitializeCalls; }
int standinCoUninitializeCount() { return coUninitializeCalls; }

int standinComReferences() {
    int references = standinShellAllocatorReferences();
    for (const StandinLink &link : links) references += link.references;
    return references;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) {
    coInitializeCalls++;
    if (reserved != NULL) return E_INVALIDARG;
    // Each successful call, the repeated ones too, wants its CoUninitialize.
    return ++comDepth == 1 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
    coUninitializeCalls++;
    if (comDepth > 0) comDepth--;
}

HRESULT WINAPI CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid,
                                LPVOID *object) {
    if (object == NULL) return E_POINTER;
    *object = NULL;
    HRESULT fault = linkFault(kStandinCoCreateInstance);
    if (FAILED(fault)) return fault;
    if (comDepth == 0) return CO_E_NOTINITIALIZED;
    if (classId != CLSID_ShellLink || (context & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    if (outer != NULL) return CLASS_E_NOAGGREGATION;
    StandinLink record;
    record.saved = false;
    record.remember = FALSE;
    record.references = 1;
    links.push_back(record);
    ShellLink *link = new ShellLink(links.size() - 1);
    *object = link->interfaceFor(iid);
    if (*object == NULL) {
        delete link;
        links.pop_back();
        return E_NOINTERFACE;
    }
    liveLinks.push_back(link);
    return S_OK;
}
