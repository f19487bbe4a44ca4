// The table of tracks: rows added in batches as the core's worker reports
// lengths (a set may name thousands of tracks), one click handler for all
// of them, and the current row marked without touching the others.
import { TrackLength } from './core.js';

export class TrackList {
  // `table`: the <table>; `onPick(number)`: a row was clicked.
  constructor(table, onPick) {
    this.table = table;
    this.body = table.querySelector('tbody');
    this.current = null;
    this.body.addEventListener('click', (event) => {
      const row = event.target.closest('tr');
      if (row) onPick(Number(row.dataset.track));
    });
  }

  clear() {
    this.body.replaceChildren();
    this.current = null;
    this.table.hidden = true;
  }

  // Appends rows from track `from`: each length a plain TrackLength's
  // fields or {failure}; returns them as the page keeps them (a TrackLength
  // or the failure's words). `titleOf(number)` gives a row's title.
  append(from, list, titleOf) {
    const lengths = list.map((l) => (l.failure ? l.failure
      : new TrackLength(l.kind, l.endTick, l.loopStartTick, l.loopTicks, l.cyclesDiffer, l.tickMs)));
    const rows = document.createDocumentFragment();
    lengths.forEach((length, index) => {
      const number = from + index;
      const row = document.createElement('tr');
      row.dataset.track = String(number);
      for (const text of [String(number), typeof length === 'object' ? length.describe() : length, titleOf(number)]) {
        const cell = document.createElement('td');
        cell.textContent = text;
        row.append(cell);
      }
      if (typeof length !== 'object') row.classList.add('failed');
      rows.append(row);
    });
    this.body.append(rows);
    this.table.hidden = false;
    return lengths;
  }

  markCurrent(number) {
    const row = this.body.children[number - 1] ?? null;
    if (row === this.current) return;
    this.current?.classList.remove('current');
    row?.classList.add('current');
    this.current = row;
  }
}
