#pragma once

#include <string_view>

// How the platform's own profile functions treat an ini file; the settings file follows them there.
struct ProfileConventions {
    // A value enclosed in one pair of the same quote character (' or ") reads without them.
    bool valueQuotesRemoved = false;
    // Line end of the lines of a file that has none yet ("\n" or "\r\n"); a file keeps the one it has.
    std::string_view newFileLineEnd = "\n";
};
