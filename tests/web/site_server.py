"""A loopback web server for the browser checks: serves the built site folder under a path
prefix (as a portal would) and answers the highscore POST at the origin's root. It keeps
every highscore body it received; its mode says how it answers one: "accept" replies "0",
"silent" closes the connection without a word. Binds 127.0.0.1 only."""

import functools
import http.server
import threading
import urllib.parse

HIGHSCORE_PATH = "/r0002.asp"


class SiteServer:
    def __init__(self, site_dir, prefix="/spela/", port=0):
        self.site_dir = site_dir
        self.prefix = prefix
        self.mode = "accept"
        self.received = []  # the highscore bodies, each a list of (name, value) in order
        self._httpd = None
        self._thread = None
        self.port = port

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}{self.prefix}"

    def start(self):
        handler = functools.partial(_Handler, self, directory=self.site_dir)
        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", self.port), handler)
        self.port = self._httpd.server_address[1]
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._httpd is not None:
            self._httpd.shutdown()
            self._httpd.server_close()
            self._httpd = None


class _Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def __init__(self, server_state, *args, **kwargs):
        self.state = server_state
        super().__init__(*args, **kwargs)

    def log_message(self, *args):
        pass

    def translate_path(self, path):
        prefix = self.state.prefix
        path = urllib.parse.urlsplit(path).path
        if not path.startswith(prefix):
            return "/nonexistent"
        return super().translate_path("/" + path[len(prefix):])

    def end_headers(self):
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def do_POST(self):
        if self.path != HIGHSCORE_PATH:
            self.send_error(404)
            return
        length = min(int(self.headers.get("Content-Length", "0")), 65536)
        body = self.rfile.read(length).decode("latin-1")
        self.state.received.append(urllib.parse.parse_qsl(body, keep_blank_values=True))
        if self.state.mode == "silent":
            self.close_connection = True
            return
        reply = b"0"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)


