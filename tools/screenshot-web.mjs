#!/usr/bin/env node
// Remakes docs/web.png: the page (build/wasm/web) in Chromium, a folder with a file of every
// outcome checked, its stamped files stamped by the native build's korvale.
import fs from "node:fs";
import path from "node:path";

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), "..");
process.env.KORVALE_WEB_SITE ??= path.join(root, "build/wasm/web");
process.env.KORVALE_NATIVE_BIN ??= path.join(root, "build/native/bin");
const { fileUrl, launch, makeTree, openPage, settled } = await import("../tests/web/browser.mjs");

const tree = makeTree();
// Names this machine may have no glyphs for stay out of the picture.
for (const name of ["\u{1f600}.xml", "\uff3a.xml"]) fs.rmSync(path.join(tree, "catalogue", name));
const browser = await launch();
const { page } = await openPage(browser, fileUrl());
await page.setViewport({ width: 1000, height: 860 });
await (await page.$("#folder-input")).uploadFile(path.join(tree, "catalogue"));
await settled(page, 8);
await page.screenshot({ path: path.join(root, "docs/web.png"), fullPage: true });
await browser.close();
fs.rmSync(tree, { recursive: true });
