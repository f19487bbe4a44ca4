// Plays the tracks of the loaded music set as the desktop player does: one
// track at a time, looping until stopped or replaced, a track that ends by
// itself ends; a request for the track that is playing changes nothing.
// The audio worklet renders the track with the library's renderer (its own
// copy of the core and of the set's files); the page only says what to play.
import { TrackLength } from './core.js';

export class Player {
  // `core`: the CoreClient with the set loaded (for the tracks' lengths);
  // `node`: the worklet's node; `onChange`: called when what is playing changes.
  constructor(core, node, context, onChange) {
    Object.assign(this, { core, node, context, onChange });
    this.number = 0;          // the track playing (or being opened), 0 when none
    this.length = null;       // its TrackLength
    this.token = 0;           // changes with each play, seek and stop
    this.startMs = 0;         // the moment asked, until the worklet reports
    this.position = null;     // {frame, position}: the track's frame heard at a context frame
    this.waiting = null;      // resolves the play under way with the worklet's answer
    this.setSent = Promise.resolve(null);  // resolves once the set's files are handed over (null), or to why not
    node.port.addEventListener('message', (event) => this.receive(event.data));
  }

  receive(message) {
    if (message.token !== this.token) return;
    if (message.type === 'started' || message.type === 'failed') {
      this.waiting?.(message);
      this.waiting = null;
    }
    if (message.type === 'started' || message.type === 'level') {
      this.position = { frame: message.frame, position: message.position };
      if (message.type === 'level') this.peak = message.peak;
    } else if (message.type === 'ended') {
      this.finish();
    }
  }

  get playing() { return this.number !== 0; }

  // The moment of the track being heard now, in ms (from the device reset).
  positionMs() {
    if (!this.playing || !this.position) return this.startMs;
    const rate = this.context.sampleRate;
    const frameNow = this.context.currentTime * rate;
    return Math.max(0, this.position.position + frameNow - this.position.frame) * 1000 / rate;
  }

  // Hands the worklet the set's files ({score, voices}: Files, voices maybe
  // null), which it plays from. It returns at once: reading the files takes
  // a moment, and a play asked meanwhile waits for them.
  useSet({ score, voices }) {
    this.stop();
    this.setSent = Promise.all([score, voices].map((file) => file && file.arrayBuffer().then((buffer) => new Uint8Array(buffer))))
      .then((bytes) => {
        this.node.port.postMessage({ type: 'set', score: bytes[0], voices: bytes[1] }, bytes.filter(Boolean).map((b) => b.buffer));
        return null;
      }, (error) => `could not be read (${error.message ?? error})`);
  }

  // Plays track `number` from its start, or from `fromMs` with the voices
  // and controllers in force at that moment; resolves to the failure's
  // words when it cannot be played (the player is then silent).
  async play(number, fromMs = 0) {
    this.stop();
    const token = ++this.token;
    this.number = number;
    this.startMs = fromMs;
    this.position = null;
    this.onChange?.();
    const lengthAsked = this.core.request('length', { number }).catch(() => null);
    const unread = await this.setSent;
    if (token !== this.token) return null;
    if (unread) {
      this.number = 0;
      this.onChange?.();
      return unread;
    }
    const answered = new Promise((resolve) => { this.waiting = resolve; });
    this.node.port.postMessage({ type: 'play', token, number, fromMs });
    const [started, length] = await Promise.all([answered, lengthAsked]);
    if (token !== this.token) return null;
    if (started.type === 'failed') {
      this.number = 0;
      this.onChange?.();
      return started.failure;
    }
    this.length = length && new TrackLength(length.kind, length.endTick, length.loopStartTick, length.loopTicks, length.cyclesDiffer, length.tickMs);
    this.onChange?.();
    return null;
  }

  // Goes idle, as the player does when a track has ended or is stopped.
  finish() {
    ++this.token;
    this.waiting?.({ type: 'failed', failure: null });
    this.waiting = null;
    this.node.port.postMessage({ type: 'stop' });
    this.number = 0;
    this.onChange?.();
  }

  stop() {
    if (this.playing) this.finish();
  }

  // Mutes the score channels of `mask` (bit k: channel k) from the next
  // note on: their notes already sounding end as they would.
  mute(mask) {
    this.node.port.postMessage({ type: 'mute', channels: mask });
  }

  // Seeks the track that is playing to `ms`.
  seek(ms) {
    if (!this.playing) return null;
    const token = ++this.token;
    this.startMs = ms;
    this.position = null;
    this.node.port.postMessage({ type: 'seek', token, ms });
    return null;
  }
}
