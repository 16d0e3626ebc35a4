// CRC-32 (IEEE 802.3, as zlib) of a byte array, and the song's pinned value. The page tests run
// the same function inside the page, from its source.
export const SONG_CRC = 0x3f24a621;

export function crc32(bytes) {
  const table = new Uint32Array(256);
  for (let i = 0; i < 256; ++i) {
    let c = i;
    for (let k = 0; k < 8; ++k) c = c & 1 ? (c >>> 1) ^ 0xedb88320 : c >>> 1;
    table[i] = c;
  }
  let crc = 0xffffffff;
  for (let i = 0; i < bytes.length; ++i) crc = table[(crc ^ bytes[i]) & 255] ^ (crc >>> 8);
  return (crc ^ 0xffffffff) >>> 0;
}
