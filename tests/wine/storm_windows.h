// Set-up shared by the storm and the hostile-host programs.
#pragma once

#include <windows.h>

#include <string>

namespace storm {

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

}  // namespace storm
