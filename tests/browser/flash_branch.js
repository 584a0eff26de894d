// The test page's script line run against the browsers it must tell apart, with a
// stand-in document: only where Flash is missing may the embed give way to the picture.
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

// Runs the script; returns what took the embed's place, or null.
function run(navigator, ActiveXObject) {
  let put = null;
  const embed = { parentNode: { replaceChild: (created, old) => { if (old === embed) put = created; } } };
  const document = {
    getElementsByTagName: (tag) => (tag === "embed" ? [embed] : []),
    createElement: (tag) => ({ tagName: tag }),
  };
  const context = { navigator, document };
  if (ActiveXObject) context.ActiveXObject = ActiveXObject;
  vm.runInNewContext(code, context);
  return put;
}
const flashControl = function (name) { if (name !== "ShockwaveFlash.ShockwaveFlash") throw new Error("no " + name); };
const noControl = function () { throw new Error("Automation server can't create object"); };
const plugin = { enabledPlugin: { name: "Shockwave Flash" } };

let failures = 0;
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (!ok) failures++;
}
const picture = run({ mimeTypes: {} });
check(picture && picture.tagName === "img" && picture.src === src && String(picture.width) === width &&
      String(picture.height) === height, `no Flash: the embed gives way to <img src=${src}> ${width}x${height}` +
      (picture ? "" : " (nothing took its place)"));
check(run({ mimeTypes: { "application/x-shockwave-flash": plugin } }) === null, "Flash plug-in: the embed stays");
check(run({ mimeTypes: { "application/x-shockwave-flash": { enabledPlugin: null } } }) !== null,
      "Flash listed but switched off: the picture");
check(run({ mimeTypes: {} }, flashControl) === null, "IE with the Flash control: the embed stays");
check(run({ mimeTypes: {} }, noControl) !== null, "IE without the Flash control: the picture");
check(run({}) !== null, "a browser without navigator.mimeTypes: the picture");
process.exit(failures ? 1 : 0);
