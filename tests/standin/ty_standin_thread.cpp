// Threads, events and critical sections of the stand-in: real host threads,
// so that the product's second thread runs beside the page as on Windows and
// the sanitizers see every hand-over between the two.
#include "ty_standin.h"
#include "ty_standin_internal.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct ThreadObject {
    bool isThread;
    bool open;
    std::thread thread;
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
    DWORD id;
    bool manualReset;
    bool signalled;
};

std::mutex lock;
std::condition_variable changed;
std::vector<std::unique_ptr<ThreadObject>> objects;
int liveSections;
bool threadsRefused;
std::atomic<DWORD> lastThreadId{0};
thread_local DWORD currentThreadId;
thread_local bool onMadeThread;

// The object behind an open handle; lock held.
ThreadObject *findObject(HANDLE handle) {
    for (const std::unique_ptr<ThreadObject> &object : objects)
        if (object.get() == (ThreadObject *)handle && object->open) return object.get();
    return NULL;
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, size_t, LPTHREAD_START_ROUTINE start,
                           LPVOID parameter, DWORD, LPDWORD threadId) {
    std::lock_guard<std::mutex> guard(lock);
    if (threadsRefused) return NULL;
    objects.push_back(std::unique_ptr<ThreadObject>(new ThreadObject()));
    ThreadObject *object = objects.back().get();
    object->isThread = true;
    object->open = true;
    object->start = start;
    object->parameter = parameter;
    // The id is known before the thread runs, as on Windows.
    object->id = ++lastThreadId;
    if (threadId != NULL) *threadId = object->id;
    object->thread = std::thread([object] {
        currentThreadId = object->id;
        onMadeThread = true;
        object->start(object->parameter);
    });
    return (HANDLE)object;
}

BOOL WINAPI SetThreadPriority(HANDLE handle, int) {
    std::lock_guard<std::mutex> guard(lock);
    ThreadObject *object = findObject(handle);
    return object != NULL && object->isThread;
}

bool standinOnMadeThread() { return onMadeThread; }

DWORD WINAPI GetCurrentThreadId(void) {
    if (currentThreadId == 0) currentThreadId = ++lastThreadId;
    return currentThreadId;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    std::lock_guard<std::mutex> guard(lock);
    objects.push_back(std::unique_ptr<ThreadObject>(new ThreadObject()));
    ThreadObject *object = objects.back().get();
    object->open = true;
    object->manualReset = manualReset;
    object->signalled = initialState;
    return (HANDLE)object;
}

BOOL WINAPI SetEvent(HANDLE handle) {
    std::lock_guard<std::mutex> guard(lock);
    ThreadObject *object = findObject(handle);
    if (object == NULL || object->isThread) return FALSE;
    object->signalled = true;
    changed.notify_all();
    return TRUE;
}

bool standinWaitThreadObject(HANDLE handle, DWORD milliseconds, DWORD *result) {
    std::unique_lock<std::mutex> guard(lock);
    ThreadObject *object = findObject(handle);
    if (object == NULL) return false;
    if (object->isThread) {
        guard.unlock();  // the thread may want the lock to end
        if (object->thread.joinable()) object->thread.join();
        *result = WAIT_OBJECT_0;
        return true;
    }
    auto ready = [object] { return object->signalled; };
    if (milliseconds == INFINITE)
        changed.wait(guard, ready);
    else
        changed.wait_for(guard, std::chrono::milliseconds(milliseconds), ready);
    *result = object->signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    if (object->signalled && !object->manualReset) object->signalled = false;
    return true;
}

bool standinCloseThreadObject(HANDLE handle) {
    std::lock_guard<std::mutex> guard(lock);
    ThreadObject *object = findObject(handle);
    if (object == NULL) return false;
    object->open = false;
    return true;
}

void standinRefuseThreads() {
    std::lock_guard<std::mutex> guard(lock);
    threadsRefused = true;
}

int standinOpenThreadObjectCount() {
    std::lock_guard<std::mutex> guard(lock);
    int count = liveSections;
    for (const std::unique_ptr<ThreadObject> &object : objects) count += object->open;
    return count;
}

void standinResetThreads() {
    std::unique_lock<std::mutex> guard(lock);
    std::vector<std::unique_ptr<ThreadObject>> ended;
    ended.swap(objects);
    liveSections = 0;
    threadsRefused = false;
    guard.unlock();
    // A test that left a thread running has failed its handle count already.
    for (std::unique_ptr<ThreadObject> &object : ended)
        if (object->thread.joinable()) object->thread.join();
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
    section->lock = new std::recursive_mutex();
    std::lock_guard<std::mutex> guard(lock);
    liveSections++;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
    ((std::recursive_mutex *)section->lock)->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
    ((std::recursive_mutex *)section->lock)->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
    delete (std::recursive_mutex *)section->lock;
    section->lock = NULL;
    std::lock_guard<std::mutex> guard(lock);
    liveSections--;
}
