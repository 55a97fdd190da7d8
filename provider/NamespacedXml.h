#pragma once

#include <tinyxml.h>

#include <string>

// Reading parsed elements as XML with namespaces, which the XML library does not know: names
// are matched by namespace and local name, the prefix of a name resolved through the xmlns
// attributes in scope. Also the text and the markup an element holds. Pure functions of the
// elements they are given, which they only read; any thread.

// The part of the qualified name `name` after its prefix.
const char* LocalName(const char* name);

// The namespace that the prefix of the qualified name `name` (none: the default namespace) is
// bound to at `element`, by the xmlns attributes of the element and of its ancestors; null
// when it is bound nowhere.
const char* NamespaceAt(const TiXmlElement& element, const char* name);

// Whether `element` is named `localName` in the namespace `space`.
bool IsNamed(const TiXmlElement& element, const char* space, const char* localName);

// The value of the attribute of `element` named `localName` in the namespace `space`; null
// when it has none.
const char* AttributeIn(const TiXmlElement& element, const char* space, const char* localName);

// The first child of `parent` named `localName` in the namespace `space`; null when none is.
const TiXmlElement* ChildIn(const TiXmlElement& parent, const char* space, const char* localName);

// The text of `element` and of all elements in it, trimmed; empty for null. The parser drops
// the blanks that adjoin an element, so one blank is put back between neighbouring nodes
// unless punctuation closes or opens the text there.
std::string TextOf(const TiXmlElement* element);

// The markup inside `element`, or inside its "div" child when it has one, as HTML: names
// without prefixes, no namespace declarations, an end tag for every element that HTML gives
// one, blanks put back as TextOf does.
std::string InnerMarkup(const TiXmlElement& element);

// The markup inside `element` as InnerMarkup writes it, whatever children it has.
std::string MarkupOf(const TiXmlElement& element);
