#!/usr/bin/python3
"""Serves a status page over HTTP on loopback (a port the system picks), as a
web server would show it to others, opens it in headless Chromium driven over
the DevTools pipe, and prints what a reader gets, one fact a line:

  console N          console errors, exceptions and refused loads
  scripts N          script elements on the page
  summary TEXT
  server NAME|STATE|TEXT|CELLS
  background light|dark COLOUR
  overflow phone N   pixels wider than a phone's screen

Screenshots go to OUTDIR as status-page.png, status-page-dark.png and
status-page-phone.png. Every wait is bounded; the whole run by 60 s.
"""
import base64
import functools
import http.server
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time

DEADLINE = time.monotonic() + 60


class Browser:
    def __init__(self, profile):
        to_child_r, self.to_child = os.pipe()
        self.from_child, from_child_w = os.pipe()

        def pipes():
            # Through copies: a pipe may already sit on 3 or 4, and dup2 onto
            # itself would leave it closed at exec.
            reads, writes = os.dup(to_child_r), os.dup(from_child_w)
            os.dup2(reads, 3)
            os.dup2(writes, 4)

        args = ["chromium", "--headless", "--remote-debugging-pipe", "--no-first-run",
                "--no-default-browser-check", "--disable-gpu", "--disable-extensions",
                "--disable-background-networking", "--disable-sync", "--mute-audio",
                "--user-data-dir=" + profile, "about:blank"]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")  # Chromium refuses to run as root otherwise
        self.proc = subprocess.Popen(args, preexec_fn=pipes, close_fds=False,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(to_child_r)
        os.close(from_child_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def _read_message(self):
        while b"\0" not in self.buffer:
            left = DEADLINE - time.monotonic()
            if left <= 0:
                raise TimeoutError("the browser did not answer in time")
            ready, _, _ = select.select([self.from_child], [], [], left)
            if ready:
                chunk = os.read(self.from_child, 1 << 20)
                if not chunk:
                    raise EOFError("the browser closed its pipe")
                self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_child, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._read_message()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(method + ": " + reply["error"]["message"])
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, method):
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self._read_message())

    def close(self):
        try:
            self.call("Browser.close")
        except Exception:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def errors(events):
    count = 0
    for event in events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            count += 1
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            count += 1
        elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
            print("console-text " + params["entry"].get("text", "").replace("\n", " "))
            count += 1
    return count


READ = """JSON.stringify({
  scripts: document.scripts.length,
  summary: document.querySelector('.summary').textContent,
  servers: [...document.querySelectorAll('section.server')].map(s => [
    s.querySelector('.name').textContent, s.dataset.state,
    s.querySelector('.state').textContent, s.querySelectorAll('.strip span').length]),
  background: getComputedStyle(document.body).backgroundColor,
  overflow: document.documentElement.scrollWidth - window.innerWidth,
  height: document.documentElement.scrollHeight})"""


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main(page, outdir):
    handler = functools.partial(QuietHandler, directory=os.path.dirname(os.path.abspath(page)))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/%s" % (server.server_address[1], os.path.basename(page))
    profile = tempfile.mkdtemp(prefix="quorvex-chromium-")
    browser = Browser(profile)
    try:
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.call("Target.attachToTarget",
                               {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Runtime", "Log", "Page"):
            browser.call(domain + ".enable", session=session)

        def view(width, height, mobile, scheme):
            browser.call("Emulation.setDeviceMetricsOverride",
                         {"width": width, "height": height, "deviceScaleFactor": 1,
                          "mobile": mobile}, session)
            browser.call("Emulation.setEmulatedMedia",
                         {"features": [{"name": "prefers-color-scheme", "value": scheme}]},
                         session)
            browser.call("Page.navigate", {"url": url}, session)
            browser.wait_for("Page.loadEventFired")
            return json.loads(browser.call("Runtime.evaluate", {"expression": READ},
                                           session)["result"]["value"])

        def shot(name, facts, width):
            browser.call("Emulation.setDeviceMetricsOverride",
                         {"width": width, "height": facts["height"], "deviceScaleFactor": 1,
                          "mobile": width < 600}, session)
            data = browser.call("Page.captureScreenshot", {"format": "png"}, session)["data"]
            with open(os.path.join(outdir, name), "wb") as out:
                out.write(base64.b64decode(data))

        light = view(900, 700, False, "light")
        shot("status-page.png", light, 900)
        dark = view(900, 700, False, "dark")
        shot("status-page-dark.png", dark, 900)
        phone = view(375, 740, True, "light")
        shot("status-page-phone.png", phone, 375)

        print("console %d" % errors(browser.events))
        print("scripts %d" % light["scripts"])
        print("summary " + light["summary"])
        for name, state, text, cells in light["servers"]:
            print("server %s|%s|%s|%d" % (name, state, text, cells))
        print("background light " + light["background"])
        print("background dark " + dark["background"])
        print("overflow phone %d" % phone["overflow"])
    finally:
        browser.close()
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
