#pragma once

#include <string>
#include <vector>

// How long DownloadAll waits for the downloads of one feed list.
constexpr int kDownloadWaitMilliseconds = 45000;

// Downloads every URL at once, one thread each, following redirections, and returns one
// document per URL in URL order: empty where a download failed or had not finished when the
// wait ended. Blocks the calling thread until all downloads ended or the wait is over;
// downloads still running then are cancelled. Callers pass at most 60 URLs.
std::vector<std::string> DownloadAll(const std::vector<std::string>& urls,
                                     int waitMilliseconds = kDownloadWaitMilliseconds);
