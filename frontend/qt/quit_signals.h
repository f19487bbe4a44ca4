#pragma once

// Closing the window the orderly way when the program is told to quit by a
// signal (SIGINT from Ctrl-C in a terminal, SIGTERM, SIGHUP when the terminal
// goes away), so that Form_Unload releases the library and the device is
// silenced instead of notes being left hanging.

class QWidget;

namespace tambelo::frontend {

// From now on SIGINT, SIGTERM and SIGHUP close `window` from the event loop.
// Call once, from the user-interface thread.
void close_on_quit_signals(QWidget& window);

}  // namespace tambelo::frontend
