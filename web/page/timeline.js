// Plays timed MIDI messages on a FluidSynth synthesizer (js-synthesizer) at
// the sample frame of their moment. FluidSynth applies a message only at the
// start of one of its 64-frame blocks, counted from its first frame, so
// each message goes to the block start nearest its frame: the rendering runs
// up to that frame, the message is applied, the rendering goes on. Used by
// the audio worklet while playing and by the page for off-line exports.

export const synthBlockFrames = 64;
// The device id of the core's GS reset, which FluidSynth honours only when
// it carries the synthesizer's own id.
export const gsDeviceId = 0x20;
const channelCount = 16;

// The desktop player's synthesizer settings: GS bank selection, 16 channels,
// FluidSynth's own gain.
export const synthSettings = { midiBankSelect: 'gs', midiChannelCount: 16, initialGain: 0.2 };

// Sets the GS device id on a synth made by js-synthesizer (which has no
// setting for it), through FluidSynth's own settings call.
export function setDeviceId(wasm, synth, id = gsDeviceId) {
  const name = 'synth.device-id';
  const text = wasm._malloc(name.length + 1);
  for (let i = 0; i < name.length; ++i) wasm.HEAPU8[text + i] = name.charCodeAt(i);
  wasm.HEAPU8[text + name.length] = 0;
  wasm._fluid_settings_setint(synth._settings, text, id);
  wasm._free(text);
}

export function applyMessage(synth, bytes) {
  const status = bytes[0];
  const channel = status & 0x0f;
  switch (status & 0xf0) {
    case 0x80: synth.midiNoteOff(channel, bytes[1]); break;
    case 0x90: if (bytes[2] === 0) synth.midiNoteOff(channel, bytes[1]); else synth.midiNoteOn(channel, bytes[1], bytes[2]); break;
    case 0xa0: synth.midiKeyPressure(channel, bytes[1], bytes[2]); break;
    case 0xb0: synth.midiControl(channel, bytes[1], bytes[2]); break;
    case 0xc0: synth.midiProgramChange(channel, bytes[1]); break;
    case 0xd0: synth.midiChannelPressure(channel, bytes[1]); break;
    case 0xe0: synth.midiPitchBend(channel, bytes[1] | (bytes[2] << 7)); break;
    case 0xf0:
      // FluidSynth takes a System Exclusive message without F0 and F7.
      if (status === 0xf0 && bytes.length >= 2) synth.midiSysEx(bytes.subarray(1, bytes[bytes.length - 1] === 0xf7 ? -1 : undefined));
      break;
    default: break;
  }
}

// Every sound cut at once, as the player silences the device between tracks.
export function silence(synth) {
  for (let channel = 0; channel < channelCount; ++channel) {
    synth.midiControl(channel, 120, 0);  // all sound off
    synth.midiControl(channel, 123, 0);  // all notes off
  }
}

export class Timeline {
  constructor(synth, sampleRate) {
    this.synth = synth;
    this.sampleRate = sampleRate;
    this.position = 0;        // frames the synth has rendered
    this.originFrame = 0;     // the frame of moment 0 of the messages
    this.queue = [];          // [{frame, bytes, channel}], in order of posting
    this.head = 0;
    this.muted = 0;           // score channels whose note-ons are dropped (bit k: channel k)
  }

  // Forgets what is queued; later messages count from `originFrame`.
  restart(originFrame) {
    this.queue = [];
    this.head = 0;
    this.originFrame = originFrame;
  }

  // `channel`: the score channel that sent the message (-1: none). Drums of
  // every channel share MIDI channel 9, so a mute goes by this.
  post(timeMs, bytes, channel = -1) {
    const frame = this.originFrame + Math.round(timeMs * this.sampleRate / 1000);
    const block = Math.round(frame / synthBlockFrames) * synthBlockFrames;
    this.queue.push({ frame: Math.max(block, this.position), bytes, channel });
  }

  // A note-on of a muted channel: dropped when it falls due, so a mute
  // takes effect at once and the notes sounding end with their own release.
  isMuted({ bytes, channel }) {
    return channel >= 0 && ((this.muted >> channel) & 1) === 1 && (bytes[0] & 0xf0) === 0x90 && bytes[2] !== 0;
  }

  pending() { return this.queue.length - this.head; }

  // Renders into `left` and `right` (equal lengths), applying each message
  // at its frame; messages are applied in the order they were posted.
  render(left, right) {
    let done = 0;
    const frames = left.length;
    while (done < frames) {
      while (this.head < this.queue.length && this.queue[this.head].frame <= this.position) {
        if (!this.isMuted(this.queue[this.head])) applyMessage(this.synth, this.queue[this.head].bytes);
        ++this.head;
      }
      let until = frames;
      if (this.head < this.queue.length) until = Math.min(frames, done + (this.queue[this.head].frame - this.position));
      this.synth.render([left.subarray(done, until), right.subarray(done, until)]);
      this.position += until - done;
      done = until;
    }
    if (this.head > 4096) {
      this.queue = this.queue.slice(this.head);
      this.head = 0;
    }
  }
}
