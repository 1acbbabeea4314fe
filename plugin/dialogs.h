// The settings dialog and the information box.
#pragma once

#include "plugin/filter_table.h"

#include <windows.h>

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ShowInformation(HWND owner, HINSTANCE instance);
int QualityForCommand(unsigned id);
