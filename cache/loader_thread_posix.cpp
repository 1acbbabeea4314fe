// The loader's thread services for the native tests: pthreads, and a queue in
// place of the window's message queue.
#include "cache/loader_thread.h"
#include "cache/loader_thread_posix.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

namespace {

struct Worker {
    pthread_t id;
    WorkerProc proc;
    void* arg;
};

void* RunWorker(void* worker) {
    auto* w = static_cast<Worker*>(worker);
    w->proc(w->arg);
    return nullptr;
}

std::mutex g_postLock;
std::condition_variable g_posted;
std::vector<PostedMessage> g_queue;
std::function<void(const PostedMessage&)> g_observer;
std::atomic<int> g_refusedStarts{0};

}  // namespace

void* StartWorkerThread(WorkerProc proc, void* arg) {
    for (int left = g_refusedStarts.load(); left > 0;)
        if (g_refusedStarts.compare_exchange_weak(left, left - 1)) return nullptr;
    // cppcheck-suppress unreadVariable ; the thread reads it through its argument
    auto* worker = new (std::nothrow) Worker{pthread_t{}, proc, arg};
    if (!worker) return nullptr;
    if (pthread_create(&worker->id, nullptr, RunWorker, worker) != 0) {
        delete worker;
        return nullptr;
    }
    return worker;
}

void JoinWorkerThread(void* handle) {
    if (!handle) return;
    auto* worker = static_cast<Worker*>(handle);
    pthread_join(worker->id, nullptr);
    delete worker;
}

void EndWorkerThread() {}

void PostToWindow(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    const PostedMessage posted{window, message, wParam, lParam};
    std::function<void(const PostedMessage&)> observer;
    {
        std::lock_guard<std::mutex> lock(g_postLock);
        observer = g_observer;
    }
    if (observer) observer(posted);
    {
        std::lock_guard<std::mutex> lock(g_postLock);
        g_queue.push_back(posted);
    }
    g_posted.notify_all();
}

std::vector<PostedMessage> TakePostedMessages() {
    std::lock_guard<std::mutex> lock(g_postLock);
    std::vector<PostedMessage> taken;
    taken.swap(g_queue);
    return taken;
}

void WaitForPostedMessage(unsigned message) {
    std::unique_lock<std::mutex> lock(g_postLock);
    g_posted.wait(lock, [message] {
        for (const PostedMessage& m : g_queue)
            if (m.message == message) return true;
        return false;
    });
}

void SetPostObserver(std::function<void(const PostedMessage&)> observer) {
    std::lock_guard<std::mutex> lock(g_postLock);
    g_observer = std::move(observer);
}

void RefuseWorkerStarts(int count) { g_refusedStarts = count; }
