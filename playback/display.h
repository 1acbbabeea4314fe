// Drawing into the plug-in window: the frame, the position bar, the cleared
// view, the title, and the window size for a view size.
#pragma once

#include "playback/player.h"
#include "playback/view_geometry.h"

ViewRect ComputeViewRect(const PreviewPlayer& player);
void DrawFrame(const PreviewPlayer& player, const unsigned char* pixels);
void ResizeToViewSize(void* window, int32_t width, int32_t height);
void DrawPositionBar(const PreviewPlayer& player, int32_t frame, int32_t frameCount);
void ClearView(const PreviewPlayer& player);
void UpdateTitle(FilterTable* table, EditHandle edit, const PreviewPlayer& player, int32_t frame);
