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
    return client + " - - [" + date + "] \"" + safe + "\" " + std::to_string(status) + " " + std::to_string(bytes) + "\n";
}

namespace {

// Reads each stream with fetch, walks the SWF tags as they arrive and shows
// each frame's JPEG when its ShowFrame tag comes.
const char kPageScript[] = R"JS(
function sleep(ms) { return new Promise(r => setTimeout(r, ms)); }
async function play(name, img, info) {
  let frames = 0;
  for (;;) {
    try {
      const res = await fetch('/' + name, {cache: 'no-store'});
      if (!res.ok) { info.textContent = name + ': ' + res.status + ' ' + res.statusText; await sleep(2000); continue; }
      info.textContent = name + ': waiting for the first frame';
      const reader = res.body.getReader();
      let buf = new Uint8Array(0), pos = 0, started = false, jpeg = null, url = null;
      for (;;) {
        const {value, done} = await reader.read();
        if (done) break;
        const rest = buf.length - pos, joined = new Uint8Array(rest + value.length);
        joined.set(buf.subarray(pos)); joined.set(value, rest); buf = joined; pos = 0;
        if (!started) {
          if (buf.length < 9) continue;
          const headerLength = 8 + Math.ceil((5 + 4 * (buf[8] >> 3)) / 8) + 4;
          if (buf.length < headerLength) continue;
          pos = headerLength; started = true;
        }
        while (buf.length - pos >= 2) {
          const code = buf[pos] | (buf[pos + 1] << 8);
          let length = code & 63, head = 2;
          if (length === 63) {
            if (buf.length - pos < 6) break;
            length = (buf[pos + 2] | (buf[pos + 3] << 8) | (buf[pos + 4] << 16) | (buf[pos + 5] << 24)) >>> 0;
            head = 6;
          }
          if (buf.length - pos < head + length) break;
          const tag = code >> 6;
          if (tag === 21) jpeg = buf.slice(pos + head + 2, pos + head + length);
          if (tag === 1 && jpeg) {
            const old = url;
            url = URL.createObjectURL(new Blob([jpeg], {type: 'image/jpeg'}));
            img.src = url;
            if (old) setTimeout(() => URL.revokeObjectURL(old), 1000);
            jpeg = null;
            info.textContent = name + ': frame ' + (++frames);
            img.dataset.frames = frames;
          }
          pos += head + length;
        }
      }
      info.textContent = name + ': stream ended';
    } catch (e) {
      info.textContent = name + ': ' + e;
    }
    await sleep(1000);
  }
}
for (const box of document.querySelectorAll('.stream'))
  play(box.dataset.name, box.querySelector('img'), box.querySelector('.info'));
)JS";

}  // namespace

std::string ViewerPage(const std::vector<std::string>& streamNames) {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Orvane live</title>\n"
        "<style>body{background:#222;color:#ddd;font:14px sans-serif;margin:16px}"
        ".stream{margin-bottom:16px}img{background:#000;max-width:100%;display:block}</style>\n"
        "</head><body>\n";
    if (streamNames.empty()) page += "<p>No streams are configured.</p>\n";
    // Stream names are limited to letters, digits and ".-_" by the configuration reader.
    for (const std::string& name : streamNames)
        page += "<div class=\"stream\" data-name=\"" + name + "\"><img alt=\"" + name +
                "\"><div class=\"info\">" + name + ": connecting</div></div>\n";
    page += "<script>";
    page += kPageScript;
    page += "</script>\n</body></html>\n";
    return page;
}
