// A level meter per channel: each channel's peak (the louder side) from the player's levels
// events, falling back slowly so that short notes stay visible.

const kFall = 0.85;  // a level's share kept at each update

export class ChannelMeters {
  constructor() {
    this.bars = [];
    this.shown = [];
  }

  attach(bars) {
    this.bars = bars;
    this.shown = bars.map(() => 0);
  }

  update(levels) {
    for (let channel = 0; channel < this.bars.length; ++channel) {
      const level = Math.min(1, Math.max(levels[2 * channel] || 0, levels[2 * channel + 1] || 0));
      this.shown[channel] = Math.max(level, this.shown[channel] * kFall);
      this.bars[channel].style.width = (100 * Math.sqrt(this.shown[channel])).toFixed(1) + '%';
    }
  }
}
