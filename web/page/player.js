// Plays the tracks of the loaded music set as the desktop player does: one
// track at a time, looping until stopped or replaced, a track that ends by
// itself ends; a request for the track that is playing changes nothing.
// The core's worker plays the track off line a little ahead of the sound,
// and the messages go to the audio worklet stamped with their moments.
import { TrackLength } from './core.js';

// How far ahead of the sound the messages are made and sent, and how often.
// Stops and seeks drop what is queued at once, so a long look-ahead costs
// nothing but memory, and it rides out a page whose timers the browser
// slows to once a second (a hidden tab).
const lookAheadMs = 2000;
const feedEveryMs = 100;
// Time between a request and the first sound: enough for the worklet to
// receive the start before its frame is due.
const leadMs = 30;

export class Player {
  // `core`: the CoreClient with the set loaded; `node`: the worklet's node;
  // `onChange`: called when what is playing changes.
  constructor(core, node, context, onChange) {
    Object.assign(this, { core, node, context, onChange });
    this.number = 0;          // the track playing (or being opened), 0 when none
    this.length = null;       // its TrackLength
    this.token = 0;           // changes with each play and stop
    this.ended = false;       // the core has played the track's last tick
    this.startMs = 0;         // the track's moment at the origin frame
    this.originFrame = null;  // frame of the origin, once the worklet has answered
    this.frameOffset = 0;     // worklet's synth frames minus the context's frames
    this.lastMessageMs = 0;
    this.timer = null;
    this.feeding = false;
    node.port.addEventListener('message', (event) => this.receive(event.data));
  }

  receive(message) {
    if (message.type === 'started') {
      this.originFrame = message.originFrame;
      this.frameOffset = message.position - message.atFrame;
    } else if (message.type === 'level') {
      this.frameOffset = message.position - message.frame;
      this.peak = message.peak;
    }
  }

  get playing() { return this.number !== 0; }

  // The moment of the track being heard now, in ms (from the device reset).
  positionMs() {
    if (!this.playing || this.originFrame === null) return this.startMs;
    const frameNow = this.context.currentTime * this.context.sampleRate + this.frameOffset;
    return this.startMs + Math.max(0, (frameNow - this.originFrame) * 1000 / this.context.sampleRate);
  }

  // Plays track `number` from its start, or from `fromMs` with the voices
  // and controllers in force at that moment; resolves to the failure's
  // words when it cannot be played (the player is then silent).
  async play(number, fromMs = 0) {
    this.stop();
    const token = ++this.token;
    this.number = number;
    this.startMs = fromMs;
    this.onChange?.();
    const opened = await this.core.request('play', { number, fromMs });
    if (token !== this.token || opened.abandoned) return null;
    if (opened.failure) {
      this.number = 0;
      this.onChange?.();
      return opened.failure;
    }
    const l = opened.length;
    this.length = new TrackLength(l.kind, l.endTick, l.loopStartTick, l.loopTicks, l.cyclesDiffer, l.tickMs);
    this.ended = opened.ended;
    this.originFrame = null;
    this.node.port.postMessage({ type: 'start', leadMs });
    this.send(opened.messages);
    this.timer = setInterval(() => this.feed(), feedEveryMs);
    this.feed();
    this.onChange?.();
    return null;
  }

  send(pairs) {
    if (pairs.length === 0) return;
    this.node.port.postMessage({
      type: 'messages', list: pairs.map(([ms, bytes, channel]) => [ms - this.startMs, bytes, channel]),
    });
    this.lastMessageMs = pairs[pairs.length - 1][0];
  }

  async feed() {
    if (this.feeding || !this.timer) return;
    const token = this.token;
    if (!this.ended) {
      this.feeding = true;
      const more = await this.core.request('more', { untilMs: this.positionMs() + lookAheadMs })
        .catch(() => ({ messages: [], ended: true })).finally(() => { this.feeding = false; });
      if (token !== this.token) return;
      this.send(more.messages);
      this.ended = more.ended;
    }
    // A track that ended by itself is over once its last message has sounded.
    if (this.ended && this.originFrame !== null && this.positionMs() > this.lastMessageMs + 50) this.finish();
  }

  // Silences the synthesizer, as the player does when a track has ended or
  // is stopped, and goes idle.
  finish() {
    ++this.token;
    this.node.port.postMessage({ type: 'stop' });
    this.core.request('stop').catch(() => {});
    clearInterval(this.timer);
    this.timer = null;
    this.number = 0;
    this.onChange?.();
  }

  stop() {
    if (this.playing || this.timer) this.finish();
  }

  // Mutes the score channels of `mask` (bit k: channel k) from the next
  // note on: their notes already sounding end as they would.
  mute(mask) {
    this.node.port.postMessage({ type: 'mute', channels: mask });
  }

  // Seeks the track that is playing to `ms`.
  seek(ms) {
    if (!this.playing) return null;
    return this.play(this.number, ms);
  }
}
