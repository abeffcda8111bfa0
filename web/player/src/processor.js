// The tracker's AudioWorkletProcessor: appended by the build after the WebAssembly module's glue
// (createBrackenfoldTracker, with the module inside it as base64), so that one file added to an
// audio worklet holds both. The module is compiled and instantiated synchronously in the
// processor's constructor, in the worklet's own scope: no fetch, no promise, no main thread.
// Each node has a module of its own, so any number of players mix at once.
//
// Messages from the page (node.port): load, play, pause, seek (seconds), seekRow, seekOrder,
// repeat, mute, solo, interpolation, gain, separation, pattern, free, stats. Messages back: loaded or
// failed (answering a load by its id), position (with each channel's levels), end, sounding,
// pattern, stats, refused. Positions go out every kReportFrames frames, and at once after a load
// or a seek.

const kReportFrames = 1024;
const kMaxBlock = 4096;
const kReasonBytes = 128;
const kChannelStateBytes = 64;  // room for a bft_channel_state (28 bytes)
// Lag beyond the first second's that counts as the device running dry: Chromium's output buffer
// (AudioContext.baseLatency, 10 ms here) hides less than that.
const kLateMs = 10;
const kSettleBlocks = 344;  // a second at 44.1 kHz

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
    this.state = lib._malloc(kChannelStateBytes);
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
    this.settling = 0;
    this.baseLag = 0;
    this.behind = false;
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
      case 'seek':
        if (this.song && lib._bft_seek_time(this.song, message.seconds) === 0) {
          this.songFrames = Math.round(message.seconds * sampleRate);
          this.report();
        }
        break;
      case 'seekRow':
        if (this.song && lib._bft_seek_row(this.song, message.order, message.row) === 0) {
          this.songFrames = Number(lib._bft_frame_of(this.song, message.order, message.row));
          this.report();
        }
        break;
      case 'seekOrder':
        if (this.song && lib._bft_seek_order(this.song, message.order) === 0) {
          this.songFrames = Math.max(0, Number(lib._bft_frame_of(this.song, message.order, 0)));
          this.report();
        }
        break;
      case 'repeat':
        if (this.song) lib._bft_set_repeat(this.song, message.count);
        break;
      case 'mute':
        if (this.song) lib._bft_set_mute(this.song, message.channel, message.on ? 1 : 0);
        break;
      case 'solo':
        if (this.song) lib._bft_set_solo(this.song, message.channel, message.on ? 1 : 0);
        break;
      case 'interpolation':
        if (this.song && lib._bft_set_interpolation(this.song, message.mode) !== 0) {
          this.port.postMessage({type: 'refused', what: 'interpolation', value: message.mode});
        }
        break;
      case 'pattern':
        this.port.postMessage({type: 'pattern', id: message.id, pattern: message.pattern,
                               rows: this.song ? this.patternText(message.pattern) : []});
        break;
      case 'gain':
        if (this.song) lib._bft_set_gain(this.song, message.decibels);
        break;
      case 'separation':
        if (this.song) lib._bft_set_separation(this.song, message.percent);
        break;
      case 'free':
        if (this.song) lib._bft_free(this.song);
        this.song = 0;
        this.playing = false;
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
    if (message.repeat) lib._bft_set_repeat(song, message.repeat);
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
      duration: lib._bft_duration(song),
      instruments: this.names(lib._bft_instruments(song), lib._bft_instrument_name),
      samples: this.names(lib._bft_samples(song), lib._bft_sample_name),
      message: this.text(lib._bft_message(song)),
      patterns: lib._bft_patterns(song),
      orderList: Array.from({length: lib._bft_orders(song)}, (_, i) => lib._bft_order_pattern(song, i)),
      libraryVersion: this.text(lib._bft_version()),
    };
  }

  names(count, name) {
    return Array.from({length: count}, (_, i) => this.text(name(this.song, i)));
  }

  // A pattern as its tracker shows it: rows of one text a channel.
  patternText(pattern) {
    const lib = this.lib;
    const rows = [];
    const count = lib._bft_pattern_rows(this.song, pattern);
    const channels = lib._bft_channels(this.song);
    for (let row = 0; row < count; ++row) {
      const cells = [];
      for (let channel = 0; channel < channels; ++channel) {
        const length = lib._bft_pattern_cell_text(this.song, pattern, row, channel, this.reason, kReasonBytes);
        cells.push(length < 0 ? '' : this.text(this.reason));
      }
      rows.push(cells);
    }
    return rows;
  }

  // Each channel's peak left and right in the last block, as the library keeps them.
  levels() {
    const lib = this.lib;
    const channels = lib._bft_channels(this.song);
    const levels = new Float32Array(2 * channels);
    for (let channel = 0; channel < channels; ++channel) {
      if (lib._bft_get_channel_state(this.song, channel, this.state) !== 0) continue;
      const state = this.heap(Float32Array, this.state, 2);
      levels[2 * channel] = state[0];
      levels[2 * channel + 1] = state[1];
    }
    return levels;
  }

  report() {
    const lib = this.lib;
    lib._bft_position(this.song, this.cells, this.cells + 4);
    const cells = this.heap(Int32Array, this.cells, 2);
    this.port.postMessage({type: 'position', order: cells[0], row: cells[1], time: this.songFrames / sampleRate,
                           levels: this.levels()});
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

  // Whether the device ran dry: the audio clock (frames the processor has given) behind the wall
  // clock (what the device has played) by more than kLateMs beyond where it stood in the first
  // second. Calls come in bursts of a buffer's worth, so the lag swings by a few milliseconds;
  // after a gap Chromium renders ahead and the lag falls back, so each gap counts once.
  watchClock(started) {
    if (this.clockStart < 0) {
      this.clockStart = started;
      this.frameStart = currentFrame;
      return;
    }
    const lag = (started - this.clockStart) - ((currentFrame - this.frameStart) * 1000) / sampleRate;
    if (lag > this.worstLagMs) this.worstLagMs = lag;
    if (this.settling < kSettleBlocks) {
      this.baseLag += lag / kSettleBlocks;
      ++this.settling;
    } else if (!this.behind && lag > this.baseLag + kLateMs) {
      ++this.lateBlocks;
      this.behind = true;
    } else if (this.behind && lag < this.baseLag + kLateMs / 2) {
      this.behind = false;
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
