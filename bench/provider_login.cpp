// The cost of one POP3 login on a list of 60 feeds of 50 items each, apart from the
// downloads: conversion, parsing, rendering and filtering of the messages, against the time
// the XML library alone takes to parse the same documents once.
#include "pop3/POP3Server.h"
#include "provider/MessageProviderRSS.h"
#include "support/BenchFeeds.h"
#include "support/PeakMemory.h"
#include "tests/support/LineClient.h"

#include <tinyxml.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr int kFeeds = 60;
constexpr int kItemsPerFeed = 50;
constexpr int kRounds = 10;

// Makes RSS providers whose downloads hand out the prepared documents and time themselves.
class CBenchFactory : public IMessageProviderFactory
{
public:
    explicit CBenchFactory(const std::vector<std::string>& documents) : m_documents(documents) {}

    std::unique_ptr<IMessageProvider> Create(std::string mailbox,
                                             const std::string& password) override
    {
        return std::make_unique<CMessageProviderRSS>(
            std::move(mailbox), password, [this](const std::vector<std::string>& urls) {
                const Clock::time_point start = Clock::now();
                std::vector<std::string> copies(m_documents.begin(),
                                                m_documents.begin() + urls.size());
                std::lock_guard<std::mutex> guard(m_lock);
                m_downloadSeconds = SecondsSince(start);
                return copies;
            });
    }

    double DownloadSeconds()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_downloadSeconds;
    }

private:
    const std::vector<std::string>& m_documents;
    std::mutex m_lock;
    double m_downloadSeconds = 0;
};

} // namespace

int main()
{
    std::mt19937 random(5);
    std::vector<std::string> documents;
    std::size_t documentBytes = 0;
    for (int feed = 0; feed < kFeeds; ++feed) {
        documents.push_back(MakeBenchFeed(feed, kItemsPerFeed, random));
        documentBytes += documents.back().size();
    }

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("quillbox-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    const std::string listFile = (folder / "feeds.txt").string();
    {
        std::ofstream list(listFile, std::ios::binary);
        for (int feed = 0; feed < kFeeds; ++feed)
            list << "http://127.0.0.1/feed" << feed << ".xml\n";
    }

    CBenchFactory factory(documents);
    CPOP3Server server(&factory);
    server.Start(0);
    double bestLogin = 1e9;
    double bestParse = 1e9;
    std::size_t messageCount = 0;
    std::size_t messageBytes = 0;
    for (int round = 0; round < kRounds; ++round) {
        CLineClient client(server.GetPort(), 60000);
        client.ReadLine();
        client.Command("USER " + listFile);
        const Clock::time_point start = Clock::now();
        const std::string reply = client.Command("PASS secret");
        bestLogin = std::min(bestLogin, SecondsSince(start) - factory.DownloadSeconds());
        if (reply != "+OK received messages\r\n") {
            std::printf("provider login: unexpected reply %s\n", reply.c_str());
            return 1;
        }
        client.Command("LIST");
        const std::string listing = client.ReadMultiLine();
        messageCount = 0;
        messageBytes = 0;
        std::istringstream lines(listing);
        std::size_t number, size;
        while (lines >> number >> size) {
            ++messageCount;
            messageBytes += size;
        }
        // From the second round on the store holds a third of the items, as a regular
        // reader's would, and the login filters them out.
        if (round == 0) {
            for (int message = 1; message <= kFeeds * kItemsPerFeed / 3; ++message)
                client.Command("DELE " + std::to_string(message));
        }
        client.Command("QUIT");
        client.ReadToClose();

        const Clock::time_point parseStart = Clock::now();
        for (const std::string& document : documents) {
            TiXmlDocument xml;
            xml.Parse(document.c_str());
        }
        bestParse = std::min(bestParse, SecondsSince(parseStart));
    }
    server.Stop();
    std::filesystem::remove_all(folder);

    std::printf("provider login: %d feeds, %zu messages served (of %d items), documents %zu KB, "
                "messages %zu KB\n",
                kFeeds, messageCount, kFeeds * kItemsPerFeed, documentBytes / 1024,
                messageBytes / 1024);
    std::printf("provider login: PASS to reply without downloads %.2f ms, XML library parse "
                "alone %.2f ms, ratio %.2f (target 1.5 at most)\n",
                bestLogin * 1e3, bestParse * 1e3, bestLogin / bestParse);
    std::printf("provider login: %.0f messages per second, peak memory %ld KB (budget: four "
                "times documents and messages, %zu KB)\n",
                messageCount / bestLogin, PeakMemoryKilobytes(),
                4 * (documentBytes + messageBytes) / 1024);
    return 0;
}
