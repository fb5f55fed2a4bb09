#include "Encoding.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <mutex>

#include <iconv.h>

namespace {

// glibc knows the Microsoft variant of Shift-JIS as "CP932" (the one with the NEC and IBM extensions).
constexpr const char* kCodePage932 = "CP932";
constexpr const char* kUtf8 = "UTF-8";

// One conversion direction with its iconv handle opened once and kept for the life of the process.
class Converter {
public:
    Converter(const char* to, const char* from) : m_handle(iconv_open(to, from)) {}
    ~Converter() {
        if (Available()) {
            iconv_close(m_handle);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Available() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    // Converts the whole input; skipLength tells how many input bytes an unconvertible sequence spans.
    template <typename SkipLength> std::string Convert(std::string_view input, SkipLength skipLength) {
        std::string output;
        output.reserve(input.size() * 2 + 16);
        const std::lock_guard<std::mutex> lock(m_mutex);
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(m_handle, &in, &inLeft, &out, &outLeft);
            const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
            output.append(buffer, static_cast<std::size_t>(out - buffer));
            if (error == 0 || error == E2BIG) {
                continue;
            }
            if (error == EINVAL) {
                output.push_back('?'); // a sequence cut short by the end of the text
                break;
            }
            // EILSEQ: an invalid or unmappable sequence becomes one '?'.
            const std::size_t skip =
                std::min(inLeft, std::max<std::size_t>(1, skipLength(std::string_view(in, inLeft))));
            output.push_back('?');
            in += skip;
            inLeft -= skip;
            iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        }
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(m_handle, nullptr, nullptr, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        return output;
    }

private:
    iconv_t m_handle;
    std::mutex m_mutex;
};

// Length of one code page 932 character at the start of the text: two for a lead byte, else one.
std::size_t CodePage932CharacterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    if (!isLead || text.size() < 2) {
        return 1;
    }
    const auto trail = static_cast<unsigned char>(text[1]);
    return (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC) ? 2 : 1;
}

// Fallback without iconv: ASCII passes, every other character becomes one '?'.
template <typename Length> std::string AsciiOnly(std::string_view input, Length length) {
    std::string output;
    output.reserve(input.size());
    while (!input.empty()) {
        const auto lead = static_cast<unsigned char>(input[0]);
        const std::size_t step = std::min(input.size(), std::max<std::size_t>(1, length(input)));
        output.push_back(lead < 0x80 ? static_cast<char>(lead) : '?');
        input.remove_prefix(step);
    }
    return output;
}

Converter& ToCodePage932Converter() {
    static Converter converter(kCodePage932, kUtf8);
    return converter;
}

Converter& FromCodePage932Converter() {
    static Converter converter(kUtf8, kCodePage932);
    return converter;
}

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t length = Utf8SequenceLength(bytes);
        if (length == 0) {
            return false;
        }
        bytes.remove_prefix(length);
    }
    return true;
}

std::string Utf8ToCodePage932(std::string_view utf8) {
    if (IsAscii(utf8)) {
        return std::string(utf8);
    }
    Converter& converter = ToCodePage932Converter();
    if (!converter.Available()) {
        return AsciiOnly(utf8, Utf8SequenceLength);
    }
    // An unmappable but well-formed character is skipped whole; a malformed byte alone.
    return converter.Convert(utf8, Utf8SequenceLength);
}

std::string LineToUtf8(std::string_view line) {
    return IsValidUtf8(line) ? std::string(line) : CodePage932ToUtf8(line);
}

std::string CodePage932ToUtf8(std::string_view cp932) {
    if (IsAscii(cp932)) {
        return std::string(cp932);
    }
    Converter& converter = FromCodePage932Converter();
    if (!converter.Available()) {
        return AsciiOnly(cp932, CodePage932CharacterLength);
    }
    return converter.Convert(cp932, CodePage932CharacterLength);
}
