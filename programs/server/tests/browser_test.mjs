// Browser checks of the stream: a captured stretch of /demo.swf, cut at a
// frame boundary and closed, plays in Ruffle (frames advance), and the viewer
// page at "/" shows the live stream and says what is happening: waiting for
// the camera, another viewer watching, the camera stopped, the stream ended;
// it plays on after the encoder and the server come back. Screenshots of each
// state are left in the work folder. Headless Chromium through playwright-core.
// Each test frame carries its number as sixteen black or white blocks along
// the bottom, which is read back from the screenshots.
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import path from "node:path";
import { createRequire } from "node:module";

const [serverPath, framesDir, workDir, modulesDir] = process.argv.slice(2).map((p) => path.resolve(p));
const require = createRequire(path.join(modulesDir, "node_modules", "x.js"));
const { chromium } = require("playwright-core");
const ruffleDir = path.dirname(require.resolve("@ruffle-rs/ruffle/package.json"));

const frames = fs.readdirSync(framesDir).filter((f) => f.endsWith(".jpg")).sort()
  .map((f) => fs.readFileSync(path.join(framesDir, f)));
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
let failures = 0;
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
}

function freePort() {
  return new Promise((resolve) => {
    const s = net.createServer().listen(0, "127.0.0.1", () => {
      const port = s.address().port;
      s.close(() => resolve(port));
    });
  });
}

// Feeds the frames in a loop at 15 per second, as the encoder would.
function startFeeder(port) {
  const sock = net.connect(port, "127.0.0.1");
  sock.write("POST /feed.ffm HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n");
  let n = 0;
  const timer = setInterval(() => {
    const jpeg = frames[n++ % frames.length];
    sock.write(`--b\r\nContent-Type: image/jpeg\r\nContent-Length: ${jpeg.length}\r\n\r\n`);
    sock.write(jpeg);
    sock.write("\r\n");
  }, 1000 / 15);
  return () => { clearInterval(timer); sock.destroy(); };
}

// Reads the stream for a while, then cuts it after the last whole frame and
// closes it: End tag, real file length and frame count in the header.
function capture(port, ms) {
  return new Promise((resolve, reject) => {
    const sock = net.connect(port, "127.0.0.1");
    const chunks = [];
    sock.write("GET /demo.swf HTTP/1.1\r\nHost: x\r\n\r\n");
    sock.on("data", (d) => chunks.push(d));
    sock.on("error", reject);
    setTimeout(() => {
      sock.destroy();
      const all = Buffer.concat(chunks);
      const body = all.subarray(all.indexOf("\r\n\r\n") + 4);
      const rectBits = 5 + 4 * (body[8] >> 3);
      let pos = 8 + Math.ceil(rectBits / 8) + 4, lastFrameEnd = -1, count = 0;
      while (pos + 2 <= body.length) {
        const code = body.readUInt16LE(pos);
        let len = code & 63, head = 2;
        if (len === 63) { if (pos + 6 > body.length) break; len = body.readUInt32LE(pos + 2); head = 6; }
        if (pos + head + len > body.length) break;
        pos += head + len;
        if (code >> 6 === 1) { lastFrameEnd = pos; count++; }
      }
      const swf = Buffer.concat([body.subarray(0, lastFrameEnd), Buffer.from([0, 0])]);
      swf.writeUInt32LE(swf.length, 4);
      swf.writeUInt16LE(count, 8 + Math.ceil(rectBits / 8) + 2);
      resolve({ swf, count });
    }, ms);
  });
}

// The frame number shown in a screenshot of a 640x480 picture.
function frameNumber(png) {
  const y = 480 - 30;
  const fx = Array.from({ length: 16 }, (_, i) => `%[fx:p{${Math.round((i + 0.5) * 40)},${y}}.intensity]`).join(" ");
  const out = execFileSync("convert", [png, "-format", fx, "info:"]).toString().trim().split(/\s+/).map(Number);
  if (out.some((v) => v > 0.2 && v < 0.8)) return -1;  // not a clean frame
  return out.reduce((n, v) => n * 2 + (v >= 0.5 ? 1 : 0), 0);
}

function serveStatic(files) {
  const server = http.createServer((req, res) => {
    const url = req.url.split("?")[0];
    let file = files[url];
    if (url === "/favicon.ico") { res.writeHead(204); res.end(); return; }
    if (!file && url.startsWith("/ruffle/")) file = path.join(ruffleDir, path.basename(url));
    if (!file || !fs.existsSync(file)) { res.writeHead(404); res.end(); return; }
    const type = file.endsWith(".wasm") ? "application/wasm" : file.endsWith(".js") ? "text/javascript"
      : file.endsWith(".swf") ? "application/x-shockwave-flash" : "text/html";
    res.writeHead(200, { "Content-Type": type });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

async function shots(page, locator, prefix, count, gapMs) {
  const numbers = [];
  for (let i = 0; i < count; i++) {
    await sleep(gapMs);
    const file = path.join(workDir, `${prefix}-${i}.png`);
    await locator.screenshot({ path: file });
    numbers.push(frameNumber(file));
  }
  return numbers;
}

function startServer(config) {
  return spawn(serverPath, ["-f", config], { stdio: ["ignore", "ignore", "inherit"] });
}

async function waitListening(port) {
  for (let i = 0; i < 100; i++) {
    const up = await new Promise((r) => { const s = net.connect(port, "127.0.0.1", () => { s.destroy(); r(true); }); s.on("error", () => r(false)); });
    if (up) return;
    await sleep(100);
  }
  throw new Error("the server does not listen");
}

async function stopServer(server) {
  const code = new Promise((r) => server.on("exit", (c) => r(c)));
  server.kill("SIGTERM");
  return code;
}

// The viewer page's state (data-state), its notice and its frame count.
async function pageState(page) {
  return page.evaluate(() => {
    const box = document.querySelector(".stream");
    return { state: box.dataset.state, notice: box.querySelector(".notice").textContent,
      status: box.querySelector(".status").textContent, frames: Number(box.querySelector("img").dataset.frames || 0) };
  });
}

async function waitForState(page, state, timeout = 15000) {
  await page.waitForFunction((s) => document.querySelector(".stream").dataset.state === s, state, { timeout });
  return pageState(page);
}

async function waitForFrames(page, atLeast, timeout = 15000) {
  await page.waitForFunction((n) => Number(document.querySelector(".stream img").dataset.frames || 0) >= n, atLeast,
    { timeout });
}

async function main() {
  fs.mkdirSync(workDir, { recursive: true });
  const port = await freePort();
  const config = path.join(workDir, "orvane.conf");
  fs.writeFileSync(config, [`Port ${port}`, "BindAddress 0.0.0.0", "MaxHTTPConnections 2000", "MaxClients 1",
    "MaxBandwidth 100000", "CustomLog -", "NoDaemon", "<Feed feed.ffm>", "File mem:feed.ffm", "FileMaxSize 200K",
    "ACL allow 127.0.0.1", "</Feed>", "<Stream demo.swf>", "Format swf", "Feed feed.ffm", "NoAudio",
    "VideoFrameRate 15", "VideoSize 640x480", "</Stream>", ""].join("\r\n"));
  let server = startServer(config);
  await waitListening(port);
  let stopFeeder = () => {};
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const shot = (page, name) => page.screenshot({ path: path.join(workDir, name) });
  try {
    // Before the camera sends anything, the viewer page says it waits for it.
    const live = await browser.newPage({ viewport: { width: 800, height: 620 } });
    const errors = [];
    live.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
    await live.goto(`http://127.0.0.1:${port}/`);
    check((await live.title()) === "Orvane DEMO (Web Edition)", "the viewer page has the panel's title");
    let st = await waitForState(live, "waiting");
    await shot(live, "viewer-waiting.png");
    check(/Waiting for the camera/.test(st.notice), `no frame yet: "${st.notice}"`);
    await live.close();

    stopFeeder = startFeeder(port);
    await sleep(500);
    const { swf, count } = await capture(port, 3000);
    const swfFile = path.join(workDir, "capture.swf");
    fs.writeFileSync(swfFile, swf);
    check(count >= 30, `captured ${count} frames (${swf.length} bytes) in 3 s`);

    const pageFile = path.join(workDir, "ruffle.html");
    fs.writeFileSync(pageFile, `<!DOCTYPE html><html><body style="margin:0;background:#333">
<div id="box"></div>
<script>
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = { autoplay: "on", unmuteOverlay: "hidden", splashScreen: false, letterbox: "off",
  contextMenu: "off", publicPath: "/ruffle/", logLevel: "warn" };
</script>
<script src="/ruffle/ruffle.js"></script>
<script>
window.addEventListener("load", () => {
  const player = window.RufflePlayer.newest().createPlayer();
  player.id = "player";
  player.style.width = "640px"; player.style.height = "480px"; player.style.display = "block";
  document.getElementById("box").appendChild(player);
  player.ruffle().load("/capture.swf");
});
</script></body></html>`);
    const statics = await serveStatic({ "/": pageFile, "/capture.swf": swfFile });
    const page = await browser.newPage({ viewport: { width: 800, height: 600 } });
    const ruffleErrors = [];
    page.on("console", (m) => { if (m.type() === "error") ruffleErrors.push(m.text()); });
    await page.goto(`http://127.0.0.1:${statics.address().port}/`);
    await page.waitForSelector("#player");
    await sleep(1500);
    const ruffle = await shots(page, page.locator("#player"), "ruffle", 4, 400);
    console.log("Ruffle shows frames", ruffle.join(" "));
    check(ruffle.every((n) => n >= 0), "Ruffle draws the stream's pictures (frame numbers readable)");
    check(new Set(ruffle).size >= 3, "Ruffle's frames advance");
    check(ruffleErrors.length === 0, "no errors in the Ruffle page" + (ruffleErrors.length ? ": " + ruffleErrors.join("; ") : ""));
    await page.close();
    statics.close();

    // Playing: the MJPEG stream's pictures in the page, counted.
    const viewer = await browser.newPage({ viewport: { width: 800, height: 620 } });
    viewer.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
    await viewer.goto(`http://127.0.0.1:${port}/`);
    await waitForFrames(viewer, 6);
    const numbers = await shots(viewer, viewer.locator(".stream img"), "viewer", 4, 400);
    console.log("The viewer page shows frames", numbers.join(" "));
    check(numbers.every((n) => n >= 0), "the viewer page draws the live pictures");
    check(new Set(numbers).size >= 3, "the viewer page's frames advance");
    st = await pageState(viewer);
    await shot(viewer, "viewer-playing.png");
    check(st.state === "live" && st.frames > 10 && st.status.includes(`frame ${st.frames}`),
      `live, with its frame counter: "${st.status}"`);

    // A second viewer while the one place is taken: told so, and it keeps trying.
    const second = await browser.newPage({ viewport: { width: 800, height: 620 } });
    await second.goto(`http://127.0.0.1:${port}/`);
    st = await waitForState(second, "busy");
    await shot(second, "viewer-busy.png");
    check(/Another viewer is watching/.test(st.notice) && /Trying again in \d s/.test(st.notice),
      `one place, taken: "${st.notice}"`);

    // The first page hidden (a background tab: the document says so, and tells its
    // listeners, as the browser does): it gives the place back, the second page gets it
    // with its next try; shown again, the first one takes the place once it is free.
    const setHidden = (page, hidden) => page.evaluate((h) => {
      Object.defineProperty(document, "hidden", { configurable: true, get: () => h });
      Object.defineProperty(document, "visibilityState", { configurable: true, get: () => (h ? "hidden" : "visible") });
      document.dispatchEvent(new Event("visibilitychange"));
    }, hidden);
    await setHidden(viewer, true);
    st = await waitForState(viewer, "paused", 5000);
    await shot(viewer, "viewer-paused.png");
    check(/hidden/.test(st.notice), `hidden: the page pauses and says so: "${st.notice}"`);
    st = await waitForState(second, "live", 15000);
    check(st.state === "live", "hidden: the place it gave back goes to the other page");
    await second.close();
    await setHidden(viewer, false);
    st = await waitForState(viewer, "live", 20000);
    check(st.state === "live", "shown again: the page takes the place back and plays");

    // The encoder stops and starts again: the page says so, then plays on.
    stopFeeder();
    st = await waitForState(viewer, "waiting", 8000);
    await shot(viewer, "viewer-camera-stopped.png");
    check(/stopped sending pictures/.test(st.notice), `the camera stops: "${st.notice}"`);
    stopFeeder = startFeeder(port);
    await waitForFrames(viewer, st.frames + 10);
    check((await pageState(viewer)).state === "live", "plays on when the encoder comes back");

    // The server ends: the stream ended, reconnecting; it comes back and the page plays on.
    stopFeeder();
    check(await stopServer(server) === 0, "server ended with 0");
    st = await waitForState(viewer, "ended", 8000);
    await shot(viewer, "viewer-ended.png");
    check(/The stream has ended/.test(st.notice), `the stream ends: "${st.notice}"`);
    server = startServer(config);
    await waitListening(port);
    stopFeeder = startFeeder(port);
    await waitForFrames(viewer, st.frames + 10, 20000);
    await shot(viewer, "viewer-resumed.png");
    check((await pageState(viewer)).state === "live", "plays again after the server came back");
    check(errors.length === 0 || errors.every((e) => /Failed to load resource|ERR_/.test(e)),
      "no script errors in the viewer page" + (errors.length ? ": " + errors.join("; ") : ""));
  } finally {
    await browser.close();
    stopFeeder();
  }
  check(await stopServer(server) === 0, "server ended with 0");
  process.exit(failures ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(1); });
