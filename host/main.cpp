// The stand-in host program: runs a plug-in DLL in a window as the host editor
// would, over a synthetic project. See kUsage for the command line.
#include "host/command_line.h"
#include "host/standin_host.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace standin;

namespace {

const char* PatternName(Pattern pattern) { return pattern == Pattern::Coded ? "coded" : "demo"; }

void PrintSetting(const StandinHost& host, const std::string& plugin) {
    const FilterTable* table = host.Table();
    std::printf("standin_host: plug-in \"%s\" (%s) from %s\n", table->name ? table->name : "",
                table->information ? table->information : "", plugin.c_str());
    const Project p = host.GetProject();
    if (!p.open) {
        std::printf("standin_host: no project open\n");
        return;
    }
    std::printf("standin_host: project of %d frames, %dx%d at %d/%d fps, %d channels x %d samples per frame, "
                "render cost %d ms, %s pattern\n",
                p.frameCount, p.width, p.height, p.videoRate, p.videoScale, p.channels, p.samplesPerFrame,
                p.renderCostMs, PatternName(p.pattern));
}

// The plug-in's own command ids and messages, as its menu and loader send them.
constexpr int kCommandLoad = 103;
constexpr int kCommandPlay = 100;
constexpr int kCommandInformation = 199;
constexpr int kViewFixed640 = 204;
constexpr UINT kLoadProgress = 0x401;
constexpr UINT kLoadDone = 0x400;

// Text from the plug-in (ANSI code page) as UTF-8 for the terminal.
std::string Utf8FromAnsi(const std::string& text) {
    if (text.empty()) return text;
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    std::string out(wide.size() * 4, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0],
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

// Taken from a thread timer, which the plug-in's playback pump dispatches
// while the play command is still running.
struct Snapshot {
    StandinHost* host = nullptr;
    std::string path;
    bool taken = false;
    bool ok = true;
    std::string title;
};
Snapshot g_snapshot;

void CALLBACK TakeSnapshot(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (g_snapshot.taken) return;
    g_snapshot.taken = true;
    g_snapshot.title = g_snapshot.host->Title();
    if (!g_snapshot.path.empty()) g_snapshot.ok = g_snapshot.host->SaveWindowPng(g_snapshot.path);
}

// The demo: loads a run through the plug-in's own load command, plays it,
// takes the screenshot halfway through the playback, asks the plug-in's
// information box what it holds, ends the plug-in and prints a summary.
int RunDemo(StandinHost& host, const Options& options) {
    host.PumpFor(200);
    host.SendCommand(kViewFixed640);  // a window large enough to watch
    host.PumpFor(200);

    const DWORD loadStart = GetTickCount();
    host.SendCommand(kCommandLoad);
    if (!host.PumpUntilMessage(kLoadDone, 1, kDefaultWaitMs)) return 1;
    const int loaded = host.MessageCount(kLoadProgress);
    const DWORD loadMs = GetTickCount() - loadStart;

    std::string information;
    host.OnDialog([&](Dialog& box) {
        information = box.Text();
        box.Press(IDOK);
    });
    host.SendCommand(kCommandInformation);

    const Project project = host.GetProject();
    const double fps = project.videoScale > 0 ? static_cast<double>(project.videoRate) / project.videoScale : 0.0;
    g_snapshot.host = &host;
    g_snapshot.path = options.screenshot;
    const UINT halfway = fps > 0 ? static_cast<UINT>(loaded * 500.0 / fps) : 500;
    SetTimer(nullptr, 0, halfway > 0 ? halfway : 1, TakeSnapshot);
    const int titlesBefore = host.MessageCount(WM_SETTEXT);
    const DWORD playStart = GetTickCount();
    host.SendCommand(kCommandPlay);  // returns when the playback has ended
    const DWORD playMs = GetTickCount() - playStart;
    // Every drawn frame sets the title once; so does the first frame shown at the end.
    const int drawn = host.MessageCount(WM_SETTEXT) - titlesBefore - 1;
    const int dropped = loaded > 1 ? loaded - 1 - drawn : 0;  // the run's first frame is shown after the pass
    host.PumpFor(200);
    if (!g_snapshot.taken) TakeSnapshot(nullptr, 0, 0, 0);

    host.SendExit();
    host.Pump();

    std::printf("standin_host: loaded %d frames in %lu ms\n", loaded, static_cast<unsigned long>(loadMs));
    std::string text = Utf8FromAnsi(information);
    for (char& c : text)
        if (c == '\t') c = ' ';
    std::printf("standin_host: the plug-in's information box:\n  %s\n", text.c_str());
    std::printf("standin_host: played %d frames at %.3f fps in %lu ms (ideal %.0f ms): %d drawn, %d dropped\n",
                loaded, fps, static_cast<unsigned long>(playMs), fps > 0 ? loaded * 1000.0 / fps : 0.0, drawn,
                dropped);
    std::printf("standin_host: title during playback: %s\n", Utf8FromAnsi(g_snapshot.title).c_str());
    if (!options.screenshot.empty()) {
        if (g_snapshot.ok) std::printf("standin_host: screenshot %s\n", options.screenshot.c_str());
        else std::fprintf(stderr, "standin_host: cannot write the screenshot %s\n", options.screenshot.c_str());
    }
    if (host.NonZeroHookResults() > 0)
        std::printf("standin_host: the hook returned non-zero %d times\n", host.NonZeroHookResults());
    return g_snapshot.ok && loaded > 0 ? 0 : 1;
}

// Until the user closes the window.
int RunInteractive(StandinHost& host) {
    while (!host.CloseRequested()) {
        host.Pump();
        if (!host.CloseRequested()) WaitMessage();
    }
    host.SendExit();
    host.Pump();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string error = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!error.empty()) {
        std::fprintf(stderr, "standin_host: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::printf("%s", kUsage);
        return 0;
    }

    const std::string plugin = options.plugin.empty() ? BesideExe("tavelin.dll") : options.plugin;
    ExitOnFault();
    StandinHost host(options.project);
    host.UseSettingsFile(options.settings.empty() ? BesideExe("standin_host.ini") : options.settings);
    if (!host.Load(plugin)) {
        std::fprintf(stderr, "standin_host: %s\n", host.Error().c_str());
        return 1;
    }
    PrintSetting(host, plugin);
    // A first demo caches five seconds of the default project: more than the
    // plug-in's default 4 MiB hold at full quality. (The store's section is
    // the plug-in's name, known once it is loaded.)
    if (options.demo && !host.Setting("UseMemory")) host.SetSetting("UseMemory", 64);
    if (!host.Start()) {
        std::fprintf(stderr, "standin_host: %s\n", host.Error().c_str());
        return 1;
    }
    return options.demo ? RunDemo(host, options) : RunInteractive(host);
}
