// The dialog side of the Win32 stand-in: page windows with on-demand
// controls, the shell's folders and the painting calls of the picture panel.
#include "ty_standin.h"
#include "ty_standin_ui_control.h"

#include <stdlib.h>
#include <string.h>

#include <map>

namespace {

struct Window {
    int parent;            // index of the page; -1 for a page
    int id;                // control id; 0 for a page
    std::string text;
    int check;
    LPARAM progress;
    bool visible;
    bool ended;
    INT_PTR endResult;
    HICON bigIcon;
    std::vector<std::string> texts;         // set by SetDlgItemTextA
    std::vector<StandinSentMessage> sent;
    int repaints;
};

struct ItemList {
    bool held;
    int folder;            // the special folder it names
};

struct MemoryDc {
    HGDIOBJ selected;
    bool held;
};

const uintptr_t kFirstWindow = 0x40000;
const uintptr_t kFirstMemoryDc = 0x6D000;
const uintptr_t kFirstItemList = 0x1D000;
const uintptr_t kFirstIcon = 0x1C000;
const uintptr_t kStep = 4;
HGDIOBJ const kStockBitmap = (HGDIOBJ)(uintptr_t)0x5B00;

std::vector<Window> windows;
std::vector<MemoryDc> memoryDcs;
std::vector<ItemList> itemLists;
std::vector<StandinBlit> blits;
std::map<int, std::string> specialFolders;  // the known ones
int allocatorReferences;

HWND windowHandle(size_t index) { return (HWND)(kFirstWindow + index * kStep); }

Window *findWindow(HWND window) {
    uintptr_t value = (uintptr_t)window;
    if (value < kFirstWindow || (value - kFirstWindow) % kStep != 0) return NULL;
    size_t index = (value - kFirstWindow) / kStep;
    return index < windows.size() ? &windows[index] : NULL;
}

// The control of a page, made when first addressed.
Window *control(HWND page, int id, HWND *handle) {
    Window *owner = findWindow(page);
    if (owner == NULL || owner->parent != -1) return NULL;
    int pageIndex = (int)(owner - windows.data());
    for (size_t i = 0; i < windows.size(); i++) {
        if (windows[i].parent == pageIndex && windows[i].id == id) {
            if (handle) *handle = windowHandle(i);
            return &windows[i];
        }
    }
    windows.push_back({pageIndex, id, "", BST_UNCHECKED, 0, true, false, 0, NULL, {}, {}, 0});
    if (handle) *handle = windowHandle(windows.size() - 1);
    return &windows.back();
}

MemoryDc *findMemoryDc(HDC dc) {
    uintptr_t value = (uintptr_t)dc;
    if (value < kFirstMemoryDc || (value - kFirstMemoryDc) % kStep != 0) return NULL;
    size_t index = (value - kFirstMemoryDc) / kStep;
    return index < memoryDcs.size() && memoryDcs[index].held ? &memoryDcs[index] : NULL;
}

// Dies loudly: a test reading a window it never made is wrong.
Window &pageOrAbort(HWND page) {
    Window *window = findWindow(page);
    if (window == NULL) abort();
    return *window;
}

// The item list behind a handle; ends the program for one never handed out
// or already freed.
ItemList &heldItemList(LPCITEMIDLIST list) {
    uintptr_t value = (uintptr_t)list;
    if (value < kFirstItemList || (value - kFirstItemList) % kStep != 0) abort();
    size_t index = (value - kFirstItemList) / kStep;
    if (index >= itemLists.size() || !itemLists[index].held) abort();
    return itemLists[index];
}

LPITEMIDLIST newItemList(int folder) {
    itemLists.push_back({true, folder});
    return (LPITEMIDLIST)(kFirstItemList + (itemLists.size() - 1) * kStep);
}

// The shell's one allocator; it counts the references it hands out.
class ShellAllocator : public IMalloc {
public:
    HRESULT QueryInterface(REFIID iid, void **object) override {
        if (iid == IID_IUnknown || iid == IID_IMalloc) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = NULL;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return (ULONG)++allocatorReferences; }
    ULONG Release() override { return (ULONG)--allocatorReferences; }
    void *Alloc(SIZE_T) override { return NULL; }
    void *Realloc(void *, SIZE_T) override { return NULL; }
    void Free(void *block) override { heldItemList((LPCITEMIDLIST)block).held = false; }
    SIZE_T GetSize(void *) override { return 0; }
    int DidAlloc(void *) override { return -1; }
    void HeapMinimize() override {}
};

ShellAllocator shellAllocator;

}  // namespace

void standinResetUi() {
    windows.clear();
    memoryDcs.clear();
    itemLists.clear();
    blits.clear();
    specialFolders.clear();
    allocatorReferences = 0;
}

// Test control -------------------------------------------------------------

HWND standinCreatePage(int) {
    windows.push_back({-1, 0, "", BST_UNCHECKED, 0, true, false, 0, NULL, {}, {}, 0});
    return windowHandle(windows.size() - 1);
}

void standinTypeText(HWND page, int id, const std::string &text) {
    control(page, id, NULL)->text = text;
}

const std::vector<std::string> &standinControlTexts(HWND page, int id) {
    return control(page, id, NULL)->texts;
}

const std::vector<StandinSentMessage> &standinSentMessages(HWND window) {
    return pageOrAbort(window).sent;
}

int standinRepaintCount(HWND window) { return pageOrAbort(window).repaints; }

bool standinPageEnded(HWND page) { return pageOrAbort(page).ended; }
INT_PTR standinPageEndResult(HWND page) { return pageOrAbort(page).endResult; }
bool standinPageVisible(HWND page) { return pageOrAbort(page).visible; }
HICON standinPageBigIcon(HWND page) { return pageOrAbort(page).bigIcon; }

HICON standinIconHandle(int resourceId) { return (HICON)(kFirstIcon + (uintptr_t)resourceId * kStep); }

int standinItemListsHeld() {
    int held = 0;
    for (const ItemList &list : itemLists) held += list.held;
    return held;
}

void standinSetSpecialFolder(int folder, const char *path) {
    if (path == NULL) {
        specialFolders.erase(folder);
    } else {
        specialFolders[folder] = path;
    }
}

int standinShellAllocatorReferences() { return allocatorReferences; }

const std::vector<StandinBlit> &standinBlits() { return blits; }

int standinMemoryDcsHeld() {
    int held = 0;
    for (const MemoryDc &dc : memoryDcs) held += dc.held;
    return held;
}

// Dialogs and controls -----------------------------------------------------

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    Window *page = findWindow(dialog);
    if (page == NULL || page->parent != -1) return FALSE;
    page->ended = true;
    page->endResult = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    HWND handle = NULL;
    control(dialog, id, &handle);
    return handle;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    Window *item = control(dialog, id, NULL);
    if (item == NULL) return FALSE;
    item->text = text ? text : "";
    item->texts.push_back(item->text);
    return TRUE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
    Window *item = control(dialog, id, NULL);
    if (item == NULL || size <= 0) {
        if (size > 0) text[0] = '\0';
        return 0;
    }
    size_t length = item->text.size();
    if (length > (size_t)size - 1) length = (size_t)size - 1;
    memcpy(text, item->text.data(), length);
    text[length] = '\0';
    return (UINT)length;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window *target = findWindow(window);
    if (target == NULL) return 0;
    target->sent.push_back({message, wParam, lParam});
    switch (message) {
    case WM_SETICON: {
        if (wParam != ICON_BIG) return 0;
        HICON previous = target->bigIcon;
        target->bigIcon = (HICON)lParam;
        return (LRESULT)previous;
    }
    case BM_SETCHECK:
        target->check = (int)wParam;
        return 0;
    case BM_GETCHECK:
        return target->check;
    case PBM_SETPOS: {
        LPARAM previous = target->progress;
        target->progress = (LPARAM)wParam;
        return previous;
    }
    default:
        return 0;
    }
}

BOOL WINAPI ShowWindow(HWND window, int showCommand) {
    Window *target = findWindow(window);
    if (target == NULL) return FALSE;
    BOOL wasVisible = target->visible;
    target->visible = showCommand != SW_HIDE;
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) {
    Window *target = findWindow(window);
    if (target == NULL) return FALSE;
    target->repaints++;
    return TRUE;
}

// Timers never fire here: a test that wants one delivers WM_TIMER itself.
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT, void *) {
    return findWindow(window) != NULL ? id : 0;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR) { return findWindow(window) != NULL; }

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
    uintptr_t id = (uintptr_t)name;
    return id <= 0xFFFF ? standinIconHandle((int)id) : NULL;
}

// Folder browser -----------------------------------------------------------

// The user cancels the folder browser; the Wine suite uses the real one.
LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA) { return NULL; }

// The path of a special folder's list. The caller's buffer is MAX_PATH
// bytes, as Windows assumes.
BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
    std::map<int, std::string>::const_iterator known = specialFolders.find(heldItemList(list).folder);
    std::string answer = known == specialFolders.end() ? "" : known->second;
    if (answer.empty() || answer.size() >= MAX_PATH) {
        path[0] = '\0';
        return FALSE;
    }
    memcpy(path, answer.c_str(), answer.size() + 1);
    return TRUE;
}

HRESULT WINAPI SHGetMalloc(IMalloc **allocator) {
    *allocator = &shellAllocator;
    shellAllocator.AddRef();
    return S_OK;
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int folder, LPITEMIDLIST *list) {
    *list = NULL;
    if (specialFolders.find(folder) == specialFolders.end())
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *list = newItemList(folder);
    return S_OK;
}

// Painting -----------------------------------------------------------------

HDC WINAPI CreateCompatibleDC(HDC) {
    memoryDcs.push_back({kStockBitmap, true});
    return (HDC)(kFirstMemoryDc + (memoryDcs.size() - 1) * kStep);
}

BOOL WINAPI DeleteDC(HDC dc) {
    MemoryDc *memory = findMemoryDc(dc);
    if (memory == NULL) return FALSE;
    memory->held = false;
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    MemoryDc *memory = findMemoryDc(dc);
    if (memory == NULL || object == NULL) return NULL;
    HGDIOBJ previous = memory->selected;
    memory->selected = object;
    return previous;
}

// A bitmap's size is the one of the picture the last CreateDIBitmap was given.
int WINAPI GetObjectA(HANDLE object, int size, LPVOID buffer) {
    const std::vector<StandinDibCall> &calls = standinDibCalls();
    if (object == NULL || calls.empty() || buffer == NULL || size < (int)sizeof(BITMAP)) return 0;
    const BITMAPINFOHEADER &header = calls.back().header;
    BITMAP bitmap;
    memset(&bitmap, 0, sizeof bitmap);
    bitmap.bmWidth = header.biWidth;
    bitmap.bmHeight = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    bitmap.bmPlanes = 1;
    bitmap.bmBitsPixel = header.biBitCount;
    bitmap.bmWidthBytes = (bitmap.bmWidth * header.biBitCount + 15) / 16 * 2;
    memcpy(buffer, &bitmap, sizeof bitmap);
    return (int)sizeof bitmap;
}

BOOL WINAPI BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, DWORD operation) {
    MemoryDc *memory = findMemoryDc(source);
    blits.push_back({target, x, y, width, height, source, memory ? memory->selected : NULL,
                     sourceX, sourceY, operation});
    return memory != NULL;
}
