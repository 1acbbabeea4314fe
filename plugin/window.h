// The window hook: the host hands it every message of the plug-in window.
#pragma once

#include "plugin/filter_table.h"

#include <cstdint>

int TAVELIN_CDECL FilterWindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam, EditHandle edit,
                                   FilterTable* table);
