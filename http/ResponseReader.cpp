#include "http/ResponseReader.h"

#include "common/ByteString.h"
#include "http/ByteBudget.h"
#include "http/CancelSignal.h"
#include "http/ChunkedBody.h"
#include "http/ContentDecoding.h"
#include "http/HTTPResponse.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::size_t kReceiveBufferBytes = 16384;

} // namespace

CResponseReader::CResponseReader(IResponseSource& source, CCancelSignal* cancel,
                                 CByteBudget* budget)
    : m_source(source), m_cancel(cancel), m_budget(budget)
{}

void CResponseReader::Read(ReceivedResponse& response)
{
    response = ReceivedResponse();
    // A response that fails gives its bytes back to the budget.
    std::size_t taken = 0;
    try {
        Receive(response, taken);
        DecodeBody(response, taken);
    } catch (...) {
        if (m_budget != nullptr)
            m_budget->Give(taken);
        throw;
    }
}

void CResponseReader::Receive(ReceivedResponse& received, std::size_t& taken)
{
    std::string response;
    const std::size_t headerEnd = ReceiveHeaders(response, taken);
    if (headerEnd == std::string::npos) {
        // The connection ended inside the header block: all of it is headers.
        received.headers = std::move(response);
    } else {
        // The body stays where it is, in the one buffer the response was read into.
        received.headers = response.substr(0, headerEnd);
        response.erase(0, headerEnd);
        received.body = std::move(response);
    }
    if (StatusCode(received.headers).empty())
        throw exception(received.headers.empty() ? "no answer" : "not an HTTP answer");
    if (headerEnd != std::string::npos)
        ReceiveBody(received.headers, received.body, taken);
}

std::size_t CResponseReader::ReceiveHeaders(std::string& response, std::size_t& taken)
{
    // The header block ends with the first empty line. The first `scanned` bytes hold no such
    // end, and `lines` line ends. The block of an interim response is dropped, but counts
    // against the bounds all the same.
    std::size_t scanned = 0;
    std::size_t lines = 0;
    std::size_t interimBytes = 0;
    const auto throwIfTooLarge = [&](std::size_t blockBytes) {
        if (interimBytes + blockBytes > kMaxHeaderBytes || lines > kMaxHeaderLines + 1)
            throw exception("headers too large");
    };
    for (;;) {
        for (std::size_t lineEnd; (lineEnd = response.find('\n', scanned)) != std::string::npos;) {
            const std::size_t next = lineEnd + 1;
            // Whether the next line is empty takes its first byte, and the second after a CR.
            if (next >= response.size() || (response[next] == '\r' && next + 1 >= response.size()))
                break;
            ++lines;
            scanned = next;
            std::size_t blockEnd = std::string::npos;
            if (response[next] == '\n')
                blockEnd = next + 1;
            else if (response[next] == '\r' && response[next + 1] == '\n')
                blockEnd = next + 2;
            if (blockEnd == std::string::npos)
                continue;
            throwIfTooLarge(blockEnd);
            const std::string status = StatusCode(response.substr(0, blockEnd));
            if (status.empty() || status[0] != '1' || status == "101")
                return blockEnd;
            interimBytes += blockEnd;
            response.erase(0, blockEnd);
            scanned = 0;
        }
        // What came holds no end of the block: all of it is the block's.
        throwIfTooLarge(response.size());
        if (!ReceiveMore(response, kMaxResponseBytes, taken))
            return std::string::npos;
    }
}

void CResponseReader::ReceiveBody(const std::string& headers, std::string& body, std::size_t& taken)
{
    // The body of a redirection is of no use, and these answers have none: nothing more is
    // read than came with the header block.
    const std::string status = StatusCode(headers);
    if (IsRedirection(status) || status == "204" || status == "304")
        return;
    const std::size_t limit = kMaxResponseBytes - headers.size();
    const std::string coding = ToLowerASCII(GetHeader(headers, "transfer-encoding"));
    if (coding.size() >= 7 && coding.compare(coding.size() - 7, 7, "chunked") == 0) {
        CChunkedBody chunks;
        try {
            for (chunks.Decode(body); !chunks.IsComplete(); chunks.Decode(body)) {
                if (!ReceiveMore(body, limit, taken))
                    throw exception("answer cut off");
            }
        } catch (const CChunkedBody::exception& error) {
            throw exception(error.what());
        }
        return;
    }
    const std::string lengthText = GetHeader(headers, "content-length");
    std::uint64_t length = 0;
    bool hasLength = !lengthText.empty() && lengthText.size() <= 19;
    for (char digit : lengthText) {
        hasLength = hasLength && digit >= '0' && digit <= '9';
        length = length * 10 + static_cast<unsigned char>(digit - '0');
    }
    if (!hasLength) {
        while (ReceiveMore(body, limit, taken)) {
        }
        return;
    }
    if (length > limit)
        throw exception("response too large");
    // Room for the whole body at once, where doubling would overshoot it by up to its size.
    if (const char* refusal =
            GrowWithinBudget(body, static_cast<std::size_t>(length), kReceiveBufferBytes,
                             static_cast<std::size_t>(length), m_budget, taken))
        throw exception(refusal);
    // Nothing past the length is read: the server may keep the connection open.
    while (body.size() < length) {
        if (!ReceiveMore(body, static_cast<std::size_t>(length), taken))
            throw exception("answer cut off");
    }
    body.resize(static_cast<std::size_t>(length));
}

bool CResponseReader::ReceiveMore(std::string& text, std::size_t limit, std::size_t& taken)
{
    const std::size_t used = text.size();
    if (used >= limit) {
        // A text of exactly its bound is whole only if nothing follows.
        char extra = 0;
        if (m_source.Receive(&extra, 1) > 0)
            throw exception("response too large");
        ThrowIfCancelled();
        return false;
    }
    // Received straight into the text's own buffer, which grows once it is full.
    if (const char* refusal = GrowWithinBudget(text, used + 1, kReceiveBufferBytes,
                                               kMaxResponseBytes, m_budget, taken))
        throw exception(refusal);
    const std::size_t room = std::min({text.capacity() - used, kReceiveBufferBytes, limit - used});
    text.resize(used + room);
    const long count = m_source.Receive(&text[used], room);
    // A failed receive ends the response like a close: it is what arrived before.
    text.resize(used + static_cast<std::size_t>(std::max(count, 0L)));
    if (count > 0)
        return true;
    // A cancelled download is cut short, not complete.
    ThrowIfCancelled();
    return false;
}

void CResponseReader::DecodeBody(ReceivedResponse& response, std::size_t& taken)
{
    const std::string encoding = GetHeader(response.headers, "content-encoding");
    const std::string status = StatusCode(response.headers);
    if (!CContentDecoding::IsCompressed(encoding) || status.empty() || status[0] != '2')
        return;
    response.encodedBytes = response.body.size();
    CContentDecoding::Decode(encoding, response.body, kMaxResponseBytes - response.headers.size(),
                             m_budget, taken);
}

void CResponseReader::ThrowIfCancelled() const
{
    if (m_cancel != nullptr && m_cancel->IsCancelled())
        throw exception("download cancelled");
}
