#pragma once

#include <string>
#include <string_view>

// UTF-8 text as code page 932 bytes, converted by iconv, so that tests see what goes on the wire.
// Conversion stops at the first character code page 932 lacks; what was converted up to it is returned.
std::string ToCp932(std::string_view utf8);
