"""Answers a page's requests for stored replays (GET /spel/ID) on the browser's side,
through the DevTools protocol's Fetch domain on a connection of its own (a thread running
trio), so that the replay viewer can be checked before the portal serves that route.
Known IDs get their bytes as application/octet-stream, others 404. Highscore posts
(/r0002.asp) are noted and failed, so a check can prove that none was sent."""

import base64
import json
import threading
import urllib.request

import trio
from trio_websocket import open_websocket_url


class ReplayRoute:
    def __init__(self, driver, replays):
        self.replays = dict(replays)  # ID (text) -> bytes
        self.served = []              # the IDs asked for, in order
        self.highscore_posts = []     # URLs of highscore requests the page made
        address = driver.capabilities["goog:chromeOptions"]["debuggerAddress"]
        with urllib.request.urlopen(f"http://{address}/json", timeout=10) as reply:
            targets = json.load(reply)
        page = next(t for t in targets if t["type"] == "page")
        self._url = page["webSocketDebuggerUrl"]
        self._ready = threading.Event()
        self._stop = False
        self._error = None
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()
        if not self._ready.wait(15):
            raise RuntimeError(f"the DevTools connection did not come up: {self._error}")

    def close(self):
        self._stop = True
        self._thread.join(5)

    def _run(self):
        try:
            trio.run(self._serve)
        except Exception as e:  # noqa: BLE001 - told to the waiting check
            self._error = e
            self._ready.set()

    async def _serve(self):
        async with open_websocket_url(self._url, max_message_size=16 * 1024 * 1024) as ws:
            number = 0

            async def send(method, params):
                nonlocal number
                number += 1
                await ws.send_message(json.dumps({"id": number, "method": method, "params": params}))

            await send("Fetch.enable", {"patterns": [{"urlPattern": "*/spel/*"},
                                                     {"urlPattern": "*/r0002.asp*"}]})
            while not self._stop:
                message = None
                with trio.move_on_after(0.2):
                    message = json.loads(await ws.get_message())
                if message is None:
                    continue
                if message.get("id") == 1:
                    self._ready.set()
                if message.get("method") != "Fetch.requestPaused":
                    continue
                params = message["params"]
                url = params["request"]["url"]
                if "/r0002.asp" in url:
                    self.highscore_posts.append(url)
                    await send("Fetch.failRequest", {"requestId": params["requestId"],
                                                     "errorReason": "BlockedByClient"})
                    continue
                replay_id = url.split("/spel/", 1)[1].split("?")[0]
                self.served.append(replay_id)
                body = self.replays.get(replay_id)
                status = 200 if body is not None else 404
                body = body if body is not None else "Spelet finns inte".encode()
                kind = "application/octet-stream" if status == 200 else "text/plain; charset=utf-8"
                await send("Fetch.fulfillRequest", {
                    "requestId": params["requestId"], "responseCode": status,
                    "responseHeaders": [{"name": "Content-Type", "value": kind}],
                    "body": base64.b64encode(body).decode()})
