#!/usr/bin/env python3
"""Checks the web build in a real browser: serves build-web/ on 127.0.0.1, opens
brackenfold.html?autostart in headless Chromium through chromedriver (WebDriver over plain HTTP),
lets the intro run for a few seconds, takes a screenshot and checks it for the backdrop, the rings
and the ring text, checks the console for a running audio context, rendered blocks of music and
sound that is not silence, then presses Escape and checks that the page says the show has ended
and the music has stopped. Then the page's form: its heading, 800x600 and Start give an 800 x 600
canvas; the full-screen box and Start ask the browser for full screen on the canvas, and leaving
it ends the show. Last, in a browser that holds sound back until a click (its default), the page
started at once shows its hint, and a click lets the music play and takes the hint away.

usage: webcheck.py BUILD_DIR OUT_DIR [SECONDS]
"""

import base64
import functools
import http.server
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request
import zlib

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WINDOW = (1000, 800)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def launch_chromedriver():
    """chromedriver on a free port: the process and the port."""
    port = free_port()
    process = subprocess.Popen([CHROMEDRIVER, "--port=%d" % port], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return process, port


def wait_for_chromedriver(driver):
    """Until chromedriver answers (10 s at most)."""
    for _ in range(100):
        try:
            driver.call("GET", "/status")
            return
        except OSError:
            time.sleep(0.1)


def serve(directory):
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(Quiet, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class WebDriver:
    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port
        self.session = None

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=60) as reply:
            return json.loads(reply.read())["value"]

    def start(self, profile, autoplay=True):
        args = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--user-data-dir=" + profile,
                # WebGL on the CPU: the browser's own SwiftShader, as --disable-gpu leaves it.
                "--enable-unsafe-swiftshader",
                "--window-size=%d,%d" % WINDOW]
        if autoplay:
            args.append("--autoplay-policy=no-user-gesture-required")
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": CHROMIUM, "args": args},
            "goog:loggingPrefs": {"browser": "ALL"}}}}
        self.session = self.call("POST", "/session", caps)["sessionId"]

    def s(self, path):
        return "/session/%s%s" % (self.session, path)

    def open(self, url):
        self.call("POST", self.s("/url"), {"url": url})

    def console(self):
        return [(entry["level"], entry["message"])
                for entry in self.call("POST", self.s("/se/log"), {"type": "browser"})]

    def script(self, source):
        return self.call("POST", self.s("/execute/sync"), {"script": source, "args": []})

    def screenshot(self):
        return base64.b64decode(self.call("GET", self.s("/screenshot")))

    def click(self, css):
        element = self.call("POST", self.s("/element"), {"using": "css selector", "value": css})
        self.call("POST", self.s("/element/%s/click" % next(iter(element.values()))), {})

    def press_escape(self):
        key = "\ue00c"
        self.call("POST", self.s("/actions"), {"actions": [{"type": "key", "id": "keyboard", "actions": [
            {"type": "keyDown", "value": key}, {"type": "pause", "duration": 50}, {"type": "keyUp", "value": key}]}]})

    def quit(self):
        if self.session:
            try:
                self.call("DELETE", self.s(""))
            except OSError:
                pass
            self.session = None


def ready(driver):
    """Waits until the page's module has loaded and Start can be pressed."""
    for _ in range(100):
        if driver.script("return !document.getElementById('start').disabled"):
            return
        time.sleep(0.1)


def decode_png(data):
    """RGB rows of an 8-bit RGB or RGBA, non-interlaced PNG (what Chromium's screenshots are)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG format"
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return rows


def judge(rows, canvas):
    """Counts the pixels that only the scene's parts give: the backdrop's coloured layers, the
    rings' red faces, the ring text's near-white letters in the middle band."""
    x0, y0, w, h = canvas
    backdrop = rings = text = 0
    colours = set()
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            r, g, b = rows[y][x]
            colours.add((r >> 4, g >> 4, b >> 4))
            if r > 60 and g < 25 and b < 25 and r > 3 * (g + b):
                rings += 1
            elif b > 60 or (r > 40 and g > 40):
                backdrop += 1
            # Letters are strokes: a white pixel with white right and lower neighbours (a
            # garbled text ring gives scattered single dots instead).
            if 200 <= y - y0 <= 280 and min(r, g, b) > 200 and min(rows[y][x + 1]) > 200 and min(rows[y + 1][x]) > 200:
                text += 1
    return {"backdrop": backdrop, "rings": rings, "text": text, "colours": len(colours)}


def main():
    build, out = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 4.0
    os.makedirs(out, exist_ok=True)
    server = serve(build)
    driver_process, port = launch_chromedriver()
    profile = tempfile.mkdtemp(prefix="brackenfold-chromium-")
    profile2 = tempfile.mkdtemp(prefix="brackenfold-chromium-")
    driver = WebDriver(port)
    failures = []
    console = []
    try:
        wait_for_chromedriver(driver)
        driver.start(profile)
        url = "http://127.0.0.1:%d/brackenfold.html?autostart" % server.server_address[1]
        began = time.monotonic()
        driver.open(url)
        time.sleep(max(0.0, seconds - (time.monotonic() - began)))
        console += driver.console()
        canvas = [int(round(v)) for v in driver.script(
            "var r = document.getElementById('canvas').getBoundingClientRect();"
            "return [r.left, r.top, r.width, r.height];")]
        shot = driver.screenshot()
        with open(os.path.join(out, "web.png"), "wb") as f:
            f.write(shot)
        counts = judge(decode_png(shot), canvas)
        print("webcheck: screenshot %s: %s" % (os.path.join(out, "web.png"), counts))
        if counts["backdrop"] < 40000 or counts["colours"] < 200:
            failures.append("no backdrop in the screenshot")
        if counts["rings"] < 10000:
            failures.append("no rings in the screenshot")
        if counts["text"] < 150:
            failures.append("no ring text in the screenshot")

        driver.press_escape()
        time.sleep(1.0)
        console += driver.console()
        status = driver.script("return document.getElementById('status').textContent")
        audio = driver.script("return Module.audioContext ? Module.audioContext.state : 'none'")
        print("webcheck: after Escape the page says %r; audio context %s" % (status, audio))
        if "has ended" not in status:
            failures.append("Escape did not end the show")
        if audio not in ("closed", "suspended"):
            failures.append("the music goes on after Escape (audio context %s)" % audio)

        # The options dialog as the page's form: a resolution, then Start.
        driver.open(url.replace("?autostart", ""))
        ready(driver)
        driver.click("[data-control='1001']")
        driver.click("#start")
        time.sleep(1.5)
        size = driver.script("var c = document.getElementById('canvas'); return [c.width, c.height];")
        print("webcheck: 800x600 and Start give a canvas of %d x %d" % tuple(size))
        if size != [800, 600]:
            failures.append("the form's 800x600 gave a canvas of %d x %d" % tuple(size))
        console += driver.console()

        # Full screen: the box, then Start, whose click lets the page ask for it.
        driver.open(url.replace("?autostart", ""))
        ready(driver)
        heading = driver.script("var h = document.querySelector('h1'); return h ? h.textContent : ''")
        print("webcheck: the page's heading is %r" % heading)
        if "Brackenfold" not in heading:
            failures.append("the page has no heading with the group's name")
        driver.click("#fullscreen")
        driver.click("#start")
        time.sleep(1.5)
        lines = [m for _, m in driver.console()]
        console += [("INFO", m) for m in lines]
        element = driver.script("return document.fullscreenElement ? document.fullscreenElement.id : ''")
        print("webcheck: full screen asked for: %s; the page's full-screen element: %r" % (
            any("full screen requested" in m for m in lines), element))
        if not any("full screen requested" in m for m in lines):
            failures.append("Start with the full-screen box did not ask for full screen")
        if element != "canvas":
            failures.append("the canvas is not full screen (full-screen element %r)" % element)
        driver.script("document.exitFullscreen()")
        time.sleep(1.0)
        status = driver.script("return document.getElementById('status').textContent")
        print("webcheck: after leaving full screen the page says %r" % status)
        if "has ended" not in status:
            failures.append("leaving full screen did not end the show")
        console += driver.console()
        driver.quit()

        # A browser with its default policy keeps a page's sound off until a click.
        driver.start(profile2, autoplay=False)
        driver.open(url)
        time.sleep(2.5)
        hint = driver.script("var h = document.getElementById('soundhint'); return [!h.hidden, h.offsetHeight > 0,"
                             " Module.audioContext ? Module.audioContext.state : 'none']")
        print("webcheck: without a click: hint shown %s, visible %s, audio context %s" % tuple(hint))
        if not (hint[0] and hint[1]):
            failures.append("no visible hint while the browser holds the sound back (audio context %s)" % hint[2])
        driver.click("#soundhint")
        time.sleep(1.5)
        after = driver.script("return [!document.getElementById('soundhint').hidden,"
                              " Module.audioContext ? Module.audioContext.state : 'none']")
        print("webcheck: after a click: hint shown %s, audio context %s" % tuple(after))
        if after[0] or after[1] != "running":
            failures.append("a click did not let the sound play and take the hint away (%s, %s)" % tuple(after))
        console += driver.console()
    finally:
        driver.quit()
        driver_process.terminate()
        driver_process.wait(timeout=10)
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)
        shutil.rmtree(profile2, ignore_errors=True)

    with open(os.path.join(out, "console.txt"), "w") as f:
        f.write("".join("%s %s\n" % entry for entry in console))
    errors = [m for level, m in console if level == "SEVERE"]
    console = [m for _, m in console]
    reports = [m for m in console if "brackenfold: audio context" in m]
    for m in reports[-2:]:
        print("webcheck: console: " + m[m.index("brackenfold:"):].rstrip('"'))
    running = [m for m in reports if "audio context running" in m]
    blocks = peak = 0
    for m in running:
        words = m.split()
        blocks = max(blocks, int(words[words.index("blocks") - 1]))
        peak = max(peak, int(words[words.index("peak") + 1].rstrip(";")))
    if not running:
        failures.append("the console never reported a running audio context")
    elif blocks <= 100:
        failures.append("no blocks of music rendered after the first ring (%d)" % blocks)
    elif peak < 1000:
        failures.append("the audio device played silence (peak %d)" % peak)
    for m in errors:
        failures.append("console error: " + m)
    for f in failures:
        print("webcheck: FAIL: " + f)
    print("webcheck: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
