// Waveform audio output of the web backend, over Web Audio: a ScriptProcessorNode on the page's
// AudioContext at the player's rate pulls 16-bit stereo frames from the ring in the module's
// memory, in a loop, and counts the bytes it has taken; that count is the play position.
// A page has no thread to block, so the mixing thread's passes run from this node's callback:
// right after each stretch it takes from the ring, on the page's one thread. The position moves
// only in that callback, so a 5 ms poll between callbacks would find nothing new; a pass after
// each stretch refills every block the device has left as soon as it has left it.
// The stop handshake becomes trivial: a pass never runs while stop does (one thread), so the busy
// flag is never seen set, and the stop flag makes the next pass end instead of rendering.
// Not implemented: time-critical priority (there is no thread to raise).
// Browsers start audio only after a user gesture: the page makes the AudioContext in its Start
// button's click and leaves it in Module.audioContext; without one (autostart) it is made here
// and may stay suspended until the browser allows it.

#include <emscripten/emscripten.h>

#include <utility>

#include "Platform/WaveDevice.h"

namespace {
EM_JS(int, pageAudioOpen, (int rate), {
  var AC = window.AudioContext || window.webkitAudioContext;
  if (!AC) return 0;
  var ctx = Module.audioContext;
  if (!ctx || ctx.state === 'closed' || ctx.sampleRate !== rate) {
    try {
      ctx = Module.audioContext = new AC({sampleRate : rate});
    } catch (e) {
      console.error('brackenfold: no audio context: ' + e);
      return 0;
    }
  }
  // peak: the loudest sample played, for the page's report.
  var out = Module.waveOut = {ring : 0, bytes : 0, cursor : 0, played : 0, peak : 0, paused : false};
  // 2048 frames a callback: 46 ms at 44100 Hz, well inside the 2-second ring.
  var node = ctx.createScriptProcessor(2048, 0, 2);
  node.onaudioprocess = function(event) {
    var left = event.outputBuffer.getChannelData(0);
    var right = event.outputBuffer.getChannelData(1);
    var frames = left.length;
    if (!out.ring || out.paused) {
      left.fill(0);
      right.fill(0);
      return;
    }
    var base = out.ring >> 1;
    var ringSamples = out.bytes >> 1;
    var at = out.cursor >> 1;
    var peak = out.peak;
    for (var i = 0; i < frames; i++) {
      var l = HEAP16[base + at], r = HEAP16[base + at + 1];
      left[i] = l / 32768;
      right[i] = r / 32768;
      peak = Math.max(peak, l < 0 ? -l : l, r < 0 ? -r : r);
      at += 2;
      if (at >= ringSamples) at = 0;
    }
    out.peak = peak;
    out.cursor = at << 1;
    out.played = (out.played + frames * 4) >>> 0;
    out.callbacks = (out.callbacks || 0) + 1;
    Module._brackenfold_wave_pass();
  };
  node.connect(ctx.destination);
  Module.waveNode = node;
  if (ctx.state !== 'running') ctx.resume().catch(function() {});
  return 1;
});

EM_JS(void, pageAudioStart, (const void* ring, unsigned bytes), {
  var out = Module.waveOut;
  out.ring = ring;
  out.bytes = bytes;
  out.cursor = 0;
  out.played = 0;
  out.paused = false;
});

// Paused, the node plays silence and takes nothing from the ring: the position stands still.
EM_JS(void, pageAudioPause, (int paused), {
  if (Module.waveOut) Module.waveOut.paused = !!paused;
});

EM_JS(unsigned, pageAudioPosition, (), { return Module.waveOut ? Module.waveOut.played : 0; });

EM_JS(void, pageAudioReset, (), {
  if (Module.waveOut) Module.waveOut.ring = 0;
});

EM_JS(void, pageAudioClose, (), {
  if (Module.waveNode) {
    Module.waveNode.onaudioprocess = null;
    Module.waveNode.disconnect();
    Module.waveNode = null;
  }
  // The ring's numbers stay for the page's last report; nothing reads the ring any more.
  if (Module.waveOut) Module.waveOut.ring = 0;
  if (Module.audioContext && Module.audioContext.state === 'running') Module.audioContext.suspend();
});

class PageWaveDevice : public WaveDevice {
 public:
  bool open(int32_t rate) override {
    if (opened) close();
    opened = pageAudioOpen(rate) != 0;
    return opened;
  }
  void startLoop(const void* buffer, uint32_t bytes) override { pageAudioStart(buffer, bytes); }
  uint32_t positionBytes() override { return pageAudioPosition(); }
  void pause() override { pageAudioPause(1); }
  void resume() override { pageAudioPause(0); }
  void reset() override {
    pageAudioReset();
    pass = nullptr;
  }
  int close() override {
    if (!opened) return 0;
    pageAudioClose();
    pass = nullptr;
    opened = false;
    return 0;
  }
  PlatformThread startMixingThread(std::function<void()>, std::function<void()> p) override {
    pass = std::move(p);
    return {};
  }
  void runPass() {
    if (pass) pass();
  }

 private:
  bool opened = false;
  std::function<void()> pass;
};

PageWaveDevice device;
}  // namespace

// Called by the node's callback after each stretch it has played.
extern "C" EMSCRIPTEN_KEEPALIVE void brackenfold_wave_pass() { device.runPass(); }

WaveDevice& platformWaveDevice() { return device; }
