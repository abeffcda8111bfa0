// The pattern view: the pattern playing, a row a line and a channel a column as the format's
// tracker shows the cells, the current row lit and kept in the middle, muted channels dimmed.
// A click on a channel's head mutes or unmutes it, a double click solos it.

export class PatternView {
  constructor(element, player, meters) {
    this.element = element;
    this.player = player;
    this.meters = meters;
    this.pattern = -1;
    this.rows = [];
    this.currentRow = -1;
    this.asked = 0;
  }

  // A new song: the channel heads, then the rows of whatever pattern comes first.
  reset() {
    this.pattern = -1;
    this.currentRow = -1;
    this.element.textContent = '';
    const heads = this.element.appendChild(document.createElement('div'));
    heads.className = 'heads';
    heads.appendChild(document.createElement('span')).className = 'number';
    this.heads = [];
    const bars = [];
    for (let channel = 0; channel < this.player.metadata.channels; ++channel) {
      const head = heads.appendChild(document.createElement('span'));
      head.className = 'head';
      head.dataset.channel = channel;
      head.textContent = 'Channel ' + (channel + 1);
      const meter = head.appendChild(document.createElement('span'));
      meter.className = 'meter';
      bars.push(meter.appendChild(document.createElement('i')));
      head.addEventListener('click', () => this.toggleMute(channel));
      head.addEventListener('dblclick', () => this.toggleSolo(channel));
      this.heads.push(head);
    }
    this.meters.attach(bars);
    this.body = this.element.appendChild(document.createElement('div'));
  }

  toggleMute(channel) {
    this.player.mute(channel, !this.player.muted.has(channel));
    this.shade();
  }

  // A double click has clicked twice first, muting and unmuting: only the solo is left changed.
  toggleSolo(channel) {
    this.player.solo(channel, !this.player.soloed.has(channel));
    this.shade();
  }

  shade() {
    const channels = this.heads.length;
    for (let channel = 0; channel < channels; ++channel) {
      const quiet = !this.player.isAudible(channel);
      this.heads[channel].classList.toggle('muted', quiet);
      this.heads[channel].classList.toggle('soloed', this.player.soloed.has(channel));
      for (const row of this.rows) row.children[channel + 1].classList.toggle('muted', quiet);
    }
  }

  async show(position) {
    const pattern = this.player.metadata.orderList[position.order];
    if (pattern !== this.pattern && pattern >= 0) {
      this.pattern = pattern;
      const asked = ++this.asked;
      const rows = await this.player.pattern(pattern);
      if (asked !== this.asked) return;
      this.draw(rows);
    }
    this.light(position.row);
  }

  draw(rows) {
    this.body.textContent = '';
    this.rows = rows.map((cells, index) => {
      const line = this.body.appendChild(document.createElement('div'));
      line.className = 'row';
      const number = line.appendChild(document.createElement('span'));
      number.className = 'number';
      number.textContent = String(index).padStart(3, '0');
      for (const text of cells) line.appendChild(document.createElement('span')).textContent = text;
      for (const cell of [...line.children].slice(1)) cell.className = 'cell';
      return line;
    });
    this.currentRow = -1;
    this.shade();
  }

  light(row) {
    if (row === this.currentRow || !this.rows.length) return;
    if (this.rows[this.currentRow]) this.rows[this.currentRow].classList.remove('current');
    this.currentRow = row;
    const line = this.rows[row];
    if (!line) return;
    line.classList.add('current');
    this.element.scrollTop = line.offsetTop - this.element.clientHeight / 2;
  }
}
