// The tracker player for a page: a TrackerPlayer owns one AudioWorkletNode whose processor
// (brackenfold-worklet.js) holds the library compiled to WebAssembly and mixes there, so the
// page's own work never delays the sound. The page talks to it by messages; positions and the
// end come back as events.

import {encodeWav} from './wav.js';

const kProcessor = 'brackenfold-tracker';
const kDefaultWorklet = new URL('./brackenfold-worklet.js', import.meta.url).href;
// Each context adds the worklet's file once.
const added = new WeakMap();

function addWorklet(context, url) {
  let pending = added.get(context);
  if (!pending) {
    pending = context.audioWorklet.addModule(url);
    added.set(context, pending);
  }
  return pending;
}

async function bytesOf(source) {
  if (source instanceof ArrayBuffer) return source.slice(0);
  if (ArrayBuffer.isView(source)) return source.buffer.slice(source.byteOffset, source.byteOffset + source.byteLength);
  if (typeof Blob !== 'undefined' && source instanceof Blob) return source.arrayBuffer();
  const reply = await fetch(source);
  if (!reply.ok) throw new Error(`cannot fetch ${source}: HTTP ${reply.status}`);
  return reply.arrayBuffer();
}

// Resumes the context at the first click, key or touch on target, where the browser held the
// sound back until the page's user did something; resolves once the context runs.
export function resumeOnGesture(context, target = globalThis.document) {
  if (context.state === 'running' || !target) return Promise.resolve();
  return new Promise((resolve) => {
    const kinds = ['pointerdown', 'keydown', 'touchend'];
    const resume = () => {
      context.resume().then(() => {
        if (context.state !== 'running') return;
        for (const kind of kinds) target.removeEventListener(kind, resume, true);
        resolve();
      });
    };
    for (const kind of kinds) target.addEventListener(kind, resume, true);
  });
}

export class TrackerPlayer extends EventTarget {
  // A player on context, its node connected to the context's destination unless connect is
  // false. options.workletUrl: where brackenfold-worklet.js is (beside this file by default).
  static async create(context, options = {}) {
    await addWorklet(context, options.workletUrl || kDefaultWorklet);
    const player = new TrackerPlayer(context, options);
    if (options.connect !== false) player.node.connect(context.destination);
    return player;
  }

  constructor(context, options = {}) {
    super();
    this.context = context;
    this.workletUrl = options.workletUrl || kDefaultWorklet;
    this.node = new AudioWorkletNode(context, kProcessor, {
      numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2],
      processorOptions: {pcm16: !!options.pcm16}});
    this.node.port.onmessage = (event) => this.receive(event.data);
    this.waiting = new Map();
    this.nextId = 1;
    this.metadata = null;
    this.bytes = null;
    this.playing = false;
    this.position = {order: 0, row: 0, time: 0};
    this.muted = new Set();
    this.soloed = new Set();
    this.settings = {gain: 0, separation: null, loop: false};
  }

  receive(message) {
    switch (message.type) {
      case 'loaded':
      case 'failed':
      case 'stats': {
        const waiting = this.waiting.get(message.id);
        if (!waiting) return;
        this.waiting.delete(message.id);
        if (message.type === 'failed') waiting.reject(new Error(message.reason));
        else waiting.resolve(message);
        return;
      }
      case 'position':
        this.position = {order: message.order, row: message.row, time: message.time};
        this.dispatchEvent(new CustomEvent('position', {detail: this.position}));
        return;
      case 'end':
        this.playing = false;
        this.dispatchEvent(new CustomEvent('end', {detail: {time: message.time}}));
        return;
      case 'sounding': {
        // The audio clock's time of the first sound, as the page's clock reads it.
        const stamp = this.context.getOutputTimestamp ? this.context.getOutputTimestamp() : null;
        const heard = stamp && stamp.performanceTime
          ? stamp.performanceTime + (message.contextTime - stamp.contextTime) * 1000 : performance.now();
        this.dispatchEvent(new CustomEvent('sounding', {detail: {performanceTime: heard}}));
        return;
      }
    }
  }

  ask(message, transfer = []) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, {resolve, reject});
      this.node.port.postMessage({...message, id}, transfer);
    });
  }

  post(message) {
    this.node.port.postMessage(message);
  }

  // Loads a module from an ArrayBuffer, a typed array, a Blob or a URL; resolves with its
  // metadata, rejects with the library's one-line reason where it cannot be played. Stops what
  // was playing; mutes, solos and settings carry over.
  async load(source, options = {}) {
    const bytes = await bytesOf(source);
    this.bytes = bytes.slice(0);
    this.playing = false;
    const reply = await this.ask({type: 'load', bytes, rules: options.rules || null, loop: this.settings.loop},
                                 [bytes]);
    this.metadata = reply.metadata;
    this.rules = options.rules || null;
    this.muted.clear();
    this.soloed.clear();
    this.applySettings();
    return this.metadata;
  }

  applySettings() {
    this.post({type: 'gain', decibels: this.settings.gain});
    if (this.settings.separation !== null) this.post({type: 'separation', percent: this.settings.separation});
    this.post({type: 'loop', on: this.settings.loop});
    this.sendMask();
  }

  play() {
    if (!this.metadata) return;
    this.playing = true;
    this.post({type: 'play'});
  }

  pause() {
    this.playing = false;
    this.post({type: 'pause'});
  }

  // Goes on at the start of an order position (from 0).
  seekOrder(order) {
    this.post({type: 'seekOrder', order});
  }

  // Plays the song round for ever (true) or one pass (false).
  set loop(on) {
    this.settings.loop = !!on;
    this.post({type: 'loop', on: this.settings.loop});
  }

  get loop() {
    return this.settings.loop;
  }

  // Gain on the mix in dB, -48 to 48.
  set gain(decibels) {
    if (!(decibels >= -48 && decibels <= 48)) throw new RangeError('gain: from -48 to 48 dB');
    this.settings.gain = decibels;
    this.post({type: 'gain', decibels});
  }

  get gain() {
    return this.settings.gain;
  }

  // A MOD's Amiga stereo separation in percent, 0 to 100.
  set separation(percent) {
    if (!(percent >= 0 && percent <= 100)) throw new RangeError('separation: from 0 to 100 percent');
    this.settings.separation = percent;
    this.post({type: 'separation', percent});
  }

  get separation() {
    return this.settings.separation === null ? 50 : this.settings.separation;
  }

  // Mutes or unmutes a channel (from 0); a soloed channel plays whatever is muted.
  mute(channel, on = true) {
    if (on) this.muted.add(channel);
    else this.muted.delete(channel);
    this.sendMask();
  }

  // Solos a channel or takes its solo away; while any channel is soloed only the soloed play.
  solo(channel, on = true) {
    if (on) this.soloed.add(channel);
    else this.soloed.delete(channel);
    this.sendMask();
  }

  isAudible(channel) {
    return this.soloed.size ? this.soloed.has(channel) : !this.muted.has(channel);
  }

  sendMask() {
    if (!this.metadata) return;
    let mask = 0n;
    for (let c = 0; c < this.metadata.channels; ++c) if (this.isAudible(c)) mask |= 1n << BigInt(c);
    this.post({type: 'mask', mask});
  }

  // What the processor has counted: blocks rendered, the slowest block's milliseconds, how far
  // (ms) the audio clock fell behind the wall clock at worst, and the blocks late for the device.
  async stats() {
    return this.ask({type: 'stats'});
  }

  // One pass of the song from its start (or seconds of it), as a 16-bit stereo WAV file at the
  // context's rate, with the player's gain, separation, mutes and solos; rendered by the same
  // processor in an OfflineAudioContext, leaving this player's playback alone.
  async renderWav(options = {}) {
    if (!this.bytes) throw new Error('renderWav: no module loaded');
    const rate = this.context.sampleRate;
    const seconds = options.seconds || this.metadata.duration;
    const frames = Math.max(1, Math.ceil(seconds * rate));
    const offline = new OfflineAudioContext(2, frames, rate);
    const copy = await TrackerPlayer.create(offline, {workletUrl: this.workletUrl, pcm16: true});
    await copy.load(this.bytes, {rules: this.rules});
    copy.settings = {...this.settings, loop: false};
    copy.muted = new Set(this.muted);
    copy.soloed = new Set(this.soloed);
    copy.applySettings();
    copy.play();
    // Messages arrive in order: once this answer is back the processor has taken them all.
    await copy.stats();
    const buffer = await offline.startRendering();
    return new Blob([encodeWav(buffer)], {type: 'audio/wav'});
  }

  // Stops the sound and lets the node go.
  dispose() {
    this.pause();
    this.node.disconnect();
    this.node.port.close();
  }
}
