#include "plugin/window.h"

int TAVELIN_CDECL FilterWindowProc(void*, unsigned, uintptr_t, intptr_t, EditHandle, FilterTable*) { return 0; }
