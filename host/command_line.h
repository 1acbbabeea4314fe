// The stand-in host program's command line. Pure: no windows.h.
#pragma once

#include "host/project.h"

#include <string>
#include <vector>

namespace standin {

struct Options {
    std::string plugin;  // the plug-in DLL; empty: tavelin.dll beside the program
    Project project;     // the synthetic project (the program defaults to the demo pattern)
    std::string settings;    // INI file of the settings store; empty: standin_host.ini beside the program
    std::string screenshot;  // PNG of the window, taken during the demo
    bool demo = false;       // run the demo flow and exit, instead of waiting for the user to close the window
    bool help = false;
};

// Fills options from the arguments (without the program name). Returns an
// empty string on success, else what is wrong.
std::string ParseCommandLine(const std::vector<std::string>& arguments, Options& options);

extern const char kUsage[];

}  // namespace standin
