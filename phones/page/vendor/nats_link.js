// The page's way to a NATS server far away, loaded only when the address's fragment names one:
// nats.ws (vendored next to this file) wrapped in the few calls app.js makes, so that app.js stays
// plain ES5 for old phones. window.tombolaNats.open(options) connects and keeps reconnecting;
// options: servers, user, pass, stato and numero (subjects to follow), chiamate (the subject of
// requests), telefono (the phone's name), onMessage(text), onLine(up), onOpen() (after a reconnection;
// after the first connection the caller asks what it needs).
import { connect, headers, Events } from './nats.js';

const decoder = new TextDecoder();

async function open(o) {
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
  for (const subject of [o.stato, o.numero]) {
    const sub = nc.subscribe(subject);
    (async () => {
      for await (const m of sub) o.onMessage(decoder.decode(m.data));
    })();
  }
  (async () => {
    for await (const s of nc.status()) {
      if (s.type === Events.Disconnect) o.onLine(false);
      if (s.type === Events.Reconnect) {
        o.onLine(true);
        o.onOpen();
      }
    }
  })();
  o.onLine(true);
  return {
    // A request to the program; its answer (or nothing, on a timeout) goes to onMessage.
    send(text) {
      const h = headers();
      h.set('Telefono', o.telefono);
      nc.request(o.chiamate, new TextEncoder().encode(text), { timeout: 8000, headers: h })
        .then((m) => o.onMessage(decoder.decode(m.data)))
        .catch(() => {});
    },
  };
}

window.tombolaNats = { open };
if (window.tombolaNatsReady) window.tombolaNatsReady();
