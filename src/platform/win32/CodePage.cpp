#include "CodePage.h"

#include <climits>
#include <windows.h>

namespace win32 {
namespace {

constexpr wchar_t kReplacement = L'?';

// The code page the "A" functions use when codePage is CP_ACP.
unsigned Resolve(unsigned codePage) {
    return codePage == CP_ACP ? GetACP() : codePage;
}

bool FitsInt(std::size_t size) {
    return size <= static_cast<std::size_t>(INT_MAX) / 4;
}

// UTF-16 form of text in codePage; nullopt when the text is too long or, with flags
// MB_ERR_INVALID_CHARS, holds a sequence without a meaning.
std::optional<std::wstring> ToWide(std::string_view text, unsigned codePage, DWORD flags) {
    if (text.empty()) {
        return std::wstring();
    }
    if (!FitsInt(text.size())) {
        return std::nullopt;
    }
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (wideLength <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), wideLength) != wideLength) {
        return std::nullopt;
    }
    return wide;
}

// Bytes of UTF-16 text in codePage; usedDefault (when given) tells whether a character had no mapping.
std::optional<std::string> FromWide(std::wstring_view wide, unsigned codePage, DWORD flags, bool* usedDefault) {
    if (wide.empty()) {
        return std::string();
    }
    if (!FitsInt(wide.size())) {
        return std::nullopt;
    }
    // UTF-8 takes neither a default character nor the flag that reports its use.
    const bool toUtf8 = codePage == CP_UTF8;
    // A string, not a lone char: for a double-byte code page the default may take two bytes.
    static const char kDefault[] = "?";
    BOOL defaulted = FALSE;
    const LPCCH defaultArg = toUtf8 ? nullptr : kDefault;
    const LPBOOL defaultedArg = toUtf8 ? nullptr : &defaulted;
    const int length = static_cast<int>(wide.size());
    const int byteLength =
        WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, defaultArg, defaultedArg);
    if (byteLength <= 0) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(byteLength), '\0');
    if (WideCharToMultiByte(codePage, flags, wide.data(), length, bytes.data(), byteLength, defaultArg, defaultedArg) !=
        byteLength) {
        return std::nullopt;
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted != FALSE;
    }
    return bytes;
}

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A character outside the BMP has no mapping in a byte code page; it stands as one '?', not one per
// UTF-16 unit.
std::wstring CollapseSurrogatePairs(std::wstring wide) {
    std::wstring out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (IsHighSurrogate(wide[i]) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
            out.push_back(kReplacement);
            ++i;
        } else if (IsHighSurrogate(wide[i]) || IsLowSurrogate(wide[i])) {
            out.push_back(kReplacement);
        } else {
            out.push_back(wide[i]);
        }
    }
    return out;
}

} // namespace

std::string CodePageToUtf8(std::string_view text, unsigned codePage) {
    const auto wide = ToWide(text, Resolve(codePage), 0);
    if (!wide) {
        return {};
    }
    return FromWide(*wide, CP_UTF8, 0, nullptr).value_or(std::string());
}

bool IsValidInCodePage(std::string_view text, unsigned codePage) {
    return ToWide(text, Resolve(codePage), MB_ERR_INVALID_CHARS).has_value();
}

std::string Utf8ToCodePage(std::string_view utf8, unsigned codePage) {
    const unsigned target = Resolve(codePage);
    if (target == CP_UTF8) {
        const auto wide = ToWide(utf8, CP_UTF8, 0);
        return wide ? FromWide(*wide, CP_UTF8, 0, nullptr).value_or(std::string()) : std::string();
    }
    auto wide = ToWide(utf8, CP_UTF8, 0);
    if (!wide) {
        return {};
    }
    // U+FFFD stands for malformed input; it has no mapping and becomes '?' like any other. Best-fit
    // look-alikes ('e' for an accented e) are refused as well: a character maps exactly or is '?'.
    return FromWide(CollapseSurrogatePairs(std::move(*wide)), target, WC_NO_BEST_FIT_CHARS, nullptr)
        .value_or(std::string());
}

std::optional<std::string> Utf8ToCodePageExact(std::string_view utf8, unsigned codePage) {
    if (utf8.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const auto wide = ToWide(utf8, CP_UTF8, MB_ERR_INVALID_CHARS);
    if (!wide) {
        return std::nullopt;
    }
    const unsigned target = Resolve(codePage);
    if (target == CP_UTF8) {
        return std::string(utf8);
    }
    bool usedDefault = false;
    auto bytes = FromWide(*wide, target, WC_NO_BEST_FIT_CHARS, &usedDefault);
    if (!bytes || usedDefault) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace win32
