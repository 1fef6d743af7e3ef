// The page's way to a NATS server far away, loaded only when the address's fragment names one:
// nats.ws (vendored next to this file) wrapped in the few calls app.js makes, so that app.js stays
// plain ES5 for old phones. window.tombolaNats.open(options) connects and keeps reconnecting;
// options: servers, user, pass, stato and numero (subjects to follow), chiamate (the subject of
// requests), sera (the evening's id), telefono (the phone's name), onMessage(text), onLine(up),
// onOpen() (after a reconnection; after the first connection the caller asks what it needs).
//
// The cluster keeps the evening (remote/cluster_evening.h): on opening and on every reconnection the
// last state is read from the bucket "tombola" and the numbers after it from the stream
// "TOMBOLA_NUMERI", whether or not the caller's program is connected. Each message carries the
// evening's sequence number "s": what comes live and what is read back are handed on once, in order.
import { connect, headers, Events } from './nats.js';

const decoder = new TextDecoder();

// The answers to this phone's requests come sealed (remote/reply_seal.h in the program): each request
// carries a key of 32 random bytes made for it, and the answer is XORed with SHA-256(key ‖ 0),
// SHA-256(key ‖ 1), … (the block's number in four bytes, big-endian). SHA-256 is written out here:
// the browser's own (crypto.subtle) is missing on a page served over plain http.
const K = new Uint32Array([
  0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
  0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
  0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
  0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
  0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
  0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
  0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
  0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
]);

function sha256(bytes) {
  const padded = ((bytes.length + 9 + 63) >> 6) << 6;
  const m = new Uint8Array(padded);
  m.set(bytes);
  m[bytes.length] = 0x80;
  const view = new DataView(m.buffer);
  view.setUint32(padded - 8, Math.floor(bytes.length / 0x20000000));
  view.setUint32(padded - 4, (bytes.length * 8) >>> 0);
  const h = new Uint32Array([
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
  ]);
  const w = new Uint32Array(64);
  const rotr = (x, n) => (x >>> n) | (x << (32 - n));
  for (let at = 0; at < padded; at += 64) {
    for (let i = 0; i < 16; i++) w[i] = view.getUint32(at + 4 * i);
    for (let i = 16; i < 64; i++) {
      const s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >>> 3);
      const s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >>> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    let [a, b, c, d, e, f, g, k] = h;
    for (let i = 0; i < 64; i++) {
      const t1 = (k + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i]) | 0;
      const t2 = ((rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c))) | 0;
      k = g;
      g = f;
      f = e;
      e = (d + t1) | 0;
      d = c;
      c = b;
      b = a;
      a = (t1 + t2) | 0;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += k;
  }
  const out = new Uint8Array(32);
  const outView = new DataView(out.buffer);
  for (let i = 0; i < 8; i++) outView.setUint32(4 * i, h[i]);
  return out;
}

function unseal(key, data) {
  const out = new Uint8Array(data.length);
  const block = new Uint8Array(key.length + 4);
  block.set(key);
  for (let at = 0, n = 0; at < data.length; n++) {
    new DataView(block.buffer).setUint32(key.length, n);
    const stream = sha256(block);
    for (let i = 0; i < 32 && at < data.length; i++, at++) out[at] = data[at] ^ stream[i];
  }
  return out;
}

const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
// A browser whose arithmetic does not give SHA-256("abc") could not read its answers: it is told.
const sealWorks =
  hex(sha256(new TextEncoder().encode('abc'))) ===
  'ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad';

async function open(o) {
  if (!sealWorks) throw new Error('questo browser non sa leggere le risposte sigillate');
  const nc = await connect({
    servers: o.servers,
    user: o.user || undefined,
    pass: o.pass || undefined,
    name: 'tombola-telefono',
    maxReconnectAttempts: -1,
    reconnectTimeWait: 1000,
    waitOnFirstConnect: true,
    pingInterval: 10000,
  });
  let last = 0; // the sequence number of the last message handed on
  let stored = 0; // the highest "flusso" handed on: the numbers it lacks are after it in the stream
  let kept = null; // live messages that came while the cluster is read, or null
  let held = []; // messages after a number the stream has not stored yet, for the next reading
  let gapsInARow = 0; // readings in a row that found such a number missing
  const hand = (text) => {
    let m;
    try { m = JSON.parse(text); } catch (e) { return; }
    if (m && typeof m.s === 'number') {
      // A whole state at the same number is the same state: taken again without harm.
      if (m.s < last || (m.s === last && m.t !== 'stato')) return;
      last = m.s;
      if (m.flusso > stored) stored = m.flusso;
    }
    o.onMessage(text);
  };
  const parsed = (text) => { try { return JSON.parse(text) || {}; } catch (e) { return {}; } };
  const jsm = await nc.jetstreamManager({ checkAPI: false, timeout: 4000 });
  const catchUp = async () => {
    if (kept) return;
    kept = [];
    const read = [];
    try {
      try {
        const state = await jsm.direct.getMessage('KV_tombola', { last_by_subj: '$KV.tombola.' + o.sera });
        hand(decoder.decode(state.data));
      } catch (e) {
        // No state kept yet, or a server without JetStream: the program is asked (onOpen).
      }
      for (let seq = stored + 1; ;) {
        let m;
        try {
          m = await jsm.direct.getMessage('TOMBOLA_NUMERI', { seq: seq, next_by_subj: o.numero });
        } catch (e) {
          break; // no more
        }
        read.push(decoder.decode(m.data));
        seq = m.seq + 1;
      }
    } finally {
      // What was held, what the stream gave and what came live meanwhile, in the evening's order: a
      // number the stream stored late (sent again once a new leader was elected) sits after later
      // ones. Handed up to a number that does not follow the last one: the stream has not stored
      // the one between yet, so the rest is held and the stream read again in a second. After five
      // such readings it is handed as it is, and the page asks the program for the whole state.
      const pool = held.concat(read, kept).map((text) => ({ text, m: parsed(text) }));
      held = [];
      kept = null;
      pool.sort((a, b) => (a.m.s || 0) - (b.m.s || 0));
      let at = 0;
      for (; at < pool.length; at++) {
        const m = pool[at].m;
        if (m.t !== 'stato' && typeof m.s === 'number' && m.s > last + 1 && last > 0 && gapsInARow < 5) break;
        hand(pool[at].text);
      }
      if (at < pool.length) {
        gapsInARow++;
        held = pool.slice(at).map((p) => p.text);
        setTimeout(catchUp, 1000);
      } else {
        gapsInARow = 0;
      }
    }
  };
  for (const subject of [o.stato, o.numero]) {
    const sub = nc.subscribe(subject);
    (async () => {
      for await (const m of sub) {
        const text = decoder.decode(m.data);
        let s = 0;
        try { s = JSON.parse(text).s || 0; } catch (e) { continue; }
        // While the cluster is read, the one after the last handed on goes on at once: nothing was
        // missed, whatever the cluster has yet to answer (a stream electing a leader answers
        // nothing for seconds). Anything else waits for the reading.
        if (kept && !(last > 0 && s === last + 1 && !kept.length && !held.length)) { kept.push(text); continue; }
        if (held.length) { held.push(text); continue; }
        // A number missed (one after the next expected): what is between is read back first, and
        // this one goes on with it, in order.
        if (s > last + 1 && last > 0) {
          held.push(text);
          await catchUp();
          continue;
        }
        hand(text);
      }
    })();
  }
  (async () => {
    for await (const s of nc.status()) {
      if (s.type === Events.Disconnect) o.onLine(false);
      if (s.type === Events.Reconnect) {
        o.onLine(true);
        await catchUp();
        o.onOpen();
      }
    }
  })();
  o.onLine(true);
  // Read while the caller goes on: requests need not wait for it.
  catchUp();
  return {
    // A request to the program; its answer (or nothing, on a timeout) goes to onMessage.
    send(text) {
      // A request that only reads is asked again when no answer comes within 2 s (three times more):
      // the first may leave before the cluster's other servers know this phone's reply subject, as
      // after a reconnection to another server.
      const t = parsed(text).t;
      const reads = t === 'stato' || t === 'cartelle';
      const attempt = (left) => {
        const h = headers();
        h.set('Telefono', o.telefono);
        const key = crypto.getRandomValues(new Uint8Array(32));
        h.set('Chiave', hex(key));
        nc.request(o.chiamate, new TextEncoder().encode(text), { timeout: reads ? 2000 : 8000, headers: h })
          .then((m) => hand(decoder.decode(unseal(key, m.data))))
          .catch(() => { if (reads && left > 0) attempt(left - 1); });
      };
      attempt(3);
    },
  };
}

window.tombolaNats = { open };
if (window.tombolaNatsReady) window.tombolaNatsReady();
