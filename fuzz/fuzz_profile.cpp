// The ini reader and writer, the integer read and the quote stripping on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Latin1Lines.h"
#include "core/settings/IniProfile.h"
#include "core/settings/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    ParseProfileInt(text);
    const std::string stripped = StripQuotes(text);
    if (stripped.size() > text.size()) {
        __builtin_trap();
    }

    // Lines of any encoding, decoded one by one as the settings load does.
    IniProfile profile(text, Latin1UnlessUtf8);
    const int before = profile.GetProfileInt("Setting", "Port", 8085);
    profile.WriteProfileString("Setting", "Path", "\"/srv/share/\"");
    profile.WriteProfileInt("Setting", "Nokori", -5);
    // What we wrote reads back, whatever the file held before; a second parse of our own text agrees.
    IniProfile reread(profile.Text(), Latin1UnlessUtf8);
    if (reread.GetProfileString("Setting", "Path") != "\"/srv/share/\"" ||
        reread.GetProfileInt("Setting", "Nokori", 0) != -5 || reread.GetProfileInt("Setting", "Port", 8085) != before) {
        __builtin_trap();
    }
    return 0;
}
