"""A real pingel-portal for the checks: `serve` on a free loopback port with a fresh SQLite
database in a temporary folder (or the database given), the built site under /spela/. It
can be stopped and started again on the same port and database, and runs the portal's
member and build commands on that database. Also the game's highscore body for a
recorded replay, to send one as the game would."""

import base64
import gzip
import os
import signal
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Portal:
    def __init__(self, binary, site_dir=None, serve_args=(), database=None):
        self.binary = binary
        self.site_dir = site_dir
        self.serve_args = list(serve_args)
        self._folder = tempfile.TemporaryDirectory(prefix="pingel-portal-")
        self.folder = self._folder.name
        self.database = database or os.path.join(self._folder.name, "portal.db")
        self.log = os.path.join(self._folder.name, "serve.log")
        self.port = None
        self._process = None

    @property
    def origin(self):
        return f"http://127.0.0.1:{self.port}"

    @property
    def url(self):
        return self.origin + "/spela/"

    def command(self, *args, stdin=""):
        done = subprocess.run([self.binary, *args, "--database", self.database], input=stdin,
                              capture_output=True, text=True, timeout=30, check=False)
        if done.returncode != 0:
            raise RuntimeError(f"pingel-portal {' '.join(args)}: {done.stderr.strip()}")
        return done.stdout

    def start(self):
        """Serves on the port it had before, or on a free one; returns once "/" answers."""
        for _ in range(3):
            port = self.port or free_port()
            with open(self.log, "ab") as log:
                self._process = subprocess.Popen(
                    [self.binary, "serve", "--listen", f"127.0.0.1:{port}", "--database",
                     self.database, *(["--site", self.site_dir] if self.site_dir else []),
                     *self.serve_args],
                    stdin=subprocess.DEVNULL, stdout=log, stderr=log)
            end = time.monotonic() + 15
            while time.monotonic() < end and self._process.poll() is None:
                try:
                    with urllib.request.urlopen(f"http://127.0.0.1:{port}/", timeout=2):
                        self.port = port
                        return self
                except (urllib.error.URLError, OSError):
                    time.sleep(0.05)
            self._halt()
            if self.port:  # the same port again: waiting a moment may free it
                time.sleep(1)
        with open(self.log, encoding="utf-8", errors="replace") as log:
            raise RuntimeError("pingel-portal did not start: " + log.read()[-2000:])

    def get(self, path):
        """The status, the headers and the (unpacked) body of a GET."""
        request = urllib.request.Request(self.origin + path, headers={"Accept-Encoding": "gzip"})
        try:
            with urllib.request.urlopen(request, timeout=10) as reply:
                body = reply.read()
                if reply.headers.get("Content-Encoding") == "gzip":
                    body = gzip.decompress(body)
                return reply.status, reply.headers, body
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read()

    def post(self, path, body):
        """The status and the body of a form POST."""
        request = urllib.request.Request(
            self.origin + path, data=body,
            headers={"Content-Type": "application/x-www-form-urlencoded"})
        try:
            with urllib.request.urlopen(request, timeout=30) as reply:
                return reply.status, reply.read()
        except urllib.error.HTTPError as e:
            return e.code, e.read()

    def stop(self):
        self._halt()

    def close(self):
        self._halt()
        self._folder.cleanup()

    def _halt(self):
        if self._process is None:
            return
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGTERM)
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._process = None


FIELD_KEY = bytes([0x3C, 0xA1, 0x5E, 0x07, 0xD2, 0x68, 0x9B, 0x41])


def field(text):
    """A highscore form value as the game obscures it: each byte XORed with the key, in hex."""
    data = text.encode("latin-1")
    return "".join(f"{b ^ FIELD_KEY[i % len(FIELD_KEY)]:02X}" for i, b in enumerate(data))


def highscore_body(email, password, recorded):
    """The game's highscore body for a recorded replay: the eleven fields with the score,
    the play time and the build the replay holds, then the replay."""
    checksum = int.from_bytes(recorded[7:11], "little")
    length = int.from_bytes(recorded[11:15], "little")
    updates = int.from_bytes(recorded[19:23], "little")
    score = int.from_bytes(recorded[23:27], "little", signed=True)
    wrapped = (length + score) & 0xFFFFFFFF
    fb = wrapped - (1 << 32) if wrapped >= 1 << 31 else wrapped
    values = [("f1", field(email)), ("f2", "8"), ("f3", field(password)),
              ("f4", field(str(score))), ("f5", field(str(updates * 20))), ("f6", field("100")),
              ("f7", field("Headless")), ("f8", field(str(checksum))),
              ("f9", field(str(length))), ("fa", field(str(score) + email)),
              ("fb", field(str(fb))),
              ("fc", base64.urlsafe_b64encode(recorded).decode("ascii").rstrip("="))]
    return "&".join(f"{k}={v}" for k, v in values).encode("ascii"), (checksum, length)
