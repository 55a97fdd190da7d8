#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// One line of the corpus manifest: a feed document and what is known about it.
struct CorpusDocument
{
    std::string file; // relative to the corpus folder
    std::size_t bytes = 0;
    std::string declaredEncoding;
    std::string root;
    bool parses = false;
    std::size_t items = 0; // items of the first channel of the rss root, before conversion
};

// Every document the manifest lists, in its order; empty when it cannot be read.
inline std::vector<CorpusDocument> ReadCorpusManifest()
{
    std::vector<CorpusDocument> documents;
    std::ifstream manifest(std::string(QUILLBOX_CORPUS_DIR) + "/manifest.tsv");
    std::string line;
    std::getline(manifest, line); // column names
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        CorpusDocument document;
        std::string bytes, parses, items;
        std::getline(fields, document.file, '\t');
        std::getline(fields, bytes, '\t');
        std::getline(fields, document.declaredEncoding, '\t');
        std::getline(fields, document.root, '\t');
        std::getline(fields, parses, '\t');
        std::getline(fields, items, '\t');
        document.bytes = std::stoul(bytes);
        document.parses = parses == "yes";
        document.items = std::stoul(items);
        documents.push_back(document);
    }
    return documents;
}

inline std::string CorpusPath(const CorpusDocument& document)
{
    return std::string(QUILLBOX_CORPUS_DIR) + "/" + document.file;
}
