"use strict";
// A zip file of stored (uncompressed) entries, built from Blob parts: an entry's content is
// the browser's own file behind a new head block, never copied into memory. Names are UTF-8.
// Without the zip64 extension a zip holds less than 4 GiB and 65,535 entries.

const kZipLimit = 0xffffffff;

// The date and time of a zip entry (MS-DOS form, local time, two-second steps), from 1980 on.
function dosDateTime(milliseconds) {
  const d = new Date(Math.max(milliseconds, new Date(1980, 0, 1).getTime()));
  return {
    time: (d.getHours() << 11) | (d.getMinutes() << 5) | (d.getSeconds() >> 1),
    date: ((d.getFullYear() - 1980) << 9) | ((d.getMonth() + 1) << 5) | d.getDate(),
  };
}

// entries: [{ path, parts (Blob parts), size, crc, modified (ms) }]. Gives a Blob, or throws
// when the entries do not fit a zip without zip64.
function zipBlob(entries) {
  const encoder = new TextEncoder();
  const parts = [];
  const directory = [];
  let offset = 0;
  for (const entry of entries) {
    const name = encoder.encode(entry.path);
    const { time, date } = dosDateTime(entry.modified);
    // Version 2.0, bit 11 (names in UTF-8), stored, then date, CRC, sizes, name length.
    const fields = [
      [2, 20], [2, 0x0800], [2, 0], [2, time], [2, date],
      [4, entry.crc], [4, entry.size], [4, entry.size], [2, name.length], [2, 0],
    ];
    parts.push(record(0x04034b50, fields), name, ...entry.parts);
    directory.push(record(0x02014b50, [
      [2, 20], ...fields, [2, 0], [2, 0], [2, 0], [4, 0], [4, offset],
    ]), name);
    offset += 30 + name.length + entry.size;
    if (offset > kZipLimit) throw new RangeError("zip too large");
  }
  const directorySize = directory.reduce((sum, part) => sum + part.length, 0);
  if (entries.length > 0xffff || offset + directorySize > kZipLimit) {
    throw new RangeError("zip too large");
  }
  const end = record(0x06054b50, [
    [2, 0], [2, 0], [2, entries.length], [2, entries.length],
    [4, directorySize], [4, offset], [2, 0],
  ]);
  return new Blob([...parts, ...directory, end], { type: "application/zip" });
}

// A signature and little-endian fields of 2 or 4 bytes.
function record(signature, fields) {
  const size = 4 + fields.reduce((sum, [width]) => sum + width, 0);
  const view = new DataView(new ArrayBuffer(size));
  view.setUint32(0, signature, true);
  let at = 4;
  for (const [width, value] of fields) {
    if (width === 2) view.setUint16(at, value, true);
    else view.setUint32(at, value, true);
    at += width;
  }
  return new Uint8Array(view.buffer);
}
