#include "Cp932.h"

#include <iconv.h>

std::string ToCp932(std::string_view utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    std::string input(utf8);
    std::string output(input.size() * 2 + 16, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    output.resize(output.size() - outLeft);
    return output;
}
