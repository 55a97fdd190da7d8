// Header encoding: whatever the value, the result stays on its header line, and a value that
// needed encoding comes back as one whole encoded word.
#include "render/HeaderEncoding.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string value(reinterpret_cast<const char*>(data), size);
    const std::string encoded = EncodeHeaderText(value);
    const bool oneLine = encoded.find_first_of("\r\n") == std::string::npos;
    const bool whole = encoded == value || (encoded.compare(0, 10, "=?utf-8?Q?") == 0 &&
                                            encoded.compare(encoded.size() - 2, 2, "?=") == 0);
    if (!oneLine || !whole) {
        std::fprintf(stderr, "header text encoded as \"%s\"\n", encoded.c_str());
        std::abort();
    }
    return 0;
}
