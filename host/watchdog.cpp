#include "host/watchdog.h"

#include <windows.h>

#include <cstdio>

namespace standin {

struct Watchdog::State {
    unsigned seconds;
    std::string what;
    CRITICAL_SECTION lock;
    HANDLE stop;
    HANDLE thread;
};

namespace {

DWORD WINAPI WatchdogThread(void* parameter) {
    auto* state = static_cast<Watchdog::State*>(parameter);
    if (WaitForSingleObject(state->stop, state->seconds * 1000u) != WAIT_TIMEOUT) return 0;
    EnterCriticalSection(&state->lock);
    const std::string what = state->what;
    LeaveCriticalSection(&state->lock);
    // Both streams: ctest shows either, and the window thread may be stuck anywhere.
    std::fprintf(stdout, "\nwatchdog: %s still running after %u s; killing the process\n", what.c_str(),
                 state->seconds);
    std::fflush(stdout);
    std::fprintf(stderr, "watchdog: %s still running after %u s; killing the process\n", what.c_str(),
                 state->seconds);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

}  // namespace

Watchdog::Watchdog(unsigned seconds, std::string what) : state_(new State{seconds, std::move(what), {}, {}, {}}) {
    InitializeCriticalSection(&state_->lock);
    state_->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state_->thread = CreateThread(nullptr, 0, WatchdogThread, state_, 0, nullptr);
}

Watchdog::~Watchdog() {
    SetEvent(state_->stop);
    if (state_->thread) {
        WaitForSingleObject(state_->thread, INFINITE);
        CloseHandle(state_->thread);
    }
    CloseHandle(state_->stop);
    DeleteCriticalSection(&state_->lock);
    delete state_;
}

void Watchdog::SetWhat(const std::string& what) {
    EnterCriticalSection(&state_->lock);
    state_->what = what;
    LeaveCriticalSection(&state_->lock);
}

}  // namespace standin

namespace standin {
namespace {

LONG WINAPI ReportFault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    fprintf(stderr, "fault: exception 0x%08lX at %p", static_cast<unsigned long>(record->ExceptionCode),
            record->ExceptionAddress);
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2)
        fprintf(stderr, " (%s %p)", record->ExceptionInformation[0] ? "writing" : "reading",
                reinterpret_cast<void*>(record->ExceptionInformation[1]));
    fprintf(stderr, "; ending the process\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 4);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void ExitOnFault() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportFault);
}

}  // namespace standin
