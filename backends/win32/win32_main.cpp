// The Windows entry: registers the window class "Pingel", creates the one window with a
// fixed frame and menu 128, and hands over to the shell's main loop with WinInet for the
// highscores. The window procedure forwards menu commands, the window's destruction and
// the palette focus to the WindowEvents the main loop gave the platform, and the zoom and
// full-screen keys to the platform; it finds the platform through the window itself.
#include "app/main_loop.h"
#include "app/shell_resources.h"
#include "backends/win32/win32_platform.h"
#include "backends/win32/wininet_http.h"
#include "game/world.h"
#include "platform/screen_size.h"

namespace {
constexpr DWORD windowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

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
    Win32Platform win32(instance);

    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
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
    const int result =
        runPingel(makeWorld, {win32, win32, win32, win32, win32, win32, win32, http});
    // The shell that received the window's messages is gone.
    win32.forgetWindowEvents();
    return result;
}
