// A tiny test harness for the programs that run under Wine. One program per
// file; this header supplies main() (define WINE_TEST_NO_MAIN to write your own
// and call wine_test::RunAll).
//
//   WINE_TEST(LoadsAndPlays) {
//       CHECK(host.Start());
//       CHECK_EQ(host.Title(), std::string("Tavelin"));
//       REQUIRE(ptr != nullptr);   // ends this case on failure
//   }
//
// Checks print "FAIL file:line: expression" (CHECK_EQ/CHECK_NE add both values)
// and the case goes on; REQUIRE ends the case. An exception thrown out of a
// case fails it. At the end: "<program>: N passed, N failed" (cases), and the
// exit code is 1 when any case failed. Arguments: substrings of case names to
// run only those. A watchdog (standin::Watchdog) kills the program with a
// message naming the running case if it hangs; seconds from the environment
// variable WINE_TEST_WATCHDOG_SECONDS, default 270 (below ctest's time-out).
#pragma once

#include "host/watchdog.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace wine_test {

struct Case {
    const char* name;
    void (*run)();
};

inline std::vector<Case>& Cases() {
    static std::vector<Case> cases;
    return cases;
}

struct Registrar {
    Registrar(const char* name, void (*run)()) { Cases().push_back({name, run}); }
};

struct Totals {
    int checks = 0;
    int failedChecks = 0;  // in the running case
};
inline Totals& Current() {
    static Totals totals;
    return totals;
}

// Thrown by REQUIRE to leave the case.
struct RequireFailed {};

template <typename T>
std::string Show(const T& value) {
    std::ostringstream out;
    if constexpr (std::is_same_v<T, bool>) {
        out << (value ? "true" : "false");
    } else if constexpr (std::is_same_v<T, char> || std::is_same_v<T, signed char> ||
                         std::is_same_v<T, unsigned char>) {
        out << static_cast<int>(value);
    } else if constexpr (std::is_enum_v<T>) {
        out << static_cast<long long>(value);
    } else if constexpr (std::is_convertible_v<const T&, std::string> && std::is_pointer_v<T>) {
        if (value) out << '"' << value << '"';
        else out << "(null)";
    } else if constexpr (std::is_convertible_v<const T&, std::string> && !std::is_null_pointer_v<T>) {
        out << '"' << std::string(value) << '"';
    } else if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) {
        out << static_cast<const void*>(value);
    } else {
        out << value;
    }
    return out.str();
}

inline bool Report(bool ok, const char* file, int line, const std::string& what) {
    ++Current().checks;
    if (!ok) {
        ++Current().failedChecks;
        std::printf("  FAIL %s:%d: %s\n", file, line, what.c_str());
        std::fflush(stdout);
    }
    return ok;
}

template <typename A, typename B>
bool ReportCompare(bool ok, const char* file, int line, const char* expression, const A& a, const B& b,
                   const std::string& note) {
    if (ok) return Report(true, file, line, "");
    std::string what = std::string(expression) + "  (" + Show(a) + " vs " + Show(b) + ")";
    if (!note.empty()) what += "  [" + note + "]";
    return Report(false, file, line, what);
}

// Extra context for every failure message of the current scope, e.g. the case
// of a table: `wine_test::Note note("frame " + std::to_string(i));`.
inline std::vector<std::string>& Notes() {
    static std::vector<std::string> notes;
    return notes;
}
struct Note {
    explicit Note(std::string text) { Notes().push_back(std::move(text)); }
    ~Note() { Notes().pop_back(); }
    Note(const Note&) = delete;
    Note& operator=(const Note&) = delete;
};
inline std::string NoteText() {
    std::string text;
    for (const auto& n : Notes()) text += (text.empty() ? "" : "; ") + n;
    return text;
}
inline std::string WithNote(std::string what) {
    const std::string note = NoteText();
    return note.empty() ? what : what + "  [" + note + "]";
}

inline const char* ProgramName(const char* argv0) {
    const char* name = argv0;
    for (const char* p = argv0; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

// Xvfb runs no window manager, and Wine's X11 driver waits up to 2 s for one
// to acknowledge every hidden managed window: each closed dialog or message
// box, each hidden window. This program's windows are made unmanaged instead
// (the driver's per-program "Managed" option, read when it first loads, so
// call this before any window exists). What the plug-in does is unchanged;
// only the waits go, which lets a run hold hundreds of dialogs.
inline void UnmanagedWindows() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path, length);
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const std::string key = "Software\\Wine\\AppDefaults\\" + name + "\\X11 Driver";
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(handle);
}

inline int RunAll(int argc, char** argv) {
    const char* program = argc > 0 ? ProgramName(argv[0]) : "test";
    unsigned seconds = 270;
    if (const char* env = std::getenv("WINE_TEST_WATCHDOG_SECONDS")) {
        const long value = std::strtol(env, nullptr, 10);
        if (value > 0) seconds = static_cast<unsigned>(value);
    }
    standin::ExitOnFault();  // a fault fails the program at once instead of waiting in Wine's debugger
    standin::Watchdog watchdog(seconds, program);
    int passed = 0, failed = 0;
    for (const Case& c : Cases()) {
        bool selected = argc <= 1;
        for (int i = 1; i < argc; ++i)
            if (std::string(c.name).find(argv[i]) != std::string::npos) selected = true;
        if (!selected) continue;
        watchdog.SetWhat(std::string(program) + " case " + c.name);
        std::printf("[ RUN  ] %s\n", c.name);
        std::fflush(stdout);
        Current().failedChecks = 0;
        Notes().clear();
        try {
            c.run();
        } catch (const RequireFailed&) {
        } catch (const std::exception& e) {
            Report(false, __FILE__, __LINE__, std::string("exception: ") + e.what());
        } catch (...) {
            Report(false, __FILE__, __LINE__, "unknown exception");
        }
        const bool ok = Current().failedChecks == 0;
        std::printf("[%s] %s\n", ok ? "  OK  " : " FAIL ", c.name);
        std::fflush(stdout);
        (ok ? passed : failed)++;
    }
    std::printf("%s: %d passed, %d failed (%d checks)\n", program, passed, failed, Current().checks);
    std::fflush(stdout);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace wine_test

#define WINE_TEST_CONCAT2(a, b) a##b
#define WINE_TEST_CONCAT(a, b) WINE_TEST_CONCAT2(a, b)

#define WINE_TEST(name)                                                               \
    static void WINE_TEST_CONCAT(wine_case_, name)();                                 \
    static const ::wine_test::Registrar WINE_TEST_CONCAT(wine_registrar_, name)(      \
        #name, &WINE_TEST_CONCAT(wine_case_, name));                                  \
    static void WINE_TEST_CONCAT(wine_case_, name)()

#define CHECK(cond) \
    ::wine_test::Report(static_cast<bool>(cond), __FILE__, __LINE__, ::wine_test::WithNote("CHECK(" #cond ")"))

#define CHECK_EQ(a, b)                                                                                          \
    [&](const auto& wine_a_, const auto& wine_b_) {                                                             \
        return ::wine_test::ReportCompare(static_cast<bool>(wine_a_ == wine_b_), __FILE__, __LINE__,            \
                                          "CHECK_EQ(" #a ", " #b ")", wine_a_, wine_b_, ::wine_test::NoteText()); \
    }((a), (b))

#define CHECK_NE(a, b)                                                                                          \
    [&](const auto& wine_a_, const auto& wine_b_) {                                                             \
        return ::wine_test::ReportCompare(static_cast<bool>(wine_a_ != wine_b_), __FILE__, __LINE__,            \
                                          "CHECK_NE(" #a ", " #b ")", wine_a_, wine_b_, ::wine_test::NoteText()); \
    }((a), (b))

#define REQUIRE(cond)                                              \
    do {                                                           \
        if (!CHECK(cond)) throw ::wine_test::RequireFailed{};      \
    } while (0)

#ifndef WINE_TEST_NO_MAIN
int main(int argc, char** argv) {
    ::wine_test::UnmanagedWindows();
    return ::wine_test::RunAll(argc, argv);
}
#endif
