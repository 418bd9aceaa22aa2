// Texts as the record of a run writes them: UTF-8, one line per event.
#pragma once

#include <string>

namespace record {

// A text of the system code page (names, captions, message texts) in UTF-8.
std::string Utf8(const char* text);

// A text in double quotes, in UTF-8, with quotes, backslashes and control
// characters escaped (\", \\, \xNN) so that it stays on its line.
std::string Quoted(const char* text);

// Bytes from the plotter in double quotes: printable ASCII as it is, every
// other byte as \xNN; at most limit bytes, then "...".
std::string QuotedBytes(const char* bytes, int count, int limit = 64);

}  // namespace record
