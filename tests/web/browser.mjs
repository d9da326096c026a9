// What the page's tests, its screenshot and its benchmark share: the browsers (Debian's
// Chromium and Firefox ESR, driven by puppeteer-core), the page loaded from file:// or from a
// local static server, the native programs, and a tree of data files with every outcome.
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";
import puppeteer from "puppeteer-core";

export const site = process.env.KORVALE_WEB_SITE;
export const nativeBin = process.env.KORVALE_NATIVE_BIN;
export const browserName = process.env.KORVALE_BROWSER || "chromium";
const examples = new URL("../../examples/", import.meta.url);

const executables = { chromium: "/usr/bin/chromium", firefox: "/usr/bin/firefox-esr" };

// Downloads land in `downloads`, when given.
export async function launch({ downloads } = {}) {
  const firefox = browserName === "firefox";
  return puppeteer.launch({
    browser: firefox ? "firefox" : "chrome",
    executablePath: executables[browserName],
    headless: true,
    // Root runs Chromium here, which it allows only without its sandbox.
    args: firefox ? [] : ["--no-sandbox"],
    downloadBehavior: downloads && !firefox ? { policy: "allow", downloadPath: downloads } : undefined,
    // Firefox takes the folder from its preferences, and asks nothing before saving.
    extraPrefsFirefox: downloads
      ? {
          "browser.download.folderList": 2,
          "browser.download.dir": downloads,
          "browser.download.useDownloadDir": true,
          "browser.download.always_ask_before_handling_new_types": false,
        }
      : {},
  });
}

// Every request the page makes, from its first on, as URLs.
export async function openPage(browser, url) {
  const page = await browser.newPage();
  const requests = [];
  page.on("request", (request) => requests.push(request.url()));
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  await page.goto(url);
  await page.waitForSelector("body[data-state=idle]");
  return { page, requests, errors };
}

export function fileUrl() {
  return pathToFileURL(path.join(site, "index.html")).href;
}

// python3 -m http.server on a free port of the loopback; stop() ends it.
export async function serve(folder) {
  const server = spawn("python3", ["-m", "http.server", "--bind", "127.0.0.1", "0", "--directory", folder], {
    stdio: ["ignore", "pipe", "pipe"],
  });
  const port = await new Promise((resolve, reject) => {
    server.stdout.on("data", (data) => {
      const match = /port (\d+)/.exec(String(data));
      if (match) resolve(Number(match[1]));
    });
    server.on("exit", (code) => reject(new Error(`http.server ended with ${code}`)));
  });
  return { url: `http://127.0.0.1:${port}/index.html`, stop: () => server.kill() };
}

// Waits until the page has finished every job and lists `count` rows.
export async function settled(page, count) {
  await page.waitForFunction(
    (n) => document.body.dataset.state === "idle" && document.querySelectorAll("tbody tr").length === n,
    {},
    count,
  );
}

// The rows as korvale-batch --json names their fields.
export async function rows(page) {
  return page.$$eval("tbody tr", (trs) =>
    trs.map((tr) => ({
      path: tr.dataset.path,
      code: Number(tr.dataset.code),
      stored: tr.dataset.stored,
      computed: tr.dataset.computed,
      message: tr.children[6].textContent,
    })),
  );
}

for (const program of ["korvale", "korvale-batch"]) {
  if (!fs.existsSync(path.join(nativeBin, program))) {
    throw new Error(`${program} is not in ${nativeBin}: build the native preset first`);
  }
}

export function korvale(...args) {
  return execFileSync(path.join(nativeBin, "korvale"), args, { encoding: "utf8" });
}

// korvale-batch --json, its lines with the fields the page shows; run in `cwd`.
export function batch(cwd, ...args) {
  let output;
  try {
    output = execFileSync(path.join(nativeBin, "korvale-batch"), ["--json", ...args], {
      cwd,
      encoding: "utf8",
      stdio: ["ignore", "pipe", "ignore"],
    });
  } catch (error) {
    output = error.stdout; // status 1: some file gave another code than 0
  }
  return output
    .trim()
    .split("\n")
    .map((line) => {
      const { path: p, code, stored, computed, message } = JSON.parse(line);
      return { path: p, code, stored, computed, message };
    });
}

export function scratch() {
  return fs.mkdtempSync(path.join(os.tmpdir(), "korvale-web-"));
}

// catalogue/ with a file of every outcome a check gives, a file the walk leaves out, a folder
// named like a data file, and names whose byte order (UTF-8, the walk's) differs from their
// order in UTF-16: the full-width Ｚ (U+FF3A) comes before the emoji in bytes, after it in
// UTF-16. Gives the tree's parent folder.
export function makeTree() {
  const root = scratch();
  const valves = fs.readFileSync(new URL("valves.xml", examples));
  const folder = path.join(root, "catalogue");
  const put = (name, bytes) => {
    fs.mkdirSync(path.dirname(path.join(folder, name)), { recursive: true });
    fs.writeFileSync(path.join(folder, name), bytes);
    return path.join(folder, name);
  };
  put("valves.xml", valves);
  korvale("SET", put("stamped.xml", valves));
  const changed = put("changed.xml", valves);
  korvale("SET", changed);
  fs.appendFileSync(changed, "<!-- edited -->\n");
  put("no-field.xml", Buffer.from(valves.toString("latin1").replaceAll("crc32", "crc64"), "latin1"));
  put("malformed.xml", Buffer.from(valves.toString("latin1").replace('crc32="0x', 'crc32="0X'), "latin1"));
  put("short.xml", valves.subarray(0, 200));
  put("notes.txt", valves);
  korvale("SET", put("Sub/UPPER.XML", valves));
  put("folder.xml/inner.xml", valves);
  put("\uff3a.xml", valves);
  put("\u{1f600}.xml", valves);
  return root;
}
