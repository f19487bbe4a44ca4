// The track on the lock screen, in the system's media notification and on
// media keys (the Media Session API): title, game, the program's icon, the
// position, and the player's commands as the session's actions. A looping
// track's position counts again from the loop's start each time round, as
// the page's bar does, so it is given again about once a second.

const artwork = [
  { src: 'icon-192.png', sizes: '192x192', type: 'image/png' },
  { src: 'icon-512.png', sizes: '512x512', type: 'image/png' },
];
const seekStepMs = 10000;

export class MediaControls {
  // `actions`: {play, stop, previous, next, seekTo(ms), seekBy(ms)}.
  constructor(actions) {
    this.session = typeof navigator !== 'undefined' ? navigator.mediaSession ?? null : null;
    this.shown = '';
    if (!this.session) return;
    const handlers = {
      play: actions.play,
      pause: actions.stop,
      stop: actions.stop,
      previoustrack: actions.previous,
      nexttrack: actions.next,
      seekto: (details) => actions.seekTo(details.seekTime * 1000),
      seekbackward: (details) => actions.seekBy(-(details.seekOffset ? details.seekOffset * 1000 : seekStepMs)),
      seekforward: (details) => actions.seekBy(details.seekOffset ? details.seekOffset * 1000 : seekStepMs),
    };
    for (const [action, handler] of Object.entries(handlers)) {
      try {
        this.session.setActionHandler(action, handler);
      } catch {
        // A browser without this action.
      }
    }
  }

  // `title`, `album`: what to show; `positionMs`, `durationMs`: where the
  // track is (a duration of 0 when not known yet).
  show({ title, album, playing, positionMs, durationMs }) {
    const session = this.session;
    if (!session) return;
    const shown = `${title}\n${album}`;
    if (shown !== this.shown && typeof MediaMetadata !== 'undefined') {
      session.metadata = new MediaMetadata({ title, artist: 'TAMBELO', album, artwork });
      this.shown = shown;
    }
    session.playbackState = playing ? 'playing' : 'paused';
    if (playing && durationMs > 0 && Number.isFinite(durationMs)) {
      session.setPositionState({ duration: durationMs / 1000, playbackRate: 1, position: Math.min(positionMs, durationMs) / 1000 });
    }
  }
}
