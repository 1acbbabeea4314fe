// The stand-in host itself: that it plays the editor's part as the plug-in
// expects (record, window, messages, services, settings), and that the tools
// the other Wine tests stand on (pumping, read-back, PNG, dialogs, child runs)
// work. Most cases use a recording hook instead of the plug-in, so that what
// they see is the host's doing; the DLL cases use the guarded test build.
#include "host/standin_host.h"
#include "tests/wine/wine_test.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

using namespace standin;

namespace {

// What a hook saw of one message.
struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    EditHandle edit;
    FilterTable* table;
    void* windowField;  // the record's window field at that moment
    HostServices* servicesField;
};
std::vector<Seen> g_seen;

int TAVELIN_CDECL RecordingHook(void* window, unsigned message, uintptr_t wParam, intptr_t, EditHandle edit,
                                FilterTable* table) {
    g_seen.push_back({static_cast<HWND>(window), message, wParam, edit, table, table->window, table->services});
    return 0;
}

FilterTable RecordingTable() {
    FilterTable table{};
    table.flags = 0x0004E004;
    table.width = 200;
    table.height = 150;
    table.name = "Recorder";
    table.hook = RecordingHook;
    return table;
}

int SeenCount(UINT message) {
    int n = 0;
    for (const auto& s : g_seen) n += s.message == message;
    return n;
}

template <typename T>
T At(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(base) + offset, sizeof value);
    return value;
}

std::string TempPath(const std::string& name) {
    char directory[MAX_PATH] = {};
    GetTempPathA(sizeof directory, directory);
    return std::string(directory) + "tavelin_host_test_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// --- An independent PNG reader: only what our writer may produce ----------------

uint32_t Big32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

uint32_t BitwiseCrc(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

struct DecodedPng {
    std::string problem;  // empty when well-formed
    Image image;          // BGR, top row first
};

DecodedPng DecodeStoredPng(const std::vector<uint8_t>& file) {
    DecodedPng out;
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return {"bad signature", {}};
    std::vector<uint8_t> idat;
    std::vector<std::string> order;
    int width = 0, height = 0;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const uint32_t length = Big32(&file[at]);
        if (at + 12 + length > file.size()) return {"chunk runs past the end", {}};
        const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        const uint8_t* data = &file[at + 8];
        if (BitwiseCrc(&file[at + 4], length + 4) != Big32(data + length)) return {"bad CRC of " + type, {}};
        order.push_back(type);
        if (type == "IHDR") {
            if (length != 13) return {"IHDR length", {}};
            width = static_cast<int>(Big32(data));
            height = static_cast<int>(Big32(data + 4));
            if (data[8] != 8 || data[9] != 2 || data[10] || data[11] || data[12]) return {"IHDR not 8-bit RGB", {}};
        } else if (type == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        }
        at += 12 + length;
    }
    if (at != file.size()) return {"bytes after the last chunk", {}};
    if (order.size() < 3 || order.front() != "IHDR" || order.back() != "IEND") return {"chunk order", {}};
    if (idat.size() < 6 || ((idat[0] << 8) | idat[1]) % 31 != 0 || (idat[0] & 0x0F) != 8)
        return {"bad zlib header", {}};
    std::vector<uint8_t> raw;
    size_t p = 2;
    for (bool last = false; !last;) {
        if (p + 5 > idat.size()) return {"truncated deflate block", {}};
        if ((idat[p] & 0x06) != 0) return {"not a stored block", {}};
        last = idat[p] & 1;
        const unsigned len = idat[p + 1] | (idat[p + 2] << 8);
        const unsigned nlen = idat[p + 3] | (idat[p + 4] << 8);
        if ((len ^ 0xFFFF) != nlen) return {"LEN/NLEN mismatch", {}};
        p += 5;
        if (p + len > idat.size()) return {"stored block runs past IDAT", {}};
        raw.insert(raw.end(), idat.begin() + p, idat.begin() + p + len);
        p += len;
    }
    if (p + 4 != idat.size()) return {"zlib stream length", {}};
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    if (((b << 16) | a) != Big32(&idat[p])) return {"bad Adler-32", {}};
    const size_t row = static_cast<size_t>(width) * 3 + 1;
    if (raw.size() != row * height) return {"wrong amount of image data", {}};
    out.image.width = width;
    out.image.height = height;
    for (int y = 0; y < height; ++y) {
        if (raw[row * y] != 0) return {"row filter not 0", {}};
        for (int x = 0; x < width; ++x) {
            const uint8_t* px = &raw[row * y + 1 + 3 * x];
            out.image.bgr.insert(out.image.bgr.end(), {px[2], px[1], px[0]});
        }
    }
    return out;
}

// Draws a coded frame 1:1 into the client area, as the plug-in draws its pictures.
void DrawCodedFrame(HWND window, int frame, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    RenderPixels(Pattern::Coded, frame, width, height, 1, pixels.data());
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom row first, as delivered
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(window);
    SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(window, dc);
    GdiFlush();
}

// An in-memory dialog template: an edit box (id 100) and OK / Cancel.
std::vector<WORD> EditDialogTemplate() {
    std::vector<WORD> t;
    auto dword = [&](DWORD v) { t.push_back(LOWORD(v)); t.push_back(HIWORD(v)); };
    auto text = [&](const wchar_t* s) { do t.push_back(static_cast<WORD>(*s)); while (*s++); };
    auto align = [&] { if (t.size() % 2) t.push_back(0); };
    dword(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT);
    dword(0);
    t.push_back(3);  // items
    t.insert(t.end(), {10, 10, 160, 60});
    t.push_back(0);  // no menu
    t.push_back(0);  // default class
    text(L"Enter");
    t.push_back(9);
    text(L"MS Shell Dlg");
    auto item = [&](DWORD style, short x, short y, short w, short h, WORD id, WORD cls, const wchar_t* caption) {
        align();
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);
        t.insert(t.end(), {WORD(x), WORD(y), WORD(w), WORD(h), id, 0xFFFF, cls});
        text(caption);
        t.push_back(0);  // no creation data
    };
    item(ES_LEFT | WS_BORDER | WS_TABSTOP, 5, 5, 100, 12, 100, 0x0081, L"7");
    item(BS_DEFPUSHBUTTON | WS_TABSTOP, 5, 30, 40, 14, IDOK, 0x0080, L"OK");
    item(BS_PUSHBUTTON | WS_TABSTOP, 60, 30, 40, 14, IDCANCEL, 0x0080, L"Cancel");
    return t;
}

// Ends with the number in the edit box on OK, -1 on Cancel.
INT_PTR CALLBACK EditDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, GetDlgItemInt(dialog, 100, nullptr, TRUE));
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, -1);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

// The record as the host finds it in a freshly loaded DLL, and what it writes there.
WINE_TEST(DllRecordBeforeAndAfterTheHostWritesIt) {
    const std::string dll = BesideExe("tavelin.dll");
    HMODULE module = LoadLibraryA(dll.c_str());
    REQUIRE(module != nullptr);
    using Entry = FilterTable* (*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "GetFilterTable")));
    REQUIRE(entry != nullptr);
    FilterTable* first = entry();
    CHECK(first != nullptr);
    CHECK_EQ(entry(), first);
    REQUIRE(first != nullptr);
    // By byte offset, as the editor reads it (64-bit layout).
    CHECK_EQ(At<uint32_t>(first, 0), 0x0004E004u);
    CHECK_EQ(At<int32_t>(first, 4), 320);
    CHECK_EQ(At<int32_t>(first, 8), 240);
    CHECK_EQ(std::string(At<const char*>(first, 16)), std::string("Tavelin"));
    CHECK(At<void*>(first, 72) != nullptr);
    CHECK_EQ(std::string(At<const char*>(first, 96)), std::string("Tavelin version 0.03 by Orvend"));
    for (size_t offset : {112u, 120u, 128u}) {
        wine_test::Note note("offset " + std::to_string(offset));
        CHECK_EQ(At<void*>(first, offset), nullptr);
    }
    {
        StandinHost host;
        REQUIRE(host.Load(dll));
        CHECK_EQ(host.Table(), first);
        CHECK_EQ(host.Module(), module);  // the same loaded image
        REQUIRE(host.Start());
        CHECK_EQ(At<const void*>(first, 112), static_cast<const void*>(host.Services()));
        CHECK_EQ(At<void*>(first, 120), static_cast<void*>(host.Window()));
        CHECK_EQ(At<void*>(first, 128), static_cast<void*>(module));
        CHECK_EQ(host.MessageCount(kHostMsgInit), 1);
        CHECK_EQ(host.NonZeroHookResults(), 0);
        // The plug-in's menu is one line: with it in place the client area has the record's size.
        CHECK(GetMenu(host.Window()) != nullptr);
        CHECK_EQ(host.ClientSize().cx, 320L);
        CHECK_EQ(host.ClientSize().cy, 240L);
        CHECK(Contains(host.Title(), "Tavelin"));
    }
    for (size_t offset : {112u, 120u, 128u}) {
        wine_test::Note note("after the host, offset " + std::to_string(offset));
        CHECK_EQ(At<void*>(first, offset), nullptr);
    }
    FreeLibrary(module);
}

// The window as the editor makes it, and what the hook is handed.
WINE_TEST(WindowAndHostMessages) {
    g_seen.clear();
    FilterTable table = RecordingTable();
    {
        StandinHost host;
        host.Attach(&table);
        REQUIRE(host.CreatePluginWindow());
        HWND window = host.Window();
        CHECK_EQ(table.window, static_cast<void*>(window));
        CHECK_EQ(table.instance, static_cast<void*>(GetModuleHandleA(nullptr)));
        CHECK_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & kPluginWindowStyle, kPluginWindowStyle);
        CHECK_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)) & kPluginWindowExStyle, kPluginWindowExStyle);
        CHECK(GetMenu(window) != nullptr);
        CHECK(SeenCount(WM_NCCREATE) + SeenCount(WM_CREATE) >= 2);  // the hook sees creation too
        CHECK_EQ(SeenCount(kHostMsgInit), 0);
        REQUIRE(!g_seen.empty());
        bool consistent = true;
        for (const auto& s : g_seen)
            consistent &= s.window == window && s.edit == host.Edit() && s.table == &table &&
                          s.windowField == window && s.servicesField == host.Services();
        CHECK(consistent);  // from the very first message

        host.SendInit();
        CHECK_EQ(SeenCount(kHostMsgInit), 1);
        host.SendWindowChanged();
        CHECK_EQ(SeenCount(kHostMsgWindowChanged), 1);

        // Closing the project tells the plug-in while the project is still open.
        CHECK_EQ(host.Services()->IsEditing(host.Edit()), 1);
        host.CloseProject();
        CHECK_EQ(SeenCount(kHostMsgFileClose), 1);
        CHECK_EQ(host.Services()->IsEditing(host.Edit()), 0);
        CHECK_EQ(host.Services()->GetFrameCount(host.Edit()), 0);
        Project next;
        next.frameCount = 12;
        host.OpenProject(next);
        CHECK_EQ(host.Services()->GetFrameCount(host.Edit()), 12);

        // Commands and keys arrive as from the menu and the keyboard.
        host.SendCommand(103);
        host.PostCommand(104);
        CHECK(host.PumpUntil([] { return SeenCount(WM_COMMAND) >= 2; }, kDefaultWaitMs, "posted command"));
        CHECK_EQ(host.MessageCount(WM_COMMAND), 2);
        HWND button = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, 0, 0, 24, 24, window,
                                      reinterpret_cast<HMENU>(10050), GetModuleHandleA(nullptr), nullptr);
        REQUIRE(button != nullptr);
        CHECK(host.ClickButton(10050));
        CHECK(!host.ClickButton(12345));
        host.PostKey(VK_RIGHT);
        CHECK(host.PumpUntilMessage(WM_KEYUP));
        host.SendKey(VK_LEFT);
        std::vector<std::pair<UINT, WPARAM>> tail;
        for (const auto& s : g_seen)
            if (s.message == WM_COMMAND || s.message == WM_KEYDOWN) tail.push_back({s.message, s.wParam});
        const std::vector<std::pair<UINT, WPARAM>> expected = {{WM_COMMAND, 103},
                                                               {WM_COMMAND, 104},
                                                               {WM_COMMAND, MAKEWPARAM(10050, BN_CLICKED)},
                                                               {WM_KEYDOWN, VK_RIGHT},
                                                               {WM_KEYDOWN, VK_LEFT}};
        CHECK(tail == expected);

        // The user closing the tool window hides it; the plug-in stays.
        host.Send(WM_CLOSE);
        CHECK(host.CloseRequested());
        CHECK(!IsWindowVisible(window));
        CHECK_EQ(SeenCount(kHostMsgWindowChanged), 2);
        CHECK_EQ(host.Window(), window);
        host.Show(true);
        CHECK(IsWindowVisible(window));
        CHECK(!host.CloseRequested());
        CHECK_EQ(SeenCount(kHostMsgExit), 0);
    }
    // The host's end: exit first, then the window goes, and the record is given back clean.
    CHECK_EQ(SeenCount(kHostMsgExit), 1);
    CHECK(SeenCount(WM_DESTROY) == 1);
    CHECK_EQ(table.services, nullptr);
    CHECK_EQ(table.window, nullptr);
    CHECK_EQ(table.instance, nullptr);
}

// The nine services over the synthetic project, from the window thread and from others.
WINE_TEST(ServicesAnswerFromTheProject) {
    Project p;
    p.frameCount = 10;
    p.width = 40;
    p.height = 30;
    p.videoRate = 30000;
    p.videoScale = 1001;
    p.channels = 2;
    p.samplesPerFrame = 100;
    p.cursor = 4;
    p.sizeOverride[3] = {8, 4};
    p.sizeOverride[6] = {0, 5};
    p.samplesOverride[5] = 7;
    p.samplesOverride[7] = -1;
    FilterTable table = RecordingTable();
    StandinHost host(p);
    host.Attach(&table);
    REQUIRE(host.Start());
    const HostServices& s = *table.services;
    EditHandle edit = host.Edit();

    CHECK_EQ(s.IsEditing(edit), 1);
    CHECK_EQ(s.GetCurrentFrame(edit), 4);
    CHECK_EQ(s.GetFrameCount(edit), 10);
    SourceInfo info;
    std::memset(&info, 0xAB, sizeof info);
    CHECK_EQ(s.GetSourceInfo(edit, &info), 1);
    CHECK_EQ(info.videoRate, 30000);
    CHECK_EQ(info.videoScale, 1001);
    CHECK_EQ(info.audioChannels, 2);
    int start = -5, end = -5;
    CHECK_EQ(s.GetSelection(edit, &start, &end), 0);
    CHECK_EQ(start, -5);
    host.SetSelection(2, 6);
    CHECK_EQ(s.GetSelection(edit, &start, &end), 1);
    CHECK_EQ(start, 2);
    CHECK_EQ(end, 6);

    // Sizes, including the per-frame overrides, and out-of-range frames that get nothing.
    struct SizeCase {
        int frame, result, width, height;
    };
    for (const SizeCase& c : {SizeCase{0, 1, 40, 30}, SizeCase{3, 1, 8, 4}, SizeCase{6, 1, 0, 5},
                              SizeCase{9, 1, 40, 30}, SizeCase{10, 0, -7, -7}, SizeCase{-1, 0, -7, -7}}) {
        wine_test::Note note("size of frame " + std::to_string(c.frame));
        int w = -7, h = -7;
        CHECK_EQ(s.GetFilteredPixels(edit, c.frame, nullptr, &w, &h), c.result);
        CHECK_EQ(w, c.width);
        CHECK_EQ(h, c.height);
    }
    struct AudioCase {
        int frame, result;
    };
    for (const AudioCase& c : {AudioCase{0, 100}, AudioCase{5, 7}, AudioCase{7, -1}, AudioCase{10, 0}}) {
        wine_test::Note note("samples of frame " + std::to_string(c.frame));
        std::vector<short> buffer(2 * 100 + 2, 12345);
        CHECK_EQ(s.GetFilteredAudio(edit, c.frame, nullptr), c.result);
        CHECK_EQ(s.GetFilteredAudio(edit, c.frame, buffer.data()), c.result);
        const int written = std::max(0, c.result) * 2;
        bool ok = true;
        for (int i = 0; i < static_cast<int>(buffer.size()); ++i)
            ok &= buffer[i] == (i < written ? CodedSample(c.frame, i % 2) : 12345);
        CHECK(ok);
    }
    // A zero-width override renders nothing.
    std::vector<uint8_t> sentinel(64, 0xEE);
    CHECK_EQ(s.GetFilteredPixels(edit, 6, sentinel.data(), nullptr, nullptr), 1);
    CHECK(std::all_of(sentinel.begin(), sentinel.end(), [](uint8_t b) { return b == 0xEE; }));
    CHECK_EQ(s.GetFilteredPixels(edit, 12, sentinel.data(), nullptr, nullptr), 0);
    CHECK(std::all_of(sentinel.begin(), sentinel.end(), [](uint8_t b) { return b == 0xEE; }));

    // Other threads render while this one changes the project; every picture
    // is whole and says which frame it is.
    CHECK_EQ(host.Counts().offThreadCalls, 0);
    std::atomic<int> bad{0}, rendered{0};
    std::atomic<bool> done{false};
    std::thread sideWork([&] {
        while (!done) {
            host.SetCursor(rendered % 10);
            std::this_thread::yield();
        }
    });
    auto loader = [&](int first) {
        std::vector<uint8_t> pixels(40 * 30 * 3 + 16, 0xEE);
        std::vector<short> samples(2 * 100);
        for (int i = 0; i < 200; ++i) {
            const int frame = (first + i) % 10;
            if (frame == 3 || frame == 6 || s.IsEditing(edit) != 1) continue;
            int w = 0, h = 0;
            s.GetFilteredPixels(edit, frame, nullptr, &w, &h);
            s.GetFilteredPixels(edit, frame, pixels.data(), nullptr, nullptr);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t* px = &pixels[(static_cast<size_t>(y) * w + x) * 3];
                    bad += Bgr{px[0], px[1], px[2]} != CodedPixel(frame, x, y);
                }
            bad += pixels[40 * 30 * 3] != 0xEE;  // nothing past the picture
            const int n = s.GetFilteredAudio(edit, frame, samples.data());
            for (int k = 0; k < n * 2; ++k) bad += samples[k] != CodedSample(frame, k % 2);
            ++rendered;
        }
    };
    std::thread a(loader, 0), b(loader, 5);
    a.join();
    b.join();
    done = true;
    sideWork.join();
    CHECK_EQ(bad.load(), 0);
    CHECK_EQ(rendered.load(), 2 * 160);
    CHECK(host.Counts().offThreadCalls >= 2 * 160 * 4);
    CHECK_EQ(host.Counts().pixelRenders, 2 * 160);

    // The render hook runs on the rendering thread.
    host.UpdateProject([](Project& q) { q.renderCostMs = 5; });
    DWORD hookThread = 0;
    host.SetRenderHook([&](int) { hookThread = GetCurrentThreadId(); });
    DWORD renderThread = 0;
    std::thread c([&] {
        std::vector<uint8_t> pixels(40 * 30 * 3);
        renderThread = GetCurrentThreadId();
        s.GetFilteredPixels(edit, 1, pixels.data(), nullptr, nullptr);
    });
    c.join();
    CHECK_EQ(hookThread, renderThread);

    // With the project closed every service answers "nothing".
    host.CloseProject();
    int w = -7;
    CHECK_EQ(s.IsEditing(edit), 0);
    CHECK_EQ(s.GetCurrentFrame(edit), 0);
    CHECK_EQ(s.GetFrameCount(edit), 0);
    CHECK_EQ(s.GetSourceInfo(edit, &info), 0);
    CHECK_EQ(s.GetFilteredPixels(edit, 0, nullptr, &w, nullptr), 0);
    CHECK_EQ(w, -7);
    CHECK_EQ(s.GetFilteredAudio(edit, 0, nullptr), 0);
    CHECK_EQ(s.GetSelection(edit, &start, &end), 0);
    // An IsEditing other than 1, as the guard tests need.
    host.OpenProject(p);
    host.UpdateProject([](Project& q) { q.editingValue = 2; });
    CHECK_EQ(s.IsEditing(edit), 2);
    // A stray handle is answered, not crashed on.
    int stray = 0;
    CHECK_EQ(s.IsEditing(&stray), 0);
    CHECK_EQ(s.GetFilteredPixels(&stray, 0, nullptr, &w, nullptr), 0);
}

// Settings in memory with their log, and in an INI file that outlives the host.
WINE_TEST(SettingsStores) {
    FilterTable table = RecordingTable();
    {
        StandinHost host;
        host.Attach(&table);
        REQUIRE(host.Start());
        const HostServices& s = *table.services;
        host.SetSetting("ViewSize", 3);
        CHECK_EQ(s.LoadSettingInt(&table, "ViewSize", 7), 3);
        CHECK_EQ(s.LoadSettingInt(&table, "PlayMode", 1), 1);
        CHECK_EQ(s.SaveSettingInt(&table, "PlayMode", -2), 1);
        CHECK_EQ(s.LoadSettingInt(&table, "PlayMode", 1), -2);
        FilterTable other = RecordingTable();
        CHECK_EQ(s.LoadSettingInt(&other, "ViewSize", 9), 9);  // not the host's record
        CHECK_EQ(host.SettingLoads().size(), size_t{3});
        REQUIRE(host.SettingSaves().size() == 1);
        CHECK_EQ(host.SettingSaves()[0].key, std::string("PlayMode"));
        CHECK_EQ(host.SettingSaves()[0].value, -2);
    }
    const std::string ini = TempPath("settings.ini");
    DeleteFileA(ini.c_str());
    {
        StandinHost host;
        host.Attach(&table);
        host.UseSettingsFile(ini);
        REQUIRE(host.Start());
        const HostServices& s = *table.services;
        CHECK_EQ(s.SaveSettingInt(&table, "UseMemory", 64), 1);
        CHECK_EQ(s.SaveSettingInt(&table, "PlayMode", -1), 1);
    }
    // Kept between runs, under the record's name; text that is no integer reads as absent.
    WritePrivateProfileStringA("Recorder", "Bad1", "abc", ini.c_str());
    WritePrivateProfileStringA("Recorder", "Bad2", "12x", ini.c_str());
    WritePrivateProfileStringA("Recorder", "Bad3", "99999999999", ini.c_str());
    WritePrivateProfileStringA("Recorder", "Empty", "", ini.c_str());
    {
        StandinHost host;
        host.Attach(&table);
        host.UseSettingsFile(ini);
        REQUIRE(host.Start());
        const HostServices& s = *table.services;
        CHECK_EQ(s.LoadSettingInt(&table, "UseMemory", 4), 64);
        CHECK_EQ(s.LoadSettingInt(&table, "PlayMode", 0), -1);
        for (const char* key : {"Bad1", "Bad2", "Bad3", "Empty", "Missing"}) {
            wine_test::Note note(key);
            CHECK_EQ(s.LoadSettingInt(&table, key, 5), 5);
        }
        CHECK_EQ(host.Setting("UseMemory").value_or(0), 64);
    }
    DeleteFileA(ini.c_str());
}

// What a test reads back is what was drawn: pixels, orientation, colours, title.
WINE_TEST(PixelsAndTitleReadBack) {
    FilterTable table = RecordingTable();
    StandinHost host;
    host.Attach(&table);
    REQUIRE(host.Start());
    host.Pump();
    const SIZE client = host.ClientSize();
    REQUIRE(client.cx >= 64 && client.cy >= 48);
    DrawCodedFrame(host.Window(), 77, 64, 48);
    const Image image = host.CaptureClient();
    CHECK_EQ(image.width, static_cast<int>(client.cx));
    CHECK_EQ(image.height, static_cast<int>(client.cy));
    int bad = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) bad += image.At(x, y) != CodedPixel(77, x, 47 - y);
    CHECK_EQ(bad, 0);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{63, 0}, std::pair{0, 47}, std::pair{31, 20}}) {
        wine_test::Note note("pixel " + std::to_string(x) + "," + std::to_string(y));
        CHECK_EQ(host.ClientPixel(x, y), CodedPixel(77, x, 47 - y));
    }
    const Image whole = host.CaptureWindow();
    RECT outer{};
    GetWindowRect(host.Window(), &outer);
    CHECK_EQ(whole.width, static_cast<int>(outer.right - outer.left));
    CHECK_EQ(whole.height, static_cast<int>(outer.bottom - outer.top));
    SetWindowTextA(host.Window(), "Recorder - 00:00:01.15 [\x83\x65\x83\x58\x83\x67]");  // a Japanese word in code page 932
    CHECK_EQ(host.Title(), std::string("Recorder - 00:00:01.15 [\x83\x65\x83\x58\x83\x67]"));
}

// The PNG writer: known check values, and a file that an independent reader accepts.
WINE_TEST(PngIsWellFormed) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    CHECK_EQ(Crc32(digits, 9), 0xCBF43926u);
    const uint8_t word[] = {'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'};
    CHECK_EQ(Adler32(word, 9), 0x11E60398u);

    // Large enough for several stored blocks, odd sizes so rows do not align.
    for (auto [w, h] : {std::pair{1, 1}, std::pair{301, 97}}) {
        wine_test::Note note(std::to_string(w) + "x" + std::to_string(h));
        Image image;
        image.width = w;
        image.height = h;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Bgr c = DemoPixel(5, x, y, w, h, 30);
                image.bgr.insert(image.bgr.end(), {c.b, c.g, c.r});
            }
        const DecodedPng decoded = DecodeStoredPng(EncodePng(image));
        CHECK_EQ(decoded.problem, std::string());
        CHECK_EQ(decoded.image.width, w);
        CHECK_EQ(decoded.image.height, h);
        CHECK(decoded.image.bgr == image.bgr);
    }
    CHECK(EncodePng(Image{}).empty());

    FilterTable table = RecordingTable();
    StandinHost host;
    host.Attach(&table);
    REQUIRE(host.Start());
    host.Pump();
    DrawCodedFrame(host.Window(), 3, 64, 48);
    const std::string path = TempPath("client.png");
    REQUIRE(host.SaveClientPng(path));
    const DecodedPng decoded = DecodeStoredPng(ReadFile(path));
    CHECK_EQ(decoded.problem, std::string());
    CHECK(decoded.image.bgr == host.CaptureClient().bgr);
    CHECK(!WritePngFile(host.CaptureClient(), TempPath("no_such_folder\\x.png")));
    DeleteFileA(path.c_str());
}

// Modal dialogs and message boxes are answered from inside their own loops.
WINE_TEST(DialogsAreAutomated) {
    FilterTable table = RecordingTable();
    StandinHost host;
    host.Attach(&table);
    REQUIRE(host.Start());
    HWND owner = host.Window();

    std::string seenText;
    host.OnDialog([&](Dialog& d) {
        seenText = d.Text();
        d.Press(IDOK);
    });
    CHECK_EQ(MessageBoxA(owner, "Memory limit\nin MiB", "Recorder", MB_OKCANCEL), IDOK);
    CHECK_EQ(seenText, std::string("Memory limit\nin MiB"));

    const std::vector<WORD> dialog = EditDialogTemplate();
    const auto* tmpl = reinterpret_cast<const DLGTEMPLATE*>(dialog.data());
    host.OnDialog([](Dialog& d) {
        d.SetItemText(100, "42");
        d.Press(IDOK);
    });
    host.OnDialog([](Dialog& d) { d.Press(IDCANCEL); });
    CHECK_EQ(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), tmpl, owner, EditDialogProc, 0), INT_PTR{42});
    CHECK_EQ(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), tmpl, owner, EditDialogProc, 0), INT_PTR{-1});
    CHECK_EQ(host.PendingDialogActions(), 0);

    // Nothing queued: recorded as unexpected and cancelled, not left hanging.
    CHECK_EQ(MessageBoxA(owner, "surprise", "Recorder", MB_OKCANCEL), IDCANCEL);
    CHECK_EQ(host.UnexpectedDialogs(), 1);
    const std::vector<DialogRecord> dialogs = host.Dialogs();
    REQUIRE(dialogs.size() == 4);
    CHECK_EQ(dialogs[0].title, std::string("Recorder"));
    CHECK(dialogs[0].expected);
    CHECK_EQ(dialogs[1].title, std::string("Enter"));
    bool editSeen = false;
    for (const DialogItem& item : dialogs[1].items) editSeen |= item.id == 100 && item.text == "7";
    CHECK(editSeen);  // recorded before the action changed it
    CHECK_EQ(dialogs[3].text, std::string("surprise"));
    CHECK(!dialogs[3].expected);
}

// Waits end when the condition holds, and fail (not hang) when it never does.
WINE_TEST(WaitsFailInsteadOfHanging) {
    FilterTable table = RecordingTable();
    StandinHost host;
    host.Attach(&table);
    REQUIRE(host.Start());
    CHECK(!host.PumpUntil([] { return false; }, 50, "something that never happens"));
    CHECK(!host.PumpUntilMessage(0x400, 1, 50));
    // A message posted from another thread, as the loader posts its own.
    std::thread poster([window = host.Window()] { PostMessageA(window, 0x400, 5, 0); });
    CHECK(host.PumpUntilMessage(0x400));
    poster.join();
    CHECK_EQ(host.MessageCount(0x400), 1);
}

// The program: rejects what is no plug-in, with a message and a non-zero exit,
// and runs its demo with the test build of the plug-in.
WINE_TEST(ProgramRejectsBadPluginsAndRunsTheDemo) {
    const std::string program = Quote(BesideExe("standin_host.exe"));
    const std::string ini = TempPath("demo.ini");
    const std::string png = TempPath("demo.png");
    DeleteFileA(ini.c_str());
    DeleteFileA(png.c_str());
    struct Case {
        std::string arguments;
        int exitCode;  // -99: any non-zero
        std::string message;
    };
    const Case cases[] = {
        {Quote(BesideExe("no_such_plugin.dll")), -99, "cannot load the plug-in"},
        {"kernel32.dll", -99, "no export GetFilterTable"},
        {"--frames", 2, "bad or missing value for --frames"},
        {"--size 0x10", 2, "bad or missing value for --size"},
        {"--pattern stripes", 2, "bad or missing value for --pattern"},
        {"--bogus", 2, "unknown option --bogus"},
        {Quote(BesideExe("tavelin.dll")) + " --demo --pattern coded --size 64x48 --settings " + Quote(ini) +
             " --screenshot " + Quote(png),
         0, " drawn, "},
    };
    for (const Case& c : cases) {
        wine_test::Note note(c.arguments);
        std::string output;
        const int code = RunChild(program + " " + c.arguments, &output);
        if (c.exitCode == -99) {
            CHECK(code > 0);
        } else {
            CHECK_EQ(code, c.exitCode);
        }
        CHECK(Contains(output, c.message));
        if (!Contains(output, c.message)) std::printf("  output: %s\n", output.c_str());
    }
    // The demo left its settings in the file (view "640x480", 64 MiB) and a well-formed screenshot.
    CHECK_EQ(GetPrivateProfileIntA("Tavelin", "ViewSize", -1, ini.c_str()), 4u);
    CHECK_EQ(GetPrivateProfileIntA("Tavelin", "UseMemory", -1, ini.c_str()), 64u);
    const DecodedPng shot = DecodeStoredPng(ReadFile(png));
    CHECK_EQ(shot.problem, std::string());
    CHECK(shot.image.width > 320 && shot.image.height > 240);
    DeleteFileA(ini.c_str());
    DeleteFileA(png.c_str());
}

// The harness, run as a child of this program: a failing check fails the
// program naming file, line and both values; a hang is killed by the watchdog
// with the name of the case that hung.
WINE_TEST(HarnessReportsFailuresAndKillsHangs) {
    char mode[16] = {};
    if (GetEnvironmentVariableA("HOST_TEST_CHILD", mode, sizeof mode)) {
        if (std::string(mode) == "fail") CHECK_EQ(1 + 1, 3);
        if (std::string(mode) == "hang") Sleep(INFINITE);
        return;
    }
    struct Case {
        const char* mode;
        int exitCode;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"pass", 0, {"1 passed, 0 failed"}},
        {"fail", 1, {"host_test.cpp:", "CHECK_EQ(1 + 1, 3)  (2 vs 3)", "0 passed, 1 failed"}},
        {"hang", 3, {"watchdog: host_test.exe case HarnessReportsFailuresAndKillsHangs still running after 2 s"}},
    };
    for (const Case& c : cases) {
        wine_test::Note note(c.mode);
        SetEnvironmentVariableA("HOST_TEST_CHILD", c.mode);
        // Short only for the hang, so that a slow machine cannot kill the others.
        SetEnvironmentVariableA("WINE_TEST_WATCHDOG_SECONDS", c.exitCode == 3 ? "2" : nullptr);
        std::string output;
        const int code = RunChild(Quote(BesideExe("host_test.exe")) + " HarnessReportsFailuresAndKillsHangs", &output);
        CHECK_EQ(code, c.exitCode);
        bool all = true;
        for (const std::string& message : c.messages) all &= Contains(output, message);
        CHECK(all);
        if (!all) std::printf("  output: %s\n", output.c_str());
    }
    SetEnvironmentVariableA("HOST_TEST_CHILD", nullptr);
    SetEnvironmentVariableA("WINE_TEST_WATCHDOG_SECONDS", nullptr);
}
