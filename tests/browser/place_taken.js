// The test page without Flash while the server's one viewer place is taken, then freed:
// the line under the picture must say that the stream is not available, and once the
// place is free the page must try again by itself and show the live picture.
//   node place_taken.js PAGE_URL MJPEG_URL OUT_DIR
// Saves OUT_DIR/place-taken.png and OUT_DIR/place-freed.png.
const http = require("http");
const { chromium } = require("playwright-core");
const [pageUrl, mjpegUrl, outDir] = process.argv.slice(2);

// Holds the one viewer place with a plain client until released; asks again while an
// earlier viewer still holds it (the server notices a closed browser a moment later).
function tryTakePlace() {
  return new Promise((resolve) => {
    const req = http.get(mjpegUrl, (res) => {
      res.resume();
      if (res.statusCode === 200) resolve(() => req.destroy());
      else resolve(null);
    });
    req.on("error", () => resolve(null));
  });
}
async function takePlace() {
  for (const end = Date.now() + 30000; Date.now() < end;) {
    const release = await tryTakePlace();
    if (release) return release;
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error("the viewer place could not be taken");
}

let failures = 0;
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
}

(async () => {
  const release = await takePlace();
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking"],
  });
  const page = await browser.newPage({ viewport: { width: 640, height: 480 } });
  await page.goto(pageUrl, { waitUntil: "domcontentloaded" });
  const line = () => page.evaluate(() => {
    const p = document.querySelector("img + p");
    return p && p.style.display !== "none" ? p.textContent : "";
  });
  const said = await page.waitForFunction(() => {
    const p = document.querySelector("img + p");
    return p && p.style.display !== "none" && /not available/.test(p.textContent);
  }, null, { timeout: 30000 }).then(() => true, () => false);
  check(said, "place taken: the line under the picture says the stream is not available (\"" + (await line()) + "\")");
  await page.screenshot({ path: outDir + "/place-taken.png" });

  release();
  const live = await page.waitForFunction(() => {
    const img = document.querySelector("img"), p = document.querySelector("img + p");
    return img && img.naturalWidth > 0 && p && p.style.display === "none";
  }, null, { timeout: 30000 }).then(() => true, () => false);
  check(live, "place freed: the page tried again by itself, shows the picture and hides the line" +
        (live ? "" : " (line: \"" + (await line()) + "\")"));
  await page.screenshot({ path: outDir + "/place-freed.png" });
  await browser.close();
  process.exit(failures ? 1 : 0);
})().catch((e) => { console.log("FAIL " + e.message); process.exit(1); });
