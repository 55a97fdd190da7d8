#pragma once

// Gives `text` (zero-terminated) to the host in the host's buffer of `size` characters.
// With a null buffer, a negative or zero size, or an empty text nothing is copied and the
// text's length is returned. Otherwise the first min(length, size) characters are copied
// and that count is returned. No terminating zero is ever written: the host goes by the
// count.
int CopyToHostBuffer(const char* text, char* buffer, int size);
