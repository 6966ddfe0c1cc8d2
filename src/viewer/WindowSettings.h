#pragma once

// What the main window remembers between runs: the view size it had and
// where it stood. Each setting is declared here once, with its default.

#include "platform/SettingsStore.h"

#include <cstdint>

namespace viewer {

struct WindowSettings {
    // The view size menu's item (0..5, 320x240 by default).
    static constexpr std::int16_t kDefaultSizeIndex = 2;
    std::int16_t sizeIndex = kDefaultSizeIndex;
    // The window's top-left corner, in twips from the desktop's.
    float left = 0;
    float top = 0;

    // Reads the settings; a size index that is not a number from 0 to
    // sizeCount - 1 (only those are ever written) reads as the default.
    static WindowSettings load(const platform::SettingsStore& store, int sizeCount);
    // Writes all three; false when a change could not be written yet.
    bool save(platform::SettingsStore& store) const;
};

} // namespace viewer
