// The page's list of modules: files dropped or picked, in order, one of them current.

export class Playlist {
  constructor(list, choose) {
    this.list = list;
    this.choose = choose;
    this.entries = [];
    this.current = -1;
  }

  add(files) {
    const first = this.entries.length;
    for (const file of files) {
      this.entries.push(file);
      const item = this.list.appendChild(document.createElement('li'));
      item.textContent = file.name;
      const index = this.entries.length - 1;
      item.addEventListener('click', () => this.choose(index));
    }
    return first < this.entries.length ? first : -1;
  }

  select(index) {
    if (index < 0 || index >= this.entries.length) return null;
    this.current = index;
    [...this.list.children].forEach((item, i) => item.classList.toggle('current', i === index));
    return this.entries[index];
  }
}
