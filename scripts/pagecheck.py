"""The player's page in the browser, for playercheck.py: a module dropped on it (a drop event
with the file, as a drag from the desktop gives) loads and plays: its title and format shown, the
pattern view's lit row moving, the channels' meters up; pause stops the rows; the seek bar moves
the song there; a click on a channel's head mutes it (dimmed, and the player's channel muted), a
double click solos it; a dropped file that is not a module shows the library's reason."""

import json
import os
import time

SONG = "xm-songs/raylib__2t2m_spa.xm"

DROP = """
const [url, name] = arguments;
return fetch(url).then(r => r.arrayBuffer()).then(bytes => {
  const transfer = new DataTransfer();
  transfer.items.add(new File([bytes], name));
  document.getElementById('drop').dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true,
                                                                      cancelable: true}));
  return true;
});
"""

STATE = """
const lit = document.querySelector('#pattern .row.current');
const bars = [...document.querySelectorAll('#pattern .head .meter i')];
return {
  title: document.getElementById('title').textContent,
  format: document.getElementById('format').textContent,
  row: lit ? lit.firstChild.textContent : null,
  position: document.getElementById('position').textContent,
  time: window.playerPage ? window.playerPage.player.position.time : -1,
  seekValue: document.getElementById('seek').valueAsNumber,
  meters: bars.filter(b => parseFloat(b.style.width) > 1).length,
  channels: bars.length,
  reason: document.getElementById('reason').hidden ? '' : document.getElementById('reason').textContent,
  dimmed: [...document.querySelectorAll('#pattern .head')].map(h => h.classList.contains('muted')),
  muted: window.playerPage ? [...window.playerPage.player.muted] : [],
  soloed: window.playerPage ? [...window.playerPage.player.soloed] : [],
  playing: window.playerPage ? window.playerPage.player.playing : false,
};
"""


def state(driver):
    return driver.call("POST", driver.s("/execute/sync"), {"script": STATE, "args": []})


def drop(driver, url, name):
    driver.call("POST", driver.s("/execute/sync"), {"script": DROP, "args": [url, name]})


def check(driver, base, testdata, out, failures):
    if not os.path.isfile(os.path.join(testdata, SONG)):
        print("playercheck: page: SKIPPED: no %s" % SONG)
        return
    driver.open(base + "/player.html")
    if not driver.wait_for("window.playerPage"):
        failures.append("page: the player's page did not start")
        return
    drop(driver, "/testdata/" + SONG, os.path.basename(SONG))
    driver.wait_for("document.querySelector('#pattern .row.current')")
    time.sleep(1.0)
    first = state(driver)
    time.sleep(1.5)
    second = state(driver)
    print("playercheck: page: dropped %s: %s; then %s" % (SONG, json.dumps(first), json.dumps(second)))
    if not first["title"] or first["title"] == "No module" or "XM" not in first["format"]:
        failures.append("page: the dropped module's title and format are not shown (%r, %r)" % (first["title"], first["format"]))
    if first["row"] is None or first["row"] == second["row"] and first["position"] == second["position"]:
        failures.append("page: the pattern view's lit row does not move (%s, then %s)" % (first["position"], second["position"]))
    if second["meters"] < 2:
        failures.append("page: %d of %d channel meters show a level" % (second["meters"], second["channels"]))
    with open(os.path.join(out, "player-page.png"), "wb") as f:
        f.write(driver.screenshot())

    # Pause: the rows stop.
    driver.click("#play")
    time.sleep(0.5)
    paused = state(driver)
    time.sleep(1.0)
    still = state(driver)
    print("playercheck: page: paused at %s, a second later %s" % (paused["position"], still["position"]))
    if paused["playing"] or paused["position"] != still["position"]:
        failures.append("page: pause did not stop the song (%s, then %s)" % (paused["position"], still["position"]))
    driver.click("#play")

    # The seek bar: to 60 s.
    driver.script("const s = document.getElementById('seek'); s.value = 60;"
                  "s.dispatchEvent(new Event('input')); s.dispatchEvent(new Event('change'));")
    time.sleep(0.5)
    sought = state(driver)
    print("playercheck: page: seek bar to 60 s: the song at %.2f s (%s)" % (sought["time"], sought["position"]))
    if not 60.0 <= sought["time"] < 61.5:
        failures.append("page: the seek bar to 60 s put the song at %.2f s" % sought["time"])

    # A click on channel 2's head mutes it; a double click on channel 3's solos it.
    driver.click("#pattern .head[data-channel='1']")
    time.sleep(0.2)
    muted = state(driver)
    element = driver.call("POST", driver.s("/element"), {"using": "css selector", "value": "#pattern .head[data-channel='2']"})
    driver.call("POST", driver.s("/actions"), {"actions": [{"type": "pointer", "id": "mouse", "actions": [
        {"type": "pointerMove", "origin": element, "x": 0, "y": 0},
        {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0},
        {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]}]})
    time.sleep(0.3)
    soloed = state(driver)
    print("playercheck: page: a click on channel 2: muted %s, dimmed %s; a double click on channel 3: soloed %s, "
          "dimmed %d of %d" % (muted["muted"], [i for i, d in enumerate(muted["dimmed"]) if d], soloed["soloed"],
                               sum(soloed["dimmed"]), len(soloed["dimmed"])))
    if muted["muted"] != [1] or [i for i, d in enumerate(muted["dimmed"]) if d] != [1]:
        failures.append("page: a click on channel 2's head did not mute it alone")
    if soloed["soloed"] != [2] or soloed["dimmed"][2] or sum(soloed["dimmed"]) != len(soloed["dimmed"]) - 1:
        failures.append("page: a double click on channel 3's head did not solo it")

    # Not a module: the reason shows.
    drop(driver, "/player.html", "not-a-module.xm")
    driver.wait_for("!document.getElementById('reason').hidden", 5)
    refused = state(driver)
    print("playercheck: page: a page dropped as a module: %r" % refused["reason"])
    if "not-a-module.xm" not in refused["reason"] or "neither" not in refused["reason"]:
        failures.append("page: no reason shown for a file that is not a module (%r)" % refused["reason"])
