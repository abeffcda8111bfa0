// A 16-bit stereo PCM WAV file from an AudioBuffer whose samples are 16-bit values over 32768
// (what the processor gives with pcm16), so that the file holds the library's own frames.

export function encodeWav(buffer) {
  const frames = buffer.length;
  const channels = 2;
  const bytes = frames * channels * 2;
  const out = new DataView(new ArrayBuffer(44 + bytes));
  const text = (offset, word) => {
    for (let i = 0; i < word.length; ++i) out.setUint8(offset + i, word.charCodeAt(i));
  };
  text(0, 'RIFF');
  out.setUint32(4, 36 + bytes, true);
  text(8, 'WAVE');
  text(12, 'fmt ');
  out.setUint32(16, 16, true);
  out.setUint16(20, 1, true);
  out.setUint16(22, channels, true);
  out.setUint32(24, buffer.sampleRate, true);
  out.setUint32(28, buffer.sampleRate * channels * 2, true);
  out.setUint16(32, channels * 2, true);
  out.setUint16(34, 16, true);
  text(36, 'data');
  out.setUint32(40, bytes, true);
  const left = buffer.getChannelData(0);
  const right = buffer.numberOfChannels > 1 ? buffer.getChannelData(1) : left;
  for (let i = 0, at = 44; i < frames; ++i, at += 4) {
    out.setInt16(at, Math.max(-32768, Math.min(32767, Math.round(left[i] * 32768))), true);
    out.setInt16(at + 2, Math.max(-32768, Math.min(32767, Math.round(right[i] * 32768))), true);
  }
  return out.buffer;
}
