// The tracker player for a page: a TrackerPlayer owns one AudioWorkletNode whose processor
// (brackenfold-worklet.js) holds the library compiled to WebAssembly and mixes there, so the
// page's own work never delays the sound. The page talks to it by messages; positions and the
// end come back as events.

import {encodeWav} from './wav.js';

const kProcessor = 'brackenfold-tracker';
const kInterpolations = ['nearest', 'linear', 'cubic', 'sinc8'];
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
    // A processor that threw (the library out of memory) answers nothing more.
    this.node.onprocessorerror = () => {
      for (const waiting of this.waiting.values()) waiting.reject(new Error('the player\'s processor stopped with an error'));
      this.waiting.clear();
      this.playing = false;
      this.dispatchEvent(new CustomEvent('error'));
    };
    this.waiting = new Map();
    this.nextId = 1;
    this.metadata = null;
    this.bytes = null;
    this.playing = false;
    this.position = {order: 0, row: 0, time: 0};
    this.muted = new Set();
    this.soloed = new Set();
    this.settings = {gain: 0, separation: null, repeat: 0, interpolation: null};
    this.patterns = new Map();
  }

  receive(message) {
    switch (message.type) {
      case 'loaded':
      case 'failed':
      case 'pattern':
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
        this.levels = message.levels;
        this.dispatchEvent(new CustomEvent('position', {detail: this.position}));
        this.dispatchEvent(new CustomEvent('levels', {detail: {levels: message.levels}}));
        return;
      case 'refused':
        this.dispatchEvent(new CustomEvent('refused', {detail: {what: message.what, value: message.value}}));
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
    const reply = await this.ask({type: 'load', bytes, rules: options.rules || null, repeat: this.settings.repeat},
                                 [bytes]);
    this.metadata = reply.metadata;
    this.rules = options.rules || null;
    this.muted.clear();
    this.soloed.clear();
    this.patterns.clear();
    this.applySettings();
    return this.metadata;
  }

  applySettings() {
    this.post({type: 'gain', decibels: this.settings.gain});
    if (this.settings.separation !== null) this.post({type: 'separation', percent: this.settings.separation});
    this.post({type: 'repeat', count: this.settings.repeat});
    if (this.settings.interpolation !== null) this.post({type: 'interpolation', mode: this.settings.interpolation});
    for (const channel of this.muted) this.post({type: 'mute', channel, on: true});
    for (const channel of this.soloed) this.post({type: 'solo', channel, on: true});
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

  // Goes on from the frame at that time of the first pass (seconds from its start), landing on
  // the frame the library gives there; a time outside the pass is ignored.
  seek(seconds) {
    this.post({type: 'seek', seconds});
  }

  // Goes on at the start of an order position (from 0), or of a row in it.
  seekOrder(order, row = 0) {
    this.post(row ? {type: 'seekRow', order, row} : {type: 'seekOrder', order});
  }

  // How many passes follow the first: 0 (one pass, the default), N, or Infinity (for ever);
  // seamless at each turn.
  set repeat(count) {
    if (!(count === Infinity || (Number.isInteger(count) && count >= 0))) {
      throw new RangeError('repeat: a count from 0, or Infinity');
    }
    this.settings.repeat = count === Infinity ? -1 : count;
    this.post({type: 'repeat', count: this.settings.repeat});
  }

  get repeat() {
    return this.settings.repeat < 0 ? Infinity : this.settings.repeat;
  }

  // Plays for ever (true) or one pass (false): repeat as Infinity or 0.
  set loop(on) {
    this.repeat = on ? Infinity : 0;
  }

  get loop() {
    return this.repeat === Infinity;
  }

  // The resampling between a sample's frames: 'nearest', 'linear' (the default), 'cubic' or
  // 'sinc8'. The intro's rules keep theirs (a 'refused' event says so).
  set interpolation(name) {
    const mode = kInterpolations.indexOf(name);
    if (mode < 0) throw new RangeError('interpolation: ' + kInterpolations.join(', '));
    this.settings.interpolation = mode;
    this.post({type: 'interpolation', mode});
  }

  get interpolation() {
    return kInterpolations[this.settings.interpolation === null ? 1 : this.settings.interpolation];
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

  // Mutes or unmutes a channel (from 0); it plays on unheard, in step for its return.
  mute(channel, on = true) {
    if (on) this.muted.add(channel);
    else this.muted.delete(channel);
    this.post({type: 'mute', channel, on});
  }

  // Solos a channel or takes its solo away; while any channel is soloed only the soloed (and not
  // muted) are heard.
  solo(channel, on = true) {
    if (on) this.soloed.add(channel);
    else this.soloed.delete(channel);
    this.post({type: 'solo', channel, on});
  }

  isAudible(channel) {
    return !this.muted.has(channel) && (this.soloed.size === 0 || this.soloed.has(channel));
  }

  // A pattern's rows, each an array of one text a channel as the format's tracker shows the cell
  // ("C-4 01 40 A0F"); kept once asked for.
  async pattern(index) {
    if (!this.patterns.has(index)) {
      this.patterns.set(index, this.ask({type: 'pattern', pattern: index}).then((reply) => reply.rows));
    }
    return this.patterns.get(index);
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
    copy.settings = {...this.settings, repeat: 0};
    copy.muted = new Set(this.muted);
    copy.soloed = new Set(this.soloed);
    copy.applySettings();
    copy.play();
    // Messages arrive in order: once this answer is back the processor has taken them all.
    await copy.stats();
    const buffer = await offline.startRendering();
    return new Blob([encodeWav(buffer)], {type: 'audio/wav'});
  }

  // Stops the sound, frees the song and lets the node go.
  dispose() {
    this.pause();
    this.post({type: 'free'});
    this.metadata = null;
    this.bytes = null;
    this.node.disconnect();
    this.node.port.close();
  }
}
