// Appended to the core's script: its factory on the global object too, where
// an audio worklet (which loads every script as a module, keeping its
// declarations to itself) finds it.
if (typeof globalThis === 'object' && typeof globalThis.createTambeloCore === 'undefined') globalThis.createTambeloCore = createTambeloCore;
