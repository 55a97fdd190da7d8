#pragma once

#include "http/FeedDownloads.h"

#include <chrono>
#include <string>
#include <vector>

// The downloads of a list in one call, for the tests and benchmarks that want every document
// at once; a login takes each as it arrives from CFeedDownloads instead.

// Downloads every URL as CFeedDownloads does and returns one document per URL in URL order:
// empty where a download failed or had not finished when the wait ended. Blocks until all
// downloads ended or the wait is over.
std::vector<std::string> DownloadAll(const std::vector<std::string>& urls,
                                     std::chrono::milliseconds wait = kDownloadWait);
