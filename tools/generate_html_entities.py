#!/usr/bin/env python3
"""Writes render/HtmlEntities.cpp: the named character references of HTML, each with the
numeric reference that XML reads as the same characters, sorted by name for a binary search.
The names and characters are taken from Python's own copy of the HTML table
(html.entities.html5); only the names written with their closing semicolon are kept.

Run from the repository root and commit the result; the build never runs this script.
    python3 tools/generate_html_entities.py
"""

import html.entities
import os
import sys

PER_LINE = 3


def main():
    names = sorted(name[:-1] for name in html.entities.html5 if name.endswith(";"))
    entries = []
    for name in names:
        reference = "".join("&#%d;" % ord(c) for c in html.entities.html5[name + ";"])
        entries.append('{"%s", "%s"}' % (name, reference))
    lines = []
    for start in range(0, len(entries), PER_LINE):
        lines.append("    " + ", ".join(entries[start:start + PER_LINE]) + ",")
    path = os.path.join("render", "HtmlEntities.cpp")
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write("// Written by tools/generate_html_entities.py from Python's copy of the HTML table of\n")
        out.write("// named character references; do not edit.\n")
        out.write('#include "render/HtmlEntities.h"\n\n')
        out.write("#include <algorithm>\n#include <iterator>\n\n")
        out.write("namespace {\n\n")
        out.write("struct HtmlEntity\n{\n    std::string_view name;\n    std::string_view reference;\n};\n\n")
        out.write("// clang-format off\n")
        out.write("constexpr HtmlEntity kEntities[] = {\n")
        out.write("\n".join(lines) + "\n};\n")
        out.write("// clang-format on\n\n")
        out.write("} // namespace\n\n")
        out.write("std::string_view HtmlEntityReference(std::string_view name)\n{\n")
        out.write("    const auto found = std::lower_bound(\n")
        out.write("        std::begin(kEntities), std::end(kEntities), name,\n")
        out.write("        [](const HtmlEntity& entity, std::string_view key) { return entity.name < key; });\n")
        out.write("    if (found == std::end(kEntities) || found->name != name)\n")
        out.write("        return std::string_view();\n")
        out.write("    return found->reference;\n}\n")
    print("%s: %d names" % (path, len(entries)), file=sys.stderr)


if __name__ == "__main__":
    main()
