#include "tests/native/support/fake_platform.h"

#include "playback/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

struct Event {
    uint32_t time;
    uint64_t order;
    std::function<void()> run;
};

struct State {
    std::mutex lock;
    uint32_t now = 0;
    uint64_t elapsed = 0;
    uint64_t limit = 600000;
    uint64_t nextOrder = 0;
    int pumpCalls = 0;
    std::vector<Event> events;
    std::vector<fake_platform::SoundCall> sounds;
};

State& S() {
    static State state;
    return state;
}

void Move(State& s, uint32_t milliseconds) {
    s.now += milliseconds;
    s.elapsed += milliseconds;
    if (s.elapsed > s.limit) {
        std::fprintf(stderr, "fake clock: moved %llu ms, beyond the test's %llu ms; taken for a hang\n",
                     static_cast<unsigned long long>(s.elapsed), static_cast<unsigned long long>(s.limit));
        std::abort();
    }
}

}  // namespace

namespace fake_platform {

void Reset(uint32_t start, uint32_t limit) {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    s.now = start;
    s.elapsed = 0;
    s.limit = limit;
    s.pumpCalls = 0;
    s.events.clear();
    s.sounds.clear();
}

uint32_t Now() {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.now;
}

void Advance(uint32_t milliseconds) {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    Move(s, milliseconds);
}

void At(uint32_t time, std::function<void()> event) {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    s.events.push_back(Event{time, s.nextOrder++, std::move(event)});
}

const std::vector<SoundCall>& Sounds() { return S().sounds; }

uint64_t Elapsed() {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.elapsed;
}

int PumpCalls() {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.pumpCalls;
}

}  // namespace fake_platform

uint32_t ClockNow() { return fake_platform::Now(); }

void PlayWaveImage(const void* image) {
    State& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    s.sounds.push_back(fake_platform::SoundCall{s.now, image});
}

bool PumpOneMessage() {
    State& s = S();
    std::function<void()> run;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        ++s.pumpCalls;
        // The earliest due event; due means its time is not ahead of the clock.
        auto due = s.events.end();
        for (auto it = s.events.begin(); it != s.events.end(); ++it) {
            if (static_cast<int32_t>(it->time - s.now) > 0) continue;
            if (due == s.events.end() || static_cast<int32_t>(it->time - due->time) < 0 ||
                (it->time == due->time && it->order < due->order))
                due = it;
        }
        if (due == s.events.end()) return false;
        run = std::move(due->run);
        s.events.erase(due);
    }
    run();  // outside the lock: it may pump again (a nested playback)
    return true;
}

void SleepOneTick() { fake_platform::Advance(1); }
