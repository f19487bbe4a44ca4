// The audio worklet that sounds the music: a FluidSynth synthesizer
// (js-synthesizer, loaded into this scope before this module) fed with the
// core's messages, each applied at its sample frame. The page talks to it
// through its port:
//   {type: 'soundfont', data}           load a SoundFont (replaces the last)
//   {type: 'start', leadMs}             silence, forget what is queued; the
//                                       messages that follow count from
//                                       leadMs ahead (answered {type:
//                                       'started', originFrame})
//   {type: 'messages', list: [[ms, bytes, channel], ...]}
//   {type: 'mute', channels}            mute the score channels of the mask
//                                       (bit k: channel k): their next notes
//                                       do not sound
//   {type: 'stop'}                      silence, forget what is queued
//   {type: 'sync'}                      answered {type: 'synced'}
// and it reports {type: 'ready'}, {type: 'soundfont-loaded'} or
// {type: 'error', text}, {type: 'sounding'} when the first sound after a
// start is rendered, and {type: 'level', peak, position, frame} about ten
// times a second.
import { Timeline, setDeviceId, silence, synthSettings } from './timeline.js';

// The two scripts leave their objects on the scope's class.
const { JSSynth } = AudioWorkletGlobalScope;
const wasm = AudioWorkletGlobalScope.wasmModule;

function wasmReady() {
  if (wasm.calledRun) return Promise.resolve();
  return new Promise((resolve) => (wasm.addOnPostRun ?? AudioWorkletGlobalScope.addOnPostRun)(resolve));
}

class TambeloSynth extends AudioWorkletProcessor {
  constructor() {
    super();
    this.synth = null;
    this.timeline = null;
    this.soundfontId = -1;
    this.peak = 0;
    this.reportEvery = Math.round(sampleRate / 10);
    this.sinceReport = 0;
    this.port.onmessage = (event) => this.receive(event.data);
    wasmReady().then(() => {
      this.synth = new JSSynth.Synthesizer();
      this.synth.init(sampleRate, synthSettings);
      setDeviceId(wasm, this.synth);
      this.timeline = new Timeline(this.synth, sampleRate);
      this.port.postMessage({ type: 'ready' });
    });
  }

  async receive(message) {
    if (!this.timeline) return;
    const { timeline, synth } = this;
    switch (message.type) {
      case 'soundfont':
        try {
          const id = await synth.loadSFont(message.data);
          if (this.soundfontId >= 0) synth.unloadSFont(this.soundfontId);
          this.soundfontId = id;
          this.port.postMessage({ type: 'soundfont-loaded' });
        } catch (error) {
          this.port.postMessage({ type: 'error', text: `the SoundFont could not be loaded (${error})` });
        }
        break;
      case 'start': {
        silence(synth);
        const origin = timeline.position + Math.round(message.leadMs * sampleRate / 1000);
        timeline.restart(origin);
        this.awaitingSound = true;
        this.port.postMessage({ type: 'started', originFrame: origin, atFrame: currentFrame, position: timeline.position });
        break;
      }
      case 'messages':
        for (const [ms, bytes, channel] of message.list) timeline.post(ms, bytes, channel);
        break;
      case 'mute':
        timeline.muted = message.channels;
        break;
      case 'sync':
        this.port.postMessage({ type: 'synced' });
        break;
      case 'stop':
        timeline.restart(timeline.position);
        silence(synth);
        break;
      default:
        break;
    }
  }

  process(inputs, outputs) {
    const [left, right] = outputs[0];
    if (!this.timeline || !right) return true;
    this.timeline.render(left, right);
    let peak = 0;
    for (let i = 0; i < left.length; ++i) peak = Math.max(peak, Math.abs(left[i]), Math.abs(right[i]));
    this.peak = Math.max(this.peak, peak);
    if (this.awaitingSound && peak > 0) {
      this.awaitingSound = false;
      this.port.postMessage({ type: 'sounding' });
    }
    this.sinceReport += left.length;
    if (this.sinceReport >= this.reportEvery) {
      this.port.postMessage({ type: 'level', peak: this.peak, position: this.timeline.position, frame: currentFrame });
      this.peak = 0;
      this.sinceReport = 0;
    }
    return true;
  }
}

registerProcessor('tambelo-synth', TambeloSynth);
