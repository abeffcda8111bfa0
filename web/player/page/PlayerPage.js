// The module player's page: files dropped or picked go into the playlist; the one chosen loads
// into a TrackerPlayer and plays, with its title, format, tracker, instruments and message, a
// seek bar, the pattern view with a meter on each channel's head, keys, and its render as a WAV
// file. A file the library cannot play shows its reason and leaves the playlist as it was.

import {TrackerPlayer, resumeOnGesture} from './player/brackenfold-player.js';
import {Playlist} from './Playlist.js';
import {PatternView} from './PatternView.js';
import {ChannelMeters} from './ChannelMeters.js';

const $ = (id) => document.getElementById(id);
const kSeekStep = 5;

function clock(seconds) {
  const whole = Math.max(0, Math.floor(seconds));
  return Math.floor(whole / 60) + ':' + String(whole % 60).padStart(2, '0');
}

class PlayerPage {
  constructor(context, player) {
    this.context = context;
    this.player = player;
    this.meters = new ChannelMeters();
    this.view = new PatternView($('pattern'), player, this.meters);
    this.playlist = new Playlist($('playlist'), (index) => this.choose(index));
    this.seeking = false;
    this.name = '';
    player.addEventListener('position', (event) => this.moved(event.detail));
    player.addEventListener('levels', (event) => this.meters.update(event.detail.levels));
    player.addEventListener('end', () => this.ended());
    this.wire();
  }

  wire() {
    const drop = $('drop');
    drop.addEventListener('dragover', (event) => {
      event.preventDefault();
      drop.classList.add('over');
    });
    drop.addEventListener('dragleave', () => drop.classList.remove('over'));
    drop.addEventListener('drop', (event) => {
      event.preventDefault();
      drop.classList.remove('over');
      this.add(event.dataTransfer.files);
    });
    $('files').addEventListener('change', (event) => this.add(event.target.files));
    $('play').addEventListener('click', () => this.toggle());
    const seek = $('seek');
    seek.addEventListener('input', () => {
      this.seeking = true;
      $('time').textContent = clock(seek.valueAsNumber) + ' / ' + clock(this.duration());
    });
    seek.addEventListener('change', () => {
      this.seeking = false;
      this.player.seek(seek.valueAsNumber);
    });
    $('interpolation').addEventListener('change', (event) => {
      this.player.interpolation = event.target.value;
    });
    $('wav').addEventListener('click', () => this.download());
    document.addEventListener('keydown', (event) => this.key(event));
  }

  add(files) {
    const first = this.playlist.add([...files]);
    if (first >= 0) this.choose(first);
  }

  async choose(index) {
    const file = this.playlist.select(index);
    if (!file) return;
    this.player.pause();
    // A drop or a pick is the user's doing: where the browser held the sound back, now it may play.
    this.context.resume();
    try {
      const metadata = await this.player.load(await file.arrayBuffer());
      this.name = file.name;
      $('reason').hidden = true;
      this.show(metadata);
      this.play();
    } catch (error) {
      const reason = $('reason');
      reason.textContent = file.name + ': ' + error.message;
      reason.hidden = false;
    }
  }

  show(metadata) {
    $('title').textContent = metadata.title || this.name;
    $('format').textContent = metadata.format + ' (' + metadata.channels + ' channels, played by the ' +
                              metadata.rules + ' rules)';
    $('tracker').textContent = metadata.tracker || 'not named';
    const instruments = $('instruments');
    instruments.textContent = '';
    for (const name of metadata.instruments) instruments.appendChild(document.createElement('li')).textContent = name;
    $('message').textContent = metadata.message;
    const seek = $('seek');
    seek.max = metadata.duration;
    seek.value = 0;
    seek.disabled = false;
    $('play').disabled = false;
    $('wav').disabled = false;
    this.view.reset();
  }

  duration() {
    return this.player.metadata ? this.player.metadata.duration : 0;
  }

  moved(position) {
    const time = position.time % Math.max(this.duration(), 1e-9);
    if (!this.seeking) {
      $('seek').value = time;
      $('time').textContent = clock(time) + ' / ' + clock(this.duration());
    }
    $('position').textContent = 'order ' + position.order + ', row ' + position.row;
    this.view.show(position);
  }

  play() {
    this.player.play();
    $('play').textContent = 'Pause';
  }

  toggle() {
    if (!this.player.metadata) return;
    if (this.player.playing) {
      this.player.pause();
      $('play').textContent = 'Play';
    } else {
      this.play();
    }
  }

  ended() {
    $('play').textContent = 'Play';
    const next = this.playlist.current + 1;
    if (next < this.playlist.entries.length) this.choose(next);
  }

  async download() {
    if (!this.player.metadata) return;
    const button = $('wav');
    button.disabled = true;
    button.textContent = 'Rendering…';
    try {
      const blob = await this.player.renderWav();
      const link = document.createElement('a');
      link.href = URL.createObjectURL(blob);
      link.download = this.name.replace(/\.[^.]*$/, '') + '.wav';
      link.click();
      setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    } finally {
      button.disabled = false;
      button.textContent = 'Download WAV';
    }
  }

  key(event) {
    if (event.target instanceof HTMLInputElement || event.target instanceof HTMLSelectElement) return;
    const channel = '1234567890'.indexOf(event.key);
    if (event.key === ' ') this.toggle();
    else if (event.key === 'ArrowLeft') this.player.seek(Math.max(0, this.player.position.time - kSeekStep));
    else if (event.key === 'ArrowRight') this.player.seek(Math.min(this.duration(), this.player.position.time + kSeekStep));
    else if (event.key === 'n' || event.key === 'N') this.choose(this.playlist.current + 1);
    else if (event.key === 'p' || event.key === 'P') this.choose(this.playlist.current - 1);
    else if (event.key === 'w' || event.key === 'W') this.download();
    else if (channel >= 0 && this.player.metadata && channel < this.player.metadata.channels) this.view.toggleMute(channel);
    else return;
    event.preventDefault();
  }
}

const context = new AudioContext();
resumeOnGesture(context);
TrackerPlayer.create(context).then((player) => {
  window.playerPage = new PlayerPage(context, player);
});
