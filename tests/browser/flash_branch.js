// The test page's script line run against the browsers it must tell apart, with a
// stand-in document: only where Flash is missing may the embed give way to the picture,
// with a line of text under it while there is no picture and a retry every few seconds
// when the stream cannot be had, and the stream given back while the page is hidden.
//   node flash_branch.js demo.html SRC WIDTH HEIGHT
const fs = require("fs");
const vm = require("vm");
const [page, src, width, height] = process.argv.slice(2);
const line = fs.readFileSync(page, "latin1").split("\r\n").find((l) => l.startsWith("<script"));
if (!line) {
  console.log("FAIL the page has no script line");
  process.exit(1);
}
const code = line.replace(/^<script[^>]*>/, "").replace(/<\/script>$/, "");

// Runs the script: what took the embed's place (null: nothing), the text put right
// after it, the timers set and the number of elements created.
function run(navigator, ActiveXObject) {
  const r = { put: null, text: null, timers: [], created: 0, listeners: {} };
  const parent = {
    replaceChild: (node, old) => { if (old === embed) { r.put = node; node.parentNode = parent; } },
    insertBefore: (node, before) => { if (r.put && before === r.put.nextSibling) r.text = node; },
  };
  const embed = { parentNode: parent };
  const document = {
    getElementsByTagName: (tag) => (tag === "embed" ? [embed] : []),
    createElement: (tag) => { r.created++; return { tagName: tag, style: {} }; },
    addEventListener: (type, f) => { r.listeners[type] = f; },
    hidden: false,
  };
  r.document = document;
  const context = { navigator, document, setTimeout: (f, ms) => r.timers.push({ f, ms }) };
  if (ActiveXObject) context.ActiveXObject = ActiveXObject;
  vm.runInNewContext(code, context);
  return r;
}
const flashControl = function (name) { if (name !== "ShockwaveFlash.ShockwaveFlash") throw new Error("no " + name); };
const noControl = function () { throw new Error("Automation server can't create object"); };
const plugin = { enabledPlugin: { name: "Shockwave Flash" } };
const shown = (p) => p.style.display !== "none" && p.innerHTML !== "";

let failures = 0;
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
}
const noFlash = run({ mimeTypes: {} });
const picture = noFlash.put;
check(picture && picture.tagName === "img" && picture.src === src && String(picture.width) === width &&
      String(picture.height) === height, `no Flash: the embed gives way to <img src=${src}> ${width}x${height}` +
      (picture ? "" : " (nothing took its place)"));
const text = noFlash.text;
check(text && text.tagName === "p" && shown(text) && /waiting/i.test(text.innerHTML),
      "no Flash: a line under the picture says it waits for the stream");
if (picture && text) {
  picture.onload();
  check(!shown(text), "the first picture hides the line");
  picture.onerror();
  check(shown(text) && /not available/.test(text.innerHTML) && noFlash.timers.length === 1 &&
        noFlash.timers[0].ms >= 2000 && noFlash.timers[0].ms <= 10000,
        "the stream not available (503, or no server): the line says so and a retry comes in a few seconds");
  check(picture.style.visibility === "hidden", "the stream not available: no broken picture is shown");
  noFlash.timers[0].f();
  const first = picture.src;
  check(first.startsWith(src + "?") && /waiting/i.test(text.innerHTML), "the retry asks for the stream anew: " + first);
  picture.onerror();
  check(noFlash.timers.length === 2, "a failed retry sets the next one");
  if (noFlash.timers.length === 2) noFlash.timers[1].f();
  check(picture.src !== first && picture.src.startsWith(src + "?"), "each retry asks with an address of its own");
  picture.onload();
  check(picture.style.visibility === "" && !shown(text), "a picture again: shown, and the line goes");
  // Hidden (a background tab): the place is given back, and nothing asks for it until shown.
  const visibility = noFlash.listeners.visibilitychange;
  check(typeof visibility === "function", "the page watches its visibility");
  if (visibility) {
    picture.onerror();  // a retry is pending as the page is hidden
    const pending = noFlash.timers[noFlash.timers.length - 1], timers = noFlash.timers.length;
    noFlash.document.hidden = true;
    visibility();
    check(!picture.src.startsWith(src) && /hidden/i.test(text.innerHTML) && shown(text),
          "hidden: the picture lets go of the stream and the line says why (" + picture.src.slice(0, 30) + ")");
    pending.f();
    picture.onload();
    picture.onerror();
    check(!picture.src.startsWith(src) && noFlash.timers.length === timers && /hidden/i.test(text.innerHTML),
          "hidden: a pending retry, the empty picture's load or error ask for nothing");
    noFlash.document.hidden = false;
    visibility();
    check(picture.src.startsWith(src + "?") && /waiting/i.test(text.innerHTML), "shown again: the stream is asked for anew");
  }
}
// Where Flash plays, the page is the embed alone: nothing is created, nothing is timed.
const untouched = (r) => r.put === null && r.created === 0 && r.timers.length === 0;
check(untouched(run({ mimeTypes: { "application/x-shockwave-flash": plugin } })), "Flash plug-in: the embed stays");
check(run({ mimeTypes: { "application/x-shockwave-flash": { enabledPlugin: null } } }).put !== null,
      "Flash listed but switched off: the picture");
check(untouched(run({ mimeTypes: {} }, flashControl)), "IE with the Flash control: the embed stays");
check(run({ mimeTypes: {} }, noControl).put !== null, "IE without the Flash control: the picture");
check(run({}).put !== null, "a browser without navigator.mimeTypes: the picture");
process.exit(failures ? 1 : 0);
