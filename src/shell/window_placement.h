#pragma once

namespace pvx::shell {

/// Twips per screen pixel: the unit the configuration file stores window
/// positions and sizes in.
inline constexpr int kTwipsPerPixel = 15;

/// Window states as the configuration file stores them.
enum WindowStateValue : int {
    kStateNormal = 0,
    kStateMinimized = 1,
    kStateMaximized = 2,
};

/// The main window's position and size in twips, and its state.
struct WindowPlacement {
    int left = 1000;
    int top = 1000;
    int width = 7000;
    int height = 7000;
    int state = kStateNormal;

    bool operator==(const WindowPlacement &) const = default;
};

/// Pixels to twips and back; twips round to the nearest pixel. Screen
/// coordinates are far too small for the product to overflow.
constexpr int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}
constexpr int twipsToPixels(int twips)
{
    const long long value = twips;
    const long long half = kTwipsPerPixel / 2;
    return static_cast<int>(value >= 0 ? (value + half) / kTwipsPerPixel : -((half - value) / kTwipsPerPixel));
}

} // namespace pvx::shell
