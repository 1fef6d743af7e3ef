// The players' page: follows the evening over the program's WebSocket and keeps the player's cards.
// Plain ES5, so that an old phone runs it. The messages are described in phones/phone_protocol.h.
// When the address's fragment names a NATS server (#nats=wss://...&sera=<id>&utente=...&parola=...,
// never sent to the web server), the same messages go through that server instead: the page loads
// vendor/nats_link.js (nats.ws, kept with the page) and follows tombola.<sera>.stato and .numero,
// asking on tombola.<sera>.chiamate (remote/nats_relay.h).
// For those who cannot see the board: a polite live region tells each number as it comes, with its
// words and meaning, each number the repeat says again, the pause, a win being checked and a prize
// won; the "Voce" switch (off at each load: browsers let a page sound only after a touch, and the
// switch is that touch) has the phone say each number with the program's own clips
// (voce/NUMERO<n>.wav, served with the page).
// One player for all clips, so that a new number cuts the one before at any pace. What the page
// catches up with, after a load, a reconnection or a sleep, is shown but neither told nor said.
// What a card misses for a prize follows the program's rule (cards/card_code.h), read from the
// state: ambo to cinquina are 2 to 5 numbers out on one row, the tombola and the tombolino every
// number of the card; only the program's prize desk decides who wins.
(function () {
  'use strict';

  var state = null;       // the last whole state, kept up to date by the deltas
  var drawnSet = {};      // number -> true
  var cards = [];         // as the program sent them
  var socket = null;
  var retry = 500;
  var cellOf = [];
  var base = location.pathname.replace(/[^\/]*$/, '');
  var far = farAway();
  var link = null;        // the NATS server's, once nats_link.js has connected
  var storageKey = 'tombola-cartelle-' + (far ? 'sera-' + far.sera : base);
  var live = false;       // numbers come as they are drawn: not while catching up
  var voice = false;      // the "Voce" switch

  function $(id) { return document.getElementById(id); }
  function store(key, value) { try { localStorage.setItem(key, value); } catch (e) { /* private mode */ } }
  function stored(key) { try { return localStorage.getItem(key); } catch (e) { return null; } }

  function phoneName() {
    var name = stored('tombola-telefono');
    if (!name || !/^[A-Z0-9]{10}$/.test(name)) {
      var symbols = 'ABCDEFGHJKMNPQRSTVWXYZ0123456789';
      name = '';
      for (var i = 0; i < 10; i++) name += symbols.charAt(Math.floor(Math.random() * symbols.length));
      store('tombola-telefono', name);
    }
    return name;
  }

  // What the fragment says of a NATS server, or null: the page then uses its own server's socket.
  function farAway() {
    var out = {};
    var parts = location.hash.replace(/^#/, '').split('&');
    for (var i = 0; i < parts.length; i++) {
      var eq = parts[i].indexOf('=');
      if (eq <= 0) continue;
      try { out[parts[i].slice(0, eq)] = decodeURIComponent(parts[i].slice(eq + 1)); } catch (e) { return null; }
    }
    if (!out.nats || !/^[a-z0-9]{4,32}$/.test(out.sera || '')) return null;
    return out;
  }

  function savedCodes() {
    try { var list = JSON.parse(stored(storageKey) || '[]'); return list instanceof Array ? list : []; }
    catch (e) { return []; }
  }

  function send(message) {
    if (far) {
      // Far away the phone's name travels with each request: there is no greeting.
      if (link && message.t !== 'ciao') link.send(JSON.stringify(message));
      return;
    }
    if (socket && socket.readyState === 1) socket.send(JSON.stringify(message));
  }

  // ---- the board and the numbers ----

  function buildBoard() {
    var board = $('tabellone');
    for (var r = 0; r < 9; r++) {
      var row = document.createElement('div');
      row.className = 'r';
      for (var c = 1; c <= 10; c++) {
        var n = r * 10 + c;
        var cell = document.createElement('span');
        cell.textContent = n;
        row.appendChild(cell);
        cellOf[n] = cell;
      }
      board.appendChild(row);
    }
  }

  function showNumbers(announce) {
    var drawn = state.estratti;
    var last = drawn.length ? drawn[drawn.length - 1] : 0;
    $('numero').textContent = last ? String(last) : '–';
    $('parole').textContent = state.parole || '';
    var smorfia = $('smorfia');
    smorfia.hidden = !state.smorfia;
    smorfia.textContent = state.smorfia ? 'Smorfia: ' + state.smorfia : '';
    $('conta').textContent = drawn.length ? drawn.length + ' di 90' : 'Nessun numero estratto';
    var list = $('ultimi');
    list.innerHTML = '';
    for (var i = drawn.length - 1; i >= 0 && i >= drawn.length - 5; i--) {
      var item = document.createElement('li');
      item.textContent = drawn[i];
      list.appendChild(item);
    }
    for (var n = 1; n <= 90; n++) {
      var cls = drawnSet[n] ? (n === last ? 'uscito ultimo' : 'uscito') : '';
      if (cellOf[n].className !== cls) cellOf[n].className = cls;
    }
    if (announce && last && live) {
      tell('Estratto il ' + last + ', ' + (state.parole || '').toLowerCase() +
        (state.smorfia ? '. Smorfia: ' + state.smorfia : ''));
      speak(last);
    }
    showCards();
  }

  // ---- what a screen reader and the voice say ----

  // A new node each time: the same words said again are read again.
  function tell(text) {
    if (!text) return;
    var region = $('annuncio');
    var said = document.createElement('span');
    said.textContent = text;
    region.innerHTML = '';
    region.appendChild(said);
  }

  // What changed from one whole state to the next that a player who cannot see the page must hear.
  function tellChanges(before, now) {
    var said = [];
    var last = now.estratti[now.estratti.length - 1];
    // One number more that came with other news (the win it made, say) comes whole: told all the same.
    if (now.tombola === before.tombola && now.estratti.length === before.estratti.length + 1 &&
        before.estratti.join(',') === now.estratti.slice(0, -1).join(',')) {
      said.push('Estratto il ' + last + ', ' + (now.parole || '').toLowerCase() +
        (now.smorfia ? '. Smorfia: ' + now.smorfia : ''));
    } else {
      last = 0;
    }
    if (now.tombola !== before.tombola) said.push('Nuova partita');
    if (now.pausa && !before.pausa) said.push('Estrazione in pausa');
    if (!now.pausa && before.pausa) said.push("L'estrazione riprende");
    if (now.verifica && now.verifica !== before.verifica) said.push(now.verifica);
    if (now.tombola === before.tombola) {
      for (var i = before.vinti.length; i < now.vinti.length; i++) said.push('Premio vinto: ' + now.vinti[i]);
    }
    tell(said.join('. '));
    if (last) speak(last);
  }

  function speak(n) {
    var player = $('lettore');
    if (!voice || !player.play) return;
    player.src = 'voce/NUMERO' + n + '.wav';
    var playing = player.play();
    // Cut by the next number, or refused: nothing to do either way.
    if (playing && playing.then) playing.then(null, function () {});
  }

  // Back from a sleep: what arrived meanwhile is old news. The phone's own server is asked again
  // on a fresh connection, so that nothing queued on the old one is said; far away, the next whole
  // state ends the catch-up.
  function wake() {
    live = false;
    if (far) { send({ t: 'stato' }); return; }
    if (socket) {
      var old = socket;
      socket = null;
      old.onmessage = null;
      old.onclose = null;
      old.close();
    }
    connect();
  }

  function showState() {
    drawnSet = {};
    for (var i = 0; i < state.estratti.length; i++) drawnSet[state.estratti[i]] = true;
    $('pausa').hidden = !state.pausa;
    var check = $('verifica');
    check.hidden = !state.verifica;
    check.textContent = state.verifica || '';
    $('gioco').textContent = state.gioco || '';
    var wins = $('vinti');
    wins.innerHTML = '';
    for (var k = 0; k < state.vinti.length; k++) {
      var li = document.createElement('li');
      li.textContent = state.vinti[k];
      wins.appendChild(li);
    }
    // The draw's seal before its first number; the secrets once their games are over.
    var sealLine = $('sigillo');
    sealLine.hidden = !state.sigillo;
    sealLine.textContent = state.sigillo ? 'Sigillo dell\'estrazione: ' + state.sigillo : '';
    var seals = $('sigilli');
    seals.innerHTML = '';
    var revealed = state.sigilli || [];
    for (var s = 0; s < revealed.length; s++) {
      var item = document.createElement('li');
      item.textContent = revealed[s];
      seals.appendChild(item);
    }
    $('chiedi').hidden = !(state.cartelleTelefono > 0);
    // Far away, behind the video as the caller set it: the reader knows why the phone lags the room.
    var delay = $('ritardo');
    delay.hidden = !(state.ritardo > 0);
    delay.textContent = state.ritardo > 0 ? 'In diretta con ' + state.ritardo + ' s di ritardo' : '';
    showNumbers(false);
  }

  // ---- the player's cards ----

  // The prize in play as the program names it in the state: its word, its name with the article,
  // and how many numbers out on one row make it (0: every number of the card).
  function prizeInPlay() {
    if (!state.premio) return null;
    return { word: state.premioParola, name: state.premioNome, row: state.premioRiga };
  }

  function missing(card) {
    var prize = prizeInPlay();
    if (!prize) return null;
    var best = 0, total = 0, out = 0;
    for (var r = 0; r < 3; r++) {
      var inRow = 0;
      for (var c = 0; c < 9; c++) {
        var n = card.righe[r][c];
        if (!n) continue;
        total++;
        if (drawnSet[n]) { inRow++; out++; }
      }
      if (inRow > best) best = inRow;
    }
    var need = prize.row ? Math.max(0, prize.row - best) : total - out;
    return { need: need, prize: prize };
  }

  function showCards() {
    var box = $('cartelle');
    box.innerHTML = '';
    for (var i = 0; i < cards.length; i++) box.appendChild(cardElement(cards[i]));
  }

  function cardElement(card) {
    var div = document.createElement('div');
    div.className = 'cartella';
    var title = document.createElement('h3');
    title.textContent = 'Cartella ' + card.numero + ' – ' + card.codice;
    div.appendChild(title);
    var table = document.createElement('table');
    var out = 0;
    for (var r = 0; r < 3; r++) {
      var tr = document.createElement('tr');
      for (var c = 0; c < 9; c++) {
        var td = document.createElement('td');
        var n = card.righe[r][c];
        if (n) {
          td.textContent = n;
          if (drawnSet[n]) { td.className = 'uscito'; out++; }
        } else {
          td.className = 'vuota';
        }
        tr.appendChild(td);
      }
      table.appendChild(tr);
    }
    table.setAttribute('aria-label', 'cartella ' + card.codice + ', ' + out + ' numeri usciti');
    div.appendChild(table);
    var line = document.createElement('p');
    line.className = 'stato';
    if (card.nota) {
      line.textContent = card.nota;
    } else {
      var m = missing(card);
      if (!m) {
        line.textContent = 'Premi tutti vinti';
      } else if (m.need === 0 && (state.ignorate || []).indexOf(card.codice) >= 0) {
        // Passed over by the caller for this prize: no call to offer.
        line.textContent = m.prize.word + ': il banco ha ignorato questa cartella';
      } else if (m.need === 0) {
        line.textContent = m.prize.word + '!';
        var call = document.createElement('button');
        call.type = 'button';
        call.className = 'chiama';
        call.textContent = 'Chiama ' + m.prize.word;
        call.onclick = function () {
          call.disabled = true;
          send({ t: 'chiama', codice: card.codice });
        };
        div.appendChild(line);
        div.appendChild(call);
        return div;
      } else {
        line.textContent = (m.need === 1 ? 'manca 1 per ' : 'mancano ' + m.need + ' per ') + m.prize.name;
      }
    }
    div.appendChild(line);
    return div;
  }

  function askCards() {
    var codes = savedCodes();
    if (codes.length) send({ t: 'cartelle', codici: codes });
  }

  function gotCards(message) {
    var codes = savedCodes();
    for (var i = 0; i < message.cartelle.length; i++) {
      var card = message.cartelle[i];
      var known = false;
      for (var k = 0; k < cards.length; k++) {
        if (cards[k].codice === card.codice) { cards[k] = card; known = true; }
      }
      if (!known) cards.push(card);
      if (codes.indexOf(card.codice) < 0) codes.push(card.codice);
    }
    // Codes that did not read, or are not in play, are not kept.
    var kept = [];
    for (var j = 0; j < codes.length; j++) {
      for (var c = 0; c < cards.length; c++) if (cards[c].codice === codes[j]) { kept.push(codes[j]); break; }
    }
    store(storageKey, JSON.stringify(kept.slice(0, 12)));
    $('erroriCartelle').textContent = message.errori.join(' ');
    showCards();
  }

  // ---- the connection ----

  function onMessage(event) {
    var m;
    try { m = JSON.parse(event.data); } catch (e) { return; }
    if (!m || typeof m !== 'object') return;
    if (m.t === 'stato') {
      var newGame = state && state.tombola !== m.tombola;
      var before = live ? state : null;
      state = m;
      showState();
      if (before) tellChanges(before, m);
      if (!document.hidden) live = true;
      if (newGame) askCards();
    } else if (!state) {
      return;
    } else if (m.t === 'numero') {
      if (m.k !== state.estratti.length + 1) { send({ t: 'stato' }); return; }
      state.estratti.push(m.n);
      drawnSet[m.n] = true;
      state.parole = m.parole;
      state.smorfia = m.smorfia;
      state.pausa = false;
      showNumbers(true);
    } else if (m.t === 'tolto') {
      if (m.k !== state.estratti.length) { send({ t: 'stato' }); return; }
      state.estratti.pop();
      delete drawnSet[m.n];
      state.parole = m.parole;
      state.smorfia = m.smorfia;
      showNumbers(false);
      if (live) tell('Tolto il ' + m.n);
    } else if (m.t === 'ripetuto') {
      // The repeat in the pause: said again, and read again even in the same words.
      if (!live) return;
      tell('Ripetuto il ' + m.n + ', ' + (m.parole || '').toLowerCase() + (m.smorfia ? '. Smorfia: ' + m.smorfia : ''));
      speak(m.n);
    } else if (m.t === 'cartelle') {
      gotCards(m);
    } else if (m.t === 'esito') {
      $('esito').textContent = m.codice + ': ' + m.testo;
    } else if (m.t === 'errore') {
      $('esito').textContent = m.testo;
    }
  }

  function line(up) {
    $('linea').textContent = up ? 'collegato' : 'collegamento perso: riprovo…';
    $('linea').className = up ? 'linea su' : 'linea giu';
  }

  // Through the NATS server: nats_link.js is a module, which a browser too old for it skips.
  function connectFar() {
    var options = {
      servers: far.nats.split(','),
      user: far.utente || '',
      pass: far.parola || '',
      stato: 'tombola.' + far.sera + '.stato',
      numero: 'tombola.' + far.sera + '.numero',
      chiamate: 'tombola.' + far.sera + '.chiamate',
      sera: far.sera,
      telefono: phoneName(),
      onMessage: function (text) { onMessage({ data: text }); },
      onLine: line,
      onOpen: function () { send({ t: 'stato' }); askCards(); }
    };
    window.tombolaNatsReady = function () {
      window.tombolaNats.open(options).then(function (opened) {
        link = opened;
        options.onOpen();
      }, function (error) {
        $('linea').textContent = 'server non raggiungibile: ' + (error && error.message ? error.message : '');
      });
    };
    // Browsers do not load modules into a page opened as a file: it must come from a web server.
    if (location.protocol === 'file:') {
      $('linea').textContent = 'apri la pagina dal sito del circolo (http:// o https://), non come file';
      return;
    }
    var failed = false;
    var script = document.createElement('script');
    script.type = 'module';
    script.src = 'vendor/nats_link.js';
    script.onerror = function () {
      failed = true;
      $('linea').textContent = 'pagina incompleta: manca vendor/nats_link.js';
    };
    document.body.appendChild(script);
    setTimeout(function () {
      if (!window.tombolaNats && !failed) {
        $('linea').textContent = 'questo browser è troppo vecchio per seguire la serata da lontano';
      }
    }, 8000);
  }

  function connect() {
    live = false;
    var url = (location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + base + 'ws';
    socket = new WebSocket(url);
    socket.onopen = function () {
      retry = 500;
      $('linea').textContent = 'collegato';
      $('linea').className = 'linea su';
      send({ t: 'ciao', telefono: phoneName() });
      askCards();
    };
    socket.onmessage = onMessage;
    socket.onclose = function () {
      $('linea').textContent = 'collegamento perso: riprovo…';
      $('linea').className = 'linea giu';
      socket = null;
      setTimeout(connect, retry);
      retry = Math.min(retry * 2, 8000);
    };
  }

  // ---- settings ----

  function toggle(id, cls) {
    var button = $(id);
    function apply(on) {
      document.body.className = (' ' + document.body.className + ' ').replace(' ' + cls + ' ', ' ') +
        (on ? ' ' + cls : '');
      document.body.className = document.body.className.replace(/^\s+|\s+$/g, '');
      button.setAttribute('aria-pressed', on ? 'true' : 'false');
      store('tombola-' + cls, on ? '1' : '0');
    }
    apply(stored('tombola-' + cls) === '1');
    button.onclick = function () { apply(button.getAttribute('aria-pressed') !== 'true'); };
  }

  $('aggiungi').onsubmit = function (event) {
    event.preventDefault();
    var input = $('codice');
    var code = input.value.replace(/^\s+|\s+$/g, '');
    if (!code) return false;
    input.value = '';
    send({ t: 'cartelle', codici: [code] });
    return false;
  };
  $('chiedi').onclick = function () { send({ t: 'dammi' }); };
  // The touch that lets the page sound: the switch says the last number at once, at the phone's
  // volume.
  $('voce').onclick = function () {
    voice = !voice;
    $('voce').setAttribute('aria-pressed', voice ? 'true' : 'false');
    var last = state && state.estratti.length ? state.estratti[state.estratti.length - 1] : 0;
    if (voice && last) speak(last);
    if (!voice) $('lettore').pause();
  };
  document.addEventListener('visibilitychange', function () {
    if (document.hidden) live = false; else wake();
  });
  document.addEventListener('freeze', function () { live = false; });
  document.addEventListener('resume', wake);
  window.addEventListener('pageshow', function (event) { if (event.persisted) wake(); });

  buildBoard();
  toggle('grandi', 'grandi');
  toggle('contrasto', 'contrasto');
  if (far) connectFar(); else connect();
})();
