// The page: a music set dropped or picked, its titles and tracks, the six
// buttons of the desktop window (same pictures, same tooltips, same steps
// through the tracks), the position with a bar to seek, a SoundFont of the
// user's choice, and "Save as WAV".
import { drawButtonPictures } from './button-pictures.js';
import { CoreClient } from './core-client.js';
import { formatLength } from './core.js';
import { droppedFiles, maxArchiveBytes, maxSoundFontBytes, maxTitleListBytes, readBounded, sortFiles } from './files.js';
import { keepForOffline } from './install.js';
import { MediaControls } from './media-session.js';
import { Player } from './player.js';
import { forgetSet, recalledSet, rememberSet, rememberTrack } from './set-memory.js';
import { createSynthNode, engineReads, forgetSoundFont, loadSoundFont, rememberSoundFont, storedSoundFont } from './synth-host.js';
import { captionText, gameTitle, titleIndex } from './titles.js';
import { TrackList } from './track-list.js';
import { cancelled, exportInWorker } from './wav-export.js';

const $ = (id) => document.getElementById(id);
const buttonIds = ['cmdPrev10', 'cmdPrev', 'cmdStop', 'cmdPlay', 'cmdNext', 'cmdNext10'];

const state = {
  core: null,
  context: null,
  node: null,
  player: null,
  soundfont: null,   // {name, bytes, own}
  titles: [],
  titleOf: titleIndex([]),
  trackList: null,
  generation: 0,     // the core's number for the set open now
  setName: 'amus',
  count: 0,
  lengths: [],       // per track, as the core reports them: TrackLength or failure words
  curTrack: 0,
  dropAt: 0,         // performance.now() of the last drop, for the first-sound figure
};
// For the page's tests and measurements.
window.tambeloPage = state;

function showMessage(text) {
  $('message').textContent = text ?? '';
  $('message').hidden = !text;
}

function showNote(text) {
  $('note').textContent = text ?? '';
  $('note').hidden = !text;
}

async function startAudio() {
  const shown = $('loading');
  shown.hidden = false;
  state.soundfont = await storedSoundFont((received, total) => {
    $('loading-bar').value = total ? received / total : 0;
    $('loading-text').textContent = `Loading the SoundFont: ${(received / 1048576).toFixed(1)}${total ? ` of ${(total / 1048576).toFixed(1)}` : ''} MB`;
  });
  try {
    await openAudio();
  } finally {
    shown.hidden = true;
  }
}

// A context with the synthesizer for the current SoundFont; replaces the
// one there was (and whatever it played).
async function openAudio() {
  state.player?.stop();
  const old = state.context;
  state.context = new AudioContext({ latencyHint: 'interactive' });
  state.context.addEventListener('statechange', () => {
    if (state.context.state === 'running' && $('note').textContent.includes('holds the sound')) showNote(state.voiceNote);
  });
  if (old) old.close();
  $('soundfont-name').textContent = state.soundfont.name;
  state.node = await createSynthNode(state.context, state.soundfont.bytes);
  state.node.connect(state.context.destination);
  state.node.port.addEventListener('message', (event) => {
    // Time from the last drop to its first sound, which the page's
    // measurements read.
    if (event.data.type === 'sounding' && state.firstSoundMs === undefined && state.dropAt) {
      state.firstSoundMs = performance.now() - state.dropAt;
    }
  });
  state.player = new Player(state.core, state.node, state.context, refresh);
  state.player.mute(mutedChannels());
  if (state.setFiles) state.player.useSet(state.setFiles);
}

// The score channels ticked in "Mute channels" (bit k: channel k).
function mutedChannels() {
  let mask = 0;
  for (const box of document.querySelectorAll('#mutes input')) if (box.checked) mask |= 1 << Number(box.dataset.channel);
  return mask;
}
for (const box of document.querySelectorAll('#mutes input')) {
  box.addEventListener('change', () => state.player?.mute(mutedChannels()));
}

function resumeAudio() {
  if (state.context && state.context.state !== 'running') state.context.resume().catch(() => {});
}

// What the window shows: caption, status line, the current row, the bar.
function refresh() {
  document.title = $('caption').textContent = captionText(state.titles);
  const player = state.player;
  state.trackList.markCurrent(state.curTrack);
  const length = currentLength();
  const bar = $('position');
  bar.disabled = !(player?.playing && typeof length === 'object');
  if (typeof length === 'object') bar.max = String(barEndMs(length));
  $('save-wav').disabled = !state.exporter && typeof length !== 'object';
  for (const id of buttonIds) $(id).disabled = state.count === 0;
  showMediaSession();
  keepTrack();
}

// The current track's length: the player's while it plays it, which is
// there before the list has come that far.
function currentLength() {
  const player = state.player;
  if (player?.playing && player.number === state.curTrack && player.length) return player.length;
  return state.lengths[state.curTrack - 1];
}

function showStatus() {
  $('status').textContent = ` ${state.titleOf(state.curTrack)}`;
}

// The bar follows the music; a looping track's position counts again from
// the loop's start each time round.
function shownPositionMs(length) {
  let ms = state.player.positionMs();
  const loopEnd = length.tickTimeMs(length.loopStartTick + length.loopTicks);
  if (length.kind === 'loops' && ms >= loopEnd && length.loopTicks > 0) {
    const loopStart = length.tickTimeMs(length.loopStartTick);
    ms = loopStart + ((ms - loopStart) % (loopEnd - loopStart));
  }
  return ms;
}

// The end of the bar: a looping track's loop end, or where the track ends.
const barEndMs = (length) => (length.kind === 'loops' ? length.tickTimeMs(length.loopStartTick + length.loopTicks) : length.tickTimeMs(length.endTick));

function showPosition() {
  const length = currentLength();
  if (state.player?.playing && typeof length === 'object') {
    const ms = shownPositionMs(length);
    if (!state.seeking) $('position').value = String(ms);
    $('position-text').textContent = formatLength(ms);
  }
  requestAnimationFrame(showPosition);
}

// What the system's media controls show; called on every change and about
// once a second (timers run with the page hidden, animation frames do not).
function showMediaSession() {
  const length = currentLength();
  const playing = state.player?.playing ?? false;
  const known = playing && typeof length === 'object';
  state.media.show({
    title: state.count ? state.titleOf(state.curTrack) : 'TAMBELO',
    album: gameTitle(state.titles) ?? state.setName,
    playing,
    positionMs: known ? shownPositionMs(length) : 0,
    durationMs: known ? barEndMs(length) : 0,
  });
}

// The library's rule: a request for the track already playing is ignored.
async function playTrack(number) {
  if (!state.player || number < 1 || number > state.count) return;
  resumeAudio();
  if (state.player.playing && state.player.number === number) return;
  const failure = await state.player.play(number).catch((error) => error.message);
  // Browsers hold a page's sound until the user clicks or types on it; a
  // drop does not count.
  const held = state.context.state !== 'running' ? ' The browser holds the sound until you click or press a key on the page.' : '';
  showNote(failure ? `Track ${number} ${failure}: it is silent.` : ((state.voiceNote ?? '') + held).trim() || null);
}

const commands = {
  cmdPlay: () => { playTrack(state.curTrack); showStatus(); },
  cmdStop: () => state.player?.stop(),
  cmdNext: () => step(true, 1),
  cmdPrev: () => step(false, 1),
  cmdNext10: () => step(true, 10),
  cmdPrev10: () => step(false, 10),
};

async function step(forward, times) {
  if (state.count === 0) return;
  const generation = state.generation;
  const number = await state.core.request('step', { track: state.curTrack, forward, times });
  if (generation !== state.generation) return;
  state.curTrack = number;
  playTrack(state.curTrack);
  showStatus();
  refresh();
}

// Opens the set among `files` and plays its first track; a set the browser
// kept is opened at `recalledTrack`, without playing.
async function openSet(files, recalledTrack = 0) {
  const sorted = sortFiles(files);
  if (sorted.soundfont) await useSoundFont(sorted.soundfont);
  if (!sorted.score) {
    if (!sorted.soundfont) showMessage(`No score archive among ${files.map((f) => f.name).join(', ') || 'the files'}: drop amus.dat (with amus.mda and amus.txt beside it).`);
    return;
  }
  state.dropAt = performance.now();
  state.firstSoundMs = undefined;
  let score;
  let voices = null;
  let titles = null;
  try {
    score = await readBounded(sorted.score, maxArchiveBytes, 'a score archive');
    if (sorted.voices) voices = await readBounded(sorted.voices, maxArchiveBytes, 'a voice archive');
    if (sorted.titles) titles = await readBounded(sorted.titles, maxTitleListBytes, 'a title list');
  } catch (error) {
    showMessage(`${error.message}. The music set was not opened.`);
    return;
  }
  await audioReady;
  const opened = await state.core.request('openSet', { score, voices, titles }, [score, voices, titles].filter(Boolean).map((bytes) => bytes.buffer));
  // A file that is no archive leaves the set that plays as it was.
  if (opened.refused) {
    showMessage(`${sorted.score.name} ${opened.reason}. The music set was not opened.`);
    return;
  }
  state.player.stop();
  showMessage(null);
  state.generation = opened.generation;
  state.setFiles = { score: sorted.score, voices: opened.voicesHeld ? sorted.voices : null };
  state.player.useSet(state.setFiles);
  state.count = opened.count;
  document.body.classList.toggle('has-set', state.count > 0);
  state.titles = opened.titleLines;
  state.titleOf = titleIndex(state.titles);
  state.setName = sorted.score.name.replace(/\.[^.]*$/, '');
  state.voiceNote = !voices ? `No voice archive (${state.setName}.mda): the tracks play with the default voices.`
    : !opened.voicesHeld ? `${sorted.voices.name} holds no voice sets: the tracks play with the default voices.` : null;
  // Track 1 first: the list's lengths come while it starts.
  state.lengths = [];
  state.trackList.clear();
  state.curTrack = Math.min(Math.max(1, recalledTrack), state.count);
  if (!recalledTrack) playTrack(1);
  showStatus();
  refresh();
  state.keptTrack = state.curTrack;
  // Resolves to whether the browser keeps the set; the track's changes
  // follow it in order.
  state.keeping = (recalledTrack ? Promise.resolve()
    : rememberSet([sorted.score, sorted.voices, sorted.titles].filter(Boolean), state.curTrack))
    .then(() => { $('kept').hidden = false; return true; }, () => { $('kept').hidden = true; return false; });
}

// The track the listener is on, kept with the set.
function keepTrack() {
  if (!state.keeping || state.keptTrack === state.curTrack) return;
  const track = state.curTrack;
  state.keptTrack = track;
  state.keeping = state.keeping.then((kept) => kept && rememberTrack(track).then(() => true, () => true));
}

// A batch of lengths from the core, for the set open now.
function addLengths({ generation, from, list }) {
  if (generation !== state.generation) return;
  state.lengths.push(...state.trackList.append(from, list, state.titleOf));
  refresh();
}

async function useSoundFont(file) {
  try {
    const bytes = await readBounded(file, maxSoundFontBytes, 'a SoundFont');
    await audioReady;
    const soundfont = { name: file.name, bytes: bytes.buffer, own: true };
    const previous = state.soundfont;
    state.soundfont = soundfont;
    try {
      if (engineReads(state.context, soundfont.bytes)) await loadSoundFont(state.node, soundfont.bytes);
      else await openAudio();
    } catch (error) {
      state.soundfont = previous;
      throw error;
    }
    $('soundfont-name').textContent = file.name;
    await rememberSoundFont(file.name, bytes.buffer);
    showMessage(null);
  } catch (error) {
    showMessage(`${file.name} could not be used as a SoundFont: ${error.message}`);
  }
}

async function saveWav() {
  const number = state.curTrack;
  const button = $('save-wav');
  button.textContent = 'Cancel';
  try {
    const saved = await exportInWorker(number, state.setFiles, state.soundfont, {
      started: (exporter) => { state.exporter = exporter; },
      progress: (fraction) => { button.textContent = `Cancel (${Math.floor(fraction * 100)} %)`; },
    });
    if (saved.failure) showMessage(`Track ${number} ${saved.failure}: there is nothing to save.`);
    else if (saved.refusal) showMessage(`Track ${number} was not saved: it ${saved.refusal}.`);
    else {
      state.lastExport = { track: number, bytes: saved.blob.size, frames: saved.frames, blob: saved.blob };
      const link = document.createElement('a');
      link.href = URL.createObjectURL(saved.blob);
      link.download = `${state.setName}-${String(number).padStart(2, '0')}.wav`;
      link.click();
      setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    }
  } catch (error) {
    if (error.message === cancelled) showNote(`Saving track ${number} was cancelled.`);
    else showMessage(`Track ${number} could not be saved: ${error.message}`);
  } finally {
    state.exporter = null;
    button.textContent = 'Save as WAV';
    refresh();
  }
}

// Tooltips need a mouse to be seen; on a touch screen they only get in the way.
function dropTooltipsOnTouch() {
  if (!window.matchMedia('(pointer: coarse)').matches) return;
  for (const element of document.querySelectorAll('[title]')) element.removeAttribute('title');
}

function wireUp() {
  dropTooltipsOnTouch();
  for (const id of buttonIds) $(id).addEventListener('click', () => commands[id]());
  $('pick-files').addEventListener('change', (event) => openSet(Array.from(event.target.files)));
  $('pick-folder').addEventListener('change', (event) => openSet(Array.from(event.target.files)));
  $('pick-soundfont').addEventListener('change', (event) => event.target.files[0] && useSoundFont(event.target.files[0]));
  $('default-soundfont').addEventListener('click', async () => {
    await forgetSoundFont();
    state.soundfont = await storedSoundFont();
    if (engineReads(state.context, state.soundfont.bytes)) await loadSoundFont(state.node, state.soundfont.bytes);
    else await openAudio();
    $('soundfont-name').textContent = state.soundfont.name;
  });
  $('save-wav').addEventListener('click', () => (state.exporter ? state.exporter.close(cancelled) : saveWav()));
  $('forget-set').addEventListener('click', async () => {
    const keeping = state.keeping;
    state.keeping = null;
    await keeping;
    await forgetSet().catch(() => {});
    $('kept').hidden = true;
    showNote('The browser no longer keeps this set: it will not come back on your next visit.');
  });
  const bar = $('position');
  bar.addEventListener('input', () => { state.seeking = true; });
  bar.addEventListener('change', () => {
    state.seeking = false;
    state.player?.seek(Number(bar.value));
  });
  document.addEventListener('dragover', (event) => { event.preventDefault(); document.body.classList.add('dragging'); });
  document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
  document.addEventListener('drop', async (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    resumeAudio();
    openSet(await droppedFiles(event.dataTransfer));
  });
  document.addEventListener('pointerdown', resumeAudio);
  document.addEventListener('keydown', resumeAudio);
  document.addEventListener('keydown', (event) => {
    if (event.target instanceof HTMLInputElement && event.target.type !== 'range') return;
    const keys = { n: 'cmdNext', p: 'cmdPrev', N: 'cmdNext10', P: 'cmdPrev10' };
    if (keys[event.key]) commands[keys[event.key]]();
    else if (event.key === ' ') commands[state.player?.playing ? 'cmdStop' : 'cmdPlay']();
    else if ((event.key === 'ArrowLeft' || event.key === 'ArrowRight') && state.player?.playing) {
      state.player.seek(Math.max(0, state.player.positionMs() + (event.key === 'ArrowLeft' ? -5000 : 5000)));
    } else return;
    event.preventDefault();
  });
}

let audioReady;
// The core compiles and the SoundFont loads from the moment the page opens;
// files handed over meanwhile wait for them.
async function main() {
  state.core = new CoreClient();
  state.core.on('lengths', addLengths);
  audioReady = startAudio().catch((error) => showMessage(`Sound could not be started: ${error.message}`));
  state.trackList = new TrackList($('tracks'), (number) => {
    state.curTrack = number;
    playTrack(number);
    showStatus();
    refresh();
  });
  state.media = new MediaControls({
    play: commands.cmdPlay,
    stop: commands.cmdStop,
    previous: commands.cmdPrev,
    next: commands.cmdNext,
    seekTo: (ms) => state.player?.seek(Math.max(0, ms)),
    seekBy: (ms) => state.player?.playing && state.player.seek(Math.max(0, state.player.positionMs() + ms)),
  });
  setInterval(showMediaSession, 1000);
  wireUp();
  refresh();
  keepForOffline((takeOver) => {
    $('update').hidden = false;
    $('update-now').onclick = takeOver;
  });
  drawButtonPictures(buttonIds.map($), await state.core.request('pictures'));
  const recalled = await recalledSet();
  if (recalled && state.count === 0 && !state.dropAt) await openSet(recalled.files, recalled.track);
  await audioReady;
  document.body.dataset.ready = 'true';
  requestAnimationFrame(showPosition);
}

main();
