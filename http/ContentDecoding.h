#pragma once

#include "common/TextException.h"

#include <cstddef>
#include <string>

class CByteBudget;

// Undoes the content coding of an HTTP response body ("Content-Encoding: gzip", "x-gzip" or
// "deflate", the last as a zlib stream or the raw deflate data some servers send) with zlib.
// Stateless apart from its arguments; safe on any thread.
class CContentDecoding
{
public:
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // Whether the coding named by a Content-Encoding value (any case, blanks around it) is one
    // Decode undoes; "identity" and an empty value need no decoding and are not.
    static bool IsCompressed(const std::string& encoding);

    // Replaces `body`, coded as `encoding` says, by the decoded bytes. Decoding stops as soon
    // as the decoded bytes would pass `maxBytes`, or pass what `budget` (when not null) can
    // cover: a small body that decodes to gigabytes costs no more than `maxBytes` of memory.
    // The memory the decoded bytes grow into is taken from the budget before it is used, and
    // `taken` counts it; once the body is decoded whole, the memory of the coded body (its
    // capacity, as the budget was charged for it) is given back, so that a response costs
    // what its decoded text holds. Throws CContentDecoding::exception for an unknown coding,
    // damaged or truncated data, and a body too large; `body` is then unspecified, and the
    // caller gives back `taken`.
    static void Decode(const std::string& encoding, std::string& body, std::size_t maxBytes,
                       CByteBudget* budget, std::size_t& taken);
};
