// Plays the tracks of the loaded music set as the desktop player does: one
// track at a time, looping until stopped or replaced, a track that ends by
// itself ends; a request for the track that is playing changes nothing.
// The core plays the track off line a little ahead of the sound, and the
// messages go to the audio worklet stamped with their moments.

// How far ahead of the sound the messages are made and sent, and how often.
// Stops and seeks drop what is queued at once, so a long look-ahead costs
// nothing but memory, and it rides out a page whose timers the browser
// slows to once a second (a hidden tab).
const lookAheadMs = 2000;
const feedEveryMs = 100;
// Time between a request and the first sound: enough for the worklet to
// receive the start before its frame is due.
const leadMs = 30;

export const isNote = (bytes) => (bytes[0] & 0xe0) === 0x80;  // note on or off

export class Player {
  // `core`: the Core with the set loaded; `node`: the worklet's node;
  // `onChange`: called when what is playing changes.
  constructor(core, node, context, onChange) {
    Object.assign(this, { core, node, context, onChange });
    this.track = null;        // the CoreTrack being played
    this.number = 0;          // the track playing, 0 when none
    this.startMs = 0;         // the track's moment at the origin frame
    this.originFrame = null;  // frame of the origin, once the worklet has answered
    this.frameOffset = 0;     // worklet's synth frames minus the context's frames
    this.lastMessageMs = 0;
    this.timer = null;
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
  // and controllers in force at that moment; returns the failure's words
  // when it cannot be played (the player is then silent).
  play(number, fromMs = 0) {
    this.stop();
    const track = this.core.open(number);
    if (track.failure) {
      this.onChange?.();
      return track.failure;
    }
    this.track = track;
    this.number = number;
    this.startMs = 0;
    this.originFrame = null;
    this.node.port.postMessage({ type: 'start', leadMs });
    let first = track.playUntilMs(fromMs);
    if (fromMs > 0) {
      // Everything but the notes, up to the target, at once: the voices,
      // controllers and tunings in force there.
      first = first.filter((message) => !isNote(message.bytes)).map((message) => ({ timeMs: fromMs, bytes: message.bytes }));
      this.startMs = fromMs;
    }
    this.send(first);
    this.feed();
    this.timer = setInterval(() => this.feed(), feedEveryMs);
    this.onChange?.();
    return null;
  }

  send(messages) {
    if (messages.length === 0) return;
    this.node.port.postMessage({ type: 'messages', list: messages.map((m) => [m.timeMs - this.startMs, m.bytes]) });
    this.lastMessageMs = messages[messages.length - 1].timeMs;
  }

  feed() {
    if (!this.track) return;
    const now = this.positionMs();
    if (!this.track.ended) this.send(this.track.playUntilMs(now + lookAheadMs));
    // A track that ended by itself is over once its last message has sounded.
    if (this.track.ended && this.originFrame !== null && now > this.lastMessageMs + 50) this.finish();
  }

  // Silences the synthesizer, as the player does when a track has ended or
  // is stopped, and goes idle.
  finish() {
    this.node.port.postMessage({ type: 'stop' });
    clearInterval(this.timer);
    this.timer = null;
    this.track?.close();
    this.track = null;
    this.number = 0;
    this.onChange?.();
  }

  stop() {
    if (this.track || this.timer) this.finish();
  }

  // Seeks the track that is playing to `ms`.
  seek(ms) {
    if (!this.playing) return null;
    return this.play(this.number, ms);
  }
}
