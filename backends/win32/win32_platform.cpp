// The Windows backend; see win32_platform.h.
#include "backends/win32/win32_platform.h"

#include "app/shell_resources.h"

#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// What a dialog procedure needs to reach its logic and its view.
class Win32DialogView : public DialogView {
  public:
    explicit Win32DialogView(HWND dialog) : dialog_(dialog) {}
    void setCaption(const std::string& latin1) override { SetWindowTextA(dialog_, latin1.c_str()); }
    void setItemText(int id, const std::string& latin1) override {
        SetDlgItemTextA(dialog_, id, latin1.c_str());
    }
    std::string itemText(int id) const override {
        // Longer than anything a dialog reads; the logic cuts to its own limits.
        char text[1024] = {};
        const UINT n = GetDlgItemTextA(dialog_, id, text, sizeof text);
        return std::string(text, n);
    }
    void end() override { EndDialog(dialog_, 0); }

  private:
    HWND dialog_;
};

// Keeps the last game frame visible behind a modal dialog: every message a dialog receives
// first repaints it.
void repaintBehindDialog(Win32Platform* platform) {
    if (platform == nullptr || platform->mainWindow() == nullptr) {
        return;
    }
    HWND window = platform->mainWindow();
    InvalidateRgn(window, nullptr, FALSE);
    UpdateWindow(window);
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    platform->repaintLastFrame();
    EndPaint(window, &paint);
}

// The controls that take input: disabled while work runs.
bool takesInput(shell::ControlKind kind) {
    using shell::ControlKind;
    return kind == ControlKind::DefaultButton || kind == ControlKind::Button ||
           kind == ControlKind::Edit || kind == ControlKind::PasswordEdit;
}

DWORD WINAPI runWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

struct DialogContext {
    DialogLogic* logic;
    int templateId;
};

LPCSTR resourceType(ResourceType type) {
    switch (type) {
    case ResourceType::RcData:
        return MAKEINTRESOURCEA(10); // RT_RCDATA
    case ResourceType::Bitmap:
        return MAKEINTRESOURCEA(2); // RT_BITMAP
    default:
        return "WAVE";
    }
}
} // namespace

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {
    // Sleep and the clock to the millisecond while the game runs.
    timeBeginPeriod(1);
}

Win32Platform::~Win32Platform() {
    if (mainWindow_ != nullptr && IsWindow(mainWindow_)) {
        SetWindowLongPtrA(mainWindow_, GWLP_USERDATA, 0);
    }
    timeEndPeriod(1);
}

void Win32Platform::setMainWindow(HWND window) {
    mainWindow_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Platform* Win32Platform::of(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    // A dialog's owner is the main window.
    HWND owner = GetWindow(window, GW_OWNER);
    HWND main = owner != nullptr ? owner : window;
    auto* platform = reinterpret_cast<Win32Platform*>(GetWindowLongPtrA(main, GWLP_USERDATA));
    return platform != nullptr && platform->mainWindow_ == main ? platform : nullptr;
}

Millis Win32Platform::now() {
    return timeGetTime();
}

void Win32Platform::pause(Millis ms) {
    Sleep(ms == 0 ? 1 : ms);
}

bool Win32Platform::keyPressed(Key key) {
    static const int codes[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_F1};
    return GetAsyncKeyState(codes[static_cast<int>(key)]) != 0;
}

void Win32Platform::playSound(int id, SoundMode mode) {
    const DWORD flags = SND_RESOURCE | (mode == SoundMode::Async ? SND_ASYNC : 0);
    PlaySoundA(MAKEINTRESOURCEA(id), instance_, flags);
}

std::span<const std::uint8_t> Win32Platform::resource(ResourceType type, int id) const {
    HRSRC found = FindResourceA(instance_, MAKEINTRESOURCEA(id), resourceType(type));
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(instance_, found);
    const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
    if (bytes == nullptr) {
        return {};
    }
    return {static_cast<const std::uint8_t*>(bytes), SizeofResource(instance_, found)};
}

std::uint8_t* Win32Platform::createFrame(int width, int height, int pitch, const Palette& palette) {
    (void)pitch; // an 8-bit bitmap's rows are padded to 4 bytes: screen_size::pitch
    info_.header.biSize = sizeof(BITMAPINFOHEADER);
    info_.header.biWidth = width;
    info_.header.biHeight = -height; // top row first
    info_.header.biPlanes = 1;
    info_.header.biBitCount = 8;
    info_.header.biCompression = BI_RGB;
    info_.header.biClrUsed = 256;
    info_.header.biClrImportant = 256;
    for (int i = 0; i < 256; ++i) {
        info_.colours[i] = RGBQUAD{palette[i].blue, palette[i].green, palette[i].red, 0};
    }
    HDC dc = GetDC(mainWindow_);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info_), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    ReleaseDC(mainWindow_, dc);
    if (bitmap == nullptr || bits == nullptr) {
        return nullptr;
    }
    auto* pixels = static_cast<std::uint8_t*>(bits);
    frames_[pixels] = {bitmap, width, height};
    return pixels;
}

void Win32Platform::releaseFrame(std::uint8_t* pixels) {
    if (pixels == lastPresented_) {
        lastPresented_ = nullptr;
    }
    auto it = frames_.find(pixels);
    if (it != frames_.end()) {
        DeleteObject(it->second.bitmap);
        frames_.erase(it);
    }
}

void Win32Platform::presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) {
    (void)width;
    (void)height;
    (void)pitch;
    lastPresented_ = pixels;
    GdiFlush();
    if (mainWindow_ == nullptr) {
        return;
    }
    HDC dc = GetDC(mainWindow_);
    RECT client;
    GetClientRect(mainWindow_, &client);
    // At the zoom's scale, cut to what the client area holds, centred.
    const int w = screen_size::width, h = screen_size::height;
    const int wanted = fullscreen_ ? 16 : scale_;
    const int scale =
        std::max(1, std::min({wanted, int(client.right) / w, int(client.bottom) / h}));
    const int x = std::max(0, (int(client.right) - w * scale) / 2);
    const int y = std::max(0, (int(client.bottom) - h * scale) / 2);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, x, y, w * scale, h * scale, 0, 0, w, h, pixels,
                  reinterpret_cast<BITMAPINFO*>(&info_), DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(mainWindow_, dc);
}

void Win32Platform::repaintLastFrame() {
    if (lastPresented_ != nullptr) {
        presentFrame(lastPresented_, screen_size::width, screen_size::height, screen_size::pitch);
    }
}

bool Win32Platform::windowKey(WPARAM virtualKey, bool ctrl, bool alt) {
    if (virtualKey == VK_F11 || (alt && virtualKey == VK_RETURN)) {
        toggleFullscreen();
        return true;
    }
    const bool in = virtualKey == VK_OEM_PLUS || virtualKey == VK_ADD;
    const bool out = virtualKey == VK_OEM_MINUS || virtualKey == VK_SUBTRACT;
    if (!ctrl || (!in && !out) || fullscreen_) {
        return false;
    }
    if (out) {
        setScale(std::max(1, scale_ - 1));
    } else if (scale_ < fittingScale()) {
        setScale(scale_ + 1);
    }
    return true;
}

int Win32Platform::fittingScale() const {
    RECT work{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        return 1;
    }
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(mainWindow_, GWL_STYLE)), TRUE, 0);
    const int across = (work.right - work.left - (frame.right - frame.left)) / screen_size::width;
    const int down = (work.bottom - work.top - (frame.bottom - frame.top)) / screen_size::height;
    return std::max(1, std::min(across, down));
}

void Win32Platform::setScale(int scale) {
    scale_ = scale;
    if (mainWindow_ == nullptr) {
        return;
    }
    RECT outer{0, 0, screen_size::width * scale, screen_size::height * scale};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongA(mainWindow_, GWL_STYLE)), TRUE, 0);
    SetWindowPos(mainWindow_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(mainWindow_, nullptr, TRUE);
    repaintLastFrame();
}

void Win32Platform::toggleFullscreen() {
    if (mainWindow_ == nullptr) {
        return;
    }
    fullscreen_ = !fullscreen_;
    if (fullscreen_) {
        GetWindowRect(mainWindow_, &windowed_);
        windowedStyle_ = GetWindowLongA(mainWindow_, GWL_STYLE);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromWindow(mainWindow_, MONITOR_DEFAULTTONEAREST), &monitor);
        SetWindowLongA(mainWindow_, GWL_STYLE, WS_POPUP | WS_VISIBLE);
        const RECT& r = monitor.rcMonitor;
        SetWindowPos(mainWindow_, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_FRAMECHANGED);
    } else {
        SetWindowLongA(mainWindow_, GWL_STYLE, windowedStyle_);
        SetWindowPos(mainWindow_, nullptr, windowed_.left, windowed_.top,
                     windowed_.right - windowed_.left, windowed_.bottom - windowed_.top,
                     SWP_FRAMECHANGED | SWP_NOZORDER);
    }
    InvalidateRect(mainWindow_, nullptr, TRUE);
    repaintLastFrame();
}

void Win32Platform::realisePalette(const Palette& palette) {
    struct {
        WORD version;
        WORD entries;
        PALETTEENTRY colours[256];
    } logical{0x300, 256, {}};
    for (int i = 0; i < 256; ++i) {
        logical.colours[i] =
            PALETTEENTRY{palette[i].red, palette[i].green, palette[i].blue, PC_NOCOLLAPSE};
    }
    HWND window = mainWindow_ != nullptr ? mainWindow_ : GetActiveWindow();
    HDC dc = GetDC(window);
    HPALETTE created = CreatePalette(reinterpret_cast<LOGPALETTE*>(&logical));
    HPALETTE previous = SelectPalette(dc, created, FALSE);
    RealizePalette(dc);
    SelectPalette(dc, previous, FALSE);
    DeleteObject(created);
    ReleaseDC(window, dc);
}

void Win32Platform::openUrl(const std::string& url) {
    ShellExecuteA(GetDesktopWindow(), "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::string Win32Platform::ownExecutablePath() {
    char path[1024] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, 1023);
    return std::string(path, n);
}

int Win32Platform::processorType() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return static_cast<int>(info.dwProcessorType);
}

void* Win32Platform::loadLibrary(const std::string& name) {
    return reinterpret_cast<void*>(LoadLibraryA(name.c_str()));
}

void* Win32Platform::findFunction(void* library, const std::string& name) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
}

int Win32Platform::pumpMessage(WindowEvents& events) {
    events_ = &events;
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        return 1;
    }
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        return got;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return 1;
}

void Win32Platform::postQuit(int exitCode) {
    PostQuitMessage(exitCode);
}

INT_PTR CALLBACK Win32Platform::dialogProcedure(HWND dialog, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    Win32Platform* platform = of(dialog);
    repaintBehindDialog(platform);
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    }
    auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (context == nullptr) {
        return 0;
    }
    Win32DialogView view(dialog);
    switch (message) {
    case WM_INITDIALOG: {
        if (platform != nullptr) {
            platform->openDialog_ = dialog;
            platform->openTemplate_ = context->templateId;
        }
        context->logic->init(view);
        // The first field to type in has the focus, ready for typing; a dialog without one
        // leaves the focus to the system as before.
        if (const shell::DialogTemplate* t = shell::findDialog(context->templateId)) {
            for (const shell::Control& c : t->controls) {
                if (c.kind == shell::ControlKind::Edit ||
                    c.kind == shell::ControlKind::PasswordEdit) {
                    SetFocus(GetDlgItem(dialog, c.id));
                    break;
                }
            }
        }
        return 0;
    }
    case WM_COMMAND:
        // While work runs, nothing reaches the logic (a close of the dialog included).
        if (platform == nullptr || !platform->busy_) {
            context->logic->command(view, LOWORD(wParam));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // The information dialog's read-only text: white character cells on light grey.
        if (context->templateId == shell::infoDialogId) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, RGB(255, 255, 255));
            SetTextColor(dc, RGB(0, 0, 0));
            return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
        }
        return 0;
    default:
        return 0;
    }
}

void Win32Platform::runDialog(int templateId, DialogLogic& logic) {
    DialogContext context{&logic, templateId};
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(templateId), mainWindow_, dialogProcedure,
                    reinterpret_cast<LPARAM>(&context));
    openDialog_ = nullptr;
    openTemplate_ = 0;
}

void Win32Platform::runResponsive(const std::function<void()>& work) {
    HANDLE thread = CreateThread(nullptr, 0, runWork,
                                 const_cast<void*>(static_cast<const void*>(&work)), 0, nullptr);
    if (thread == nullptr) {
        work();
        return;
    }
    busy_ = true;
    // The dialog's buttons and fields, and the main window if no dialog holds it already,
    // take no input meanwhile; the focus comes back where it was.
    const HWND focus = GetFocus();
    std::vector<HWND> disabled;
    auto disable = [&disabled](HWND w) {
        if (w != nullptr && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            disabled.push_back(w);
        }
    };
    if (const shell::DialogTemplate* t = shell::findDialog(openTemplate_);
        t != nullptr && openDialog_ != nullptr) {
        for (const shell::Control& c : t->controls) {
            if (c.id >= 0 && takesInput(c.kind)) {
                disable(GetDlgItem(openDialog_, c.id));
            }
        }
    }
    disable(mainWindow_);
    bool quit = false;
    WPARAM quitCode = 0;
    // Every message of this thread is dispatched until the work's thread ends.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true; // for the loop that waits for it, once the work is done
                quitCode = message.wParam;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    for (HWND w : disabled) {
        if (IsWindow(w)) {
            EnableWindow(w, TRUE);
        }
    }
    if (focus != nullptr && IsWindow(focus)) {
        SetFocus(focus);
    }
    busy_ = false;
    if (closeDeferred_) {
        closeDeferred_ = false;
        if (openDialog_ != nullptr) {
            EndDialog(openDialog_, 0);
        }
        if (mainWindow_ != nullptr) {
            PostMessageA(mainWindow_, WM_CLOSE, 0, 0);
        }
    }
    if (quit) {
        PostQuitMessage(static_cast<int>(quitCode));
    }
}

void Win32Platform::debugText(const char* text) {
    OutputDebugStringA(text);
}
