// The package's types as a page's script meets them: compiled with tsc --strict --noEmit where
// TypeScript is at hand (make test-web, TSC=path/to/tsc); a declaration that no longer fits the
// module's use fails here.
import {TrackerPlayer, TrackerMetadata, resumeOnGesture} from '../../web/player/src/brackenfold-player.js';

async function use(context: AudioContext, bytes: ArrayBuffer): Promise<number> {
  void resumeOnGesture(context);
  const player = await TrackerPlayer.create(context, {workletUrl: '/player/brackenfold-worklet.js'});
  const song: TrackerMetadata = await player.load(bytes);
  player.addEventListener('position', (event) => console.log(event.detail.order, event.detail.row, event.detail.time));
  player.addEventListener('levels', (event) => console.log(event.detail.levels[0]));
  player.addEventListener('end', (event) => console.log(event.detail.time));
  player.repeat = Infinity;
  player.gain = -3;
  player.separation = 50;
  player.interpolation = 'sinc8';
  player.mute(1);
  player.solo(2, false);
  player.play();
  player.seek(song.duration / 2);
  player.seekOrder(1, 16);
  const rows: string[][] = await player.pattern(song.orderList[0]);
  const wav: Blob = await player.renderWav({seconds: 1});
  const stats = await player.stats();
  player.pause();
  player.dispose();
  return rows.length + wav.size + stats.lateBlocks + song.instruments.length;
}

export {use};
