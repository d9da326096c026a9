// The page in a real browser (KORVALE_BROWSER: chromium or firefox) against the native
// programs: its rows are korvale-batch --json's for the same files, its downloads hold the bytes
// korvale SET and RESET write, and after loading it requests nothing.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import path from "node:path";
import { after, before, test } from "node:test";
import {
  batch, browserName, fileUrl, korvale, launch, makeTree, openPage, rows, scratch, serve, settled, site,
} from "./browser.mjs";

const chromium = browserName === "chromium";
let browser;
let downloads;

before(async () => {
  downloads = scratch();
  browser = await launch({ downloads });
});
after(() => browser.close());

const catalogueFiles = (root) =>
  fs.readdirSync(path.join(root, "catalogue"), { withFileTypes: true })
    .filter((entry) => entry.isFile())
    .map((entry) => entry.name)
    .sort();

async function pickFiles(page, folder, names) {
  await (await page.$("#file-input")).uploadFile(...names.map((name) => path.join(folder, name)));
}

const digest = (file) => crypto.createHash("sha256").update(fs.readFileSync(file)).digest("hex");

// The file that appears in the downloads folder once complete.
async function downloaded(name) {
  const file = path.join(downloads, name);
  for (let i = 0; i < 200; ++i) {
    const partial = fs.readdirSync(downloads).some((n) => n.endsWith(".crdownload") || n.endsWith(".part"));
    if (fs.existsSync(file) && !partial) return file;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  throw new Error(`no download ${name}; the folder holds ${fs.readdirSync(downloads)}`);
}

test("a picked folder: korvale-batch's walk, order and outcomes", {
  skip: !chromium && "Firefox's WebDriver BiDi cannot hand a folder to an input",
}, async () => {
  const root = makeTree();
  const { page, errors } = await openPage(browser, fileUrl());
  await (await page.$("#folder-input")).uploadFile(path.join(root, "catalogue"));
  const expected = batch(root, "check", "catalogue");
  await settled(page, expected.length);
  assert.deepEqual(await rows(page), expected);
  assert.deepEqual(errors, []);
  await page.close();
});

test("a dropped folder, on a page from a local server: the same", {
  skip: !chromium && "dropping files is driven through Chromium's DevTools protocol",
}, async () => {
  const root = makeTree();
  const server = await serve(site);
  try {
    const { page } = await openPage(browser, server.url);
    const zone = await (await page.$("#drop-zone")).boundingBox();
    const client = await page.createCDPSession();
    const data = { items: [], files: [path.join(root, "catalogue")], dragOperationsMask: 1 };
    for (const type of ["dragEnter", "dragOver", "drop"]) {
      await client.send("Input.dispatchDragEvent", { type, x: zone.x + 10, y: zone.y + 10, data });
    }
    const expected = batch(root, "check", "catalogue");
    await settled(page, expected.length);
    assert.deepEqual(await rows(page), expected);
    await page.close();
  } finally {
    server.stop();
  }
});

test("files picked one by one, and one gone since: cannot open, as korvale-batch says", async () => {
  const root = makeTree();
  const folder = path.join(root, "catalogue");
  const names = catalogueFiles(root);
  const { page } = await openPage(browser, fileUrl());
  await pickFiles(page, folder, names);
  await settled(page, names.length);
  assert.deepEqual(await rows(page), batch(folder, "check", ...names));

  fs.rmSync(path.join(folder, "stamped.xml"));
  await page.click("#check-again");
  await page.waitForFunction(() => document.querySelector("tbody tr[data-code='21']"));
  await settled(page, names.length);
  const again = batch(folder, "check", ...names);
  assert.equal(again.find((row) => row.path === "stamped.xml").code, 21);
  assert.deepEqual(await rows(page), again);
  await page.close();
});

test("Stamp and Reset save the bytes korvale SET and RESET write; the originals stay", async () => {
  const root = makeTree();
  const folder = path.join(root, "catalogue");
  const names = catalogueFiles(root);
  const before = Object.fromEntries(names.map((name) => [name, digest(path.join(folder, name))]));
  const { page } = await openPage(browser, fileUrl());
  await pickFiles(page, folder, names);
  await settled(page, names.length);

  // Every file selected: a zip of the stamped copies; the files without a field are named.
  await page.click("#stamp");
  const zip = await downloaded("korvale-stamped.zip");
  await settled(page, names.length);
  const status = await page.$eval("#status", (e) => e.textContent);
  const unpacked = scratch();
  // Python's zipfile checks every entry against the CRC-32 the page wrote for it.
  execFileSync("python3", ["-c", `import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
z.extractall(sys.argv[2])`, zip, unpacked]);
  const expected = scratch();
  const stamped = [];
  for (const name of names) {
    const copy = path.join(expected, name);
    fs.copyFileSync(path.join(folder, name), copy);
    if (korvale("SET", copy).trimEnd().endsWith("OK")) stamped.push(name);
    else assert.match(status, new RegExp(`${name}: ERRO`), status);
  }
  assert.deepEqual(fs.readdirSync(unpacked).sort(), stamped);
  for (const name of stamped) {
    assert.ok(fs.readFileSync(path.join(unpacked, name)).equals(fs.readFileSync(path.join(expected, name))), name);
  }
  assert.match(status, /The original files are not changed\./);

  // One file selected: its reset copy under its own name.
  await page.click("#select-all");
  await page.click('tbody tr[data-path="stamped.xml"] input');
  await page.click("#reset");
  const reset = await downloaded("stamped.xml");
  const copy = path.join(scratch(), "stamped.xml");
  fs.copyFileSync(path.join(folder, "stamped.xml"), copy);
  korvale("RESET", copy);
  assert.ok(fs.readFileSync(reset).equals(fs.readFileSync(copy)));

  for (const name of names) assert.equal(digest(path.join(folder, name)), before[name], name);
  await page.close();
});

for (const from of ["file://", "a local server"]) {
  test(`nothing is requested after loading, from ${from}`, {
    skip: !chromium && from === "file://" && "Firefox reports no requests of file:// pages to WebDriver BiDi",
  }, async () => {
    const root = makeTree();
    const folder = path.join(root, "catalogue");
    const names = catalogueFiles(root);
    const server = from === "file://" ? null : await serve(site);
    try {
      const url = server ? server.url : fileUrl();
      const { page, requests } = await openPage(browser, url);
      const origin = url.slice(0, url.lastIndexOf("/") + 1);
      assert.ok(requests.length > 0, "the recorder sees the page's own files");
      assert.deepEqual(requests.filter((r) => !r.startsWith(origin)), []);
      const loaded = requests.length;

      await pickFiles(page, folder, names);
      await settled(page, names.length);
      await page.click("#stamp");
      await downloaded("korvale-stamped.zip");
      await settled(page, names.length);
      // The policy refuses the page any connection, to its own origin too.
      const fetched = await page.evaluate(() => fetch(location.href).then(() => "fetched", () => "refused"));
      assert.equal(fetched, "refused");
      assert.deepEqual(requests.slice(loaded).filter((r) => !r.startsWith("blob:")), []);
      await page.close();
    } finally {
      server?.stop();
      fs.rmSync(path.join(downloads, "korvale-stamped.zip"), { force: true });
    }
  });
}

test("keyboard and screen readers: names, roles and focus order; 200 % zoom reflows", {
  skip: !chromium && "the accessibility tree is read through Chromium's DevTools protocol",
}, async () => {
  const root = makeTree();
  const { page } = await openPage(browser, fileUrl());
  await pickFiles(page, path.join(root, "catalogue"), ["valves.xml"]);
  await settled(page, 1);

  const unnamed = [];
  (function visit(node) {
    if (["button", "checkbox", "progressbar", "region", "table"].includes(node.role) && !node.name) {
      unnamed.push(node.role);
    }
    for (const child of node.children || []) visit(child);
  })(await page.accessibility.snapshot({ interestingOnly: false }));
  assert.deepEqual(unnamed, []);
  assert.equal(await page.$eval("#status", (e) => e.getAttribute("role")), "status");

  const order = [];
  for (let i = 0; i < 10; ++i) {
    await page.keyboard.press("Tab");
    order.push(await page.evaluate(() => document.activeElement.id || document.activeElement.getAttribute("aria-label")));
  }
  assert.deepEqual(order.slice(0, 9), [
    "choose-files", "choose-folder", "stamp", "reset", "check-again", "clear",
    "results-frame", "select-all", "Select valves.xml",
  ]);

  // The page at 200 %: half the width in CSS pixels, and nothing wider than the window.
  await page.setViewport({ width: 640, height: 800, deviceScaleFactor: 2 });
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth));
  await page.close();
});
