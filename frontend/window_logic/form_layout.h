#pragma once

// The main window's fixed layout, shared by every view: the client area
// and its controls in pixels at 96 dpi.
namespace tambelo::form_layout {

constexpr int client_width = 258;
constexpr int client_height = 58;
// Six picture buttons in a row.
constexpr int button_left = 8;
constexpr int button_pitch = 40;
constexpr int button_top = 8;
constexpr int button_width = 41;
constexpr int button_height = 25;
// The status line below them.
constexpr int status_top = 40;
constexpr int status_width = 257;
constexpr int status_height = 17;

}  // namespace tambelo::form_layout
