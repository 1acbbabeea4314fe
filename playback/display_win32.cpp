#include "playback/display.h"

#include "playback/title.h"

#include <windows.h>

#include <cstring>

static_assert(sizeof(BITMAPINFO) == 44, "a 40-byte header and one colour entry");

namespace {

HWND WindowOf(const PreviewPlayer& player) { return static_cast<HWND>(player.window); }

SIZE ClientSizeOf(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return SIZE{client.right - client.left, client.bottom - client.top};
}

// Fills columns 0 to width - 1 of the bar's two rows with the selected brush.
void FillBarStrip(HDC dc, SIZE client) { Rectangle(dc, 0, client.cy - kBarHeight, client.cx + 1, client.cy + 1); }

}  // namespace

ViewRect ComputeViewRect(const PreviewPlayer& player) {
    const SIZE client = ClientSizeOf(WindowOf(player));
    const VideoMemory* video = player.cache ? player.cache->video : nullptr;
    return PlaceView(client.cx, client.cy, video ? video->width : 0, video ? video->height : 0,
                     player.settings->viewSize);
}

void DrawFrame(const PreviewPlayer& player, const unsigned char* pixels) {
    const ViewRect r = ComputeViewRect(player);
    const VideoMemory& video = *player.cache->video;
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = video.width;
    info.bmiHeader.biHeight = video.height;  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    const HWND window = WindowOf(player);
    const HDC dc = GetDC(window);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, r.left, r.top, r.width, r.height, 0, 0, video.width, video.height, pixels, &info,
                  DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(window, dc);
}

void ResizeToViewSize(void* window, int32_t width, int32_t height) {
    ClientSize wanted{};
    if (!WantedClientSize(g_settings.viewSize, width, height, &wanted)) return;
    RECT outer{0, 0, wanted.width, wanted.height};
    AdjustWindowRectEx(&outer, kWindowStyle, TRUE, kWindowExStyle);
    SetWindowPos(static_cast<HWND>(window), nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

void DrawPositionBar(const PreviewPlayer& player, int32_t frame, int32_t frameCount) {
    const HWND window = WindowOf(player);
    const HDC dc = GetDC(window);
    const HGDIOBJ nullPen = GetStockObject(NULL_PEN);
    const HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    const PreviewCache& cache = *player.cache;
    const SIZE client = ClientSizeOf(window);
    const BarColumns columns = ComputeBarColumns(static_cast<uint32_t>(cache.firstFrame), cache.loadedCount.load(),
                                                 frame, frameCount, client.cx);
    const HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    const HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));

    const HGDIOBJ oldPen = SelectObject(dc, nullPen);
    const HGDIOBJ oldBrush = SelectObject(dc, face);
    FillBarStrip(dc, client);
    // Without frames there is nothing to place: the strip stays blank.
    if (columns.known) {
        SelectObject(dc, green);
        Rectangle(dc, columns.x1, client.cy - kBarHeight, columns.x2, client.cy + 1);
        SelectObject(dc, red);  // last, so the line shows above the range
        MoveToEx(dc, columns.xp, client.cy - kBarHeight, nullptr);
        LineTo(dc, columns.xp, client.cy + 1);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(red);
    DeleteObject(green);
    DeleteObject(face);
    ReleaseDC(window, dc);
}

void ClearView(const PreviewPlayer& player) {
    const HWND window = WindowOf(player);
    const SIZE client = ClientSizeOf(window);
    const HDC dc = GetDC(window);
    const HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    const HGDIOBJ oldBrush = SelectObject(dc, face);
    Rectangle(dc, 0, 0, client.cx + 1, client.cy - (kBandHeight - 1));  // the video area
    FillBarStrip(dc, client);  // the buttons' rows between stay as they are
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(face);
    ReleaseDC(window, dc);
}

void UpdateTitle(FilterTable* table, EditHandle edit, const PreviewPlayer& player, int32_t frame) {
    char title[kTitleBytes];
    ComposeTitle(table, edit, player, frame, title);
    SetWindowTextA(WindowOf(player), title);
}
