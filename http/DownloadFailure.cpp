#include "http/DownloadFailure.h"

#include <string>

const char* DownloadFailureText(DownloadFailure failure)
{
    switch (failure) {
    case DownloadFailure::Cancelled:
        return "download cancelled";
    case DownloadFailure::NoServerName:
        return "cannot resolve server name";
    case DownloadFailure::NoProxyName:
        return "cannot resolve the proxy's name";
    case DownloadFailure::CannotSend:
        return "cannot send request";
    case DownloadFailure::NoAnswer:
        return "no answer";
    case DownloadFailure::NotHTTP:
        return "not an HTTP answer";
    case DownloadFailure::HeadersTooLarge:
        return "headers too large";
    case DownloadFailure::CutOff:
        return "answer cut off";
    case DownloadFailure::TooLarge:
        return "response too large";
    case DownloadFailure::RedirectedTooOften: {
        static const std::string text =
            "redirected more than " + std::to_string(kMaxRequests) + " times";
        return text.c_str();
    }
    case DownloadFailure::None:
    case DownloadFailure::Other:
        break;
    }
    return nullptr;
}
