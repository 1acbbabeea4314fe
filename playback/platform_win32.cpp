#include "playback/platform.h"

#include <windows.h>
#include <mmsystem.h>

uint32_t ClockNow() { return timeGetTime(); }

void PlayWaveImage(const void* image) {
    if (image)
        PlaySoundA(static_cast<LPCSTR>(image), nullptr, SND_ASYNC | SND_MEMORY);
    else
        PlaySoundA(nullptr, nullptr, 0);  // stops whatever plays
}

bool PumpOneMessage() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
    if (message.message == WM_QUIT) {
        // Not ours to take: put it back for the host's own loop, which sees it
        // once playback has returned. Reported as an empty queue so the wait sleeps.
        PostQuitMessage(static_cast<int>(message.wParam));
        return false;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return true;
}

void SleepOneTick() { Sleep(1); }
