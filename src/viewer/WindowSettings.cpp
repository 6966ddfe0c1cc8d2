// WindowSettings, the main window's remembered view size and place.
#include "WindowSettings.h"

namespace viewer {

WindowSettings WindowSettings::load(const platform::SettingsStore& store, int sizeCount)
{
    WindowSettings settings;
    bool ok = false;
    const int index = store.get("size", "index", QString::number(kDefaultSizeIndex)).toInt(&ok);
    if (ok && index >= 0 && index < sizeCount)
        settings.sizeIndex = static_cast<std::int16_t>(index);
    settings.left = store.get("position", "left", "0").toFloat();
    settings.top = store.get("position", "top", "0").toFloat();
    return settings;
}

bool WindowSettings::save(platform::SettingsStore& store) const
{
    bool written = store.save("position", "left", QString::number(left));
    written &= store.save("position", "top", QString::number(top));
    written &= store.save("size", "index", QString::number(sizeIndex));
    return written;
}

} // namespace viewer
