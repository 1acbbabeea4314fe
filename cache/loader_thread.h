// The OS services the loader needs: one worker thread and posting to a window.
// Contract: StartWorkerThread runs proc(arg) on a new thread started through the
// C run-time, and returns its handle or null. JoinWorkerThread waits with no
// time limit for the thread to end and closes the handle. PostToWindow queues a
// message for the window's thread and never waits for it.
#pragma once

#include <cstdint>

// The C run-time's thread start takes a stdcall entry on 32-bit Windows.
#if defined(__i386__)
#define TAVELIN_WORKER_CALL __attribute__((stdcall))
#else
#define TAVELIN_WORKER_CALL
#endif

using WorkerProc = unsigned(TAVELIN_WORKER_CALL*)(void*);

void* StartWorkerThread(WorkerProc proc, void* arg);
void JoinWorkerThread(void* handle);
// Ends the calling worker thread through the run-time's matching routine
// (a no-op where returning from the entry does the same).
void EndWorkerThread();
void PostToWindow(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);
