// What the native back-end of the loader's thread services lets a test see and
// steer: the messages posted to windows, in order, and a refused thread start.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

struct PostedMessage {
    void* window;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

// Removes and returns every message posted so far, oldest first.
std::vector<PostedMessage> TakePostedMessages();
// Blocks until a message with this number is queued (not removed).
void WaitForPostedMessage(unsigned message);
// Called on the posting thread just before each message is queued; empty to stop.
void SetPostObserver(std::function<void(const PostedMessage&)> observer);
// The next `count` thread starts fail, as when the system refuses one.
void RefuseWorkerStarts(int count);
