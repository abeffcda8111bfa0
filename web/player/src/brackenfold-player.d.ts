// Types of the brackenfold tracker player (brackenfold-player.js).

export interface TrackerMetadata {
  title: string;
  tracker: string;
  /** "XM 1.04", "MOD M.K.", "S3M", "IT 2.14", ... */
  format: string;
  /** The rule set it plays by: "ft2", "pt", "st3", "it" or "intro". */
  rules: string;
  channels: number;
  orders: number;
  sampleRate: number;
  /** One pass, in seconds. */
  duration: number;
  instruments: string[];
  samples: string[];
  message: string;
  patterns: number;
  /** The pattern of each order position; -1 a skip mark, -2 the end mark. */
  orderList: number[];
  libraryVersion: string;
}

export interface TrackerPosition {
  order: number;
  row: number;
  /** Seconds from the song's start (counting on across repeated passes). */
  time: number;
}

export type Interpolation = 'nearest' | 'linear' | 'cubic' | 'sinc8';

export interface TrackerPlayerOptions {
  /** Where brackenfold-worklet.js is; beside brackenfold-player.js by default. */
  workletUrl?: string | URL;
  /** Connect the node to the context's destination (true by default). */
  connect?: boolean;
  /** Give the library's 16-bit frames rather than its float mix (the WAV render does). */
  pcm16?: boolean;
}

export interface TrackerPlayerEventMap {
  position: CustomEvent<TrackerPosition>;
  /** Each channel's peak in the last block: left and right of channel c at 2c and 2c + 1. */
  levels: CustomEvent<{levels: Float32Array}>;
  end: CustomEvent<{time: number}>;
  /** The first sound after play, on the page's clock (performance.now()). */
  sounding: CustomEvent<{performanceTime: number}>;
  refused: CustomEvent<{what: string; value: unknown}>;
}

export declare class TrackerPlayer extends EventTarget {
  static create(context: BaseAudioContext, options?: TrackerPlayerOptions): Promise<TrackerPlayer>;
  readonly context: BaseAudioContext;
  readonly node: AudioWorkletNode;
  readonly metadata: TrackerMetadata | null;
  readonly position: TrackerPosition;
  readonly playing: boolean;
  readonly muted: ReadonlySet<number>;
  readonly soloed: ReadonlySet<number>;
  /** Rejects with the library's one-line reason where the module cannot be played. */
  load(source: ArrayBuffer | ArrayBufferView | Blob | string | URL, options?: {rules?: string}): Promise<TrackerMetadata>;
  play(): void;
  pause(): void;
  seek(seconds: number): void;
  seekOrder(order: number, row?: number): void;
  /** Passes after the first: 0 to N, or Infinity. */
  repeat: number;
  loop: boolean;
  /** dB, -48 to 48. */
  gain: number;
  /** Percent, 0 to 100 (MOD's Amiga panning). */
  separation: number;
  interpolation: Interpolation;
  mute(channel: number, on?: boolean): void;
  solo(channel: number, on?: boolean): void;
  isAudible(channel: number): boolean;
  /** A pattern's rows, one text a channel as the format's tracker shows the cell. */
  pattern(index: number): Promise<string[][]>;
  stats(): Promise<{blocks: number; slowestMs: number; worstLagMs: number; lateBlocks: number}>;
  renderWav(options?: {seconds?: number}): Promise<Blob>;
  dispose(): void;
  addEventListener<K extends keyof TrackerPlayerEventMap>(type: K,
    listener: (event: TrackerPlayerEventMap[K]) => void, options?: boolean | AddEventListenerOptions): void;
  addEventListener(type: string, listener: EventListenerOrEventListenerObject | null,
    options?: boolean | AddEventListenerOptions): void;
}

/** Resumes the context at the first click, key or touch on target (document by default). */
export declare function resumeOnGesture(context: AudioContext, target?: EventTarget): Promise<void>;
