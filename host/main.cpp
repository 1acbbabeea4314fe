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

// The demo: shows the plug-in in its window, takes the screenshot, ends the
// plug-in and prints what happened. Returns the exit code.
int RunDemo(StandinHost& host, const Options& options) {
    host.PumpFor(300);
    host.SendWindowChanged();
    host.PumpFor(300);

    bool screenshotOk = true;
    if (!options.screenshot.empty()) {
        screenshotOk = host.SaveWindowPng(options.screenshot);
        if (!screenshotOk) std::fprintf(stderr, "standin_host: cannot write the screenshot %s\n", options.screenshot.c_str());
    }

    const std::string title = host.Title();
    host.SendExit();
    host.Pump();

    const ServiceCounts counts = host.Counts();
    std::printf("standin_host: demo done: window \"%s\", %d pictures and %d sound frames served, %d settings saved\n",
                title.c_str(), counts.pixelRenders, counts.audioRenders, counts.saveSetting);
    if (!options.screenshot.empty() && screenshotOk)
        std::printf("standin_host: screenshot %s\n", options.screenshot.c_str());
    if (host.NonZeroHookResults() > 0)
        std::printf("standin_host: the hook returned non-zero %d times\n", host.NonZeroHookResults());
    return screenshotOk ? 0 : 1;
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
    StandinHost host(options.project);
    host.UseSettingsFile(options.settings.empty() ? BesideExe("standin_host.ini") : options.settings);
    if (!host.Load(plugin)) {
        std::fprintf(stderr, "standin_host: %s\n", host.Error().c_str());
        return 1;
    }
    PrintSetting(host, plugin);
    if (!host.Start()) {
        std::fprintf(stderr, "standin_host: %s\n", host.Error().c_str());
        return 1;
    }
    return options.demo ? RunDemo(host, options) : RunInteractive(host);
}
