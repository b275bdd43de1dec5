// The Windows entry: registers the window class "Pingel", creates the one window with a
// fixed frame and menu 128, and hands over to the shell's main loop with WinInet for the
// highscores. The window procedure forwards menu commands, the window's destruction and
// the palette focus to the WindowEvents the main loop gave the platform, and the zoom and
// full-screen keys to the platform, and a playback's keys (Space, 1, 2, 4) to the shell as
// its commands; it finds the platform through the window itself. `pingel.exe --replay FILE`
// opens on that replay played back.
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "backends/win32/win32_platform.h"
#include "backends/win32/wininet_http.h"
#include "game/world.h"
#include "platform/screen_size.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {
constexpr DWORD windowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// A playback's command from a key, 0 for any other key.
int playbackCommand(WPARAM key) {
    switch (key) {
    case VK_SPACE:
        return shell::cmdPlaybackPause;
    case '1':
    case VK_NUMPAD1:
        return shell::cmdPlaybackSpeed1;
    case '2':
    case VK_NUMPAD2:
        return shell::cmdPlaybackSpeed2;
    case '4':
    case VK_NUMPAD4:
        return shell::cmdPlaybackSpeed4;
    default:
        return 0;
    }
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Platform* backend = Win32Platform::of(window);
    const auto events = [backend]() -> WindowEvents* {
        return backend != nullptr ? backend->windowEvents() : nullptr;
    };
    switch (message) {
    case WM_CREATE:
    case WM_PALETTECHANGED:
        return 0;
    case WM_PAINT: {
        // The main loop presents a frame on every pass; painting here only validates.
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        // Zoom and full screen; Alt comes with WM_SYSKEYDOWN.
        const bool repeat = (lParam & (1L << 30)) != 0;
        const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
        const bool alt = (lParam & (1L << 29)) != 0;
        if (backend != nullptr && !repeat && backend->windowKey(wParam, ctrl, alt)) {
            return 0;
        }
        if (const int command = playbackCommand(wParam);
            command != 0 && message == WM_KEYDOWN && !repeat && !ctrl) {
            if (WindowEvents* e = events()) {
                e->menuCommand(command);
            }
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_COMMAND:
        if (WindowEvents* e = events()) {
            e->menuCommand(LOWORD(wParam));
        }
        return 0;
    case WM_CLOSE:
        // Not while the highscore's attempt runs: the window closes once it is over.
        if (backend != nullptr && backend->busy()) {
            backend->closeAfterWork();
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
        if (WindowEvents* e = events()) {
            e->windowDestroyed();
        }
        return 0;
    case WM_QUERYNEWPALETTE:
        if (WindowEvents* e = events()) {
            e->paletteRegained();
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    std::optional<replay::Replay> watched;
    for (int i = 1; i < __argc; ++i) {
        if (std::string(__argv[i]) != "--replay" || i + 1 >= __argc) {
            continue;
        }
        replay::Decoded decoded = readReplayFile(__argv[++i]);
        if (!decoded.replay) {
            const std::string text = std::string("--replay ") + __argv[i] + ": " + decoded.reason;
            MessageBoxA(nullptr, text.c_str(), "Pingel", MB_OK | MB_ICONERROR);
            return 2;
        }
        watched = std::move(decoded.replay);
    }
    Win32Platform win32(instance);

    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1)); // the penguin, pingel.rc
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszMenuName = MAKEINTRESOURCEA(shell::menuResource);
    windowClass.lpszClassName = "Pingel";
    RegisterClassA(&windowClass);

    // The outer size that leaves a client area of exactly the game picture, 421 x 271, with
    // this system's frame, caption and menu bar (427 x 315 with the classic metrics).
    RECT outer = {0, 0, screen_size::width, screen_size::height};
    AdjustWindowRectEx(&outer, windowStyle, TRUE, 0);
    HWND window = CreateWindowExA(0, "Pingel", "Pingel", windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                  nullptr, instance, nullptr);
    win32.setMainWindow(window);
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    WinInetHttpClient http(win32);
    std::unique_ptr<Game> opening;
    if (watched) {
        opening = std::make_unique<Playback>(std::move(*watched), win32);
    }
    const int result = runPingel(makeWorld, {win32, win32, win32, win32, win32, win32, win32, http},
                                 std::move(opening));
    // The shell that received the window's messages is gone.
    win32.forgetWindowEvents();
    return result;
}
