#pragma once

#include "render/ChannelValues.h"

#include <cstddef>
#include <string>

class TiXmlElement;

// Returns `value`, a date and time in the ISO 8601 form feeds use ("2003-06-10T04:00:00Z",
// "2003-06-10T06:00:00.5+02:00", "2003-06-10"), in the form of mail dates:
// "Tue, 10 Jun 2003 04:00:00 +0000". A value without a zone gets "-0000" (zone unknown).
// Returns empty text for anything else, a date that does not exist included.
std::string MailDateFromISO8601(const std::string& value);

// Completes the first "Date" header line of `message`, whose header is the text before
// `bodyStart`: an empty value is replaced by the first date the feed gives of the item's
// "dc:date", and of its channel's "pubDate", "lastBuildDate" and "dc:date"; a value in ISO
// 8601 form is rewritten as a mail date. Any other value stays as it is, as does every other
// line. Adjusts `bodyStart` to the change in length. Reads `item` only; the channel's date is
// taken from `channelValues` once it holds one.
void CompleteDateHeader(std::string& message, std::size_t& bodyStart, const TiXmlElement& item,
                        CChannelValues& channelValues);
