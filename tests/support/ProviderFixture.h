#pragma once

// A feed list in a temporary folder and a provider over it whose downloads come from a map
// of URL to document (a URL missing from it downloads as nothing), counting the downloads and
// keeping the URLs of the last one. Header-only. One thread: the provider's downloads run on
// the thread that asks for its messages.

#include "provider/MessageProviderRSS.h"
#include "support/TempFolder.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CProviderFixture
{
public:
    std::string MakeList(const std::string& lines) { return m_folder.Write("feeds.txt", lines); }

    std::unique_ptr<CMessageProviderRSS>
    MakeProvider(const std::string& mailbox,
                 std::size_t maxMessageBytes = CMessageProviderRSS::kMaxMessageBytes,
                 std::size_t maxTreeBytes = CMessageProviderRSS::kMaxTreeBytes,
                 CByteBudget& allLogins = CLoginMemory::AllLogins())
    {
        return std::make_unique<CMessageProviderRSS>(
            mailbox, "secret",
            [this](const std::vector<std::string>& urls) {
                ++m_downloads;
                m_requested = urls;
                std::vector<std::string> documents;
                for (const std::string& url : urls)
                    documents.push_back(m_documents.count(url) ? m_documents[url] : "");
                return documents;
            },
            maxMessageBytes, maxTreeBytes, allLogins);
    }

    CTempFolder m_folder;
    std::map<std::string, std::string> m_documents;
    std::vector<std::string> m_requested;
    int m_downloads = 0;
};
