#!/usr/bin/env python3
"""Opens a page in headless Chromium and waits until it shows a window.

Usage: page_shows_window.py URL WINDOW_RGB WIDTH PROFILE_DIR SCREENSHOT

WINDOW_RGB holds the window's pixels as raw 8-bit RGB rows, WIDTH pixels
wide, cut from the screen that the page is meant to show. Chromium is driven
over its debugging pipe (file descriptors 3 and 4, NUL-separated JSON): the
page is screenshot every half second until enough of the window's rows
appear in it unchanged, or a minute has passed. Rows are compared exactly;
the VNC stream may send gradients (the banner) lossily, so not every row has
to be found. Exit status 0 when the window was seen; the last screenshot is
left in SCREENSHOT either way.
"""

import base64
import fcntl
import json
import os
import subprocess
import sys
import time

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--window-size=1280,1024", "--remote-debugging-pipe",
]


def high_fd(fd):
    """The same pipe end above 4, so it cannot collide with 3 and 4 below."""
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD, 10)
    os.close(fd)
    return moved


class Chromium:
    def __init__(self, url, profile):
        to_browser_r, self.to_browser = map(high_fd, os.pipe())
        self.from_browser, from_browser_w = map(high_fd, os.pipe())

        def as_debugging_pipe():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)

        self.process = subprocess.Popen(
            ["chromium", *CHROMIUM_FLAGS, "--user-data-dir=" + profile, url],
            pass_fds=(3, 4), preexec_fn=as_debugging_pipe,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.pending = b""
        self.last_id = 0

    def call(self, method, params=None, session=None):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.pending:
                chunk = os.read(self.from_browser, 1 << 20)
                if not chunk:
                    raise RuntimeError("Chromium closed its debugging pipe")
                self.pending += chunk
            raw, self.pending = self.pending.split(b"\0", 1)
            reply = json.loads(raw)
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]

    def close(self):
        try:
            self.call("Browser.close")
            self.process.wait(10)
        except Exception:
            self.process.kill()
            self.process.wait()


def raw_rgb(png):
    return subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True,
                          capture_output=True).stdout


def main():
    url, window_file, width, profile, screenshot = sys.argv[1:6]
    stride = int(width) * 3
    window = open(window_file, "rb").read()
    rows = [window[i:i + stride] for i in range(0, len(window), stride)]
    detailed = {i for i, row in enumerate(rows)
                if len({row[j:j + 3] for j in range(0, len(row), 3)}) >= 8}

    browser = Chromium(url, profile)
    try:
        page = next(t for t in browser.call("Target.getTargets")["targetInfos"]
                    if t["type"] == "page")
        session = browser.call("Target.attachToTarget",
                               {"targetId": page["targetId"], "flatten": True})["sessionId"]
        deadline = time.time() + 60
        while True:
            shot = browser.call("Page.captureScreenshot", {"format": "png"}, session)["data"]
            with open(screenshot, "wb") as f:
                f.write(base64.b64decode(shot))
            pixels = raw_rgb(screenshot)
            found = {i for i, row in enumerate(rows) if row in pixels}
            # Most of the window, text and controls included.
            if len(found) * 2 >= len(rows) and len(found & detailed) >= 10:
                print(f"the page shows {len(found)} of the window's {len(rows)} rows unchanged")
                return 0
            if time.time() > deadline:
                print(f"the page showed only {len(found)} of the window's {len(rows)} rows")
                return 1
            time.sleep(0.5)
    finally:
        browser.close()


if __name__ == "__main__":
    sys.exit(main())
