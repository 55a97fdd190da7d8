// Downloads 60 feeds from a local server that holds every answer for 300 ms, over HTTP and then
// over HTTPS, and prints the time of the whole fetch against the time of one feed alone, the
// peak of threads and open handles during the fetch, and what is left of them one second after it
// returned.
#include "http/FeedDownloadsInternal.h"
#include "support/HTTPTestServer.h"
#include "support/PeakMemory.h"
#include "support/ProcessResources.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

constexpr int kFeeds = 60;
constexpr int kHoldMilliseconds = 300;

int OpenHandles()
{
    return static_cast<int>(CountOpenHandles());
}

std::string FeedBody()
{
    std::ifstream file(QUILLBOX_DEFAULT_CORPUS_DIR "/rss/feedjira/2009__AllThingsDistributed.xml",
                       std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return body.empty() ? std::string(30000, 'x') : body;
}

double SecondsOf(const std::vector<std::string>& urls, std::vector<std::string>& results)
{
    const auto start = std::chrono::steady_clock::now();
    results = DownloadAll(urls);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Fetches the 60 feeds from `server` and prints the figures under `label`.
void Measure(const char* label, CHTTPTestServer& server, const std::string& body)
{
    std::vector<std::string> urls;
    for (int index = 0; index < kFeeds; ++index) {
        const std::string path = "/feed" + std::to_string(index) + ".xml";
        CHTTPTestServer::Response response;
        response.bytes = CHTTPTestServer::OkResponse(body);
        response.delayMilliseconds = kHoldMilliseconds;
        server.Serve(path, response);
        urls.push_back(server.Url(path));
    }
    const int baseThreads = CountThreads();
    const int baseHandles = OpenHandles();

    std::vector<std::string> results;
    double single = 1e9;
    for (int round = 0; round < 3; ++round)
        single = std::min(single, SecondsOf({urls[0]}, results));

    std::atomic<bool> sampling(true);
    int peakThreads = 0, peakHandles = 0;
    std::thread sampler([&] {
        while (sampling) {
            peakThreads = std::max(peakThreads, CountThreads() - baseThreads - 1);
            peakHandles = std::max(peakHandles, OpenHandles() - baseHandles);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const double all = SecondsOf(urls, results);
    sampling = false;
    sampler.join();
    const auto complete = std::count(results.begin(), results.end(), body);

    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf("http_download %s: one feed %.0f ms, %d feeds %.0f ms (%.2f times one feed), "
                "%ld of %d complete\n",
                label, single * 1000, kFeeds, all * 1000, all / single, static_cast<long>(complete),
                kFeeds);
    std::printf("http_download %s: peak during the fetch %d threads and %d open handles (client "
                "and server); left 1 s after it returned: %d threads, %d open handles\n",
                label, peakThreads, peakHandles, CountThreads() - baseThreads,
                OpenHandles() - baseHandles);
}

} // namespace

int main()
{
    // The HTTPS server's certificate is signed by the tests' CA, which the tests' support
    // makes this program trust.
    const std::string body = FeedBody();
    {
        CHTTPTestServer server;
        Measure("http", server, body);
    }
    {
        CHTTPTestServer server(QUILLBOX_TEST_DATA_DIR "/tls/server.pem",
                               QUILLBOX_TEST_DATA_DIR "/tls/server.key");
        Measure("https", server, body);
    }
    std::printf("http_download: peak memory %ld KB\n", PeakMemoryKilobytes());
    return 0;
}
