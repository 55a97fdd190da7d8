#pragma once

#include "feed/FeedDocument.h"

#include <string>

// ReadFeedDocument in one call, for the tests and fuzz targets that read a document alone;
// a login reads each document with its own memory and outcome instead.

// The messages of `document` as ReadFeedDocument gives them, read with a login's memory
// bounds of its own (drawing on the memory of all logins) and no outcome.
MessageList ParseFeed(std::string document, const std::string& templateText,
                      const std::string& finalUrl = std::string());
