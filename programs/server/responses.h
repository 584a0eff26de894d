// The texts the server answers with, apart from the stream itself.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "programs/server/config.h"

// "HTTP/1.0 <status> <reason>" headers with Connection: close; contentLength < 0 leaves it out.
std::string ResponseHead(int status, const std::string& contentType, int64_t contentLength);
// A complete short response with a small text body.
std::string SimpleResponse(int status, const std::string& body = "");
const char* ReasonPhrase(int status);

// The stream parameters the encoder reads from GET /<feed>: one directive a line.
std::string FeedParameters(const FeedConfig& feed, const StreamConfig* stream);

// One access log line: client, time (UTC), request line, status, bytes sent.
std::string AccessLogLine(const std::string& client, std::time_t when, const std::string& requestLine, int status,
                          uint64_t bytes);
