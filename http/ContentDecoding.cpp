#include "http/ContentDecoding.h"

#include "common/ByteString.h"
#include "http/ByteBudget.h"

#include <zlib.h>

#include <algorithm>

namespace {

constexpr std::size_t kOutputChunkBytes = 64 * 1024;
// zlib's window bits: 15, plus 16 for a gzip wrapper, negated for raw deflate data.
constexpr int kWindowBits = 15;
constexpr int kGzipWrapper = 16;

std::string Normalised(const std::string& encoding)
{
    std::string name = ToLowerASCII(encoding);
    TrimLeft(name);
    TrimRight(name);
    return name;
}

// One zlib inflate stream over a whole input; ends the stream on every path.
class CInflater
{
public:
    explicit CInflater(int windowBits)
    {
        m_stream.zalloc = Z_NULL;
        m_stream.zfree = Z_NULL;
        m_stream.opaque = Z_NULL;
        m_stream.next_in = Z_NULL;
        m_stream.avail_in = 0;
        m_ready = inflateInit2(&m_stream, windowBits) == Z_OK;
    }
    ~CInflater()
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    CInflater(const CInflater&) = delete;
    CInflater& operator=(const CInflater&) = delete;

    // Inflates `input` into `output`; false when the data is damaged or truncated. Gzip
    // members that follow one another are all read.
    bool Inflate(const std::string& input, std::string& output, std::size_t maxBytes,
                 CByteBudget* budget, std::size_t& taken)
    {
        if (!m_ready)
            throw CContentDecoding::exception("cannot decode the response");
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        m_stream.avail_in = static_cast<uInt>(input.size());
        for (;;) {
            // One byte of room past the bound tells a body of exactly `maxBytes` from a longer one.
            const std::size_t used = output.size();
            const std::size_t room = std::min(kOutputChunkBytes, maxBytes - used + 1);
            if (const char* refusal = GrowWithinBudget(output, used + room, kOutputChunkBytes,
                                                       maxBytes + 1, budget, taken))
                throw CContentDecoding::exception(refusal);
            output.resize(used + room);
            m_stream.next_out = reinterpret_cast<Bytef*>(&output[used]);
            m_stream.avail_out = static_cast<uInt>(room);
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            const std::size_t produced = room - m_stream.avail_out;
            output.resize(used + produced);
            if (output.size() > maxBytes)
                throw CContentDecoding::exception("response too large");
            if (result == Z_STREAM_END) {
                if (!StartsAnotherMember())
                    return true;
                if (inflateReset(&m_stream) != Z_OK)
                    return false;
                continue;
            }
            if (result != Z_OK && !(result == Z_BUF_ERROR && produced > 0))
                return false;
            if (m_stream.avail_in == 0 && m_stream.avail_out != 0)
                return false; // the data ends inside the stream
        }
    }

private:
    bool StartsAnotherMember() const
    {
        return m_stream.avail_in >= 2 && m_stream.next_in[0] == 0x1F && m_stream.next_in[1] == 0x8B;
    }

    z_stream m_stream{};
    bool m_ready = false;
};

} // namespace

bool CContentDecoding::IsCompressed(const std::string& encoding)
{
    const std::string name = Normalised(encoding);
    return name == "gzip" || name == "x-gzip" || name == "deflate";
}

void CContentDecoding::Decode(const std::string& encoding, std::string& body, std::size_t maxBytes,
                              CByteBudget* budget, std::size_t& taken)
{
    const std::string name = Normalised(encoding);
    if (name.empty() || name == "identity")
        return;
    if (!IsCompressed(name))
        throw exception("unknown content encoding");
    std::string decoded;
    bool good = false;
    if (name == "deflate") {
        // Servers send "deflate" both as a zlib stream, as it is meant, and as raw deflate data.
        const std::size_t before = taken;
        good = CInflater(kWindowBits).Inflate(body, decoded, maxBytes, budget, taken);
        if (!good) {
            if (budget != nullptr)
                budget->Give(taken - before);
            taken = before;
            std::string().swap(decoded);
            good = CInflater(-kWindowBits).Inflate(body, decoded, maxBytes, budget, taken);
        }
    } else {
        good =
            CInflater(kWindowBits + kGzipWrapper).Inflate(body, decoded, maxBytes, budget, taken);
    }
    if (!good)
        throw exception("damaged compressed response");
    if (budget != nullptr) {
        const std::size_t coded = std::min(body.capacity(), taken);
        budget->Give(coded);
        taken -= coded;
    }
    body = std::move(decoded);
}
