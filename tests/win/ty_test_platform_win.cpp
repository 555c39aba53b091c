// Real Windows as the machine of the common unit tests (ty_test_platform.h).
// A message box of the product is recorded and answered by
// ty_standin_win.cpp; an exit inside runProduct returns to it, as on the
// host.
#include <gtest/gtest.h>
#include <setjmp.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ty_setup_state.h"
#include "ty_test_platform.h"

extern "C" void __real_exit(int code);

namespace {

jmp_buf *exitJump;
int exitCode;
bool productEnded;  // since the last reset

bool removeTree(const std::string &path) {
    bool removed = true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string inner = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removed = removeTree(inner) && removed;
            } else if (!DeleteFileA(inner.c_str())) {
                ADD_FAILURE() << "could not remove " << inner << " (error " << GetLastError() << ")";
                removed = false;
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    if (removed && !RemoveDirectoryA(path.c_str())) {
        ADD_FAILURE() << "could not remove " << path << " (error " << GetLastError() << ")";
        removed = false;
    }
    return removed;
}

}  // namespace

extern "C" void __wrap_exit(int code) {
    if (exitJump != NULL) {
        exitCode = code;
        productEnded = true;
        longjmp(*exitJump, 1);
    }
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test != NULL) {
        fprintf(stderr, "\nThe process ended with exit code %d during %s.%s\n", code,
                test->test_suite_name(), test->name());
        fflush(stderr);
    }
    __real_exit(code);
}

ProductRun runProduct(const std::function<void()> &body) {
    ProductRun run = {false, 0};
    jmp_buf jump;
    jmp_buf *outer = exitJump;
    exitJump = &jump;
    if (setjmp(jump) == 0) {
        body();
    } else {
        run.exited = true;
        run.exitCode = exitCode;
    }
    exitJump = outer;
    return run;
}

void platformReset() {
    // The lock goes back as the installer's end gives it back; after an exit
    // the product has already done so.
    if (setupState.instanceLock != NULL && !productEnded) {
        ReleaseSemaphore(setupState.instanceLock, 1, NULL);
        CloseHandle(setupState.instanceLock);
    }
    setupState.instanceLock = NULL;
    productEnded = false;
    standinReset();
}

std::string makePrivateFolder() {
    char temporary[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temporary, temporary);
    if (length == 0 || length >= sizeof temporary) {
        ADD_FAILURE() << "GetTempPathA: error " << GetLastError();
        return "";
    }
    static unsigned serial;
    for (int attempt = 0; attempt < 100; attempt++) {
        char name[64];
        snprintf(name, sizeof name, "ty_unit_%lu_%u", GetCurrentProcessId(), ++serial);
        std::string path = std::string(temporary) + name;
        if (CreateDirectoryA(path.c_str(), NULL)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    ADD_FAILURE() << "could not make a folder in " << temporary << " (error " << GetLastError() << ")";
    return "";
}

void removePrivateFolder(const std::string &folder) { removeTree(folder); }

std::string pathIn(const std::string &folder, const std::string &name) { return folder + "\\" + name; }

bool readBitmap(HBITMAP bitmap, int *width, int *height, std::vector<uint32_t> *pixels) {
    BITMAP description;
    if (bitmap == NULL || GetObjectA(bitmap, sizeof description, &description) != sizeof description)
        return false;
    BITMAPINFO request;
    memset(&request, 0, sizeof request);
    request.bmiHeader.biSize = sizeof request.bmiHeader;
    request.bmiHeader.biWidth = description.bmWidth;
    request.bmiHeader.biHeight = -description.bmHeight;  // top row first
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> bits((size_t)description.bmWidth * description.bmHeight);
    HDC screen = GetDC(NULL);
    int rows = GetDIBits(screen, bitmap, 0, description.bmHeight, bits.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    if (rows != description.bmHeight) return false;
    *width = description.bmWidth;
    *height = description.bmHeight;
    pixels->clear();
    for (uint32_t bgrx : bits) pixels->push_back(bgrx & 0xFFFFFF);
    return true;
}
