// The depth check against the parser itself: whenever the check finds a document shallow,
// the parser must not have gone deeper; and the check is exact, so where it finds a document
// deep, the parser goes deeper too. A small limit lets short inputs reach it. The nodes it
// counts in a shallow document are exactly those of the parser's tree.
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
    XmlNodeCount counted;
    const XmlRefusal refusal = xml.Scan(kLimit, TIXML_ENCODING_UNKNOWN, &counted);
    // The scan stops at an element of too many attributes, without looking deeper.
    if (refusal == XmlRefusal::TooManyAttributes)
        return 0;
    const bool shallow = refusal == XmlRefusal::None;
    TiXmlDocument parsed;
    parsed.Parse(xml.Text());
    const int depth = XmlTreeDepth(parsed);
    if (shallow != (depth <= kLimit)) {
        std::fprintf(stderr, "depth check says %s, the parser went %d deep\n",
                     shallow ? "shallow" : "deep", depth);
        std::abort();
    }
    const XmlNodeCount tree = XmlTreeNodes(parsed);
    if (shallow && (counted.elements != tree.elements || counted.attributes != tree.attributes ||
                    counted.texts != tree.texts || counted.others != tree.others)) {
        std::fprintf(stderr, "counted %zu/%zu/%zu/%zu nodes, the parser made %zu/%zu/%zu/%zu\n",
                     counted.elements, counted.attributes, counted.texts, counted.others,
                     tree.elements, tree.attributes, tree.texts, tree.others);
        std::abort();
    }
    return 0;
}
