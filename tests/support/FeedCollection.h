#pragma once

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// One line of a collection's manifest: a feed document and what is known about it.
struct FeedDocument
{
    std::string file; // relative to the collection's folder
    std::size_t bytes = 0;
    std::string declaredEncoding;
    std::string root;
    bool parses = false;
    std::size_t items = 0; // items of the first channel of the rss root, before conversion

    // The messages a login gives: the items of a well-formed document with an rss root, the
    // entries of an Atom 1.0 one, the items of an RSS 1.0 or 0.90 one (see CountEntries).
    // For a document that the XML library alone does not read (`exact` false), only those it
    // holds whole can be saved: at most as many as it has start tags of items and entries.
    std::size_t messages = 0;
    bool exact = true;
};

// A folder of real feed documents with a manifest.tsv describing each of them. Two exist: the
// project's own test feeds (tests/data/feeds, always there) and the larger real-world corpus,
// which only some machines have: QUILLBOX_CORPUS_DIR names it at run time, else the build's
// default beside the checkout.
class CFeedCollection
{
public:
    static CFeedCollection TestFeeds()
    {
        return CFeedCollection("TestFeeds", QUILLBOX_TEST_DATA_DIR "/feeds");
    }
    static CFeedCollection Corpus()
    {
        const char* folder = std::getenv("QUILLBOX_CORPUS_DIR");
        return CFeedCollection("Corpus", folder && *folder ? folder : QUILLBOX_DEFAULT_CORPUS_DIR);
    }

    const std::string& Name() const { return m_name; }
    const std::string& Folder() const { return m_folder; }
    bool IsPresent() const { return std::filesystem::is_regular_file(m_folder + "/manifest.tsv"); }
    std::string PathOf(const FeedDocument& document) const
    {
        return m_folder + "/" + document.file;
    }
    std::string Read(const FeedDocument& document) const
    {
        return CTempFolder::Read(PathOf(document));
    }

    // Every document of the manifest, in its order; empty when it cannot be read.
    std::vector<FeedDocument> ReadManifest() const
    {
        std::vector<FeedDocument> documents;
        std::ifstream manifest(m_folder + "/manifest.tsv");
        std::string line;
        std::getline(manifest, line); // column names
        while (std::getline(manifest, line)) {
            std::istringstream fields(line);
            FeedDocument document;
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
            document.exact = document.parses && !document.root.empty();
            document.messages = !document.exact ? CountTags(Read(document), {"<item", "<entry"})
                                : document.root == "rss"
                                    ? document.items
                                    : CountEntries(Read(document), document.root);
            documents.push_back(document);
        }
        return documents;
    }

    // The entries of an Atom 1.0 document with the root `root` (a "feed", in Atom's namespace
    // or in none), or the items of an RSS 1.0 or 0.90 one (an "rdf:RDF"), counted by their
    // start tags in the raw bytes, apart from any reading of XML.
    static std::size_t CountEntries(const std::string& text, const std::string& root)
    {
        const std::size_t feed = text.find("<feed");
        const bool bare =
            feed != std::string::npos &&
            text.substr(feed, text.find('>', feed) - feed).find("xmlns=") == std::string::npos;
        const bool atom = root == "feed" &&
                          (bare || text.find("http://www.w3.org/2005/Atom") != std::string::npos);
        const bool rdf = root == "rdf:RDF" &&
                         (text.find("http://purl.org/rss/1.0/") != std::string::npos ||
                          text.find("http://my.netscape.com/rdf/simple/0.9/") != std::string::npos);
        if (!atom && !rdf)
            return 0;
        return CountTags(text, {atom ? "<entry" : "<item"});
    }

    // The start tags in `text` that begin with one of `tags` ("<item").
    static std::size_t CountTags(const std::string& text, std::initializer_list<const char*> tags)
    {
        std::size_t count = 0;
        for (const std::string tag : tags) {
            for (std::size_t at = text.find(tag); at != std::string::npos;
                 at = text.find(tag, at + 1)) {
                const std::size_t after = at + tag.size();
                count += after < text.size() &&
                         std::string(" \t\r\n/>").find(text[after]) != std::string::npos;
            }
        }
        return count;
    }

private:
    CFeedCollection(std::string name, std::string folder)
        : m_name(std::move(name)), m_folder(std::move(folder))
    {}

    std::string m_name;
    std::string m_folder;
};

// Names the collection in test listings.
inline void PrintTo(const CFeedCollection& collection, std::ostream* stream)
{
    *stream << collection.Name();
}

// Base of tests that run once over each collection: the corpus run is skipped, with the reason
// in the summary, on machines that do not have it.
class CFeedCollectionTest : public testing::TestWithParam<CFeedCollection>
{
protected:
    void SetUp() override
    {
        if (!GetParam().IsPresent())
            GTEST_SKIP() << "no feed collection at " << GetParam().Folder()
                         << " (set QUILLBOX_CORPUS_DIR to the corpus folder to run this)";
        m_documents = GetParam().ReadManifest();
        ASSERT_FALSE(m_documents.empty()) << GetParam().Folder();
    }

    std::vector<FeedDocument> m_documents;
};

// Runs the tests of `suite` (an alias of CFeedCollectionTest) over both collections.
#define INSTANTIATE_FEED_COLLECTION_TESTS(suite)                                                   \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        , suite, testing::Values(CFeedCollection::TestFeeds(), CFeedCollection::Corpus()),         \
        [](const testing::TestParamInfo<CFeedCollection>& info) { return info.param.Name(); })
