#pragma once

#include <string>
#include <string_view>

// Removes the double quotes around a folder value: a text that starts with '"' becomes what lies between
// that quote and the next one; without a closing quote, or without an opening one, the text is returned
// unchanged.
std::string StripQuotes(std::string_view text);
