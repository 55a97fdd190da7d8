#pragma once

#include "render/XmlText.h"

#include <tinyxml.h>

#include <algorithm>
#include <utility>
#include <vector>

// The most elements on one path down from `root`: how deep the parser recursed to build the
// tree, since it links every element it began, also after a failure. Counted without
// recursion, so that a tree deeper than a thread's stack can be measured too.
inline int XmlTreeDepth(const TiXmlNode& root)
{
    int deepest = 0;
    std::vector<std::pair<const TiXmlNode*, int>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [node, above] = pending.back();
        pending.pop_back();
        const int depth = above + (node->ToElement() != nullptr ? 1 : 0);
        deepest = std::max(deepest, depth);
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling())
            pending.emplace_back(child, depth);
    }
    return deepest;
}

// The nodes below `root`, told apart as RepairXml counts what the parser makes. Counted
// without recursion, as XmlTreeDepth.
inline XmlNodeCount XmlTreeNodes(const TiXmlNode& root)
{
    XmlNodeCount count;
    std::vector<const TiXmlNode*> pending{&root};
    while (!pending.empty()) {
        const TiXmlNode* node = pending.back();
        pending.pop_back();
        for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
            if (const TiXmlElement* element = child->ToElement()) {
                ++count.elements;
                for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
                    ++count.attributes;
            } else {
                ++(child->ToText() != nullptr ? count.texts : count.others);
            }
            pending.push_back(child);
        }
    }
    return count;
}
