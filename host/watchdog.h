// Kills the process, with a message naming what hung, when a test runs far
// beyond its budget. A last resort against a hang: normal waits use
// StandinHost::PumpUntil, which fails the test on its time-out instead.
#pragma once

#include <string>

namespace standin {

class Watchdog {
public:
    // Starts a thread that, unless the watchdog is destroyed first,
    // prints "watchdog: <what> still running after N s; killing the process"
    // to stderr after `seconds` and terminates the process with exit code 3.
    Watchdog(unsigned seconds, std::string what);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Names the activity now running (shown in the message); thread-safe.
    void SetWhat(const std::string& what);

    struct State;

private:
    State* state_;
};

}  // namespace standin

namespace standin {

// Makes a fault end the process at once with exit code 4 and a line naming
// the exception and its address. Without it Wine starts its debugger on an
// unhandled fault, which waits for a terminal that tests do not have.
void ExitOnFault();

}  // namespace standin
