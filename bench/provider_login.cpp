// The cost of one POP3 login on a list of 60 feeds of 50 items each whose downloads hand out
// documents held in memory: conversion, parsing, rendering and filtering of the messages,
// against the time the XML library alone takes to parse the same documents once. Then a login
// on one feed of 5000 items, as RSS 2.0 and as Atom 1.0.
#include "pop3/POP3Server.h"
#include "provider/MessageProviderRSS.h"
#include "support/BenchFeeds.h"
#include "support/PeakMemory.h"
#include "tests/support/LineClient.h"

#include <tinyxml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
constexpr int kAtomEntries = 5000;

// Makes RSS providers whose downloads hand out the prepared documents: feed N of a list is
// the document at index N.
class CBenchFactory : public IMessageProviderFactory
{
public:
    explicit CBenchFactory(const std::vector<std::string>& documents) : m_documents(documents) {}

    std::unique_ptr<IMessageProvider> Create(std::string mailbox,
                                             const std::string& password) override
    {
        CMessageProviderRSS::Services services;
        services.fetch = [this](const std::string& url, CCancelSignal*, CByteBudget*,
                                DownloadTrace& trace) {
            trace.finalUrl = url;
            trace.status = "200";
            return m_documents.at(std::stoul(url.substr(url.rfind("feed") + 4)));
        };
        services.copies = nullptr;
        return std::make_unique<CMessageProviderRSS>(std::move(mailbox), password,
                                                     std::move(services));
    }

private:
    const std::vector<std::string>& m_documents;
};

// What the best of the timed logins on a list took and served.
struct LoginFigures
{
    double seconds = 1e9;
    std::size_t messages = 0;
    std::size_t messageBytes = 0;
};

// Logs in on `listFile`, whose feeds are `documents` in order, once untimed and then `rounds`
// times timed. With `deleteAThird`, the untimed login deletes a third of the messages, as a
// regular reader would have, so that every timed login filters them out alike.
LoginFigures BestLogin(const std::vector<std::string>& documents, const std::string& listFile,
                       int rounds, bool deleteAThird)
{
    CBenchFactory factory(documents);
    CPOP3Server server(&factory);
    server.Start(0);
    LoginFigures figures;
    for (int round = 0; round <= rounds; ++round) {
        CLineClient client(server.GetPort(), std::chrono::minutes(1));
        client.ReadLine();
        client.Command("USER " + listFile);
        const Clock::time_point start = Clock::now();
        const std::string reply = client.Command("PASS secret");
        if (round > 0)
            figures.seconds = std::min(figures.seconds, SecondsSince(start));
        if (reply != "+OK received messages\r\n") {
            std::printf("provider login: unexpected reply %s\n", reply.c_str());
            std::exit(1);
        }
        client.Command("LIST");
        const std::string listing = client.ReadMultiLine();
        figures.messages = 0;
        figures.messageBytes = 0;
        std::istringstream lines(listing);
        std::size_t number, size;
        while (lines >> number >> size) {
            ++figures.messages;
            figures.messageBytes += size;
        }
        if (round == 0 && deleteAThird) {
            for (std::size_t message = 1; message <= figures.messages / 3; ++message)
                client.Command("DELE " + std::to_string(message));
        }
        client.Command("QUIT");
        client.ReadToClose();
    }
    server.Stop();
    return figures;
}

void WriteList(const std::string& path, int feeds)
{
    std::ofstream list(path, std::ios::binary);
    for (int feed = 0; feed < feeds; ++feed)
        list << "http://127.0.0.1/feed" << feed << ".xml\n";
}

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
    WriteList(listFile, kFeeds);
    const LoginFigures login = BestLogin(documents, listFile, kRounds, true);
    double bestParse = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const Clock::time_point parseStart = Clock::now();
        for (const std::string& document : documents) {
            TiXmlDocument xml;
            xml.Parse(document.c_str());
        }
        bestParse = std::min(bestParse, SecondsSince(parseStart));
    }

    std::printf("provider login: %d feeds, %zu messages served (of %d items), documents %zu KB, "
                "messages %zu KB\n",
                kFeeds, login.messages, kFeeds * kItemsPerFeed, documentBytes / 1024,
                login.messageBytes / 1024);
    std::printf("provider login: PASS to reply, documents in memory, %.2f ms, XML library parse "
                "alone %.2f ms, ratio %.2f (target 1.5 at most)\n",
                login.seconds * 1e3, bestParse * 1e3, login.seconds / bestParse);
    std::printf("provider login: %.0f messages per second, peak memory %ld KB (budget: four "
                "times documents and messages, %zu KB)\n",
                login.messages / login.seconds, PeakMemoryKilobytes(),
                4 * (documentBytes + login.messageBytes) / 1024);

    const std::string oneFeed = (folder / "one.txt").string();
    WriteList(oneFeed, 1);
    LoginFigures single[2];
    const BenchFormat formats[] = {BenchFormat::RSS, BenchFormat::Atom};
    for (int format = 0; format < 2; ++format) {
        std::mt19937 sameItems(7);
        const std::vector<std::string> feed{
            MakeBenchFeed(0, kAtomEntries, sameItems, formats[format])};
        single[format] = BestLogin(feed, oneFeed, kRounds, false);
    }
    std::printf("provider login: one feed of %d items, RSS 2.0 %.1f ms (%zu messages), Atom 1.0 "
                "%.1f ms (%zu messages), Atom/RSS per entry %.2f (target at most 1.20)\n",
                kAtomEntries, single[0].seconds * 1e3, single[0].messages, single[1].seconds * 1e3,
                single[1].messages, single[1].seconds / single[0].seconds);
    std::filesystem::remove_all(folder);
    return 0;
}
