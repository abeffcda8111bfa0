// The tracker's AudioWorkletProcessor: appended by the build after the WebAssembly module's glue
// (createBrackenfoldTracker, with the module inside it as base64), so that one file added to an
// audio worklet holds both. The module is compiled and instantiated synchronously in the
// processor's constructor, in the worklet's own scope: no fetch, no promise, no main thread.
// Each node has a module of its own, so any number of players mix at once.
//
// Messages from the page (node.port): load, play, pause, seekOrder, loop, mask, gain,
// separation, stats. Messages back: loaded or failed (answering a load by its id), position,
// end, stats. Positions go out every kReportFrames frames, and at once after a load or a seek.

const kReportFrames = 1024;
const kMaxBlock = 4096;
const kReasonBytes = 128;
// Lag beyond the device's own rhythm that counts as a late block: Chromium's output buffer
// (AudioContext.baseLatency, 10 ms here) hides less than that.
const kLateMs = 10;

class TrackerProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const given = (options && options.processorOptions) || {};
    // Offline renders for WAV files take the library's own 16-bit frames (exact in a float).
    this.pcm16 = !!given.pcm16;
    this.lib = {};
    createBrackenfoldTracker(this.lib);
    const lib = this.lib;
    this.left = lib._malloc(kMaxBlock * 4);
    this.right = lib._malloc(kMaxBlock * 4);
    this.scratch = lib._malloc(kMaxBlock * 8);
    this.cells = lib._malloc(8);
    this.reason = lib._malloc(kReasonBytes);
    this.song = 0;
    this.playing = false;
    this.listening = false;
    this.sinceReport = 0;
    this.songFrames = 0;
    // What the live check counts (see stats): blocks rendered, the slowest, how far the audio
    // clock fell behind the wall clock, and the blocks that came too late for the device.
    this.blocks = 0;
    this.slowestMs = 0;
    this.clockStart = -1;
    this.frameStart = 0;
    this.worstLagMs = 0;
    this.lateBlocks = 0;
    this.lagMark = 0;
    this.port.onmessage = (event) => this.receive(event.data);
  }

  heap(type, pointer, length) {
    // The views over the module's memory, made again where a load has grown it.
    return new type(this.lib.HEAPU8.buffer, pointer, length);
  }

  text(pointer) {
    return this.lib.UTF8ToString(pointer);
  }

  receive(message) {
    const lib = this.lib;
    switch (message.type) {
      case 'load':
        this.load(message);
        break;
      case 'play':
        if (this.song && !this.playing) {
          this.playing = true;
          this.listening = true;
        }
        break;
      case 'pause':
        this.playing = false;
        break;
      case 'seekOrder':
        if (this.song && lib._bft_seek_order(this.song, message.order) === 0) this.report();
        break;
      case 'loop':
        if (this.song) lib._bft_set_loop(this.song, message.on ? 1 : 0);
        break;
      case 'mask':
        if (this.song) lib._bft_set_channel_mask(this.song, BigInt.asUintN(64, BigInt(message.mask)));
        break;
      case 'gain':
        if (this.song) lib._bft_set_gain(this.song, message.decibels);
        break;
      case 'separation':
        if (this.song) lib._bft_set_separation(this.song, message.percent);
        break;
      case 'stats':
        this.port.postMessage({type: 'stats', id: message.id, blocks: this.blocks, slowestMs: this.slowestMs,
                               worstLagMs: this.worstLagMs, lateBlocks: this.lateBlocks});
        break;
    }
  }

  load(message) {
    const lib = this.lib;
    if (this.song) lib._bft_free(this.song);
    this.song = 0;
    this.playing = false;
    const bytes = new Uint8Array(message.bytes);
    const data = lib._malloc(Math.max(1, bytes.length));
    if (!data) {
      this.port.postMessage({type: 'failed', id: message.id, reason: 'out of memory for the file'});
      return;
    }
    this.heap(Uint8Array, data, bytes.length).set(bytes);
    let rules = 0;
    if (message.rules) {
      rules = lib._malloc(16);
      lib.stringToUTF8(String(message.rules), rules, 16);
    }
    const song = lib._bft_load(data, bytes.length, sampleRate, rules, this.reason, kReasonBytes);
    lib._free(data);
    if (rules) lib._free(rules);
    if (!song) {
      this.port.postMessage({type: 'failed', id: message.id, reason: this.text(this.reason)});
      return;
    }
    this.song = song;
    this.songFrames = 0;
    if (message.loop) lib._bft_set_loop(song, 1);
    this.port.postMessage({type: 'loaded', id: message.id, metadata: this.metadata()});
    this.report();
  }

  metadata() {
    const lib = this.lib;
    const song = this.song;
    return {
      title: this.text(lib._bft_title(song)),
      tracker: this.text(lib._bft_tracker(song)),
      format: this.text(lib._bft_format(song)),
      rules: this.text(lib._bft_rules(song)),
      channels: lib._bft_channels(song),
      orders: lib._bft_orders(song),
      sampleRate: lib._bft_rate(song),
      duration: Number(lib._bft_pass_frames(song)) / lib._bft_rate(song),
      libraryVersion: this.text(lib._bft_version()),
    };
  }

  report() {
    const lib = this.lib;
    lib._bft_position(this.song, this.cells, this.cells + 4);
    const cells = this.heap(Int32Array, this.cells, 2);
    this.port.postMessage({type: 'position', order: cells[0], row: cells[1], time: this.songFrames / sampleRate});
    this.sinceReport = 0;
  }

  render(left, right, count) {
    const lib = this.lib;
    if (!this.pcm16) {
      const made = lib._bft_render_planar(this.song, this.left, this.right, this.scratch, count);
      left.set(this.heap(Float32Array, this.left, count));
      if (right) right.set(this.heap(Float32Array, this.right, count));
      return made;
    }
    const made = lib._bft_render(this.song, this.scratch, count);
    const frames = this.heap(Int16Array, this.scratch, 2 * made);
    for (let i = 0; i < made; ++i) {
      left[i] = frames[2 * i] / 32768;
      if (right) right[i] = frames[2 * i + 1] / 32768;
    }
    return made;
  }

  // How late this call is: the wall clock against the audio clock since the first block played.
  // The device takes blocks in bursts, so a few milliseconds of lag are its rhythm; a call the
  // renderer could not make in time shows as lag that grows by the gap it left.
  watchClock(started) {
    if (this.clockStart < 0) {
      this.clockStart = started;
      this.frameStart = currentFrame;
      return;
    }
    const lag = (started - this.clockStart) - ((currentFrame - this.frameStart) * 1000) / sampleRate;
    if (lag > this.worstLagMs) this.worstLagMs = lag;
    if (lag > this.lagMark + kLateMs) {
      ++this.lateBlocks;
      this.lagMark = lag;
    }
  }

  // The first frame after play that is not silence, on the audio clock: the page turns it into
  // the moment it is heard (AudioContext.getOutputTimestamp).
  listen(output, made) {
    const left = output[0];
    const right = output.length > 1 ? output[1] : left;
    for (let i = 0; i < made; ++i) {
      if (left[i] !== 0 || right[i] !== 0) {
        this.listening = false;
        this.port.postMessage({type: 'sounding', contextTime: (currentFrame + i) / sampleRate});
        return;
      }
    }
  }

  process(inputs, outputs) {
    const output = outputs[0];
    if (!this.song || !this.playing || output.length === 0) return true;
    const started = Date.now();
    this.watchClock(started);
    const count = output[0].length;
    const made = this.render(output[0], output.length > 1 ? output[1] : null, count);
    if (this.listening) this.listen(output, made);
    this.songFrames += made;
    this.sinceReport += made;
    if (made < count) {
      this.playing = false;
      this.report();
      this.port.postMessage({type: 'end', time: this.songFrames / sampleRate});
    } else if (this.sinceReport >= kReportFrames) {
      this.report();
    }
    ++this.blocks;
    const took = Date.now() - started;
    if (took > this.slowestMs) this.slowestMs = took;
    return true;
  }
}

registerProcessor('brackenfold-tracker', TrackerProcessor);
