// A downloaded document through everything a login does with it: conversion to UTF-8, the
// depth check, the parse, the view of Atom and RDF feeds as RSS and the rendering of every
// item through the built-in template, with relative links resolved against a feed URL.
#include "feed/FeedDocumentInternal.h"
#include "render/Charset.h"
#include "render/Template.h"

#include <cstdint>
#include <string>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string document(reinterpret_cast<const char*>(data), size);
    ConvertToUtf8(document);
    ParseFeed(std::move(document), kBuiltInTemplate, "http://example.org/feeds/feed.xml");
    return 0;
}
