// The settings file parser on whatever an editor or a fault may leave: it
// never fails unsafely, and what it reads is written back and read again
// unchanged, so a save never alters the settings it did not touch.
#include "FuzzSupport.h"

#include "platform/SettingsStore.h"

namespace platform {
struct SettingsStoreProbe {
    static auto parse(const QByteArray& bytes) { return SettingsStore::parse(bytes); }
    static auto format(const SettingsStore::Content& content) { return SettingsStore::format(content); }
    static bool same(const SettingsStore::Content& a, const SettingsStore::Content& b)
    {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].name != b[i].name || a[i].pairs != b[i].pairs)
                return false;
        return true;
    }
};
} // namespace platform

using platform::SettingsStoreProbe;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto content = SettingsStoreProbe::parse(fuzz::bytesOf(data, size));
    if (!content)
        return 0;
    const QByteArray written = SettingsStoreProbe::format(*content);
    const auto reread = SettingsStoreProbe::parse(written);
    fuzz::require(reread.has_value(), "what the store writes, it reads");
    fuzz::require(SettingsStoreProbe::same(*content, *reread), "settings survive being written and read again");
    fuzz::require(SettingsStoreProbe::format(*reread) == written, "writing the same settings gives the same file");
    return 0;
}
