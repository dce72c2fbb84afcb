"""The web page in headless Chromium, driven through its DevTools protocol: a static server for
the site, the browser, and the page's test hooks (web/main.cpp). Shared by the web test and the
web benchmark."""

import base64
import functools
import http.server
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time

import websocket  # Debian's python3-websocket

WIDTH, HEIGHT = 1280, 720


class Site:
    """The site folder on a server of its own at 127.0.0.1, on a free port."""

    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=folder)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".data": "application/octet-stream"}

    def log_message(self, *args):
        pass


def chromium_binary():
    for name in ("chromium-headless-shell", "chromium"):
        path = shutil.which(name) or (os.path.exists("/usr/lib/chromium/" + name) and
                                      "/usr/lib/chromium/" + name)
        if path:
            return path
    raise RuntimeError("no chromium-headless-shell: run scripts/install-deps.sh")


class Browser:
    """Headless Chromium with software WebGL 2 (SwiftShader through ANGLE), no display, no GPU."""

    def __init__(self, timeout=120):
        self.profile = tempfile.mkdtemp(prefix="zrx-chromium-")
        self.timeout = timeout
        args = [chromium_binary(), "--headless", "--no-sandbox", "--remote-debugging-port=0",
                "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--use-gl=angle",
                "--ignore-gpu-blocklist", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run",
                "--disable-gpu-vsync", "--disable-frame-rate-limit",
                "--window-size=%d,%d" % (WIDTH, HEIGHT), "--user-data-dir=" + self.profile,
                "about:blank"]
        # A session of its own: Debian's chromium-headless-shell is a shell script, and stopping
        # it alone would leave the browser it started running; the whole group is stopped.
        self.process = subprocess.Popen(args, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        # The browser writes its port into the profile once it listens.
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + timeout
        while True:
            if self.process.poll() is not None:
                raise RuntimeError("chromium exited with status %d" % self.process.returncode)
            if os.path.exists(port_file):
                lines = open(port_file).read().split("\n")
                if len(lines) >= 2 and lines[1]:
                    break
            if time.monotonic() > deadline:
                raise RuntimeError("chromium did not open its DevTools port")
            time.sleep(0.05)
        self.socket = websocket.create_connection(
            "ws://127.0.0.1:%s%s" % (lines[0], lines[1]), timeout=timeout)
        self.next_id = 0

    def call(self, method, session=None, **params):
        """Sends one DevTools command and returns its result; events in between are dropped."""
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        self.socket.send(json.dumps(message))
        while True:
            reply = json.loads(self.socket.recv())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]

    def open_page(self, url):
        target = self.call("Target.createTarget", url="about:blank",
                           newWindow=False)["targetId"]
        session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        page = Page(self, target, session)
        page.call("Emulation.setDeviceMetricsOverride", width=WIDTH, height=HEIGHT,
                  deviceScaleFactor=1, mobile=False)
        page.call("Page.navigate", url=url)
        return page

    def close(self):
        try:
            self.socket.close()
        finally:
            group = self.process.pid
            try:
                os.killpg(group, signal.SIGTERM)
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(group, signal.SIGKILL)
                self.process.wait()
            except ProcessLookupError:
                pass
            # The browser's own children may outlive the script that started them.
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                try:
                    os.killpg(group, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.1)
            else:
                try:
                    os.killpg(group, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    def __init__(self, browser, target, session):
        self.browser, self.target, self.session = browser, target, session

    def call(self, method, **params):
        return self.browser.call(method, session=self.session, **params)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError("page: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def wait_ready(self):
        """Polls until the program's start-up is done; fails on an abort or after the timeout."""
        deadline = time.monotonic() + self.browser.timeout
        while True:
            state = self.evaluate(
                "typeof Module === 'undefined' ? null : "
                "(Module.zrxFailed ? 'failed: ' + Module.zrxFailed : Module.zrxReady ? 'ready' : null)")
            if state == "ready":
                return
            if state:
                raise RuntimeError("the page's program " + state)
            if time.monotonic() > deadline:
                raise RuntimeError("the page did not finish its start-up")
            time.sleep(0.1)

    def frame(self):
        """The frame of the held moment as the page draws it: RGB bytes, rows top first."""
        encoded = self.evaluate("""(() => {
            const at = Module._zrxCaptureFrame();
            const bytes = Module.HEAPU8.subarray(at, at + %d);
            let text = '';
            for (let i = 0; i < bytes.length; i += 32768)
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
            return btoa(text);
        })()""" % (WIDTH * HEIGHT * 3))
        raw = base64.b64decode(encoded)
        stride = WIDTH * 3
        return b"".join(raw[(HEIGHT - 1 - y) * stride:(HEIGHT - y) * stride]
                        for y in range(HEIGHT))

    def close(self):
        self.browser.call("Target.closeTarget", targetId=self.target)
