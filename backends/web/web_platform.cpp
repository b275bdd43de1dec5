// The browser backend; see web_platform.h. Every call into the page goes through one of
// the small JavaScript functions below, which hand on to the page's script (PingelPage in
// page/page.js). Texts cross as UTF-8.
#include "backends/web/web_platform.h"

#include "app/shell_resources.h"
#include "platform/latin1.h"
#include "platform/screen_size.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace {

// calendarSeconds, read in a busy loop (the speed count of a highscore), lets the page run
// at least this often.
constexpr double breathEveryMs = 16;
// A dialog looks for commands this often.
constexpr int dialogPollMs = 15;
// Where the served program file is stored for reading.
constexpr const char* ownFilePath = "/pingel.wasm";

// clang-format off
EM_JS(void, jsStart, (), { PingelPage.start(); });
EM_JS(void, jsMenuItem, (const char* popup, int id, const char* caption), {
    PingelPage.addMenuItem(UTF8ToString(popup), id, UTF8ToString(caption));
});
EM_JS(double, jsClock, (), { return PingelPage.clock(); });
EM_JS(int, jsHidden, (), { return PingelPage.hidden() ? 1 : 0; });
EM_ASYNC_JS(void, jsWaitVisible, (), { await PingelPage.waitVisible(); });
EM_ASYNC_JS(void, jsBreathe, (), { await PingelPage.breathe(); });
EM_JS(double, jsPerformanceNow, (), { return performance.now(); });
EM_JS(double, jsDateNow, (), { return Date.now(); });
EM_JS(int, jsKeyPressed, (int key), { return PingelPage.keyPressed(key) ? 1 : 0; });
EM_JS(int, jsTakeTap, (), { return PingelPage.takeTap() ? 1 : 0; });
EM_JS(void, jsPlaySound, (int id, const std::uint8_t* bytes, int length), {
    PingelPage.playSound(id, HEAPU8.slice(bytes, bytes + length));
});
EM_ASYNC_JS(void, jsPlaySoundToEnd, (int id, const std::uint8_t* bytes, int length), {
    await PingelPage.playSoundToEnd(id, HEAPU8.slice(bytes, bytes + length));
});
EM_JS(void, jsDraw, (const std::uint32_t* rgba, int width, int height), {
    PingelPage.draw(new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4), width, height);
});
EM_JS(void, jsOpenUrl, (const char* url), { PingelPage.openUrl(UTF8ToString(url)); });
EM_JS(int, jsTakeCommand, (), { return PingelPage.takeCommand(); });
EM_JS(int, jsTakePaletteRegained, (), { return PingelPage.takePaletteRegained() ? 1 : 0; });
EM_JS(void, jsDialogBegin, (int id, const char* caption, int closeBox, int width, int height), {
    PingelPage.dialogBegin(id, UTF8ToString(caption), closeBox !== 0, width, height);
});
EM_JS(void, jsDialogControl, (int id, int kind, const char* text, int x, int y, int w, int h), {
    PingelPage.dialogControl(id, kind, UTF8ToString(text), x, y, w, h);
});
EM_JS(void, jsDialogShow, (), { PingelPage.dialogShow(); });
EM_JS(int, jsDialogCommand, (), { return PingelPage.dialogCommand(); });
EM_JS(void, jsDialogBusy, (int on), { PingelPage.dialogBusy(on !== 0); });
EM_JS(void, jsDialogCaption, (const char* text), { PingelPage.dialogCaption(UTF8ToString(text)); });
EM_JS(void, jsDialogSetText, (int id, const char* text), {
    PingelPage.dialogSetText(id, UTF8ToString(text));
});
EM_JS(char*, jsDialogText, (int id), {
    const text = PingelPage.dialogText(id);
    const size = lengthBytesUTF8(text) + 1;
    const out = _malloc(size);
    if (out) stringToUTF8(text, out, size);
    return out;
});
EM_JS(void, jsDialogEnd, (), { PingelPage.dialogEnd(); });
EM_JS(void, jsEnded, (), { PingelPage.ended(); });
EM_JS(void, jsDebug, (const char* text), { console.debug(UTF8ToString(text)); });
// Fetches the program file the page was served with into the in-memory file system;
// returns its length, or -1 when it could not be had.
EM_ASYNC_JS(int, jsFetchOwnFile, (const char* path), {
    try {
        const url = typeof wasmBinaryFile === 'string' ? wasmBinaryFile : 'pingel.wasm';
        const response = await fetch(url, {credentials: 'same-origin'});
        if (!response.ok) return -1;
        const bytes = new Uint8Array(await response.arrayBuffer());
        FS.writeFile(UTF8ToString(path), bytes);
        return bytes.length;
    } catch (e) {
        return -1;
    }
});
EM_JS(void, jsPlaybackCommands, (int pause, int one, int two, int four), {
    PingelPage.playbackCommands(pause, one, two, four);
});
EM_JS(void, jsShowPlayback, (int active, double done, double total, int speed, int paused,
                             int ended), {
    PingelPage.showPlayback(active !== 0, done, total, speed, paused !== 0, ended !== 0);
});
EM_JS(void, jsPlaybackProblem, (const char* text), {
    PingelPage.playbackProblem(UTF8ToString(text));
});
// The replay the page's address asks for, at most `limit` bytes of it, into memory taken
// with malloc (*out); returns its length, or -1 when none is asked for, -2 when the ID is
// not a number, -3 when the portal has no such replay, -4 when it could not be fetched,
// -5 when no memory was had.
EM_ASYNC_JS(int, jsFetchReplay, (int limit, std::uint8_t** out), {
    const found = await PingelPage.fetchReplay(limit);
    if (typeof found === 'number') return found;
    const at = _malloc(Math.max(found.length, 1));
    if (!at) return -5;
    HEAPU8.set(found, at);
    HEAPU32[out >> 2] = at;
    return found.length;
});
// clang-format on

// A dialog as the shell's logic sees it, shown by the page.
class WebDialogView : public DialogView {
  public:
    void setCaption(const std::string& latin1) override {
        jsDialogCaption(latin1ToUtf8(latin1).c_str());
    }
    void setItemText(int id, const std::string& latin1) override {
        jsDialogSetText(id, latin1ToUtf8(latin1).c_str());
    }
    std::string itemText(int id) const override {
        char* text = jsDialogText(id);
        if (text == nullptr) {
            return {};
        }
        std::string latin1 = utf8ToLatin1(text);
        std::free(text);
        return latin1;
    }
    void end() override { ended = true; }

    bool ended = false;
};

} // namespace

WebPlatform::WebPlatform() {
    for (const shell::MenuItem& item : shell::menu) {
        jsMenuItem(latin1ToUtf8(item.popup).c_str(), item.id, latin1ToUtf8(item.caption).c_str());
    }
    jsPlaybackCommands(shell::cmdPlaybackPause, shell::cmdPlaybackSpeed1, shell::cmdPlaybackSpeed2,
                       shell::cmdPlaybackSpeed4);
    jsStart();
}

WebPlatform::~WebPlatform() = default;

void WebPlatform::showEnded() {
    jsEnded();
}

// --- a replay to watch ---

WebPlatform::AskedReplay WebPlatform::fetchAskedReplay(std::size_t limit) {
    std::uint8_t* bytes = nullptr;
    const int length = jsFetchReplay(static_cast<int>(limit + 1), &bytes);
    AskedReplay asked;
    asked.asked = length != -1;
    if (length >= 0) {
        asked.bytes.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
        std::free(bytes);
    } else if (length == -2) {
        asked.problem = "Adressen pekar inte ut något spel (spel= ska vara ett nummer).";
    } else if (length == -3) {
        asked.problem = "Spelet finns inte på portalen.";
    } else if (length != -1) {
        asked.problem = "Spelet kunde inte hämtas från portalen. Försök igen senare.";
    }
    return asked;
}

void WebPlatform::showPlaybackProblem(const std::string& text) {
    jsPlaybackProblem(text.c_str());
}

void WebPlatform::showPlayback(const PlaybackView& view) {
    jsShowPlayback(view.active ? 1 : 0, view.done, view.total, view.speed, view.paused ? 1 : 0,
                   view.ended ? 1 : 0);
}

// --- clock and waiting ---

Millis WebPlatform::now() {
    // The page's clock stands still while the tab is hidden. Taken modulo 2^32 like the
    // system clock it stands for.
    const double ms = jsClock();
    return static_cast<Millis>(static_cast<std::uint64_t>(ms > 0 ? ms : 0));
}

void WebPlatform::pause(Millis ms) {
    if (jsHidden() != 0) {
        jsWaitVisible();
    }
    emscripten_sleep(ms);
}

std::int64_t WebPlatform::calendarSeconds() {
    // Read in a busy loop for seconds at a time: let the page draw and answer meanwhile.
    const double t = jsPerformanceNow();
    if (t - lastBreath_ >= breathEveryMs) {
        jsBreathe();
        lastBreath_ = jsPerformanceNow();
    }
    return static_cast<std::int64_t>(jsDateNow() / 1000.0);
}

// --- keys, sounds, resources ---

bool WebPlatform::keyPressed(Key key) {
    return jsKeyPressed(static_cast<int>(key)) != 0;
}

bool WebPlatform::newGameAsked(bool gameOver) {
    const bool pressed = keyPressed(Key::F1);
    // A tap is taken by this query either way: one that came during a game is dropped.
    const bool tapped = jsTakeTap() != 0;
    return pressed || (tapped && gameOver);
}

void WebPlatform::playSound(int id, SoundMode mode) {
    const std::span<const std::uint8_t> bytes = resource(ResourceType::Wave, id);
    if (bytes.empty()) {
        return;
    }
    const int length = static_cast<int>(bytes.size());
    if (mode == SoundMode::Sync) {
        jsPlaySoundToEnd(id, bytes.data(), length);
    } else {
        jsPlaySound(id, bytes.data(), length);
    }
}

std::span<const std::uint8_t> WebPlatform::resource(ResourceType type, int id) const {
    return EmbeddedResources().resource(type, id);
}

// --- the picture ---

std::uint8_t* WebPlatform::createFrame(int width, int height, int pitch, const Palette& palette) {
    if (width <= 0 || height <= 0 || pitch < width) {
        return nullptr;
    }
    realisePalette(palette);
    return new std::uint8_t[static_cast<std::size_t>(pitch) * static_cast<std::size_t>(height)]();
}

void WebPlatform::releaseFrame(std::uint8_t* pixels) {
    delete[] pixels;
}

void WebPlatform::realisePalette(const Palette& palette) {
    // Canvas pixels are the bytes R, G, B, A in memory; wasm is little-endian.
    for (std::size_t i = 0; i < palette.size(); ++i) {
        colours_[i] = 0xFF000000u | std::uint32_t(palette[i].blue) << 16 |
                      std::uint32_t(palette[i].green) << 8 | std::uint32_t(palette[i].red);
    }
}

void WebPlatform::presentFrame(const std::uint8_t* pixels, int width, int height, int pitch) {
    if (pixels == nullptr) {
        return;
    }
    const int w = std::min(width, screen_size::width);
    const int h = std::min(height, screen_size::height);
    if (w <= 0 || h <= 0) {
        return;
    }
    rgba_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* from = pixels + static_cast<std::ptrdiff_t>(y) * pitch;
        std::uint32_t* to = rgba_.data() + static_cast<std::ptrdiff_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            to[x] = colours_[from[x]];
        }
    }
    jsDraw(rgba_.data(), w, h);
}

// --- messages and dialogs ---

int WebPlatform::pumpMessage(WindowEvents& events) {
    if (quitPosted_) {
        return 0;
    }
    if (jsTakePaletteRegained() != 0) {
        events.paletteRegained();
        return 1;
    }
    const int id = jsTakeCommand();
    if (id >= 0) {
        events.menuCommand(id);
    }
    return 1;
}

void WebPlatform::postQuit(int) {
    quitPosted_ = true;
}

void WebPlatform::runDialog(int templateId, DialogLogic& logic) {
    const shell::DialogTemplate* dialog = shell::findDialog(templateId);
    if (dialog == nullptr || inDialog_) {
        return;
    }
    inDialog_ = true;
    jsDialogBegin(dialog->id, latin1ToUtf8(dialog->caption).c_str(), dialog->closeBox ? 1 : 0,
                  dialog->width, dialog->height);
    for (const shell::Control& c : dialog->controls) {
        jsDialogControl(c.id, static_cast<int>(c.kind), latin1ToUtf8(c.text).c_str(), c.x, c.y,
                        c.width, c.height);
    }
    WebDialogView view;
    logic.init(view);
    jsDialogShow();
    while (!view.ended) {
        const int command = jsDialogCommand();
        if (command >= 0) {
            logic.command(view, command);
            continue;
        }
        if (jsHidden() != 0) {
            jsWaitVisible();
        }
        emscripten_sleep(dialogPollMs);
    }
    jsDialogEnd();
    inDialog_ = false;
}

// The work yields to the browser as it waits (the clock's readings, the fetch), so the page
// is drawn meanwhile; the open dialog is disabled until it is done.
void WebPlatform::runResponsive(const std::function<void()>& work) {
    jsDialogBusy(1);
    work();
    jsDialogBusy(0);
}

// --- the rest of the seam ---

void WebPlatform::openUrl(const std::string& url) {
    jsOpenUrl(url.c_str());
}

std::string WebPlatform::ownExecutablePath() {
    // The program is the .wasm file the page was served with, read once into memory.
    if (ownFile_.empty() && jsFetchOwnFile(ownFilePath) >= 0) {
        ownFile_ = ownFilePath;
    }
    return ownFile_;
}

int WebPlatform::processorType() {
    return 0; // a browser does not tell
}

void* WebPlatform::loadLibrary(const std::string&) {
    return nullptr;
}

void* WebPlatform::findFunction(void*, const std::string&) {
    return nullptr;
}

void WebPlatform::debugText(const char* text) {
    jsDebug(text);
}
