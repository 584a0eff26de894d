#include "programs/server/viewer_page.h"

#include "common/product.h"

namespace {

// The look follows the panel's banner: black, the title in colour, light blue
// and yellow text.
const char kHead[] = R"HTML(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)HTML" ORVANE_PRODUCT_TITLE R"HTML(</title>
<link rel="icon" href="data:,">
<style>
body{margin:0;padding:0 12px 16px;background:#000;color:#80c0e0;font:14px Tahoma,Verdana,sans-serif;text-align:center}
h1{margin:16px 0 2px;font:bold 30px Impact,"Arial Black",sans-serif;letter-spacing:1px;color:#f0c040;
  background:linear-gradient(90deg,#ff6060,#f0c040,#60e060,#40c0ff,#c080ff);-webkit-background-clip:text;
  background-clip:text;-webkit-text-fill-color:transparent}
.edition{color:#e0e080;margin-bottom:12px}
.screen{position:relative;display:inline-block;min-width:320px;min-height:240px;max-width:100%;
  background:#111;border:1px solid #2a4450;vertical-align:top}
.screen img{display:block;max-width:100%}
.screen img:not([src]){display:none}
.stream:not([data-state=live]) img{opacity:.3}
.notice{position:absolute;inset:0;display:flex;align-items:center;justify-content:center;padding:16px;
  color:#fff;font-size:18px;line-height:1.4;text-shadow:0 1px 3px #000}
.stream[data-state=live] .notice{display:none}
.status{margin-top:8px}
.frames{color:#e0e080}
.others a{color:#80c0e0}
</style></head><body>
<h1>)HTML" ORVANE_PRODUCT_TITLE R"HTML(</h1>
<div class="edition">Live camera</div>
)HTML";

// Reads the MJPEG stream with fetch (so that it knows when a picture comes, a
// viewer place is taken, or the stream ends), shows each picture in the <img>,
// and tries again after every end, so that it carries on across a restart of
// the encoder or of the server. While the page is hidden (a background tab, a
// minimised window) it gives the viewer place back and waits to be shown.
const char kScript[] = R"JS(
const box = document.querySelector('.stream');
const img = box.querySelector('img'), notice = box.querySelector('.notice');
const stateText = box.querySelector('.state'), framesText = box.querySelector('.frames');
const names = JSON.parse(box.dataset.streams);
const wanted = new URLSearchParams(location.search).get('stream');
const name = names.includes(wanted) ? wanted : names[0];
let frames = 0, lastFrame = 0;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
let request = null;  // the stream's fetch, to abort when the page is hidden
document.addEventListener('visibilitychange', () => {
  if (document.hidden && request) request.abort();
});
const shown = () => new Promise((resolve) => {
  const check = () => {
    if (document.hidden) return;
    document.removeEventListener('visibilitychange', check);
    resolve();
  };
  document.addEventListener('visibilitychange', check);
  check();
});

function show(state, text, status) {
  box.dataset.state = state;
  notice.textContent = text;
  stateText.textContent = status || text;
}

async function retryIn(seconds, state, text, status) {
  for (let s = seconds; s > 0; s--) {
    show(state, text + ' Trying again in ' + s + ' s.', status);
    await sleep(1000);
  }
}

function showPicture(jpeg) {
  const old = img.getAttribute('src');
  img.src = URL.createObjectURL(new Blob([jpeg], {type: 'image/jpeg'}));
  if (old) setTimeout(() => URL.revokeObjectURL(old), 1000);
  frames++;
  lastFrame = performance.now();
  img.dataset.frames = frames;
  framesText.textContent = 'frame ' + frames;
  show('live', '', 'Live: ' + name);
}

function find(buf, from, bytes) {
  for (let i = from; i + bytes.length <= buf.length; i++) {
    let j = 0;
    while (j < bytes.length && buf[i + j] === bytes[j]) j++;
    if (j === bytes.length) return i;
  }
  return -1;
}

// Each part: headers with its Content-Length, a blank line, the picture.
async function play(reader) {
  const blank = [13, 10, 13, 10];
  let buf = new Uint8Array(0), searched = 0;
  const watchdog = setInterval(() => {
    if (box.dataset.state === 'live' && performance.now() - lastFrame > 3000)
      show('waiting', 'The camera has stopped sending pictures. Waiting for it\u2026');
  }, 500);
  try {
    for (;;) {
      const {value, done} = await reader.read();
      if (done) return;
      const joined = new Uint8Array(buf.length + value.length);
      joined.set(buf);
      joined.set(value, buf.length);
      buf = joined;
      for (;;) {
        const end = find(buf, searched, blank);
        if (end < 0) { searched = Math.max(0, buf.length - 3); break; }
        const head = new TextDecoder().decode(buf.subarray(0, end));
        const length = /content-length:\s*(\d+)/i.exec(head);
        const start = end + 4;
        if (!length) { buf = buf.subarray(start); searched = 0; continue; }
        if (buf.length < start + Number(length[1])) { searched = end; break; }
        showPicture(buf.slice(start, start + Number(length[1])));
        buf = buf.subarray(start + Number(length[1]));
        searched = 0;
      }
    }
  } finally {
    clearInterval(watchdog);
  }
}

async function watch() {
  for (;;) {
    if (document.hidden) {
      show('paused', 'Paused while the page is hidden.', 'Paused: the page is hidden');
      await shown();
    }
    show('connecting', 'Connecting\u2026');
    let res;
    request = new AbortController();
    try {
      res = await fetch('/' + name, {cache: 'no-store', signal: request.signal});
    } catch (e) {
      if (document.hidden) continue;
      await retryIn(3, 'ended', 'The stream has ended: the server does not answer.', 'Stream ended, reconnecting');
      continue;
    }
    if (res.status === 503) {
      await retryIn(5, 'busy', 'Another viewer is watching: the server has no free viewer place.',
                    'Another viewer is watching (503)');
      continue;
    }
    if (!res.ok) {
      await retryIn(5, 'error', 'The server answered ' + res.status + ' ' + res.statusText + '.');
      continue;
    }
    show('waiting', 'Waiting for the camera\u2026');
    try { await play(res.body.getReader()); } catch (e) { /* the connection broke: as an end */ }
    if (document.hidden) continue;
    await retryIn(2, 'ended', 'The stream has ended.', 'Stream ended, reconnecting');
  }
}
watch();
)JS";

// Stream names are limited to letters, digits and ".-_" by the configuration
// reader, so they go into the page as they are.
std::string JsonList(const std::vector<std::string>& names) {
    std::string out = "[";
    for (size_t i = 0; i < names.size(); ++i) out += (i ? ",\"" : "\"") + names[i] + "\"";
    return out + "]";
}

}  // namespace

std::string ViewerPage(const std::vector<std::string>& mjpegNames) {
    std::string page = kHead;
    if (mjpegNames.empty()) return page + "<p>No streams are configured.</p>\n</body></html>\n";
    page +=
        "<div class=\"stream\" data-state=\"connecting\" data-streams='" + JsonList(mjpegNames) +
        "'>\n<div class=\"screen\"><img alt=\"live picture\"><div class=\"notice\">Connecting&hellip;</div></div>\n"
        "<div class=\"status\"><span class=\"state\">Connecting</span> &middot; <span class=\"frames\">frame 0</span>"
        "</div>\n</div>\n";
    if (mjpegNames.size() > 1) {
        page += "<p class=\"others\">Streams:";
        for (const std::string& n : mjpegNames) page += " <a href=\"/?stream=" + n + "\">" + n + "</a>";
        page += "</p>\n";
    }
    page += "<script>";
    page += kScript;
    page += "</script>\n</body></html>\n";
    return page;
}
