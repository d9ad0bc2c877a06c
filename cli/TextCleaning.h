// Texts taken from capture files (descriptions, header strings, source names) are whatever
// bytes the file holds. Before they reach another program's file or a terminal they are made
// safe here, the same way in every program.
#pragma once

#include <string>

namespace cli {

// The text as valid UTF-8: each byte sequence that is not UTF-8 becomes U+FFFD, exactly as
// trcinfo -json replaces it, so that a name reads the same in the JSON and in a pcapng file.
std::string validUtf8(const std::string& text);

// The text as a terminal may show it: control characters (C0, DEL and the C1 range), which
// could move the cursor or start an escape sequence, and bytes that are not UTF-8 appear as
// \xNN, and a backslash as \\, so that an escape cannot be mistaken for the bytes it stands
// for. Printable text, UTF-8 included, is kept; so are line ends and tabs when keepLayout is
// set, for texts of several lines.
std::string visibleText(const std::string& text, bool keepLayout);

}  // namespace cli
