#include "plugin/filter_table.h"

#include "plugin/version.h"
#include "plugin/window.h"

namespace {

constexpr uint32_t kFlags = 0x0004E004;

// Static, in initialised data; the host writes services, window and instance.
FilterTable g_filterTable = {
    kFlags, 320, 240, TAVELIN_DISPLAY_NAME, {}, FilterWindowProc, {}, TAVELIN_INFORMATION, {}, nullptr, nullptr,
    nullptr, {},
};

}  // namespace

FilterTable* TAVELIN_CDECL GetFilterTableRecord() { return &g_filterTable; }

// The library's one export. It only hands out the record.
extern "C" FilterTable* TAVELIN_CDECL GetFilterTable() { return &g_filterTable; }
