// Content decoding: the first byte of the input picks a Content-Encoding value, the rest is
// the body as it came. Whatever the body, a decoded one stays within its bound and the bytes
// taken for it are what the budget lost. The rest of the input, compressed here in each form a
// server may send, must decode to itself when it is within the bound.
#include "http/ByteBudget.h"
#include "http/ContentDecoding.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t kMaxBytes = 1024 * 1024;
constexpr std::size_t kBudgetBytes = 2 * kMaxBytes;

const char* const kEncodings[] = {"gzip", "deflate", "x-gzip", " GZip ", "identity", "br", ""};

void Fail(const char* what, const std::string& encoding)
{
    std::fprintf(stderr, "%s (%s)\n", what, encoding.c_str());
    std::abort();
}

// Decodes `body` as `encoding` says against a fresh budget: whether it decoded.
bool Decoded(const std::string& encoding, std::string& body)
{
    CByteBudget budget(kBudgetBytes);
    std::size_t taken = 0;
    try {
        CContentDecoding::Decode(encoding, body, kMaxBytes, &budget, taken);
    } catch (const CContentDecoding::exception&) {
        budget.Give(taken);
        return false;
    }
    if (body.size() > kMaxBytes)
        Fail("the decoded body passed its bound", encoding);
    if (budget.Left() + taken != kBudgetBytes)
        Fail("the bytes taken are not what the budget lost", encoding);
    return true;
}

// `text` compressed with zlib: a zlib stream, raw deflate data or a gzip member, as
// `windowBits` says.
std::string Compressed(const std::string& text, int windowBits)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        std::abort();
    std::string coded(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&coded[0]);
    stream.avail_out = static_cast<uInt>(coded.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        std::abort();
    coded.resize(stream.total_out);
    deflateEnd(&stream);
    return coded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string encoding = kEncodings[data[0] % (sizeof kEncodings / sizeof *kEncodings)];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string body = text;
    Decoded(encoding, body);

    const struct
    {
        const char* encoding;
        int windowBits;
    } forms[] = {{"deflate", 15}, {"deflate", -15}, {"gzip", 15 + 16}};
    if (text.size() > kMaxBytes)
        return 0;
    for (const auto& form : forms) {
        std::string coded = Compressed(text, form.windowBits);
        if (!Decoded(form.encoding, coded) || coded != text)
            Fail("a compressed text did not decode to itself", form.encoding);
    }
    return 0;
}
