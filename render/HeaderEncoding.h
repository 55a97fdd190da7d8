#pragma once

#include <string>

// Makes the feed text in `text`, from `start` on, fit into one header line: a line break from
// the feed could end the header early or add header fields of the feed's choosing, so each
// CR or LF becomes a space; and the other controls that no header may carry and no reader
// wants to see (those below 0x20 but tab, and DEL: a NUL in a header line breaks mail
// clients) are removed.
void KeepOnHeaderLine(std::string& text, std::size_t start);

// Returns the header text for a free-text value, its controls but tab, CR and LF removed
// first. A value holding a space, a byte from 0x80
// up, "_", "?", "=", CR or LF, or longer than a header line may be, becomes encoded words
// "=?utf-8?Q?...?=" of at most 75 characters each, separated by single spaces (which
// readers drop, and at which a long header line can be folded); a word ends only between
// two UTF-8 characters, and carries only letters, digits and "!*+-/" as they are (so that
// it may stand in a display name). Any other value is returned byte for byte. Never fails;
// depends on its argument alone.
std::string EncodeHeaderText(const std::string& value);

// Returns a new MIME boundary value: 16 uppercase hexadecimal digits, the tick count and then
// one draw of rand(), each as 8 zero-padded digits. The generator is never seeded, and values
// made on different threads at the same moment may be equal. Safe from several threads.
std::string MakeBoundary();
