// What scripts/playercheck.py asks of the player in the browser, as functions on window that
// resolve with plain records for it to judge.
import {TrackerPlayer} from '/player/brackenfold-player.js';

const kRate = 44100;

async function fetchBytes(url) {
  const reply = await fetch(url);
  if (!reply.ok) throw new Error(`${url}: HTTP ${reply.status}`);
  return reply.arrayBuffer();
}

// Renders the first seconds of a module through the worklet in an OfflineAudioContext and
// compares every sample with the native library's float frames (nativeUrl: interleaved floats).
// With along (0 to 1), the worklet first seeks that far into the pass (to a whole frame), and the
// native frames are those of a plain render from that frame.
window.compareFrames = async (moduleUrl, nativeUrl, seconds, along) => {
  const frames = Math.round(seconds * kRate);
  const context = new OfflineAudioContext(2, frames, kRate);
  const player = await TrackerPlayer.create(context);
  let metadata;
  try {
    metadata = await player.load(await fetchBytes(moduleUrl));
  } catch (error) {
    player.dispose();
    return {refused: error.message};
  }
  let from = 0;
  if (along !== undefined) {
    from = Math.floor(metadata.duration * along * kRate);
    player.seek(from / kRate);
    nativeUrl += '&from=' + from;
  }
  player.play();
  await player.stats();
  const buffer = await context.startRendering();
  player.dispose();
  const native = new Float32Array(await fetchBytes(nativeUrl));
  const left = buffer.getChannelData(0);
  const right = buffer.getChannelData(1);
  const nativeFrames = native.length / 2;
  let differing = 0;
  let first = -1;
  let largest = 0;
  for (let i = 0; i < frames; ++i) {
    const l = i < nativeFrames ? native[2 * i] : 0;
    const r = i < nativeFrames ? native[2 * i + 1] : 0;
    if (left[i] !== l || right[i] !== r) {
      ++differing;
      if (first < 0) first = i;
      largest = Math.max(largest, Math.abs(left[i] - l), Math.abs(right[i] - r));
    }
  }
  let peak = 0;
  for (let i = 0; i < nativeFrames * 2; ++i) peak = Math.max(peak, Math.abs(native[i]));
  return {frames, nativeFrames, differing, first, largest, peak, from};
};

// The player's WAV file of the first seconds, against the native float frames: the same length,
// a 16-bit stereo header, every sample the float mix rounded (within one step) and clipped.
window.compareWav = async (moduleUrl, nativeUrl, seconds) => {
  const context = new OfflineAudioContext(2, 128, kRate);
  const player = await TrackerPlayer.create(context, {connect: false});
  await player.load(await fetchBytes(moduleUrl));
  const wav = new DataView(await (await player.renderWav({seconds})).arrayBuffer());
  const native = new Float32Array(await fetchBytes(nativeUrl));
  const header = {riff: wav.getUint32(0, false) === 0x52494646, channels: wav.getUint16(22, true),
                  rate: wav.getUint32(24, true), bits: wav.getUint16(34, true), bytes: wav.getUint32(40, true)};
  let beyond = 0;
  const count = Math.min(native.length, (wav.byteLength - 44) / 2);
  for (let i = 0; i < count; ++i) {
    const expected = Math.max(-32768, Math.min(32767, native[i] * 32768));
    if (Math.abs(wav.getInt16(44 + 2 * i, true) - expected) > 1) ++beyond;
  }
  return {header, samples: (wav.byteLength - 44) / 2, nativeSamples: native.length, beyond};
};

// The installed package's own module (served from where npm put it) plays a second of a module.
window.renderInstalled = async (moduleUrl) => {
  const {TrackerPlayer: Installed} = await import('/installed/brackenfold-player.js');
  const context = new OfflineAudioContext(2, kRate, kRate);
  const player = await Installed.create(context);
  const metadata = await player.load(moduleUrl);
  player.play();
  await player.stats();
  const buffer = await context.startRendering();
  player.dispose();
  let peak = 0;
  for (const value of buffer.getChannelData(0)) peak = Math.max(peak, Math.abs(value));
  return {title: metadata.title, peak};
};

// A load that must fail: the reason the player's promise rejects with.
window.loadReason = async (url) => {
  const context = new OfflineAudioContext(2, 128, kRate);
  const player = await TrackerPlayer.create(context);
  try {
    await player.load(url);
    return {loaded: true};
  } catch (error) {
    return {loaded: false, reason: error.message};
  }
};

// The main thread kept busy: of every 50 ms, 40 spent computing and changing the page.
function keepBusy(until) {
  const box = document.body.appendChild(document.createElement('div'));
  const spin = () => {
    const end = performance.now() + 40;
    let x = 0;
    while (performance.now() < end) x += Math.sqrt(x + 1);
    box.textContent = String(x);
    if (performance.now() < until) setTimeout(spin, 10);
  };
  spin();
}

// Plays a module live for seconds with the main thread kept busy, and says what the browser and
// the processor counted: the context's playout statistics where the browser has them (frames
// the device had to fill because the render came late), the processor's blocks against what the
// audio clock asked, and the time from play to the first sound heard.
window.playLive = async (moduleUrl, seconds) => {
  const context = new AudioContext({latencyHint: 'interactive'});
  await context.resume();
  const player = await TrackerPlayer.create(context);
  player.loop = true;
  await player.load(await fetchBytes(moduleUrl));
  const sounding = new Promise((resolve) => player.addEventListener('sounding', (e) => resolve(e.detail), {once: true}));
  // Chromium's names for the counts have changed between versions: take every number it gives.
  const stats = context.playoutStats || null;
  const snapshot = () => {
    const numbers = {};
    for (const key in stats) if (typeof stats[key] === 'number') numbers[key] = stats[key];
    return numbers;
  };
  const before = stats ? snapshot() : null;
  const startTime = context.currentTime;
  const pressed = performance.now();
  player.play();
  const heard = await sounding;
  let positions = 0;
  player.addEventListener('position', () => ++positions);
  keepBusy(performance.now() + seconds * 1000);
  await new Promise((resolve) => setTimeout(resolve, seconds * 1000 + 200));
  const counted = await player.stats();
  const elapsed = context.currentTime - startTime;
  const after = stats ? snapshot() : null;
  player.dispose();
  await context.close();
  return {
    firstSoundMs: heard.performanceTime - pressed,
    baseLatencyMs: context.baseLatency * 1000,
    outputLatencyMs: (context.outputLatency || 0) * 1000,
    playoutStats: before ? {before, after} : null,
    blocks: counted.blocks, expectedBlocks: Math.floor(elapsed * context.sampleRate / 128),
    slowestMs: counted.slowestMs, worstLagMs: counted.worstLagMs, lateBlocks: counted.lateBlocks, positions, sampleRate: context.sampleRate,
  };
};

window.harnessReady = true;
