// The loader's thread and its messages on Windows.
#include "cache/loader_thread.h"

#include <windows.h>

#include <process.h>

void* StartWorkerThread(WorkerProc proc, void* arg) {
    // Through the C run-time, so that its per-thread state exists on the worker.
    const uintptr_t handle = _beginthreadex(nullptr, 0, proc, arg, 0, nullptr);
    return reinterpret_cast<void*>(handle);
}

void JoinWorkerThread(void* handle) {
    if (!handle) return;
    WaitForSingleObject(static_cast<HANDLE>(handle), INFINITE);
    CloseHandle(static_cast<HANDLE>(handle));
}

void EndWorkerThread() { _endthreadex(0); }

void PostToWindow(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    PostMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}
