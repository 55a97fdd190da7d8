#pragma once

// A feed list in a temporary folder and providers over it whose downloads are scripted: each
// URL's document comes from a map of URL to document (a URL missing from it downloads as
// nothing), as if its server answered with it, and the login goes its production way around
// them, without copies of feeds. Counts the downloads and keeps their URLs. Header-only; the
// downloads run on the providers' download threads.

#include "provider/MessageProviderRSS.h"
#include "support/TempFolder.h"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CProviderFixture
{
public:
    std::string MakeList(const std::string& lines) { return m_folder.Write("feeds.txt", lines); }

    // A provider of the documents of m_documents as they are now.
    std::unique_ptr<CMessageProviderRSS>
    MakeProvider(const std::string& mailbox,
                 std::size_t maxMessageBytes = CMessageProviderRSS::kMaxMessageBytes,
                 std::size_t maxTreeBytes = CMessageProviderRSS::kMaxTreeBytes,
                 CByteBudget& allLogins = CLoginMemory::AllLogins())
    {
        CMessageProviderRSS::Services services;
        services.fetch = [documents = m_documents,
                          requests = m_requests](const std::string& url, CCancelSignal*,
                                                 CByteBudget*, DownloadTrace& trace) {
            requests->Add(url);
            trace.finalUrl = url;
            const auto document = documents.find(url);
            if (document == documents.end())
                return std::string();
            trace.status = "200";
            return document->second;
        };
        services.copies = nullptr;
        services.maxMessageBytes = maxMessageBytes;
        services.maxTreeBytes = maxTreeBytes;
        services.allLogins = &allLogins;
        return std::make_unique<CMessageProviderRSS>(mailbox, "secret", std::move(services));
    }

    // The URLs downloaded so far, in the order their downloads began.
    std::vector<std::string> Requested() const { return m_requests->Urls(); }

    CTempFolder m_folder;
    std::map<std::string, std::string> m_documents;

private:
    // Shared with the download threads, which may outlive a provider.
    class CRequests
    {
    public:
        void Add(const std::string& url)
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_urls.push_back(url);
        }
        std::vector<std::string> Urls() const
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_urls;
        }

    private:
        mutable std::mutex m_mutex;
        std::vector<std::string> m_urls;
    };

    std::shared_ptr<CRequests> m_requests = std::make_shared<CRequests>();
};
