// Logins as a mail client sees them: the host program `quillbox` runs as a process of its own
// and is driven over POP3, while this process serves the feeds over HTTP and HTTPS.
//  - 60 feeds of 50 items, each answer held for 300 ms, against one such feed alone, over
//    HTTP, and over HTTPS with the tests' RSA certificate and with an ECDSA one.
//  - 60 feeds of 50 items without delay, against the same 60 feeds with one item each: the
//    difference is the processing of the items, set against one sequential parse of the same
//    documents by the XML library in this process.
//  - The peak memory of one login above the idle host, for one feed of 5,000 items and for
//    the 60 feeds of 50 items, against the size of their XML.
//  - The copies of feeds: a second login to 60 unchanged feeds answering 304, in bytes on the
//    wire and time against the first, with plain and with gzip answers; a login where every
//    feed answers 200, with copies and with an unusable cache folder (no copies, as before
//    copies were kept); the peak and resident memory of a host over 10 logins to one feed of
//    5,000 items.
//  - With "hostile": the peak memory and processor time of one, four and ten logins at once
//    to lists of 60 copies of a document that costs far more as a tree, or as time, than as
//    text (see MeasureHostileLists).
//  - With "proxy": a login to 60 feeds of 50 items without delay straight to the server, and
//    through a forward proxy on loopback (the Proxy setting), over HTTP and HTTPS.
#include "support/BenchFeeds.h"
#include "support/ChildProcess.h"
#include "support/Compression.h"
#include "support/HTTPTestServer.h"
#include "support/LineClient.h"
#include "support/LoopbackPorts.h"

#include <tinyxml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFeeds = 60;
constexpr int kItemsPerFeed = 50;
constexpr int kBigFeedItems = 5000;
constexpr int kHoldMilliseconds = 300;
// The unit of processor times in /proc on Linux.
constexpr double kClockTicksPerSecond = 100;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A value of the form "Name:   1234 kB" from a process's status file, in kilobytes.
long StatusKilobytes(const std::string& pid, const std::string& name)
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, name.size() + 1, name + ":") == 0)
            return std::atol(line.c_str() + name.size() + 1);
    }
    return -1;
}

// The process id of this process's child running `name`, or empty.
std::string ChildPid(const std::string& name)
{
    const std::string self = std::filesystem::read_symlink("/proc/self").string();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream statFile(entry.path() / "stat");
        std::string stat;
        if (!std::getline(statFile, stat))
            continue;
        const std::size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string state, parent;
        rest >> state >> parent;
        if (parent == self && stat.substr(open + 1, close - open - 1) == name)
            return entry.path().filename().string();
    }
    return std::string();
}

// The host program on a free port of a private settings folder.
class CHost
{
public:
    // The host trusts the certificate authorities of the file `trusted`, and keeps the copies
    // of feeds in `cache` (in `folder` when empty).
    CHost(const std::filesystem::path& folder, const std::string& program,
          const std::string& trusted = QUILLBOX_TEST_DATA_DIR "/tls/ca.pem",
          std::string cache = std::string())
    {
        if (cache.empty())
            cache = (folder / "cache").string();
        const auto key = folder / "config" / "vorlenta.software" / "QUILLBOX";
        std::filesystem::create_directories(key);
        m_port = shelltest::FreePort();
        std::ofstream(key / "LocalPort") << m_port << "\n";
        std::string line;
        if (!m_process.Start({program}, {{"XDG_CONFIG_HOME", (folder / "config").string()},
                                         {"XDG_CACHE_HOME", cache},
                                         {"SSL_CERT_FILE", trusted},
                                         {"SSL_CERT_DIR", QUILLBOX_TEST_DATA_DIR "/tls"}}) ||
            !m_process.ReadLine(line, 20000)) {
            std::printf("http_login: the host program %s did not start\n", program.c_str());
            std::exit(1);
        }
        m_pid = ChildPid("quillbox");
    }

    ~CHost()
    {
        m_process.RequestTermination();
        int exitCode = 0;
        m_process.Wait(20000, exitCode);
    }

    // Seconds from PASS to its reply; `messages` and `bytes` as STAT reports them.
    double Login(const std::string& listFile, long& messages, long& bytes)
    {
        CLineClient client(static_cast<std::uint16_t>(m_port), std::chrono::minutes(10));
        client.ReadLine();
        client.Command("USER " + listFile);
        const Clock::time_point start = Clock::now();
        const std::string reply = client.Command("PASS x");
        const double seconds = SecondsSince(start);
        if (reply != "+OK received messages\r\n")
            std::printf("http_login: unexpected reply \"%s\"\n", reply.c_str());
        std::sscanf(client.Command("STAT").c_str(), "+OK %ld %ld", &messages, &bytes);
        client.Command("QUIT");
        client.ReadToClose();
        return seconds;
    }

    double Login(const std::string& listFile)
    {
        long messages = 0, bytes = 0;
        return Login(listFile, messages, bytes);
    }

    // The processor time the host has used so far, in seconds (user and system).
    double ProcessorSeconds() const
    {
        std::ifstream statFile("/proc/" + m_pid + "/stat");
        std::string stat;
        std::getline(statFile, stat);
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int skipped = 0; skipped < 11; ++skipped)
            fields >> field;
        long user = 0, system = 0;
        fields >> user >> system;
        return static_cast<double>(user + system) / kClockTicksPerSecond;
    }

    // Resident memory now, and the peak since the last ResetPeak, in kilobytes.
    long ResidentKilobytes() const { return StatusKilobytes(m_pid, "VmRSS"); }
    long PeakKilobytes() const { return StatusKilobytes(m_pid, "VmHWM"); }
    void ResetPeak() const { std::ofstream("/proc/" + m_pid + "/clear_refs") << "5"; }

private:
    CChildProcess m_process;
    int m_port = 0;
    std::string m_pid;
};

std::string WriteList(const std::filesystem::path& folder, const std::string& name,
                      const std::vector<std::string>& urls)
{
    const std::string path = (folder / name).string();
    std::ofstream list(path, std::ios::binary);
    for (const std::string& url : urls)
        list << url << "\n";
    return path;
}

// Serves `documents` as /<prefix><n>.xml and returns their URLs.
std::vector<std::string> ServeAll(CHTTPTestServer& server, const std::string& prefix,
                                  const std::vector<std::string>& documents, int delay)
{
    std::vector<std::string> urls;
    for (std::size_t feed = 0; feed < documents.size(); ++feed) {
        const std::string path = "/" + prefix + std::to_string(feed) + ".xml";
        CHTTPTestServer::Response response;
        response.bytes = CHTTPTestServer::OkResponse(documents[feed]);
        response.delayMilliseconds = delay;
        server.Serve(path, response);
        urls.push_back(server.Url(path));
    }
    return urls;
}

std::vector<std::string> MakeFeeds(int items)
{
    std::mt19937 random(5);
    std::vector<std::string> documents;
    for (int feed = 0; feed < kFeeds; ++feed)
        documents.push_back(MakeBenchFeed(feed, items, random));
    return documents;
}

std::size_t TotalBytes(const std::vector<std::string>& documents)
{
    std::size_t total = 0;
    for (const std::string& document : documents)
        total += document.size();
    return total;
}

void MeasureSlowFeeds(const char* label, CHTTPTestServer& server, CHost& host,
                      const std::filesystem::path& folder,
                      const std::vector<std::string>& documents)
{
    const std::vector<std::string> urls = ServeAll(server, label, documents, kHoldMilliseconds);
    const std::string one = WriteList(folder, std::string(label) + "-one.txt", {urls[0]});
    const std::string all = WriteList(folder, std::string(label) + "-all.txt", urls);
    double bestOne = 1e9, bestAll = 1e9;
    for (int round = 0; round < 5; ++round) {
        bestOne = std::min(bestOne, host.Login(one));
        bestAll = std::min(bestAll, host.Login(all));
    }
    std::printf("http_login %s: answers held %d ms: one feed of %d items %.0f ms, %d such feeds "
                "%.0f ms, ratio %.2f (target 1.15 at most)\n",
                label, kHoldMilliseconds, kItemsPerFeed, bestOne * 1e3, kFeeds, bestAll * 1e3,
                bestAll / bestOne);
}

void MeasureProcessing(CHTTPTestServer& server, CHost& host, const std::filesystem::path& folder,
                       const std::vector<std::string>& documents)
{
    const std::string full = WriteList(folder, "full.txt", ServeAll(server, "full", documents, 0));
    const std::string small =
        WriteList(folder, "small.txt", ServeAll(server, "small", MakeFeeds(1), 0));
    constexpr int kRounds = 10;
    double bestFull = 1e9, bestSmall = 1e9, bestParse = 1e9;
    double fullProcessor = 0, smallProcessor = 0, parseProcessor = 0;
    for (int round = 0; round < kRounds; ++round) {
        double before = host.ProcessorSeconds();
        bestFull = std::min(bestFull, host.Login(full));
        fullProcessor += host.ProcessorSeconds() - before;
        before = host.ProcessorSeconds();
        bestSmall = std::min(bestSmall, host.Login(small));
        smallProcessor += host.ProcessorSeconds() - before;
        const Clock::time_point start = Clock::now();
        const std::clock_t processorStart = std::clock();
        for (const std::string& document : documents) {
            TiXmlDocument xml;
            xml.Parse(document.c_str());
        }
        bestParse = std::min(bestParse, SecondsSince(start));
        parseProcessor += static_cast<double>(std::clock() - processorStart) / CLOCKS_PER_SEC;
    }
    const double processing = bestFull - bestSmall;
    std::printf("http_login processing: %d feeds of %d items %.1f ms, of 1 item %.1f ms: "
                "processing %.1f ms; one sequential XML parse %.1f ms; ratio %.2f (target 1.0 "
                "at most)\n",
                kFeeds, kItemsPerFeed, bestFull * 1e3, bestSmall * 1e3, processing * 1e3,
                bestParse * 1e3, processing / bestParse);
    const double processingProcessor = (fullProcessor - smallProcessor) / kRounds;
    std::printf("http_login processing: processor time of the host %.1f ms a login, of the "
                "parse %.1f ms: ratio %.2f\n",
                processingProcessor * 1e3, parseProcessor / kRounds * 1e3,
                processingProcessor / (parseProcessor / kRounds));
}

// The peak of `logins` logins at once to the same list of `feeds` copies of `document`, in a
// fresh host, above its idle resident memory: the worst cases of a login's memory.
void MeasureWorstPeak(const char* label, CHTTPTestServer& server,
                      const std::filesystem::path& folder, const std::string& program,
                      const std::string& document, int logins)
{
    const std::string url = ServeAll(server, label, {document}, 0)[0];
    const std::string list =
        WriteList(folder, std::string(label) + ".txt", std::vector<std::string>(kFeeds, url));
    CHost host(folder / label, program);
    const long idle = host.ResidentKilobytes();
    host.ResetPeak();
    const double processorBefore = host.ProcessorSeconds();
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> clients;
    std::vector<long> messages(logins), bytes(logins);
    for (int login = 0; login < logins; ++login)
        clients.emplace_back([&, login] { host.Login(list, messages[login], bytes[login]); });
    for (std::thread& client : clients)
        client.join();
    std::printf("http_login worst %s: %d login(s) at once to %d feeds of %zu KB: %ld messages "
                "of %ld KB each; peak above the idle host %ld MB; %.1f s, processor %.1f s\n",
                label, logins, kFeeds, document.size() / 1024, messages[0], bytes[0] / 1024,
                (host.PeakKilobytes() - idle) / 1024, SecondsSince(start),
                host.ProcessorSeconds() - processorBefore);
}

// A document of `text` repeated as often as fits under the bound of one response, between
// `head` and `tail`.
std::string FillResponse(const std::string& head, const std::string& text, const std::string& tail)
{
    // Room for the status line and headers of the response.
    constexpr std::size_t kResponseBytes = 8 * 1024 * 1024 - 1024;
    std::string document = head;
    document.reserve(kResponseBytes);
    while (document.size() + text.size() + tail.size() <= kResponseBytes)
        document += text;
    return document + tail;
}

// `text` `times` times.
std::string Repeated(const std::string& text, int times)
{
    std::string repeated;
    repeated.reserve(text.size() * static_cast<std::size_t>(times));
    for (int time = 0; time < times; ++time)
        repeated += text;
    return repeated;
}

// The documents of the memory table: dense elements, tiny items, many empty items and long
// descriptions; an Atom feed with 250,000 elements outside its entries and an RSS item of
// 250,000 elements, which both fit a login's bound of trees; elements of 100,000 attributes
// or namespace declarations; Atom texts of XHTML nested as deeply as a document may be. Each
// is served 60 times to 1, 4 and 10 logins at once; "hostile NAME" runs those whose label
// starts with NAME alone.
void MeasureHostileLists(CHTTPTestServer& server, const std::filesystem::path& folder,
                         const std::string& program, const std::string& only)
{
    const std::string rss = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title>";
    std::string emptyItems = rss;
    for (int item = 0; item < 20000; ++item)
        emptyItems += "<item/>";
    const std::string description = "<item><title>x</title><description>";
    const std::string atom = "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\">";
    const std::string entry = "<entry><title>x</title><id>urn:x</id></entry>";
    std::string attributes, declarations, fewDeclarations;
    for (int attribute = 0; attribute < 100000; ++attribute) {
        attributes += " a" + std::to_string(attribute) + "=''";
        declarations +=
            " xmlns:p" + std::to_string(attribute) + "='urn:" + std::to_string(attribute) + "'";
        if (attribute == 249)
            fewDeclarations = declarations;
    }
    std::string open, close;
    for (int level = 0; level < 500; ++level) {
        open += "<div>x";
        close += "</div>";
    }
    const std::string xhtml = "<entry><id>urn:x</id><title type='xhtml'>" + open + close +
                              "</title><summary type='xhtml'><div>" + open + close +
                              "</div></summary></entry>";
    const struct
    {
        const char* label;
        std::string document;
    } lists[] = {
        {"dense-elements", FillResponse(rss + "<item>", "<a/>", "</item></channel></rss>")},
        {"tiny-items", FillResponse(rss, "<item><title>x</title></item>", "</channel></rss>")},
        {"empty-items", emptyItems + "</channel></rss>"},
        {"long-descriptions",
         FillResponse(rss + description, "x", "</description></item></channel></rss>")},
        {"atom-feed-part", atom + Repeated("<x/>", 250000) + entry + "</feed>"},
        {"dense-rss", rss + "<item>" + Repeated("<a/>", 250000) + "</item></channel></rss>"},
        {"many-attributes",
         rss + "<item" + attributes + "><title>x</title></item></channel></rss>"},
        {"many-declarations",
         atom.substr(0, atom.size() - 1) + declarations + ">" + entry + "</feed>"},
        {"root-declarations", atom.substr(0, atom.size() - 1) + fewDeclarations + ">" +
                                  Repeated("<x/>", 250000) + entry + "</feed>"},
        {"deep-xhtml", atom + Repeated(xhtml, 100) + "</feed>"},
    };
    for (const auto& list : lists) {
        if (std::string(list.label).compare(0, only.size(), only) != 0)
            continue;
        for (const int logins : {1, 4, 10}) {
            const std::string label = std::string(list.label) + "-" + std::to_string(logins);
            MeasureWorstPeak(label.c_str(), server, folder, program, list.document, logins);
        }
    }
}

// The peak of one login in a fresh host, above the host's idle resident memory.
void MeasurePeak(const char* label, CHTTPTestServer& server, const std::filesystem::path& folder,
                 const std::string& program, const std::vector<std::string>& documents)
{
    const std::string list =
        WriteList(folder, std::string(label) + ".txt", ServeAll(server, label, documents, 0));
    const std::size_t xmlBytes = TotalBytes(documents);
    std::vector<double> ratios;
    long messageBytes = 0, messages = 0;
    for (int round = 0; round < 3; ++round) {
        CHost host(folder / (std::string(label) + std::to_string(round)), program);
        const long idle = host.ResidentKilobytes();
        host.ResetPeak();
        host.Login(list, messages, messageBytes);
        const long above = host.PeakKilobytes() - idle;
        ratios.push_back(above * 1024.0 / static_cast<double>(xmlBytes));
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("http_login peak %s: XML %zu KB, %ld messages of %ld KB; peak above the idle "
                "host %.0f KB, %.2f times the XML (median of 3 hosts; target 4 at most)\n",
                label, xmlBytes / 1024, messages, messageBytes / 1024,
                ratios[1] * static_cast<double>(xmlBytes) / 1024, ratios[1]);
}

// An answer of 200 with validators, its body compressed with gzip when `gzip` says so.
std::string ValidatedAnswer(const std::string& document, std::size_t feed, bool gzip)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nETag: \"v" +
           std::to_string(feed) + "\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 GMT\r\n" +
           (gzip ? "Content-Encoding: gzip\r\n\r\n" + Compressed(document) : "\r\n" + document);
}

// Serves every document under `prefix` through `answer`; returns the URLs and adds the
// answers' bytes to `bytes`.
template <typename Answer>
std::vector<std::string> ServeAnswers(CHTTPTestServer& server, const std::string& prefix,
                                      std::size_t feeds, Answer answer, std::size_t& bytes)
{
    std::vector<std::string> urls;
    for (std::size_t feed = 0; feed < feeds; ++feed) {
        const std::string path = "/" + prefix + std::to_string(feed) + ".xml";
        const std::string bytesSent = answer(feed);
        bytes += bytesSent.size();
        server.Serve(path, bytesSent);
        urls.push_back(server.Url(path));
    }
    return urls;
}

std::size_t RequestBytes(const CHTTPTestServer& server, std::size_t from)
{
    std::size_t bytes = 0;
    const std::vector<std::string> requests = server.Requests();
    for (std::size_t request = from; request < requests.size(); ++request)
        bytes += requests[request].size();
    return bytes;
}

// A first login to 60 feeds answering 200 with validators, then a second one to the same
// feeds answering 304: bytes on the wire (requests and answers) and time of each.
void MeasureUnchangedFeeds(const char* label, bool gzip, CHTTPTestServer& server,
                           const std::filesystem::path& folder, const std::string& program,
                           const std::vector<std::string>& documents)
{
    CHost host(folder / label, program);
    std::size_t firstBytes = 0, secondBytes = 0;
    const std::vector<std::string> urls = ServeAnswers(
        server, label, documents.size(),
        [&](std::size_t feed) { return ValidatedAnswer(documents[feed], feed, gzip); }, firstBytes);
    const std::string list = WriteList(folder, std::string(label) + ".txt", urls);
    std::size_t requestsBefore = server.Requests().size();
    long firstMessages = 0, secondMessages = 0, messageBytes = 0;
    const double first = host.Login(list, firstMessages, messageBytes);
    firstBytes += RequestBytes(server, requestsBefore);
    ServeAnswers(
        server, label, documents.size(),
        [](std::size_t) { return std::string("HTTP/1.1 304 Not Modified\r\n\r\n"); }, secondBytes);
    requestsBefore = server.Requests().size();
    const double second = host.Login(list, secondMessages, messageBytes);
    secondBytes += RequestBytes(server, requestsBefore);
    std::printf("http_login copies %s: first login %zu KB on the wire in %.1f ms (%ld messages), "
                "second login with every feed unchanged %zu KB in %.1f ms (%ld messages): "
                "%.2f%% of the bytes (target 2%% at most), %.0f%% of the time\n",
                label, firstBytes / 1024, first * 1e3, firstMessages, secondBytes / 1024,
                second * 1e3, secondMessages,
                100.0 * static_cast<double>(secondBytes) / static_cast<double>(firstBytes),
                100.0 * second / first);
}

// Logins where every feed answers 200 (no validators): with copies kept, and without them:
// by the host program $QUILLBOX_BENCH_BASELINE names (a build from before copies were kept)
// when it is set, else by this one with a cache folder that cannot be made, so that no copy
// is read or written.
void MeasureCopiesCost(CHTTPTestServer& server, const std::filesystem::path& folder,
                       const std::string& program, const std::vector<std::string>& documents)
{
    const std::string list =
        WriteList(folder, "fresh.txt", ServeAll(server, "fresh", documents, 0));
    CHost withCopies(folder / "with-copies", program);
    const char* baseline = std::getenv("QUILLBOX_BENCH_BASELINE");
    CHost without(folder / "without-copies", baseline != nullptr ? baseline : program,
                  QUILLBOX_TEST_DATA_DIR "/tls/ca.pem", "/proc/no-cache-here");
    double best = 1e9, bestWithout = 1e9;
    // Each goes first in every other round: the second login of a round finds the server's
    // threads and the feeds' pages warm.
    for (int round = 0; round < 20; ++round) {
        if (round % 2 == 0) {
            best = std::min(best, withCopies.Login(list));
            bestWithout = std::min(bestWithout, without.Login(list));
        } else {
            bestWithout = std::min(bestWithout, without.Login(list));
            best = std::min(best, withCopies.Login(list));
        }
    }
    std::printf("http_login copies cost: %d feeds of %d items all answering 200: %.1f ms with "
                "copies, %.1f ms without (%s): %+.1f%% (target 5%% at most)\n",
                kFeeds, kItemsPerFeed, best * 1e3, bestWithout * 1e3,
                baseline != nullptr ? "the baseline build" : "no usable cache folder",
                100.0 * (best - bestWithout) / bestWithout);
}

// Ten logins to `documents` (one feed of 5,000 items, or 60 feeds of 50) in a fresh host: the
// peak above the idle host after the first and after the tenth, and the resident memory left
// above idle.
void MeasureTenLogins(const char* label, CHTTPTestServer& server,
                      const std::filesystem::path& folder, const std::string& program,
                      const std::vector<std::string>& documents)
{
    const std::string list =
        WriteList(folder, std::string(label) + ".txt", ServeAll(server, label, documents, 0));
    CHost host(folder / label, program);
    const long idle = host.ResidentKilobytes();
    host.ResetPeak();
    host.Login(list);
    const long firstPeak = host.PeakKilobytes() - idle;
    for (int login = 2; login <= 10; ++login)
        host.Login(list);
    const long tenthPeak = host.PeakKilobytes() - idle;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::printf("http_login memory over 10 logins: %zu feed(s) of %zu KB; peak above the idle "
                "host after one login %ld KB, after ten %ld KB: %.2f times (target 1.1 at most); "
                "resident after ten %ld KB above the idle %ld KB (target 10 MB at most)\n",
                documents.size(), TotalBytes(documents) / 1024, firstPeak, tenthPeak,
                static_cast<double>(tenthPeak) / static_cast<double>(firstPeak),
                host.ResidentKilobytes() - idle, idle);
}

// A certificate authority and a server certificate for 127.0.0.1 it signs, both with keys on
// the P-256 curve, made in `folder` by the openssl program: "ca.pem", "server.pem" and
// "server.key". False when that failed.
bool MakeECDSACertificates(const std::filesystem::path& folder)
{
    const std::string at = folder.string() + "/";
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
    const std::string commands =
        "openssl req -x509" + key + " -days 2 -subj /CN=bench-ca -keyout " + at + "ca.key -out " +
        at + "ca.pem -addext basicConstraints=critical,CA:TRUE" +
        " -addext keyUsage=critical,keyCertSign && openssl req" + key +
        " -subj /CN=localhost -keyout " + at + "server.key -out " + at +
        "server.csr && printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\n' > " + at +
        "server.ext && openssl x509 -req -days 2 -in " + at + "server.csr -CA " + at +
        "ca.pem -CAkey " + at + "ca.key -CAcreateserial -extfile " + at + "server.ext -out " + at +
        "server.pem";
    return std::system(("(" + commands + ") >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

void MeasureProxy(CHTTPTestServer& server, CHTTPTestServer& secureServer,
                  const std::filesystem::path& folder, const std::string& program,
                  const std::vector<std::string>& documents)
{
    CHTTPTestServer::Options options;
    options.proxy = true;
    CHTTPTestServer proxy(options);
    const auto key = folder / "proxy-host" / "config" / "vorlenta.software" / "QUILLBOX";
    std::filesystem::create_directories(key);
    std::ofstream(key / "Proxy") << "http://127.0.0.1:" << proxy.Port() << "\n";
    CHost direct(folder / "direct-host", program);
    CHost proxied(folder / "proxy-host", program);
    for (CHTTPTestServer* feeds : {&server, &secureServer}) {
        const char* scheme = feeds == &server ? "http" : "https";
        const std::string list = WriteList(folder, std::string("proxy-") + scheme + ".txt",
                                           ServeAll(*feeds, "proxied", documents, 0));
        constexpr int kRounds = 10;
        double bestDirect = 1e9, bestProxied = 1e9;
        for (int round = 0; round < kRounds; ++round) {
            bestDirect = std::min(bestDirect, direct.Login(list));
            bestProxied = std::min(bestProxied, proxied.Login(list));
        }
        std::printf("http_login proxy %s: %d feeds of %d items straight %.1f ms, through a "
                    "loopback proxy %.1f ms, ratio %.2f (target 1.10 at most)\n",
                    scheme, kFeeds, kItemsPerFeed, bestDirect * 1e3, bestProxied * 1e3,
                    bestProxied / bestDirect);
    }
}

int main(int argc, char** argv)
{
    const std::string program =
        (std::filesystem::absolute(argv[0]).parent_path() / ".." / "quillbox").string();
    std::random_device randomDevice;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("quillbox-login-" + std::to_string(randomDevice()));
    std::filesystem::create_directories(folder);
    // "memory", "processing" or "copies" runs that part alone; "ten" the ten logins of
    // "copies" alone; "worst" runs the worst cases of memory alone, "hostile" the hostile
    // lists of the memory table, "proxy" the logins through a proxy.
    const std::string only = argc > 1 ? argv[1] : "";

    const std::vector<std::string> documents = MakeFeeds(kItemsPerFeed);
    {
        CHTTPTestServer server;
        if (only.empty() || only == "processing") {
            CHost host(folder / "host", program);
            if (only.empty())
                MeasureSlowFeeds("http", server, host, folder, documents);
            MeasureProcessing(server, host, folder, documents);
        }
        if (only == "worst") {
            std::mt19937 random(9);
            const std::string large = MakeBenchFeed(0, 2700, random);
            MeasureWorstPeak("large-feeds", server, folder, program, large, 1);
            MeasureWorstPeak("large-feeds-10", server, folder, program, large, 10);
        }
        if (only.empty() || only == "copies") {
            MeasureUnchangedFeeds("unchanged", false, server, folder, program, documents);
            MeasureUnchangedFeeds("unchanged-gzip", true, server, folder, program, documents);
            MeasureCopiesCost(server, folder, program, documents);
        }
        if (only.empty() || only == "copies" || only == "ten") {
            std::mt19937 random(7);
            MeasureTenLogins("ten", server, folder, program,
                             {MakeBenchFeed(0, kBigFeedItems, random)});
            MeasureTenLogins("ten-sixty", server, folder, program, documents);
        }
        if (only == "hostile")
            MeasureHostileLists(server, folder, program, argc > 2 ? argv[2] : "");
        if (only == "proxy") {
            CHTTPTestServer secureServer(QUILLBOX_TEST_DATA_DIR "/tls/server.pem",
                                         QUILLBOX_TEST_DATA_DIR "/tls/server.key");
            MeasureProxy(server, secureServer, folder, program, documents);
        }
        if (only.empty() || only == "memory") {
            std::mt19937 random(7);
            MeasurePeak("one-big-feed", server, folder, program,
                        {MakeBenchFeed(0, kBigFeedItems, random)});
            MeasurePeak("sixty-feeds", server, folder, program, documents);
        }
    }
    if (only.empty()) {
        CHTTPTestServer server(QUILLBOX_TEST_DATA_DIR "/tls/server.pem",
                               QUILLBOX_TEST_DATA_DIR "/tls/server.key");
        CHost host(folder / "tls-host", program);
        MeasureSlowFeeds("https", server, host, folder, documents);
    }
    // The servers' side of the 60 handshakes runs on this machine too, not on the feeds'
    // servers as for a user. Servers with ECDSA keys sign about twenty times faster than with
    // RSA keys of 2048 bits: measured beside the figure above, this tells how much of it the
    // servers' signatures are.
    const auto ecdsa = folder / "ecdsa";
    std::filesystem::create_directories(ecdsa);
    if (only.empty() && MakeECDSACertificates(ecdsa)) {
        CHTTPTestServer server((ecdsa / "server.pem").string(), (ecdsa / "server.key").string());
        CHost host(folder / "ecdsa-host", program, (ecdsa / "ca.pem").string());
        MeasureSlowFeeds("https-ecdsa", server, host, folder, documents);
    } else if (only.empty()) {
        std::printf("http_login https-ecdsa: skipped, the openssl program made no certificates\n");
    }
    std::filesystem::remove_all(folder);
    return 0;
}
