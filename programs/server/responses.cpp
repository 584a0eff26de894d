#include "programs/server/responses.h"

#include <cmath>
#include <cstdio>

#include "programs/server/limits.h"

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 415: return "Unsupported Media Type";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Server too busy";
    default: return "Error";
    }
}

std::string ResponseHead(int status, const std::string& contentType, int64_t contentLength) {
    std::string head = "HTTP/1.0 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    head += "Server: Orvane\r\n";
    if (!contentType.empty()) head += "Content-Type: " + contentType + "\r\n";
    if (contentLength >= 0) head += "Content-Length: " + std::to_string(contentLength) + "\r\n";
    head += "Cache-Control: no-cache\r\nConnection: close\r\n\r\n";
    return head;
}

std::string SimpleResponse(int status, const std::string& body) {
    std::string text = body.empty() ? std::to_string(status) + " " + ReasonPhrase(status) + "\n" : body;
    return ResponseHead(status, "text/plain", static_cast<int64_t>(text.size())) + text;
}

std::string FeedParameters(const FeedConfig& feed, const StreamConfig* stream) {
    std::string out;
    double rate = stream ? stream->frameRate : StreamConfig().frameRate;
    char buf[64];
    if (std::floor(rate) == rate) std::snprintf(buf, sizeof buf, "%d", static_cast<int>(rate));
    else std::snprintf(buf, sizeof buf, "%g", rate);
    out += std::string("VideoFrameRate ") + buf + "\n";
    out += "FileMaxSize " + std::to_string(FeedFrameLimit(feed)) + "\n";
    if (stream && stream->width > 0 && stream->height > 0)
        out += "VideoSize " + std::to_string(stream->width) + "x" + std::to_string(stream->height) + "\n";
    if (stream && stream->bitRate > 0) out += "VideoBitRate " + std::to_string(stream->bitRate) + "\n";
    if (stream && stream->bitRateTolerance >= 0)
        out += "VideoBitRateTolerance " + std::to_string(stream->bitRateTolerance) + "\n";
    return out;
}

std::string AccessLogLine(const std::string& client, std::time_t when, const std::string& requestLine, int status,
                          uint64_t bytes) {
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &when);
#else
    gmtime_r(&when, &tm);
#endif
    char date[64];
    std::strftime(date, sizeof date, "%d/%b/%Y:%H:%M:%S +0000", &tm);
    std::string safe;
    for (char c : requestLine) safe += (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == 0x7f) ? '?' : c;
    return client + " - - [" + date + "] \"" + safe + "\" " + std::to_string(status) + " " + std::to_string(bytes) +
           "\n";
}
