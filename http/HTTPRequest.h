#pragma once

#include "http/URL.h"

#include <string>

// The bytes of the requests a download sends: every GET request is written here, whoever
// sends it. Free functions without state; any thread.

// The validators of a copy of a document, exactly as its server sent them ("ETag" and
// "Last-Modified"), which make a request conditional; either may be empty.
// `url`, when not empty, is the URL whose answer they came with: a 304 from another URL
// confirms nothing.
struct RequestValidators
{
    std::string etag;
    std::string lastModified;
    std::string url;
};

// How the request line names the document: by its path and query, as an origin server is
// asked, or by the whole URL, as a proxy is asked for an http:// document.
enum class RequestTarget
{
    Origin,
    Absolute,
};

// A GET request for `url` on a connection of its own: the request line (HTTP/1.1, no
// fragment), Host (with the port when it is not the scheme's), User-Agent, Accept,
// Accept-Encoding and "Connection: close", then the conditional headers of `validators` (a
// value that could end its line early is left out), then `authorization` and
// `proxyAuthorization` (the values of Authorization and Proxy-Authorization) when they are
// not empty, and the empty line.
std::string FormatRequest(const HTTPURL& url, RequestTarget target,
                          const RequestValidators& validators, const std::string& authorization,
                          const std::string& proxyAuthorization = std::string());

// The value of an Authorization header that gives `user` and `password` the Basic way.
std::string BasicAuthorization(const std::string& user, const std::string& password);
