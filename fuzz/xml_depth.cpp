// The depth check against the parser itself: whenever the check finds a document shallow,
// the parser must not have gone deeper; and the check is exact, so where it finds a document
// deep, the parser goes deeper too. A small limit lets short inputs reach it.
#include "render/XmlText.h"
#include "support/XmlTreeDepth.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr int kLimit = 4;
    std::string document(reinterpret_cast<const char*>(data), size);
    const CXmlText xml(document);
    const bool shallow = xml.IsShallow(kLimit);
    TiXmlDocument parsed;
    parsed.Parse(xml.Text());
    const int depth = XmlTreeDepth(parsed);
    if (shallow != (depth <= kLimit)) {
        std::fprintf(stderr, "depth check says %s, the parser went %d deep\n",
                     shallow ? "shallow" : "deep", depth);
        std::abort();
    }
    return 0;
}
