#!/usr/bin/env python3
"""Checks the web player in headless Chromium (as webcheck.py checks the intro's page), serving
the web build, the check's own page (tests/web/) and the shared test modules on 127.0.0.1:

  frames  every module of each folder of ../shared/testdata, the first SECONDS rendered by the
          worklet in an OfflineAudioContext, equal sample for sample to the native library's
          float frames (the nativeframes program of the default build, run as the page asks);
  seek    a seek 60 % into each song of the song folders lands on the frame: the second after it
          equals the native library's plain render from that frame;
  wav     the player's WAV render: a 16-bit stereo file of the native float mix, rounded;
  package the npm tarball installed (npm install FILE, offline) and its module imported from
          there plays a module;
  reason  a file that is not a module rejects the load with the library's reason;
  live    a busy 32-channel song played for 30 s in a live AudioContext while the page's main
          thread computes 40 ms of every 50: the processor keeps up with the audio clock, its
          underruns (see below) and the time from play to the first sound heard reported (a
          measure of the machine as much as of the player, so reported rather than asserted);
  page    the player's page (player.html): see pagecheck() below.

An underrun is a stretch the device had to fill because the worklet's block was not ready in
time. Chromium counts those itself in AudioContext.playoutStats (the frames it filled and how
often) where it has that interface (Chromium 156 does not, unflagged); the processor counts its
blocks against the blocks the audio clock asked for, and the times the audio clock fell behind
the wall clock by more than 10 ms (the device's buffer) beyond its first second's lag.

usage: playercheck.py BUILD_DIR NATIVEFRAMES OUT_DIR [SECONDS] [PARTS]
  SECONDS: of each module in the frame check (3 by default); PARTS: comma-separated, of
  frames,seek,wav,package,reason,live,page (all by default).
"""

import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import webcheck  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HARNESS = os.path.join(SOURCE, "tests", "web")
TESTDATA = os.path.normpath(os.path.join(SOURCE, "..", "shared", "testdata"))
FOLDERS = os.environ.get("PLAYERCHECK_FOLDERS", "").split(",") if os.environ.get("PLAYERCHECK_FOLDERS") else ["xm-songs", "mod-songs", "s3m-songs", "it-songs", "xm", "xm-ft2", "mod-pt", "s3m-st3", "it-impulse"]
SONG_FOLDERS = ["xm-songs", "mod-songs", "s3m-songs", "it-songs"]
EXTENSIONS = (".xm", ".mod", ".s3m", ".it")
# The check's page is loaded afresh after this many modules.
RELOAD_EVERY = 20
LIVE_SONG = "xm-songs/raylib__2t2m_spa.xm"
LIVE_SECONDS = 30
RATE = 44100
# Where the package check installed the tarball (node_modules/brackenfold-tracker), once it has.
INSTALLED = []


def serve(build, nativeframes):
    class Handler(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def translate_path(self, path):
            path = urllib.parse.unquote(urllib.parse.urlsplit(path).path)
            if path.startswith("/harness/"):
                return os.path.join(HARNESS, os.path.basename(path))
            if path.startswith("/installed/") and INSTALLED:
                return os.path.join(INSTALLED[0], *path[len("/installed/"):].split("/"))
            if path.startswith("/testdata/"):
                return os.path.join(TESTDATA, *path[len("/testdata/"):].split("/")[-2:])
            return super().translate_path(path)

        def do_GET(self):
            url = urllib.parse.urlsplit(self.path)
            if url.path != "/native":
                return super().do_GET()
            query = urllib.parse.parse_qs(url.query)
            module = os.path.join(TESTDATA, *query["module"][0].split("/")[-2:])
            run = subprocess.run([nativeframes, module, str(RATE), query["seconds"][0]] + query.get("from", []),
                                 capture_output=True)
            if run.returncode != 0:
                self.send_error(500, run.stderr.decode(errors="replace").strip())
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(run.stdout)))
            self.end_headers()
            self.wfile.write(run.stdout)

    handler = functools.partial(Handler, directory=build)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class ScriptError(Exception):
    pass


class Driver(webcheck.WebDriver):
    def run(self, source):
        """A script whose promise the driver waits for (WebDriver's synchronous execute does);
        a script that throws or rejects raises ScriptError with the browser's message."""
        try:
            return self.script(source)
        except urllib.error.HTTPError as error:
            try:
                message = json.loads(error.read())["value"]["message"]
            except (ValueError, KeyError):
                message = str(error)
            raise ScriptError(message.splitlines()[0] if message else str(error)) from None

    def fresh(self, url):
        """The check's page loaded again: what earlier renders held (a context and a module
        each) goes with the old page."""
        self.open(url)
        return self.wait_for("window.harnessReady")

    def timeouts(self, script_ms):
        self.call("POST", self.s("/timeouts"), {"script": script_ms})

    def wait_for(self, condition, seconds=10.0):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if self.script("return !!(%s)" % condition):
                return True
            time.sleep(0.1)
        return False


def compare_frames(driver, base, index, module, seconds, along=None):
    """The worklet's first seconds of the module (from `along` of its pass) against the native
    library's, on a harness page loaded afresh every RELOAD_EVERY modules."""
    if index % RELOAD_EVERY == 0:
        driver.fresh(base + "/harness/harness.html")
    native = "/native?module=%s&seconds=%g" % (urllib.parse.quote(module), seconds)
    arguments = [json.dumps("/testdata/" + urllib.parse.quote(module)), json.dumps(native), "%g" % seconds]
    if along is not None:
        arguments.append("%g" % along)
    return driver.run("return compareFrames(%s)" % ", ".join(arguments))


def framecheck(driver, base, nativeframes, seconds, failures):
    if not os.path.isdir(TESTDATA):
        print("playercheck: frames: SKIPPED: no %s (the shared test modules)" % TESTDATA)
        return
    for folder in FOLDERS:
        directory = os.path.join(TESTDATA, folder)
        if not os.path.isdir(directory):
            print("playercheck: frames: no folder %s, skipped" % folder)
            continue
        names = sorted(n for n in os.listdir(directory) if n.lower().endswith(EXTENSIONS))
        equal, refused, began = 0, 0, time.monotonic()
        for index, name in enumerate(names):
            module = "%s/%s" % (folder, name)
            if os.environ.get("PLAYERCHECK_VERBOSE"):
                print("playercheck: frames: %.1f %s" % (time.monotonic() - began, module), flush=True)
            try:
                got = compare_frames(driver, base, index, module, seconds)
            except ScriptError as error:
                failures.append("frames: %s: %s" % (module, error))
                continue
            if "refused" in got:
                # Refused in the browser: the native library must refuse it with the same reason.
                run = subprocess.run([nativeframes, os.path.join(directory, name), str(RATE), "0"], capture_output=True)
                why = run.stderr.decode(errors="replace").strip()
                if run.returncode == 0 or not why.endswith(": " + got["refused"]):
                    failures.append("frames: %s: refused in the browser (%s), natively %r" % (module, got["refused"], why))
                else:
                    refused += 1
                continue
            if got["differing"] == 0 and got["nativeFrames"] > 0:
                equal += 1
            elif got["nativeFrames"] == 0:
                failures.append("frames: %s: the native render gave no frames" % module)
            else:
                failures.append("frames: %s: %d of %d frames differ, the first at frame %d, by up to %g (peak %g)" % (
                    module, got["differing"], got["frames"], got["first"], got["largest"], got["peak"]))
        print("playercheck: frames: %s: %d of %d modules equal to the native library's over %g s each, %d refused "
              "by both alike (%.0f s)" % (folder, equal, len(names), seconds, refused, time.monotonic() - began))


def seekcheck(driver, base, seconds, failures):
    """A seek in the worklet to 60 % of each song lands on the frame: the frames after it equal a
    plain native render's from there."""
    for folder in SONG_FOLDERS:
        directory = os.path.join(TESTDATA, folder)
        if not os.path.isdir(directory):
            print("playercheck: seek: no folder %s, skipped" % folder)
            continue
        names = sorted(n for n in os.listdir(directory) if n.lower().endswith(EXTENSIONS))
        equal = 0
        for index, name in enumerate(names):
            module = "%s/%s" % (folder, name)
            try:
                got = compare_frames(driver, base, index, module, seconds, 0.6)
            except ScriptError as error:
                failures.append("seek: %s: %s" % (module, error))
                continue
            if "refused" in got:
                failures.append("seek: %s: refused: %s" % (module, got["refused"]))
                continue
            if got["differing"] == 0 and got["nativeFrames"] > 0:
                equal += 1
            else:
                failures.append("seek: %s: from frame %d, %d of %d frames differ from a plain render's (the first at %d)" % (
                    module, got["from"], got["differing"], got["frames"], got["first"]))
        print("playercheck: seek: %s: %d of %d modules land on the frame (60 %% in, %g s compared)" % (
            folder, equal, len(names), seconds))


def wavcheck(driver, seconds, failures):
    module = LIVE_SONG
    if not os.path.isfile(os.path.join(TESTDATA, module)):
        print("playercheck: wav: SKIPPED: no %s" % module)
        return
    native = "/native?module=%s&seconds=%g" % (urllib.parse.quote(module), seconds)
    got = driver.run("return compareWav(%s, %s, %g)" % (json.dumps("/testdata/" + module), json.dumps(native), seconds))
    print("playercheck: wav: %s, %g s: %s" % (module, seconds, json.dumps(got)))
    header = got["header"]
    if not header["riff"] or header["channels"] != 2 or header["rate"] != RATE or header["bits"] != 16:
        failures.append("wav: not a 16-bit stereo WAV at %d Hz: %s" % (RATE, header))
    if got["samples"] != got["nativeSamples"] or header["bytes"] != 2 * got["samples"]:
        failures.append("wav: %d samples where the native render has %d" % (got["samples"], got["nativeSamples"]))
    if got["beyond"]:
        failures.append("wav: %d samples more than one 16-bit step from the native float mix" % got["beyond"])


def packagecheck(driver, build, failures):
    """The npm tarball installed as a page's project installs it (npm install FILE, offline), and
    its module, imported from where npm put it, plays a module."""
    tarballs = sorted(n for n in os.listdir(build) if n.startswith("brackenfold-tracker-") and n.endswith(".tgz"))
    npm = shutil.which("npm")
    if not tarballs or not npm:
        print("playercheck: package: SKIPPED: %s" % ("no npm here" if not npm else "no tarball in " + build))
        return
    project = tempfile.mkdtemp(prefix="brackenfold-package-")
    try:
        run = subprocess.run([npm, "install", "--offline", "--no-audit", "--no-fund", "--prefix", project,
                              os.path.abspath(os.path.join(build, tarballs[-1]))], capture_output=True, text=True)
        installed = os.path.join(project, "node_modules", "brackenfold-tracker")
        if run.returncode != 0 or not os.path.isdir(installed):
            failures.append("package: npm install %s failed: %s" % (tarballs[-1], run.stderr.strip()[-300:]))
            return
        INSTALLED[:] = [installed]
        files = sorted(os.listdir(installed))
        got = driver.run("return renderInstalled(%s)" % json.dumps("/testdata/" + LIVE_SONG))
        print("playercheck: package: %s installed: %s; its module played %s" % (tarballs[-1], files, json.dumps(got)))
        for needed in ("brackenfold-player.js", "brackenfold-player.d.ts", "brackenfold-worklet.js", "package.json", "LICENSE"):
            if needed not in files:
                failures.append("package: the installed package has no %s" % needed)
        if not got.get("peak", 0) > 0.01:
            failures.append("package: the installed module played silence (%s)" % got)
    finally:
        INSTALLED[:] = []
        shutil.rmtree(project, ignore_errors=True)


def reasoncheck(driver, failures):
    got = driver.run("return loadReason('/harness/harness.html')")
    print("playercheck: reason: a page as a module: %s" % json.dumps(got))
    if got.get("loaded") or not got.get("reason") or "\n" in got["reason"]:
        failures.append("reason: loading a file that is not a module did not reject with a one-line reason")


def livecheck(driver, failures):
    song = os.path.join(TESTDATA, LIVE_SONG)
    if not os.path.isfile(song):
        print("playercheck: live: SKIPPED: no %s" % song)
        return
    got = driver.run("return playLive(%s, %d)" % (json.dumps("/testdata/" + LIVE_SONG), LIVE_SECONDS))
    print("playercheck: live: %s, %d s with a busy main thread: %s" % (LIVE_SONG, LIVE_SECONDS, json.dumps(got)))
    stats = got.get("playoutStats")
    if stats:
        for key in stats["after"]:
            if ("Events" in key or "events" in key) and stats["after"][key] != stats["before"].get(key):
                print("playercheck: live: the browser counted %s %d -> %d" % (key, stats["before"][key], stats["after"][key]))
    else:
        print("playercheck: live: this browser has no AudioContext.playoutStats; the processor's counts only")
    if got["blocks"] + 4 < got["expectedBlocks"]:
        failures.append("live: the processor rendered %d blocks where the audio clock asked for %d" % (
            got["blocks"], got["expectedBlocks"]))
    print("playercheck: live: %d underruns (blocks too late for the device; the audio clock fell at most %.1f ms behind)" % (
        got["lateBlocks"], got["worstLagMs"]))
    if got["positions"] < LIVE_SECONDS * 10:
        failures.append("live: only %d position events in %d s" % (got["positions"], LIVE_SECONDS))


def main():
    build, nativeframes, out = sys.argv[1], sys.argv[2], sys.argv[3]
    seconds = float(sys.argv[4]) if len(sys.argv) > 4 else 3.0
    parts = sys.argv[5].split(",") if len(sys.argv) > 5 else ["frames", "seek", "wav", "package", "reason", "live", "page"]
    os.makedirs(out, exist_ok=True)
    server = serve(build, nativeframes)
    base = "http://127.0.0.1:%d" % server.server_address[1]
    driver_process, port = webcheck.launch_chromedriver()
    profile = tempfile.mkdtemp(prefix="brackenfold-player-")
    driver = Driver(port)
    failures = []
    console = []
    try:
        webcheck.wait_for_chromedriver(driver)
        driver.start(profile)
        driver.timeouts(600000)
        if set(parts) & {"frames", "seek", "wav", "package", "reason", "live"}:
            driver.open(base + "/harness/harness.html")
            if not driver.wait_for("window.harnessReady"):
                failures.append("the check's page did not load the player's module")
            else:
                if "frames" in parts:
                    framecheck(driver, base, nativeframes, seconds, failures)
                if "seek" in parts:
                    seekcheck(driver, base, min(seconds, 1.0), failures)
                if "wav" in parts:
                    wavcheck(driver, seconds, failures)
                if "package" in parts:
                    packagecheck(driver, build, failures)
                if "reason" in parts:
                    reasoncheck(driver, failures)
                if "live" in parts:
                    livecheck(driver, failures)
            console += driver.console()
        if "page" in parts:
            import pagecheck
            pagecheck.check(driver, base, TESTDATA, out, failures)
            console += driver.console()
    finally:
        driver.quit()
        driver_process.terminate()
        driver_process.wait(timeout=10)
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)

    with open(os.path.join(out, "player-console.txt"), "w") as f:
        f.write("".join("%s %s\n" % entry for entry in console))
    for level, message in console:
        if level == "SEVERE" and "harness.html" not in message and "favicon" not in message:
            failures.append("console error: " + message)
    for f in failures:
        print("playercheck: FAIL: " + f)
    print("playercheck: %s" % ("FAILED" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
