// The page against the native program on one large file: the time of a check in Chromium
// (the page's CRC in WebAssembly, the file read in chunks through File.slice) against
// `korvale CHECK`, the file in the page cache for both, and the peak memory (VmHWM) of the
// browser's processes, which shows that the file is never held whole.
//
//   node bench/web.mjs [SIZE_MIB]     (default 1024; needs build/native and build/wasm)
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), "..");
process.env.KORVALE_WEB_SITE ??= path.join(root, "build/wasm/web");
process.env.KORVALE_NATIVE_BIN ??= path.join(root, "build/native/bin");
const { fileUrl, launch, openPage, scratch, settled } = await import("../tests/web/browser.mjs");

const mib = Number(process.argv[2] || 1024);
const rounds = 3;
const file = path.join(scratch(), "large.xml");

// The example's head, then filler up to the size: 1 MiB written at a time.
const head = fs.readFileSync(path.join(root, "examples/valves.xml"));
const filler = Buffer.alloc(1 << 20, "<Value unit=\"bar\">350</Value>\n");
const out = fs.openSync(file, "w");
fs.writeSync(out, head);
for (let written = head.length; written < mib << 20; written += filler.length) {
  fs.writeSync(out, filler, 0, Math.min(filler.length, (mib << 20) - written));
}
fs.closeSync(out);

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
function seconds(run) {
  const start = process.hrtime.bigint();
  run();
  return Number(process.hrtime.bigint() - start) / 1e9;
}

const korvale = path.join(process.env.KORVALE_NATIVE_BIN, "korvale");
seconds(() => execFileSync(korvale, ["CHECK", file])); // into the page cache
const native = median(Array.from({ length: rounds }, () => seconds(() => execFileSync(korvale, ["CHECK", file]))));

// Peak resident memory of the browser's processes, by kind, from /proc.
function peaks(pid) {
  const found = {};
  const children = (p) => {
    try {
      return fs.readFileSync(`/proc/${p}/task/${p}/children`, "utf8").split(" ").filter(Boolean);
    } catch {
      return [];
    }
  };
  for (const stack = [String(pid)]; stack.length; ) {
    const p = stack.pop();
    stack.push(...children(p));
    try {
      const kind = /--type=([\w-]+)/.exec(fs.readFileSync(`/proc/${p}/cmdline`, "utf8"))?.[1] || "browser";
      const hwm = Number(/VmHWM:\s+(\d+)/.exec(fs.readFileSync(`/proc/${p}/status`, "utf8"))[1]) / 1024;
      found[kind] = Math.max(found[kind] || 0, hwm);
    } catch {
      // a process that ended meanwhile
    }
  }
  return found;
}

const browser = await launch();
const { page } = await openPage(browser, fileUrl());
const before = peaks(browser.process().pid);
const times = [];
await (await page.$("#file-input")).uploadFile(file);
await settled(page, 1);
for (let i = 0; i < rounds; ++i) {
  const start = process.hrtime.bigint();
  await page.click("#check-again");
  await page.waitForFunction(() => document.body.dataset.state === "busy" || document.body.dataset.state === "idle");
  await settled(page, 1);
  times.push(Number(process.hrtime.bigint() - start) / 1e9);
}
const code = await page.$eval("tbody tr", (tr) => tr.dataset.code);
const afterRuns = peaks(browser.process().pid);
await browser.close();
fs.rmSync(path.dirname(file), { recursive: true });

const web = median(times);
const gbps = (s) => ((mib << 20) / s / 1e9).toFixed(2);
console.log(`file: ${mib} MiB, code ${code}; median of ${rounds} runs each, the file in the page cache`);
console.log(`korvale CHECK:           ${(native * 1000).toFixed(0)} ms, ${gbps(native)} GB/s`);
console.log(`page in Chromium, check: ${(web * 1000).toFixed(0)} ms, ${gbps(web)} GB/s`);
console.log(`ratio (page / korvale):  ${(web / native).toFixed(1)}`);
for (const kind of Object.keys(afterRuns)) {
  console.log(`peak memory, ${kind}: ${before[kind]?.toFixed(0) ?? "-"} MiB after loading, ${afterRuns[kind].toFixed(0)} MiB after the checks`);
}
