"use strict";
// The library's rules, compiled to WebAssembly (korvale-wasm.js holds the module), as the page
// calls them: an operation on a file read in chunks, the folder walk, and the CRC-32 of a zip
// entry. The module keeps one operation at a time; the page runs them one after the other.

const kHeadBlock = 252;
const kOperations = { check: 0, set: 1, reset: 2 };

class KorvaleEngine {
  static async load() {
    const bytes = Uint8Array.from(atob(korvaleModuleBase64), (c) => c.charCodeAt(0));
    const { instance } = await WebAssembly.instantiate(bytes, {});
    instance.exports._initialize();
    return new KorvaleEngine(instance.exports);
  }

  constructor(exports) {
    this.x = exports;
    this.chunkSize = exports.korvale_chunk_size();
    this.decoder = new TextDecoder();
  }

  // A view of the module's memory; made anew for each use, since the memory may have grown.
  bytes(pointer, length) {
    return new Uint8Array(this.x.memory.buffer, pointer, length);
  }

  text(pointer) {
    const memory = new Uint8Array(this.x.memory.buffer);
    const end = memory.indexOf(0, pointer);
    return this.decoder.decode(memory.subarray(pointer, end));
  }

  message(code) {
    return this.text(this.x.korvale_message(code));
  }

  word(code) {
    return this.text(this.x.korvale_word(code));
  }

  // Reads bytes [from, to) of a file into the module's chunk; their count. A read that fails
  // throws: the browser refuses to read a file that changed or went away since it was picked.
  async readChunk(file, from, to) {
    const bytes = new Uint8Array(await file.slice(from, to).arrayBuffer());
    this.put(bytes);
    return bytes.length;
  }

  put(bytes) {
    this.bytes(this.x.korvale_chunk(), bytes.length).set(bytes);
  }

  // Feeds the bytes of `file` from `from` to its end through `feed`, as they come; `progress`
  // gets the count of each piece, and `cancelled()` stops the pass between two. The pieces
  // are read into one buffer that goes round (a reader that brings its own buffer), so that
  // a large file leaves no trail of buffers for the garbage collector.
  async pass(file, from, feed, progress, cancelled) {
    const reader = file.slice(from).stream().getReader({ mode: "byob" });
    let buffer = new ArrayBuffer(this.chunkSize);
    try {
      for (;;) {
        if (cancelled()) throw new DOMException("cancelled", "AbortError");
        const { value, done } = await reader.read(new Uint8Array(buffer));
        if (done) return;
        this.put(value);
        feed(value.length);
        progress(value.length);
        buffer = value.buffer;
      }
    } finally {
      reader.releaseLock();
    }
  }

  // Runs "check", "set" or "reset" on a File as the library runs it on a file on the disk.
  // Gives the outcome with its texts; after a set or reset that gives 0, also the head block
  // the file would then hold.
  async run(operation, file, progress = () => {}, cancelled = () => false) {
    const x = this.x;
    let length;
    try {
      // A file the browser could not hand over (null) cannot be opened either.
      length = await this.readChunk(file, 0, Math.min(kHeadBlock, file.size));
    } catch {
      return this.outcome(operation, x.korvale_unopened(kOperations[operation]));
    }
    progress(length);
    if (x.korvale_begin(kOperations[operation], length)) {
      try {
        await this.pass(file, kHeadBlock, (count) => x.korvale_feed(count), progress, cancelled);
      } catch (error) {
        if (error.name === "AbortError") throw error;
        return this.outcome(operation, x.korvale_fail());
      }
    }
    return this.outcome(operation, x.korvale_finish());
  }

  outcome(operation, code) {
    const x = this.x;
    const outcome = {
      operation,
      code,
      crc: this.text(x.korvale_text(0)),
      stored: this.text(x.korvale_text(1)),
      computed: this.text(x.korvale_text(2)),
      message: this.message(code),
      word: this.word(code),
    };
    if (code === 0 && operation !== "check") {
      outcome.head = this.bytes(x.korvale_head(), kHeadBlock).slice();
    }
    return outcome;
  }

  // The common CRC-32 of a head block followed by the rest of a file, for a zip entry.
  async zipCrc(head, file, progress, cancelled) {
    const x = this.x;
    x.korvale_zip_crc_begin();
    this.put(head);
    x.korvale_zip_crc_feed(head.length);
    await this.pass(file, head.length, (count) => x.korvale_zip_crc_feed(count), progress, cancelled);
    return x.korvale_zip_crc() >>> 0;
  }

  // Which of `entries` ({path, folder}) a walk of `root` takes, in its order, as korvale-batch
  // walks a folder: their places in `entries`.
  walk(root, entries) {
    const parts = [root, ...entries.map((e) => (e.folder ? "D" : "F") + e.path)];
    const encoded = new TextEncoder().encode(parts.join("\0"));
    this.bytes(this.x.korvale_input(encoded.length), encoded.length).set(encoded);
    const count = this.x.korvale_walk();
    return Array.from(new Uint32Array(this.x.memory.buffer, this.x.korvale_walked(), count));
  }
}
