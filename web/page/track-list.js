// The table of tracks: rows added in batches as the core's worker reports
// lengths, one click handler for all of them, and the current row marked
// without touching the others. A set may name tens of thousands of tracks:
// the rows go in blocks of a hundred whose layout the browser skips while
// they are off screen, so a batch costs the layout of a few blocks, not of
// every row (as an HTML table would be laid out whole at each batch).
import { TrackLength } from './core.js';

const rowsPerBlock = 100;

export class TrackList {
  // `table`: the #tracks element; `onPick(number)`: a row was clicked.
  constructor(table, onPick) {
    this.table = table;
    this.body = table.querySelector('.rows');
    this.current = null;
    this.rows = 0;
    this.body.addEventListener('click', (event) => {
      const row = event.target.closest('.track');
      if (row) onPick(Number(row.dataset.track));
    });
  }

  clear() {
    this.body.replaceChildren();
    this.rows = 0;
    this.current = null;
    this.table.hidden = true;
  }

  // Appends rows from track `from`: each length a plain TrackLength's
  // fields or {failure}; returns them as the page keeps them (a TrackLength
  // or the failure's words). `titleOf(number)` gives a row's title.
  append(from, list, titleOf) {
    const lengths = list.map((l) => (l.failure ? l.failure
      : new TrackLength(l.kind, l.endTick, l.loopStartTick, l.loopTicks, l.cyclesDiffer, l.tickMs)));
    lengths.forEach((length, index) => {
      const number = from + index;
      const row = document.createElement('div');
      row.className = 'track';
      row.setAttribute('role', 'row');
      row.dataset.track = String(number);
      for (const text of [String(number), typeof length === 'object' ? length.describe() : length, titleOf(number)]) {
        const cell = document.createElement('span');
        cell.setAttribute('role', 'cell');
        cell.textContent = text;
        row.append(cell);
      }
      if (typeof length !== 'object') row.classList.add('failed');
      if (this.rows % rowsPerBlock === 0) {
        const block = document.createElement('div');
        block.className = 'block';
        block.setAttribute('role', 'none');
        this.body.append(block);
      }
      this.body.lastElementChild.append(row);
      ++this.rows;
    });
    this.table.hidden = false;
    return lengths;
  }

  markCurrent(number) {
    const row = this.body.children[Math.floor((number - 1) / rowsPerBlock)]?.children[(number - 1) % rowsPerBlock] ?? null;
    if (row === this.current) return;
    this.current?.classList.remove('current');
    row?.classList.add('current');
    this.current = row;
  }
}
