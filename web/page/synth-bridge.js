// The page's FluidSynth (js-synthesizer) as the synthesizer of the library's
// track renderer, which runs in the core's module (library/web/render_binding.cpp): the
// module calls its `tambeloSynth` object to make the synthesizer fresh, reset
// it, hand it a message (bytes in the module's memory) and write frames into
// the module's memory. The renderer decides when each message is due; this
// side only applies it. Set up as the desktop sets its synthesizer.

// The device id of the core's GS reset, which FluidSynth honours only when
// it carries the synthesizer's own id.
export const gsDeviceId = 0x20;

// The desktop player's synthesizer settings: GS bank selection, 16 channels,
// FluidSynth's own gain, and the reverb and chorus the desktop's FluidSynth
// (2.3) has by default. The page's FluidSynth (2.4) has other defaults for
// both effects: left to them, a channel that sends to the chorus sounded
// half as loud as on the desktop, and the release tails rang longer.
export const synthSettings = {
  midiBankSelect: 'gs',
  midiChannelCount: 16,
  initialGain: 0.2,
  reverbRoomSize: 0.2,
  reverbDamp: 0,
  reverbWidth: 0.5,
  reverbLevel: 0.9,
  chorusNr: 3,
  chorusLevel: 2,
  chorusSpeed: 0.3,
  chorusDepth: 8,
};

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

export class SynthBridge {
  // `JSSynth`: js-synthesizer; `engine`: the FluidSynth module it runs on;
  // `soundfont`: the SoundFont's bytes (an ArrayBuffer, kept for every
  // fresh synthesizer).
  constructor(JSSynth, engine, rate, soundfont) {
    Object.assign(this, { JSSynth, engine, rate, soundfont });
    this.synth = null;
    this.used = false;   // whether the synthesizer has played since it was made
    this.core = null;
    this.left = new Float32Array(0);
    this.right = this.left;
  }

  // Makes the first synthesizer; rejects when the SoundFont cannot be read.
  async start() {
    await this.make();
  }

  // Serves the renderings of `module` (a core module).
  attach(module) {
    this.core = module;
    module.tambeloSynth = this;
  }

  make() {
    this.synth?.close();
    const synth = new this.JSSynth.Synthesizer();
    synth.init(this.rate, synthSettings);
    setDeviceId(this.engine, synth);
    this.synth = synth;
    this.used = false;
    // js-synthesizer reads the SoundFont at once; the promise only reports.
    return synth.loadSFont(this.soundfont);
  }

  // A synthesizer that has played is replaced, so that nothing of what it
  // played (its effects' buffers) sounds on.
  startFresh() {
    if (this.used) this.make().catch(() => {});
  }

  reset() {
    this.synth.midiSystemReset();
  }

  send(pointer, length) {
    this.used = true;
    applyMessage(this.synth, this.core.HEAPU8.subarray(pointer, pointer + length));
  }

  write(pointer, frames) {
    this.used = true;
    if (this.left.length < frames) {
      this.left = new Float32Array(frames);
      this.right = new Float32Array(frames);
    }
    const left = this.left.subarray(0, frames);
    const right = this.right.subarray(0, frames);
    this.synth.render([left, right]);
    const out = this.core.HEAPF32;
    for (let i = 0, at = pointer >> 2; i < frames; ++i, at += 2) {
      out[at] = left[i];
      out[at + 1] = right[i];
    }
  }

  close() {
    this.synth?.close();
    this.synth = null;
  }
}
