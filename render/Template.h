#pragma once

#include <string>

class TiXmlElement;

// The message template used when a feed names none: 20 lines, each ended by one LF.
extern const std::string BuiltInTemplate;

// Renders one feed item through a template into a complete mail message with CR LF line
// ends. The item's document must stay alive during the call, which only reads it. The uid is
// offered to the template as the variable UIDL. Never fails on any template or item content.
std::string ExpandTemplate(const std::string& templateText, const TiXmlElement& item,
                           const std::string& uid);
