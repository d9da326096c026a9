"use strict";
// The page: files and folders in, a row per file checked, and Stamp and Reset as downloads.
// Work runs one job at a time, in the order asked; Cancel (or Esc) ends the running job between
// two chunks and drops the jobs waiting.

const $ = (id) => document.getElementById(id);
const page = {
  engine: null,
  rows: [], // { path, file, outcome, element }
  jobs: Promise.resolve(),
  waiting: 0,
  generation: 0, // raised by Cancel: jobs asked for before it do not run
  starter: null, // the control that started the running job, to get the focus back
};

// A failure the page explains in its own words.
class PageError extends Error {}

start();

async function start() {
  try {
    page.engine = await KorvaleEngine.load();
  } catch (error) {
    setStatus(`This browser cannot run the checks (${error.message}).`);
    return;
  }
  $("choose-files").addEventListener("click", () => $("file-input").click());
  $("choose-folder").addEventListener("click", () => $("folder-input").click());
  $("file-input").addEventListener("change", (event) => addPicked(event.target));
  $("folder-input").addEventListener("change", (event) => addPicked(event.target));
  const zone = $("drop-zone");
  zone.addEventListener("dragover", (event) => {
    event.preventDefault();
    zone.classList.add("over");
  });
  zone.addEventListener("dragleave", () => zone.classList.remove("over"));
  zone.addEventListener("drop", (event) => {
    event.preventDefault();
    zone.classList.remove("over");
    // The items must be taken while the event lasts.
    const dropped = [...event.dataTransfer.items]
      .filter((item) => item.kind === "file")
      .map((item) => ({ entry: item.webkitGetAsEntry(), file: item.getAsFile() }));
    enqueue(zone, () => addTrees(Promise.all(dropped.map(listDropped))));
  });
  $("stamp").addEventListener("click", (event) => enqueue(event.target, () => save("set")));
  $("reset").addEventListener("click", (event) => enqueue(event.target, () => save("reset")));
  $("check-again").addEventListener("click", (event) =>
    enqueue(event.target, () => check(selectedRows(), "Checked again")));
  $("clear").addEventListener("click", clearList);
  $("cancel").addEventListener("click", cancel);
  document.addEventListener("keydown", (event) => {
    if (event.key === "Escape" && page.waiting > 0) cancel();
  });
  $("select-all").addEventListener("change", (event) => {
    for (const row of page.rows) row.element.querySelector("input").checked = event.target.checked;
    updateControls();
  });
  setIdle("Ready: add files to check them.");
}

// Jobs

function enqueue(starter, job) {
  const generation = page.generation;
  page.waiting += 1;
  setBusy(starter);
  page.jobs = page.jobs
    .then(() => (generation === page.generation ? job() : null))
    .catch((error) => {
      if (error.name === "AbortError") setStatus("Cancelled.");
      else if (error instanceof PageError) setStatus(error.message);
      else setStatus(`Something went wrong: ${error.message}`);
    })
    .finally(() => {
      page.waiting -= 1;
      if (page.waiting === 0) setIdle();
    });
}

function cancel() {
  page.generation += 1;
  setStatus("Cancelling…");
}

// The running job asks between two chunks whether it should stop.
function cancelledSince(generation) {
  return () => generation !== page.generation;
}

// Progress over a job: bytes done against bytes planned (a file without a field is read no
// further than its head, so the bar is filled when the job ends).
function tracker(total) {
  const bar = $("progress");
  let done = 0;
  bar.value = 0;
  return (count) => {
    done += count;
    bar.value = total > 0 ? Math.min(done / total, 1) : 1;
  };
}

// Adding files

function addPicked(input) {
  const files = [...input.files];
  input.value = "";
  enqueue(input.id === "file-input" ? $("choose-files") : $("choose-folder"), () =>
    addTrees(Promise.resolve(pickedTrees(files))));
}

// Picked files are each a path of their own; a picked folder gives its files with paths from
// the folder on (webkitRelativePath), one tree per folder.
function pickedTrees(files) {
  const trees = new Map();
  for (const file of files) {
    const path = file.webkitRelativePath || file.name;
    const root = path.split("/")[0];
    if (!trees.has(root)) trees.set(root, { root, entries: [] });
    trees.get(root).entries.push({ path, folder: false, file });
  }
  return [...trees.values()];
}

// A dropped file, or a dropped folder with everything below it.
async function listDropped({ entry, file }) {
  if (!entry || entry.isFile) return { root: file.name, entries: [{ path: file.name, folder: false, file }] };
  try {
    return await listFolder(entry);
  } catch {
    // Chromium lets a page opened from file:// take dropped files, not read dropped folders.
    throw new PageError(
      `Cannot read the folder ${entry.name} dropped here: choose it with “Choose a folder…”, ` +
        "or open this page from a web server.");
  }
}

async function listFolder(top) {
  const entries = [{ path: top.name, folder: true, entry: top }];
  async function visit(folder, path) {
    const reader = folder.createReader();
    for (;;) {
      const batch = await new Promise((done, fail) => reader.readEntries(done, fail));
      if (batch.length === 0) return;
      for (const entry of batch) {
        const below = `${path}/${entry.name}`;
        entries.push({ path: below, folder: entry.isDirectory, entry });
        if (entry.isDirectory) await visit(entry, below);
      }
    }
  }
  await visit(top, top.name);
  return { root: top.name, entries };
}

// The files a tree's walk takes, in its order; a file the browser cannot hand over stays null,
// and its check gives what a file that cannot be opened gives.
async function walkedFiles(tree) {
  const files = [];
  for (const place of page.engine.walk(tree.root, tree.entries)) {
    const { path, file, entry } = tree.entries[place];
    let found = file || null;
    if (!found) found = await new Promise((done) => entry.file(done, () => done(null)));
    files.push({ path, file: found });
  }
  return files;
}

async function addTrees(treesPromise) {
  setStatus("Looking for files…");
  const found = [];
  for (const tree of await treesPromise) found.push(...(await walkedFiles(tree)));
  await check(found.map(({ path, file }) => ({ path, file, outcome: null, element: null })), "Checked");
}

// Checking

async function check(rows, done) {
  const cancelled = cancelledSince(page.generation);
  const progress = tracker(rows.reduce((sum, row) => sum + (row.file ? row.file.size : 0), 0));
  setStatus(`Checking ${files(rows.length)}…`);
  for (const row of rows) {
    row.outcome = await page.engine.run("check", row.file, progress, cancelled);
    show(row);
  }
  $("progress").value = 1;
  setStatus(`${done} ${countsText(rows)}.`);
}

// Stamp and Reset: copies of the selected files as downloads; the files stay as they are.

async function save(operation) {
  const rows = selectedRows();
  const engine = page.engine;
  const cancelled = cancelledSince(page.generation);
  const zipped = rows.length > 1;
  const sizes = rows.reduce((sum, row) => sum + (row.file ? row.file.size : 0), 0);
  const progress = tracker((operation === "set" ? sizes : 0) + (zipped ? sizes : 0));
  const verb = operation === "set" ? "stamp" : "reset";
  setStatus(`${operation === "set" ? "Stamping" : "Resetting"} ${files(rows.length)}…`);
  const copies = [];
  const refused = [];
  for (const row of rows) {
    const outcome = await engine.run(operation, row.file, progress, cancelled);
    if (outcome.code === 0) copies.push({ row, head: outcome.head });
    else refused.push(`${row.path}: ${outcome.message}`);
  }
  const tooLarge = "Nothing saved: a zip file holds less than 4 GiB and 65,535 files; select fewer files.";
  let saved = "";
  if (copies.length === 1 && !zipped) {
    const { row, head } = copies[0];
    download(new Blob([head, row.file.slice(kHeadBlock)]), row.file.name);
    saved = `Saved a ${operation === "set" ? "stamped" : "reset"} copy of ${row.file.name}.`;
  } else if (copies.reduce((sum, { row }) => sum + row.file.size, 0) >= kZipLimit) {
    // Said before the CRCs are computed, which means reading every file again.
    saved = tooLarge;
  } else if (copies.length > 0) {
    const entries = [];
    for (const { row, head } of copies) {
      const crc = await engine.zipCrc(head, row.file, progress, cancelled);
      const parts = [head, row.file.slice(kHeadBlock)];
      entries.push({ path: row.path, parts, size: row.file.size, crc, modified: row.file.lastModified });
    }
    const name = operation === "set" ? "korvale-stamped.zip" : "korvale-reset.zip";
    try {
      download(zipBlob(entries), name);
      saved = `Saved ${operation === "set" ? "stamped" : "reset"} copies of ${files(copies.length)} in ${name}.`;
    } catch (error) {
      if (!(error instanceof RangeError)) throw error;
      saved = tooLarge;
    }
  }
  const failures = refused.length
    ? ` Could not ${verb} ${files(refused.length)}: ${refused.join("; ")}.`
    : "";
  $("progress").value = 1;
  setStatus(`${saved || "Nothing saved."}${failures} The original files are not changed.`);
}

function download(blob, name) {
  const link = document.createElement("a");
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  // The download holds the blob from here on; a minute leaves time for a slow start.
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
}

// The list

function selectedRows() {
  return page.rows.filter((row) => row.element && row.element.querySelector("input").checked);
}

function cellsOf(row) {
  const at = row.path.lastIndexOf("/");
  const o = row.outcome;
  return [row.path.slice(at + 1), at < 0 ? "" : row.path.slice(0, at), o.word, o.stored, o.computed, o.message];
}

function show(row) {
  const o = row.outcome;
  let element = row.element;
  if (!element) {
    element = document.createElement("tr");
    const pick = document.createElement("input");
    pick.type = "checkbox";
    pick.checked = true;
    pick.setAttribute("aria-label", `Select ${row.path}`);
    pick.addEventListener("change", updateControls);
    element.append(document.createElement("td"));
    element.firstChild.append(pick);
    for (let i = 0; i < 6; ++i) element.append(document.createElement("td"));
    document.querySelector("#results tbody").append(element);
    row.element = element;
    page.rows.push(row);
  }
  Object.assign(element.dataset, { path: row.path, code: o.code, stored: o.stored, computed: o.computed });
  const cells = element.children;
  cellsOf(row).forEach((text, i) => (cells[i + 1].textContent = text));
  const word = document.createElement("span");
  word.className = o.code <= 2 ? `result-${o.code}` : "result-bad";
  word.textContent = o.word;
  cells[3].replaceChildren(word);
}

function clearList() {
  page.rows = [];
  document.querySelector("#results tbody").replaceChildren();
  $("progress").value = 0;
  setIdle("The list is empty: add files to check them.");
}

// "12 files: 10 stamp OK, 2 not stamped", the results in the order of their codes.
function countsText(rows) {
  const shown = rows.filter((row) => row.outcome);
  const counts = new Map();
  const codes = [...new Set(shown.map((row) => row.outcome.code))].sort((a, b) => a - b);
  for (const code of codes) counts.set(page.engine.word(code), 0);
  for (const row of shown) counts.set(row.outcome.word, counts.get(row.outcome.word) + 1);
  const parts = [...counts].map(([word, count]) => `${count} ${word}`);
  return `${files(shown.length)}${parts.length ? ": " + parts.join(", ") : ""}`;
}

function files(count) {
  return `${count} ${count === 1 ? "file" : "files"}`;
}

// State

function setStatus(text) {
  $("status").textContent = text;
}

function setBusy(starter) {
  if (page.waiting === 1) page.starter = starter;
  document.body.dataset.state = "busy";
  const hadFocus = document.activeElement;
  updateControls();
  if (hadFocus && hadFocus.disabled) $("cancel").focus();
}

function setIdle(text) {
  document.body.dataset.state = "idle";
  if (text) setStatus(text);
  $("counts").textContent = page.rows.length ? `In the list: ${countsText(page.rows)}.` : "";
  const hadFocus = document.activeElement === $("cancel");
  updateControls();
  if (hadFocus) (page.starter && !page.starter.disabled ? page.starter : $("results-frame")).focus();
}

function updateControls() {
  const busy = page.waiting > 0;
  const selected = selectedRows().length;
  for (const id of ["choose-files", "choose-folder"]) $(id).disabled = busy;
  for (const id of ["stamp", "reset", "check-again"]) $(id).disabled = busy || selected === 0;
  $("clear").disabled = busy || page.rows.length === 0;
  $("cancel").disabled = !busy;
  const all = $("select-all");
  all.checked = selected > 0 && selected === page.rows.length;
  all.indeterminate = selected > 0 && selected < page.rows.length;
}
