"""The browser build played in headless Chromium, served by a real pingel-portal on
loopback (a fresh SQLite database, the site under /spela/): real key, mouse and touch
events through WebDriver and CDP, the picture read back from the canvas, a highscore sent
to the portal and looked for on its home page.
Usage: browser_checks.py PORTAL_BINARY SITE_DIR HEADLESS_FRAMES_DIR [--phone-screenshot PNG]
       [--replay-screenshot PNG] [--only CHECK]
(the frames folder holds frozen.ppm from pingel-headless-frame, and watch.rep, a replay
that `pingel-sim --record` made). Prints one line per check and "N passed, M failed"."""

import base64
import html
import re
import sqlite3
import sys
import time
import traceback
import zlib

from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.chrome.service import Service as ChromeService

from portal_process import Portal, highscore_body

WIDTH, HEIGHT = 421, 271
# The score is drawn centred at (389, 95): the box around it.
SCORE_BOX = (350, 80, 421, 112)
EMAIL = "spelare@example.org"
NICKNAME = "Snabbfotingen"
PASSWORD = "hemligt7"
QUESTION, INFORMATION, HIGHSCORE = 135, 129, 131
# Who sends pingel-sim's recorded game to the portal.
SIM_EMAIL, SIM_NICKNAME, SIM_PASSWORD = "sim@example.org", "Simulerad", "hemligt2"


def start_browser(width=900, height=700, mobile=False):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                f"--window-size={width},{height}", "--no-first-run", "--mute-audio"):
        options.add_argument(arg)
    if mobile:
        options.add_experimental_option(
            "mobileEmulation", {"deviceMetrics": {"width": width, "height": height,
                                                  "pixelRatio": 2, "touch": True}})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = ChromeService(executable_path="/usr/bin/chromedriver")
    return webdriver.Chrome(options=options, service=service)


def wait_for(condition, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def canvas_rgb(driver):
    """The canvas as bytes R, G, B per pixel, row by row."""
    data = driver.execute_script("""
        const c = document.getElementById('screen');
        const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        let s = '';
        for (let i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
        return btoa(s);""")
    return base64.b64decode(data)


def read_ppm(path):
    with open(path, "rb") as f:
        raw = f.read()
    parts = raw.split(maxsplit=4)
    assert parts[0] == b"P6" and int(parts[1]) == WIDTH and int(parts[2]) == HEIGHT
    return parts[4]


def box(rgb, area):
    x0, y0, x1, y1 = area
    return b"".join(rgb[(y * WIDTH + x0) * 3:(y * WIDTH + x1) * 3] for y in range(y0, y1))


def press(driver, key, hold=0.0):
    chain = ActionChains(driver)
    chain.key_down(key).perform()
    if hold:
        time.sleep(hold)
    ActionChains(driver).key_up(key).perform()


def choose_menu(driver, popup, item):
    driver.find_element(By.XPATH, f"//nav[@id='menu']//button[@class='title' and text()='{popup}']").click()
    driver.find_element(By.XPATH, f"//nav[@id='menu']//div[@class='items']/button[text()='{item}']").click()


def touch(driver, events):
    """Dispatches touch events given as (type, x, y) in page pixels."""
    for kind, x, y in events:
        points = [] if kind == "touchEnd" else [{"x": x, "y": y}]
        driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": kind, "touchPoints": points})
        time.sleep(0.05)


def dialog(driver, template_id):
    found = driver.find_elements(By.CSS_SELECTOR, f".dialog[data-dialog='{template_id}']")
    return found[0] if found else None


def timings(driver):
    return driver.execute_script("return PingelPage.timings();")


def console_errors(driver):
    return [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]


def tap(driver, x, y):
    touch(driver, [("touchStart", x, y), ("touchEnd", x, y)])


def centre(driver, element):
    return driver.execute_script(
        "const r = arguments[0].getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2];",
        element)


class Checks:
    def __init__(self, portal_binary, site_dir, frames_dir, phone_screenshot=None,
                 replay_screenshot=None):
        self.site_dir = site_dir
        self.frames_dir = frames_dir
        self.phone_screenshot = phone_screenshot
        self.replay_screenshot = replay_screenshot
        self.portal = Portal(portal_binary, site_dir)
        self.portal.command("member", "add", EMAIL, NICKNAME, stdin=PASSWORD + "\n")
        self.portal.command("member", "add", SIM_EMAIL, SIM_NICKNAME, stdin=SIM_PASSWORD + "\n")
        # Only this build's scores are ranked: an accepted score proves that the page sent
        # the served program's checksum and length.
        with open(f"{site_dir}/pingel.wasm", "rb") as f:
            wasm = f.read()
        self.portal.command("build", "add", str(zlib.crc32(wasm)), str(len(wasm)))
        self.portal.start()
        self.driver = start_browser()
        self.phone = None
        self.viewer = None

    def close(self):
        self.driver.quit()
        for other in (self.phone, self.viewer):
            if other is not None:
                other.quit()
        self.portal.close()

    def page_loads_from_the_portal_without_console_errors(self):
        d = self.driver
        d.get(self.portal.origin + "/")
        d.get_log("browser")  # only what the game's page logs counts here
        d.find_element(By.CSS_SELECTOR, "a[href='/spela/']").click()
        wait_for(lambda: timings(d)["firstFrame"], 10, "the first frame")
        assert d.current_url == self.portal.url, d.current_url
        time.sleep(0.3)
        errors = console_errors(d)
        assert not errors, f"console errors: {errors}"

    def frozen_board_equals_headless_render(self):
        expected = read_ppm(f"{self.frames_dir}/frozen.ppm")
        seen = canvas_rgb(self.driver)
        differing = sum(1 for i in range(0, len(seen), 3) if seen[i:i + 3] != expected[i:i + 3])
        assert differing == 0, f"{differing} pixels differ from the headless render"

    def f1_starts_and_score_rises_with_arrow_held(self):
        d = self.driver
        frozen = canvas_rgb(d)
        press(d, Keys.F1)
        started = wait_for(lambda: (lambda now: now != frozen and now)(canvas_rgb(d)), 10,
                           "F1 to change the board")
        assert timings(d)["soundsStarted"] > 0, "no sound after the first key"
        before = box(started, SCORE_BOX)
        press(d, Keys.ARROW_RIGHT, hold=2.0)
        wait_for(lambda: box(canvas_rgb(d), SCORE_BOX) != before, 10,
                 "the score to change after the right arrow was held")
        assert d.execute_script("return window.scrollY;") == 0, "the arrows scrolled the page"

    def hidden_tab_stops_the_clock_and_the_frames(self):
        d = self.driver
        state = "return [PingelPage.clock(), performance.now(), PingelPage.timings().frames.length];"
        page = d.current_window_handle
        clock0, real0, frames0 = d.execute_script(state)
        d.switch_to.new_window("tab")
        time.sleep(6.0)
        d.close()
        d.switch_to.window(page)
        clock1, real1, frames1 = d.execute_script(state)
        # Switching tabs may take a while on a busy machine; the clock runs only then.
        hidden = (real1 - real0) - (clock1 - clock0)
        assert hidden > 4000, f"the clock ran on while the tab was hidden ({clock1 - clock0:.0f} ms)"
        assert frames1 - frames0 < 60, f"{frames1 - frames0} frames drawn in a hidden tab"
        wait_for(lambda: len(timings(d)["frames"]) > frames1, 10,
                 "the game to go on after the tab came back")

    def information_dialog_opens_and_closes_with_enter(self):
        d = self.driver
        choose_menu(d, "Spel", "Spelregler")
        box_ = wait_for(lambda: dialog(d, INFORMATION), 10, "the information dialog")
        text = box_.find_element(By.TAG_NAME, "textarea").get_attribute("value")
        assert len(text) > 100, "the rules text is missing"
        press(d, Keys.ESCAPE)
        time.sleep(0.3)
        assert dialog(d, INFORMATION) is not None, "Escape closed the information dialog"
        press(d, Keys.ENTER)
        wait_for(lambda: dialog(d, INFORMATION) is None, 10, "the dialog to close after Enter")

    def phone_tap_starts_and_swipe_steers(self):
        # The phone's game goes on meanwhile; phone_tap_after_game_over_starts_anew ends it.
        self.phone = phone = start_browser(390, 844, mobile=True)
        phone.get(self.portal.url)
        wait_for(lambda: timings(phone)["firstFrame"], 10, "the first frame")
        left, top, width, height, viewport = phone.execute_script(
            "const r = document.getElementById('screen').getBoundingClientRect();"
            "return [r.left, r.top, r.width, r.height, window.innerWidth];")
        assert width <= viewport, f"the picture ({width} px) is wider than the phone ({viewport} px)"
        self.phone_board = (left + width * 0.4, top + height * 0.5)
        time.sleep(0.5)
        frozen = canvas_rgb(phone)
        x, y = self.phone_board
        tap(phone, x, y)
        started = wait_for(lambda: (lambda now: now != frozen and now)(canvas_rgb(phone)), 10,
                           "a tap on the finished board to start a game")
        before = box(started, SCORE_BOX)
        touch(phone, [("touchStart", x, y), ("touchMove", x + 40, y), ("touchEnd", x + 40, y)])
        wait_for(lambda: box(canvas_rgb(phone), SCORE_BOX) != before, 10,
                 "a swipe to the right to steer the penguin to a pellet")
        if self.phone_screenshot:
            phone.save_screenshot(self.phone_screenshot)
        errors = console_errors(phone)
        assert not errors, f"console errors: {errors}"

    def highscore_kept_while_portal_stopped_then_listed(self):
        d = self.driver
        # Play on until the game is over: the offer to send the best score comes then.
        question = wait_for(lambda: dialog(d, QUESTION), 180, "the game to end with an offer")
        question.find_element(By.XPATH, ".//button[text()='Ja']").click()
        login = wait_for(lambda: dialog(d, HIGHSCORE), 10, "the highscore dialog")
        caption = login.find_element(By.CSS_SELECTOR, ".caption span").text
        score = int(caption.split("(")[1].rstrip(")"))
        assert score > 0, caption
        login.find_element(By.CSS_SELECTOR, "input[type='text']").send_keys(EMAIL)
        login.find_element(By.CSS_SELECTOR, "input[type='password']").send_keys(PASSWORD)

        # The page must stay responsive while the processor speed is measured (seconds of
        # clock readings): the program lets the page breathe again and again meanwhile, and
        # the page's own timers run between those breaths. Checked by order, not by time:
        # each breath notes how many timer ticks have run so far.
        d.execute_script("""
            window.ticks = 0; window.breaths = [];
            const tick = () => { ticks++; setTimeout(tick, 5); };
            setTimeout(tick, 5);
            const breathe = PingelPage.breathe;
            PingelPage.breathe = function () { breaths.push(ticks); return breathe(); };""")
        self.portal.stop()
        outcome = self._exchange()
        assert outcome["kind"] == 1 and outcome["error"] >= 12000, outcome
        breaths = d.execute_script("return window.breaths;")
        assert len(breaths) >= 2, f"the page was let breathe {len(breaths)} times during the send"
        assert breaths[-1] > breaths[0], "no timer of the page ran while the processor was measured"
        time.sleep(0.3)
        login = dialog(d, HIGHSCORE)
        assert login is not None, "a failed send closed the dialog"
        retry = login.find_element(By.CSS_SELECTOR, "button.default").text
        assert retry == "Försök igen", f"the dialog offers {retry!r} after a failed send"

        self.portal.start()
        outcome = self._exchange()
        assert outcome == {"kind": 0, "code": 200, "error": 0, "reply": "0"}, outcome
        wait_for(lambda: dialog(d, HIGHSCORE) is None, 5, "the dialog to close on acceptance")
        # The score kept through the failure is the one listed, under the member's nickname.
        status, _, body = self.portal.get("/")
        row = f"<td>{html.escape(NICKNAME)}</td><td>{score}</td>"
        assert status == 200 and row in body.decode("utf-8"), f"{row} not on the portal's list"
        # The processor speed, counted while the page breathed, arrived as a count.
        # The score was proven by the game the page recorded, which can be watched.
        with sqlite3.connect(f"file:{self.portal.database}?mode=ro", uri=True) as db:
            rows = db.execute("SELECT id, cpu_speed, proven FROM scores").fetchall()
        assert len(rows) == 1 and rows[0][1] > 0 and rows[0][2] == 1, f"the scores: {rows}"
        assert self.portal.get(f"/spel/{rows[0][0]}")[0] == 200, "the proven game is not served"

    def phone_tap_after_game_over_starts_anew(self):
        phone = self.phone
        assert phone is not None, "the phone's game was not started"
        question = wait_for(lambda: dialog(phone, QUESTION), 240, "the phone's game to end")
        no = question.find_element(By.XPATH, ".//button[text()='Nej']")
        tap(phone, *centre(phone, no))
        wait_for(lambda: dialog(phone, QUESTION) is None, 10, "a tap on Nej to close the offer")
        over = canvas_rgb(phone)
        time.sleep(0.5)
        assert canvas_rgb(phone) == over, "the board moves after the game is over"
        tap(phone, *self.phone_board)
        wait_for(lambda: box(canvas_rgb(phone), SCORE_BOX) != box(over, SCORE_BOX), 10,
                 "a tap on the board after the game to start a new one")

    def portal_page_opens_in_a_new_tab(self):
        d = self.driver
        page = d.current_window_handle
        choose_menu(d, "Koppla upp", "Surfa till speliasajten")
        wait_for(lambda: len(d.window_handles) == 2, 5, "a new tab")
        d.switch_to.window(next(h for h in d.window_handles if h != page))
        d.close()
        d.switch_to.window(page)
        assert dialog(d, INFORMATION) is None and timings(d)["frames"], "the game page changed"

    def quit_ends_the_program(self):
        d = self.driver
        choose_menu(d, "Spel", "Avsluta (Alt-F4)")
        wait_for(lambda: d.find_elements(By.CSS_SELECTOR, ".ended"), 10, "the note that the game ended")
        # What the page asked of the stopped portal is the one error the console may hold.
        errors = [e for e in console_errors(d) if "ERR_CONNECTION_REFUSED" not in e["message"]]
        assert not errors, f"console errors: {errors}"

    def replay_viewer_plays_pauses_speeds_up_and_sends_nothing(self):
        # pingel-sim's recorded game, sent as the game sends a score, is proven ("0") and
        # listed with a link to watch it; the viewer plays it from the portal's /spel/ID.
        with open(f"{self.frames_dir}/watch.rep", "rb") as f:
            recorded = f.read()
        body, build = highscore_body(SIM_EMAIL, SIM_PASSWORD, recorded)
        self.portal.command("build", "add", str(build[0]), str(build[1]))
        status, reply = self.portal.post("/r0002.asp", body)
        assert (status, reply) == (200, b"0"), (status, reply)
        status, _, page = self.portal.get("/")
        page = page.decode("utf-8")
        link = re.search(r'href="/spela/\?spel=(\d+)"', page)
        assert status == 200 and link, "no link to watch the proven game on the portal's list"
        self.watched = link.group(1)
        status, _, served = self.portal.get(f"/spel/{self.watched}")
        assert (status, served) == (200, recorded), (status, len(served))
        viewer = self.viewer = start_browser()
        self._watch(viewer)

    def _scores(self):
        with sqlite3.connect(f"file:{self.portal.database}?mode=ro", uri=True) as db:
            return db.execute("SELECT COUNT(*) FROM scores").fetchone()[0]

    def _watch(self, viewer):
        scores_before = self._scores()
        viewer.get(self.portal.url + f"?spel={self.watched}")
        bar = wait_for(lambda: (lambda b: b and b[0].is_displayed() and b[0])(
            viewer.find_elements(By.ID, "playback")), 20, "the playback's controls")
        # Every view the program shows, in order: (updates done, speed or 0 paused, over).
        viewer.execute_script("""
            window.views = [];
            const show = PingelPage.showPlayback;
            PingelPage.showPlayback = function (active, done, total, speed, paused, over) {
                views.push([done, paused ? 0 : speed, over]);
                return show(active, done, total, speed, paused, over);
            };""")
        state = lambda: viewer.execute_script("return window.views.slice();")

        def steps_at(speed, count):
            """Waits for `count` views in a row at `speed` and returns their steps."""
            def found():
                views = state()
                run = [v[0] for v in views if v[1] == speed and not v[2]]
                return len(run) > count and [b - a for a, b in zip(run[-count - 1:], run[-count:])]
            return wait_for(found, 60, f"{count} views at speed {speed}")

        first = canvas_rgb(viewer)
        wait_for(lambda: canvas_rgb(viewer) != first, 10, "the board to change as it plays")
        # At 1x each frame plays two updates.
        assert set(steps_at(1, 5)) == {2}, state()[-8:]

        bar.find_element(By.CSS_SELECTOR, "button.pause").click()
        wait_for(lambda: state()[-1][1] == 0, 10, "the pause")
        paused_at, paused_board = state()[-1][0], canvas_rgb(viewer)
        time.sleep(0.5)
        assert state()[-1][0] == paused_at and canvas_rgb(viewer) == paused_board, "it played on paused"
        assert bar.find_element(By.CSS_SELECTOR, "button.pause").text == "Spela"

        # At 4x each frame plays eight, and the progress bar follows.
        bar.find_element(By.CSS_SELECTOR, "button[data-speed='4']").click()
        assert set(steps_at(4, 5)) == {8}, state()[-8:]
        total = int(bar.get_attribute("data-total"))
        if self.replay_screenshot:
            wait_for(lambda: state()[-1][0] >= total // 2, 60, "the replay's middle")
            viewer.save_screenshot(self.replay_screenshot)
        wait_for(lambda: state()[-1][2], 120, "the end of the replay")
        assert state()[-1][0] == total > 0, (state()[-1], total)
        progress = viewer.execute_script("const p = document.querySelector('#playback progress');"
                                         "return [p.value, p.max];")
        assert progress == [total, total], progress
        assert bar.find_element(By.CLASS_NAME, "count").text == "Slut"

        # Over, the board stands; nothing can be sent: no offer, no highscore dialog.
        over = canvas_rgb(viewer)
        choose_menu(viewer, "Koppla upp", "Registrera high-score")
        time.sleep(1.0)
        assert dialog(viewer, QUESTION) is None and dialog(viewer, HIGHSCORE) is None, "a dialog opened"
        assert canvas_rgb(viewer) == over, "the board moves after the replay's end"
        assert timings(viewer)["lastExchange"] is None and self._scores() == scores_before

        # A replay the portal does not have is told in Swedish, and the game is there.
        missing = int(self.watched) + 1000
        viewer.get(self.portal.url + f"?spel={missing}")
        note = wait_for(lambda: (lambda n: n and n[0].is_displayed() and n[0])(
            viewer.find_elements(By.ID, "playback-problem")), 20, "the note of a missing replay")
        assert note.text == "Spelet finns inte på portalen.", note.text
        wait_for(lambda: timings(viewer)["firstFrame"], 10, "the finished board")
        assert not viewer.find_element(By.ID, "playback").is_displayed()
        errors = [e for e in console_errors(viewer) if f"/spel/{missing}" not in e["message"]]
        assert not errors, f"console errors: {errors}"

    def _exchange(self):
        """Presses Enter in the highscore dialog and returns the outcome of the exchange."""
        d = self.driver
        before = (timings(d)["lastExchange"] or {"number": 0})["number"]
        press(d, Keys.ENTER)
        outcome = wait_for(lambda: (timings(d)["lastExchange"] or {"number": 0})["number"] > before
                           and timings(d)["lastExchange"], 45, "the exchange to end")
        del outcome["number"]
        return outcome


def run_checks(checks, order, shot_prefix):
    """Runs each check in turn, counting and reporting every failure with a screenshot of
    each browser window in /tmp, then closes the checks; 0 when all passed."""
    passed = failed = 0
    try:
        for check in order:
            try:
                check()
                passed += 1
                print(f"ok   {check.__name__}", flush=True)
            except Exception:  # noqa: BLE001 - every failure is reported and counted
                failed += 1
                print(f"FAIL {check.__name__}", flush=True)
                traceback.print_exc()
                checks.driver.save_screenshot(f"/tmp/{shot_prefix}-{check.__name__}.png")
                if getattr(checks, "phone", None) is not None:
                    checks.phone.save_screenshot(f"/tmp/{shot_prefix}-phone-{check.__name__}.png")
    finally:
        checks.close()
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def main():
    args = sys.argv[1:]
    shots = {}
    for option in ("--phone-screenshot", "--replay-screenshot", "--only"):
        if option in args:
            at = args.index(option)
            shots[option] = args[at + 1]
            del args[at:at + 2]
    portal_binary, site_dir, frames_dir = args
    checks = Checks(portal_binary, site_dir, frames_dir, shots.get("--phone-screenshot"),
                    shots.get("--replay-screenshot"))
    order = [
        checks.page_loads_from_the_portal_without_console_errors,
        checks.frozen_board_equals_headless_render,
        checks.f1_starts_and_score_rises_with_arrow_held,
        checks.hidden_tab_stops_the_clock_and_the_frames,
        checks.information_dialog_opens_and_closes_with_enter,
        checks.phone_tap_starts_and_swipe_steers,
        checks.highscore_kept_while_portal_stopped_then_listed,
        checks.phone_tap_after_game_over_starts_anew,
        checks.portal_page_opens_in_a_new_tab,
        checks.quit_ends_the_program,
        checks.replay_viewer_plays_pauses_speeds_up_and_sends_nothing,
    ]
    if "--only" in shots:
        order = [c for c in order if c.__name__ == shots["--only"]]
    return run_checks(checks, order, "pingel-web")

if __name__ == "__main__":
    sys.exit(main())
