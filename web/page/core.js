// The playback core (compiled to WebAssembly) as the page and the tests use
// it: a music set's files in the core's memory, its entries, tracks played
// off line into messages stamped with their ideal times, and tracks rendered
// as audio by the library's renderer (its synthesizer the module's
// `tambeloSynth`, see synth-bridge.js).

const setFolder = '/set';
export const scorePath = `${setFolder}/amus.dat`;
export const voicePath = `${setFolder}/amus.mda`;
// Page archives number their entries with 16-bit words.
const maxTracks = 65535;

// The refusal of a rendering that would last too long.
const tooLong = 4;
const failureWords = { 1: 'does not compile', 2: 'tempo out of range', 3: 'out of memory' };

export class TrackLength {
  constructor(kind, endTick, loopStartTick, loopTicks, cyclesDiffer, tickMs) {
    Object.assign(this, { kind, endTick, loopStartTick, loopTicks, cyclesDiffer, tickMs });
  }
  // Milliseconds from the device reset to the start of a tick.
  tickTimeMs(tick) { return (tick - 1) * this.tickMs; }
  // As the command-line list prints it: "m:ss.mmm", or the intro and the loop.
  describe() {
    if (this.kind === 'ends') return formatLength(this.tickTimeMs(this.endTick));
    let text = `${formatLength(this.tickTimeMs(this.loopStartTick))} + ${formatLength(this.loopTicks * this.tickMs)} loop`;
    if (this.cyclesDiffer) text += ' (channel loops differ, longest)';
    return text;
  }
  // The default export: a looping track's intro and two loops (then a fade
  // of the caller's), or a track that ends by itself up to its end.
  exportMusicMs(loops = 2) {
    if (this.kind === 'ends') return this.tickTimeMs(this.endTick);
    return this.tickTimeMs(this.loopStartTick + loops * this.loopTicks);
  }
}

export function formatLength(ms) {
  const total = Math.round(Number.isFinite(ms) && ms > 0 ? ms : 0);
  const pad = (value, width) => String(value).padStart(width, '0');
  return `${Math.floor(total / 60000)}:${pad(Math.floor(total / 1000) % 60, 2)}.${pad(total % 1000, 3)}`;
}

export class CoreTrack {
  constructor(core, handle, number) {
    this.core = core;
    this.handle = handle;
    this.number = number;
    const m = core.module;
    const kind = m._web_length_kind(handle) === 1 ? 'loops' : 'ends';
    this.length = new TrackLength(kind, m._web_length_ticks(handle, 0), m._web_length_ticks(handle, 1),
      m._web_length_ticks(handle, 2), m._web_cycles_differ(handle) === 1, m._web_tick_length_ms(handle));
  }
  // The messages of the ticks due before `endMs` not played yet (the first
  // call also gives the device reset's, at time 0): [{timeMs, bytes,
  // channel}], `channel` the score channel (0..8) that sent it, or -1.
  playUntilMs(endMs) {
    const m = this.core.module;
    const size = m._web_play_until_ms(this.handle, endMs);
    const start = m._web_message_bytes();
    const view = new DataView(m.HEAPU8.buffer, start, size);
    const messages = [];
    for (let at = 0; at < size;) {
      const timeMs = view.getFloat64(at, true);
      const length = view.getUint16(at + 8, true);
      const channel = view.getInt8(at + 10);
      messages.push({ timeMs, channel, bytes: m.HEAPU8.slice(start + at + 11, start + at + 11 + length) });
      at += 11 + length;
    }
    return messages;
  }
  get ended() { return this.core.module._web_track_ended(this.handle) === 1; }
  close() {
    if (this.handle > 0) this.core.module._web_close_track(this.handle);
    this.handle = 0;
  }
}

// A track rendered as audio at its rate, pulled a piece at a time.
export class CoreRendering {
  constructor(core, handle) {
    this.core = core;
    this.handle = handle;
    // The longest it can last in frames (0: for ever), for progress.
    this.mostFrames = core.module._web_render_most_frames(handle);
  }
  // The next frames (at most `frames`) as interleaved 16-bit samples, as a
  // WAV export holds them: fewer only at the end, none after it.
  pcm16(frames) {
    const m = this.core.module;
    const count = m._web_render_pcm16(this.handle, frames);
    const start = m._web_render_pcm16_data(this.handle) >> 1;
    return m.HEAP16.slice(start, start + 2 * count);
  }
  // The same as interleaved floats, valid until the next call.
  floats(frames) {
    const m = this.core.module;
    const count = m._web_render_float(this.handle, frames);
    const start = m._web_render_float_data(this.handle) >> 2;
    return m.HEAPF32.subarray(start, start + 2 * count);
  }
  // Goes to `ms` from the track's start; false when it cannot.
  seek(ms) { return this.core.module._web_render_seek(this.handle, ms) === 1; }
  // Mutes the score channels of `mask` (bit k: channel k) from the next note on.
  mute(mask) { this.core.module._web_render_mute(this.handle, mask); }
  // Frames handed out since the track's start.
  get position() { return this.core.module._web_render_position(this.handle); }
  get ended() { return this.core.module._web_render_ended(this.handle) === 1; }
  close() {
    if (this.handle > 0) this.core.module._web_render_close(this.handle);
    this.handle = 0;
  }
}

export class Core {
  // `module`: the instantiated WebAssembly module (createTambeloCore()).
  constructor(module) {
    this.module = module;
    if (!module.FS.analyzePath(setFolder).exists) module.FS.mkdir(setFolder);
  }

  // Puts a music set's files in place of the last one's; `voices` may be
  // null (the tracks then play with the default voices).
  loadSet(score, voices) {
    const { FS } = this.module;
    for (const path of [scorePath, voicePath]) {
      if (FS.analyzePath(path).exists) FS.unlink(path);
    }
    FS.writeFile(scorePath, score);
    this.intact = this.intactTracks(score);
    if (voices) FS.writeFile(voicePath, voices);
  }

  withPath(path, call) {
    const m = this.module;
    const size = m.lengthBytesUTF8(path) + 1;
    const pointer = m._malloc(size);
    m.stringToUTF8(path, pointer, size);
    try {
      return call(pointer);
    } finally {
      m._free(pointer);
    }
  }

  // How many tracks the archive in `bytes` names, decided as every other
  // host decides it; 0: it is no music archive.
  identify(bytes) { return this.askHead(bytes, this.module._web_identify_score); }

  // Of those, the first ones that start inside the file.
  intactTracks(bytes) { return this.askHead(bytes, this.module._web_intact_tracks); }

  askHead(bytes, question) {
    const m = this.module;
    const head = bytes.subarray(0, m._web_identity_head_bytes());
    const pointer = m._malloc(Math.max(head.length, 1));
    try {
      m.HEAPU8.set(head, pointer);
      return question(pointer, head.length, bytes.length);
    } finally {
      m._free(pointer);
    }
  }

  // What is said of a file that is no music set, after its name.
  notASetReason() { return this.module.UTF8ToString(this.module._web_not_a_set_reason()); }

  // The archive's answer for the entry after `track`: track + 1, or track
  // at the last entry, or 0 when the archive cannot be read.
  next(track, archive = scorePath) { return this.withPath(archive, (path) => this.module._web_next_entry(path, track)); }
  prev(track) { return this.module._web_prev_entry(track); }

  // The number of entries of the score archive (or the voice archive): how
  // far next steps from 0.
  trackCount(archive = scorePath) {
    let count = 0;
    while (count < maxTracks && this.next(count, archive) === count + 1) ++count;
    return count;
  }

  // A track ready to play, or {failure: words} when it cannot be played.
  // {failure} for a track that starts beyond the end of a file cut short.
  missing(track) {
    if (this.intact === undefined || track <= this.intact) return null;
    return { failure: this.module.UTF8ToString(this.module._web_cut_off_reason()) };
  }

  open(track) {
    const missing = this.missing(track);
    if (missing) return missing;
    const handle = this.withPath(scorePath, (score) =>
      this.withPath(voicePath, (voices) => this.module._web_open_track(score, voices, track)));
    if (handle <= 0) return { failure: failureWords[-handle] ?? 'cannot be played' };
    return new CoreTrack(this, handle, track);
  }

  // Track `track` rendered at `rate`: for ever (`forever`), or its loop
  // `loops` times and a fade of `fadeMs`, a track that ends by itself with
  // its sound dying away. A CoreRendering, {failure: words} or {refusal:
  // words} (a file that would last too long).
  render(track, { rate, forever = false, loops = 2, fadeMs = 8000 }) {
    const missing = this.missing(track);
    if (missing) return missing;
    const m = this.module;
    const handle = this.withPath(scorePath, (score) =>
      this.withPath(voicePath, (voices) => m._web_render_open(score, voices, track, rate, forever ? 1 : 0, loops, fadeMs)));
    if (handle === -tooLong) return { refusal: m.UTF8ToString(m._web_render_too_long_reason()) };
    if (handle <= 0) return { failure: failureWords[-handle] ?? 'cannot be played' };
    return new CoreRendering(this, handle);
  }
}
