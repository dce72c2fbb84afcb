// The show's picture size in pixels: the window, the viewport and the default recording.
#pragma once

constexpr int showWidth = 1280;
constexpr int showHeight = 720;
