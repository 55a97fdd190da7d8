#pragma once

#include <tinyxml.h>

#include <string>
#include <string_view>
#include <unordered_map>

// Reading parsed elements as XML with namespaces, which the XML library does not know: names
// are matched by namespace and local name, the prefix of a name resolved through the xmlns
// attributes in scope (CNamespaceScope). Also the text and the markup an element holds. Pure
// functions of the elements they are given, which they only read; any thread.

// The part of the qualified name `name` after its prefix.
const char* LocalName(const char* name);

// The namespaces bound at one element: its own xmlns declarations over those of its parent's
// scope, each read once, so that resolving the names of many children costs each child only
// its own declarations, however many the ancestors make. Holds pointers into the tree, which
// must outlive it with the attributes of the element and its ancestors unchanged (children
// may come and go). One thread.
class CNamespaceScope
{
public:
    // The scope of `element`, whose parent's scope is `outer`; with `outer` null, the
    // declarations of all its ancestors are read here.
    explicit CNamespaceScope(const TiXmlElement& element, const CNamespaceScope* outer = nullptr);
    CNamespaceScope(const CNamespaceScope&) = delete;
    CNamespaceScope& operator=(const CNamespaceScope&) = delete;

    const TiXmlElement& Element() const { return m_element; }
    // The namespace that the prefix of the qualified name `name` (none: the default
    // namespace) is bound to at the element; null when it is bound nowhere.
    const char* NamespaceOf(const char* name) const;
    // The namespace of the name of `child`, a child element of the element; its own
    // declarations count first.
    const char* NamespaceOfChild(const TiXmlElement& child) const;
    // Whether `child`, a child element of the element, is named `localName` in the namespace
    // `space`.
    bool IsChildNamed(const TiXmlElement& child, const char* space, const char* localName) const;
    // The first child of the element named `localName` in the namespace `space`; null when
    // none is.
    const TiXmlElement* ChildIn(const char* space, const char* localName) const;
    // The value of the attribute of the element named `localName` in the namespace `space`;
    // null when it has none.
    const char* AttributeIn(const char* space, const char* localName) const;

private:
    // Whether `attribute` declares a namespace, and for which prefix (empty: the default).
    static bool DeclaredPrefix(const TiXmlAttribute& attribute, std::string_view& prefix);
    // The prefix of a qualified name; empty when it has none.
    static std::string_view PrefixOf(const char* name);

    const TiXmlElement& m_element;
    const CNamespaceScope* const m_outer;
    // Prefix to namespace, as declared here (also by the ancestors, without `m_outer`); the
    // texts are the attributes' own.
    std::unordered_map<std::string_view, const char*> m_bound;
};

// Whether `element` is named `localName` in the namespace `space`.
bool IsNamed(const TiXmlElement& element, const char* space, const char* localName);

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
