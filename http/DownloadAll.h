#pragma once

#include <string>
#include <vector>

// How long DownloadAll waits for the downloads of one feed list.
constexpr int kDownloadWaitMilliseconds = 45000;

// Downloads every URL at once, one thread each, following redirections, and returns one
// document per URL in URL order: empty where a download failed or had not finished when the
// wait ended. Blocks the calling thread until all downloads ended or the wait is over;
// downloads still running then are cancelled, and the call gives them at most half a second
// more to let go of their connections. Callers pass at most 60 URLs. Several sessions may
// call it at once.
std::vector<std::string> DownloadAll(const std::vector<std::string>& urls,
                                     int waitMilliseconds = kDownloadWaitMilliseconds);
