// The audio worklet that plays: the library's track renderer (the core's
// module, compiled to WebAssembly) and the FluidSynth it drives
// (js-synthesizer), both loaded into this scope before this module. Each
// audio quantum pulls its frames from the renderer, which sequences the
// track, loops it, seeks and mutes; nothing here times a message. The page
// talks to it through its port:
//   {type: 'soundfont', data}                load a SoundFont (replaces the last)
//   {type: 'set', score, voices}             the music set's files (voices maybe null)
//   {type: 'play', token, number, fromMs}    play a track for ever from `fromMs`
//                                            (answered {type: 'started', token,
//                                            position, frame} or {type:
//                                            'failed', token, failure})
//   {type: 'seek', token, ms}                go to `ms` of the track playing
//   {type: 'mute', channels}                 mute the score channels of the mask
//                                            (bit k: channel k): their next notes
//                                            do not sound
//   {type: 'stop'}                           silence
// and it reports {type: 'ready'}, {type: 'soundfont-loaded'} or {type:
// 'error', text}, {type: 'sounding'} when the first sound after a start is
// rendered, {type: 'ended', token} when a track that ends by itself has
// ended, and {type: 'level', token, peak, position, frame} about ten times a
// second (`position`: the track's frame heard at the context's `frame`).
import { Core } from './core.js';
import { SynthBridge } from './synth-bridge.js';

// The synthesizer's two scripts leave their objects on the scope's class,
// the core's script its factory on the global object.
const { JSSynth } = AudioWorkletGlobalScope;
const engine = AudioWorkletGlobalScope.wasmModule;

function engineReady() {
  if (engine.calledRun) return Promise.resolve();
  return new Promise((resolve) => (engine.addOnPostRun ?? AudioWorkletGlobalScope.addOnPostRun)(resolve));
}

class TambeloSynth extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.core = null;
    this.bridge = null;
    this.rendering = null;
    this.token = 0;
    this.muted = 0;
    this.peak = 0;
    this.reportEvery = Math.round(sampleRate / 10);
    this.sinceReport = 0;
    this.port.onmessage = (event) => this.receive(event.data);
    const { coreWasm } = options.processorOptions;
    Promise.all([engineReady(), globalThis.createTambeloCore({ wasmBinary: coreWasm })]).then(([, module]) => {
      this.core = new Core(module);
      this.port.postMessage({ type: 'ready' });
    }, (error) => this.port.postMessage({ type: 'error', text: `the player could not be started (${error})` }));
  }

  receive(message) {
    if (!this.core) return;
    switch (message.type) {
      case 'soundfont':
        // The track playing goes idle: its renderer keeps to one synthesizer.
        if (this.rendering) this.port.postMessage({ type: 'ended', token: this.token });
        this.stop();
        try {
          const bridge = new SynthBridge(JSSynth, engine, sampleRate, message.data);
          bridge.make().then(() => {
            this.bridge?.close();
            this.bridge = bridge;
            bridge.attach(this.core.module);
            this.port.postMessage({ type: 'soundfont-loaded' });
          }, (error) => {
            bridge.close();
            this.port.postMessage({ type: 'error', text: `the SoundFont could not be loaded (${error})` });
          });
        } catch (error) {
          this.port.postMessage({ type: 'error', text: `the SoundFont could not be loaded (${error})` });
        }
        break;
      case 'set':
        this.stop();
        this.core.loadSet(message.score, message.voices);
        break;
      case 'play':
        this.play(message);
        break;
      case 'seek':
        if (this.rendering) {
          this.token = message.token;
          this.rendering.seek(message.ms);
          this.announce();
        }
        break;
      case 'mute':
        this.muted = message.channels;
        this.rendering?.mute(this.muted);
        break;
      case 'stop':
        this.stop();
        break;
      default:
        break;
    }
  }

  play({ token, number, fromMs }) {
    this.stop();
    this.token = token;
    const rendering = this.bridge ? this.core.render(number, { rate: sampleRate, forever: true }) : { failure: 'has no SoundFont to play with' };
    if (rendering.failure || rendering.refusal) {
      this.port.postMessage({ type: 'failed', token, failure: rendering.failure ?? rendering.refusal });
      return;
    }
    this.rendering = rendering;
    rendering.mute(this.muted);
    if (fromMs > 0) rendering.seek(fromMs);
    this.awaitingSound = true;
    this.announce('started');
  }

  // The track's frame that the next quantum begins with.
  announce(type = 'level') {
    this.port.postMessage({ type, token: this.token, peak: this.peak, position: this.rendering.position, frame: currentFrame });
  }

  stop() {
    this.rendering?.close();
    this.rendering = null;
  }

  process(inputs, outputs) {
    const [left, right] = outputs[0];
    if (!right) return true;
    if (this.rendering) {
      const position = this.rendering.position;
      const frames = this.rendering.floats(left.length);
      const count = frames.length / 2;
      for (let i = 0; i < count; ++i) {
        left[i] = frames[2 * i];
        right[i] = frames[2 * i + 1];
      }
      left.fill(0, count);
      right.fill(0, count);
      if (this.rendering.ended) {
        this.port.postMessage({ type: 'ended', token: this.token });
        this.stop();
      }
      let peak = 0;
      for (let i = 0; i < left.length; ++i) peak = Math.max(peak, Math.abs(left[i]), Math.abs(right[i]));
      this.peak = Math.max(this.peak, peak);
      if (this.awaitingSound && peak > 0) {
        this.awaitingSound = false;
        this.port.postMessage({ type: 'sounding' });
      }
      this.sinceReport += left.length;
      if (this.sinceReport >= this.reportEvery) {
        this.port.postMessage({ type: 'level', token: this.token, peak: this.peak, position, frame: currentFrame });
        this.peak = 0;
        this.sinceReport = 0;
      }
    }
    return true;
  }
}

registerProcessor('tambelo-synth', TambeloSynth);
