#include "host/command_line.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace standin {

const char kUsage[] =
    "usage: standin_host [PLUGIN.dll] [options]\n"
    "Plays the host editor's part for the plug-in (default: tavelin.dll beside this program).\n"
    "  --frames N          frames in the project (default 300)\n"
    "  --size WxH          picture size (default 320x240)\n"
    "  --rate R[/S]        video rate and scale: R/S frames per second (default 30/1)\n"
    "  --channels N        audio channels (default 2)\n"
    "  --samples N         audio samples per channel and frame (default 1470)\n"
    "  --cost-ms N         render cost of one picture in milliseconds (default 0)\n"
    "  --cursor N          the host's current frame (default 0)\n"
    "  --selection A-B     a selection from frame A to frame B (default none)\n"
    "  --pattern P         coded (pixels and samples encode the frame) or demo (default)\n"
    "  --no-project        start with no project open\n"
    "  --settings FILE     INI file of the plug-in's settings (default standin_host.ini beside this program)\n"
    "  --screenshot FILE   write a PNG of the window during the demo\n"
    "  --demo              run the demo and exit instead of waiting for the window to be closed\n"
    "  --help              this text\n";

namespace {

bool ParseNumber(const std::string& text, long long low, long long high, int& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

// "A<sep>B" with both parts numbers in range.
bool ParsePair(const std::string& text, char separator, long long low, long long high, int& a, int& b) {
    const size_t at = text.find(separator);
    return at != std::string::npos && ParseNumber(text.substr(0, at), low, high, a) &&
           ParseNumber(text.substr(at + 1), low, high, b);
}

}  // namespace

std::string ParseCommandLine(const std::vector<std::string>& arguments, Options& options) {
    options.project.pattern = Pattern::Demo;
    Project& p = options.project;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size()) return false;
            out = arguments[++i];
            return true;
        };
        std::string v;
        bool ok = true;
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            options.help = true;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--no-project") {
            p.open = false;
        } else if (arg == "--frames") {
            ok = value(v) && ParseNumber(v, 0, INT_MAX, p.frameCount);
        } else if (arg == "--size") {
            ok = value(v) && (ParsePair(v, 'x', 1, 16384, p.width, p.height) ||
                              ParsePair(v, 'X', 1, 16384, p.width, p.height));
        } else if (arg == "--rate") {
            if ((ok = value(v))) {
                if (v.find('/') != std::string::npos) ok = ParsePair(v, '/', 1, INT_MAX, p.videoRate, p.videoScale);
                else if ((ok = ParseNumber(v, 1, INT_MAX, p.videoRate))) p.videoScale = 1;
            }
        } else if (arg == "--channels") {
            ok = value(v) && ParseNumber(v, 0, 16, p.channels);
        } else if (arg == "--samples") {
            ok = value(v) && ParseNumber(v, 0, 1 << 20, p.samplesPerFrame);
        } else if (arg == "--cost-ms") {
            ok = value(v) && ParseNumber(v, 0, 60000, p.renderCostMs);
        } else if (arg == "--cursor") {
            ok = value(v) && ParseNumber(v, 0, INT_MAX, p.cursor);
        } else if (arg == "--selection") {
            ok = value(v) && ParsePair(v, '-', 0, INT_MAX, p.selectionStart, p.selectionEnd) &&
                 p.selectionStart <= p.selectionEnd;
            p.hasSelection = ok;
        } else if (arg == "--pattern") {
            ok = value(v) && (v == "coded" || v == "demo");
            if (ok) p.pattern = v == "coded" ? Pattern::Coded : Pattern::Demo;
        } else if (arg == "--settings") {
            ok = value(options.settings) && !options.settings.empty();
        } else if (arg == "--screenshot") {
            ok = value(options.screenshot) && !options.screenshot.empty();
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else if (options.plugin.empty()) {
            options.plugin = arg;
            continue;
        } else {
            return "more than one plug-in path: " + arg;
        }
        if (!ok) return "bad or missing value for " + arg + (v.empty() ? std::string() : ": " + v);
    }
    return {};
}

}  // namespace standin
