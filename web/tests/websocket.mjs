// The least of a WebSocket client (RFC 6455) that a WebDriver BiDi session needs: text messages
// both ways, of any length, over a plain connection to 127.0.0.1.
import { randomBytes } from 'node:crypto';
import { request } from 'node:http';

export class WebSocketClient {
  static connect(url) {
    return new Promise((resolve, reject) => {
      const req = request(url.replace(/^ws:/, 'http:'), {
        headers: { Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Version': '13',
                   'Sec-WebSocket-Key': randomBytes(16).toString('base64') },
      });
      req.on('upgrade', (response, socket, head) => resolve(new WebSocketClient(socket, head)));
      req.on('response', (response) => reject(new Error(`${url}: HTTP ${response.statusCode}, no WebSocket`)));
      req.on('error', reject);
      req.end();
    });
  }

  constructor(socket, head) {
    this.socket = socket;
    this.input = head;
    this.fragments = [];
    this.onmessage = () => {};
    socket.on('data', (chunk) => {
      this.input = Buffer.concat([this.input, chunk]);
      this.readFrames();
    });
    socket.on('error', () => {}); // a browser that quits drops the connection
  }

  // Every complete frame in the input: text and its continuations are passed on, a ping answered.
  readFrames() {
    for (;;) {
      const b = this.input;
      if (b.length < 2) return;
      let length = b[1] & 0x7f;
      let at = 2;
      if (length === 126) {
        if (b.length < 4) return;
        length = b.readUInt16BE(2);
        at = 4;
      } else if (length === 127) {
        if (b.length < 10) return;
        length = Number(b.readBigUInt64BE(2));
        at = 10;
      }
      if (b.length < at + length) return;
      const opcode = b[0] & 0x0f;
      const payload = b.subarray(at, at + length);
      this.input = b.subarray(at + length);
      if (opcode === 9) this.write(10, payload);
      if (opcode === 1 || opcode === 0) {
        this.fragments.push(payload);
        if (b[0] & 0x80) {
          const text = Buffer.concat(this.fragments).toString('utf8');
          this.fragments = [];
          this.onmessage(text);
        }
      }
    }
  }

  // One frame, masked as a client's must be.
  write(opcode, payload) {
    const mask = randomBytes(4);
    const n = payload.length;
    const header = n < 126 ? Buffer.from([0x80 | opcode, 0x80 | n])
      : n < 65536 ? Buffer.from([0x80 | opcode, 0x80 | 126, n >> 8, n & 255])
        : Buffer.concat([Buffer.from([0x80 | opcode, 0x80 | 127]), (() => { const l = Buffer.alloc(8); l.writeBigUInt64BE(BigInt(n)); return l; })()]);
    const masked = Buffer.alloc(n);
    for (let i = 0; i < n; ++i) masked[i] = payload[i] ^ mask[i & 3];
    this.socket.write(Buffer.concat([header, mask, masked]));
  }

  send(text) {
    this.write(1, Buffer.from(text, 'utf8'));
  }

  close() {
    this.socket.destroy();
  }
}
