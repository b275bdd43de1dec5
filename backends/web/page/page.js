// The page's side of Pingel in the browser: the canvas and its integer scale, the menu bar
// and the dialogs as HTML, keys and touch, sound through Web Audio, the tab's visibility,
// and the fetch that carries a highscore. The program (pingel.js with pingel.wasm) calls
// PingelPage; nothing here knows the game's rules. The page also keeps a few timings
// and the outcome of the last exchange (PingelPage.timings()) for measuring and checking it.
// Opened as ?spel=ID, the page fetches that replay for the program and shows the controls
// of its playback under the picture.
'use strict';
var PingelPage = (function () {
  const pictureWidth = 421;
  const pictureHeight = 271;
  // Keys in the order of the program's key numbers.
  const keyNumbers = { ArrowLeft: 0, ArrowRight: 1, ArrowUp: 2, ArrowDown: 3, F1: 4 };
  const swipeKeys = { left: 0, right: 1, up: 2, down: 3 };
  // A touch that moves this many CSS pixels is a swipe; less is a tap.
  const swipeDistance = 24;
  // Dialog units in pixels (a dialog font of 6 x 13 pixels).
  const unitX = 1.5;
  const unitY = 1.625;
  const idOk = 1;
  const idCancel = 2;
  // Control kinds in the order of the shell's tables.
  const Kind = { DefaultButton: 0, Button: 1, GroupBox: 2, ReadOnlyText: 3, ReadOnlyLine: 4, Edit: 5, PasswordEdit: 6 };
  // The steps of an exchange and the Windows library's error numbers, as the program has them.
  const stepReadReply = 2;
  const stepSendRequest = 5;
  const errorTimeout = 12002;
  const errorCannotConnect = 12029;
  const errorConnectionReset = 12031;
  const frameLogLimit = 4000;
  // Where the portal keeps a replay (?spel=ID), on the page's own origin.
  const replayPath = function (id) { return '/spel/' + id; };
  const replayFetchMs = 30000;

  const root = document.getElementById('pingel');
  const menuBar = document.getElementById('menu');
  const stage = document.getElementById('stage');
  const canvas = document.getElementById('screen');
  const context = canvas.getContext('2d', { alpha: false });

  const down = [false, false, false, false, false];
  const latched = [false, false, false, false, false];
  let tapped = false;
  const commands = [];
  let paletteRegained = false;
  let scale = 1;

  // --- timings ---
  let loadAt = null;
  let firstFrameAt = null;
  const frameTimes = [];
  window.addEventListener('load', function () { loadAt = performance.now(); });

  // --- the clock, which stands still while the tab is hidden ---
  let hiddenSince = document.hidden ? performance.now() : null;
  let hiddenTotal = 0;
  let visibleWaiters = [];
  document.addEventListener('visibilitychange', function () {
    if (document.hidden) {
      if (hiddenSince === null) hiddenSince = performance.now();
      return;
    }
    if (hiddenSince !== null) {
      hiddenTotal += performance.now() - hiddenSince;
      hiddenSince = null;
    }
    paletteRegained = true;
    const waiters = visibleWaiters;
    visibleWaiters = [];
    waiters.forEach(function (resolve) { resolve(); });
  });

  function clock() {
    return (hiddenSince !== null ? hiddenSince : performance.now()) - hiddenTotal;
  }

  function waitVisible() {
    return new Promise(function (resolve) {
      if (!document.hidden) resolve();
      else visibleWaiters.push(resolve);
    });
  }

  // One turn of the event loop without the clamping of nested timers.
  function breathe() {
    return new Promise(function (resolve) {
      const channel = new MessageChannel();
      channel.port1.onmessage = function () { resolve(); };
      channel.port2.postMessage(0);
    });
  }

  // --- the picture ---
  // The picture is scaled by a whole number of device pixels, the largest that fits, so
  // that every game pixel is a square of screen pixels whatever the page's zoom. Where even
  // one CSS pixel per game pixel does not fit (a phone upright), that would leave half the
  // screen empty and the dialogs too small to read: the picture then fills the width or
  // height it has, its pixels still hard-edged though not all of one size.
  function fit() {
    const full = document.fullscreenElement === root;
    const width = full ? window.screen.width : document.documentElement.clientWidth;
    const height = (full ? window.screen.height : window.innerHeight) - menuBar.offsetHeight;
    const ratio = window.devicePixelRatio || 1;
    const fits = Math.min(width / pictureWidth, height / pictureHeight);
    const device = Math.floor(fits * ratio);
    scale = fits >= 1 && device >= 1 ? device / ratio : Math.max(fits, 0.25);
    canvas.style.width = pictureWidth * scale + 'px';
    canvas.style.height = pictureHeight * scale + 'px';
    stage.style.setProperty('--scale', String(scale));
  }
  window.addEventListener('resize', fit);
  document.addEventListener('fullscreenchange', fit);

  function draw(pixels, width, height) {
    context.putImageData(new ImageData(pixels, width, height), 0, 0);
    const t = performance.now();
    if (firstFrameAt === null) firstFrameAt = t;
    if (frameTimes.length >= frameLogLimit) frameTimes.splice(0, frameLogLimit / 2);
    frameTimes.push(t);
  }

  // --- keys and touch ---
  window.addEventListener('keydown', function (e) {
    unlockAudio();
    if (dialog !== null) {
      dialogKey(e);
      return;
    }
    if (playbackKey(e)) return;
    const key = keyNumbers[e.key];
    if (key === undefined) return;
    e.preventDefault(); // no scrolling, no help page
    down[key] = true;
    latched[key] = true;
  });
  window.addEventListener('keyup', function (e) {
    const key = keyNumbers[e.key];
    if (key !== undefined) down[key] = false;
  });
  window.addEventListener('blur', function () { down.fill(false); });

  function keyPressed(key) {
    const pressed = down[key] || latched[key];
    latched[key] = false;
    return pressed;
  }

  function takeTap() {
    const t = tapped;
    tapped = false;
    return t;
  }

  let touchStart = null;
  let swiped = false;
  canvas.addEventListener('touchstart', function (e) {
    unlockAudio();
    e.preventDefault();
    if (dialog !== null || e.changedTouches.length === 0) return;
    const t = e.changedTouches[0];
    touchStart = { x: t.clientX, y: t.clientY, id: t.identifier };
    swiped = false;
  }, { passive: false });
  canvas.addEventListener('touchmove', function (e) {
    e.preventDefault();
    if (touchStart === null) return;
    for (const t of e.changedTouches) {
      if (t.identifier !== touchStart.id) continue;
      const dx = t.clientX - touchStart.x;
      const dy = t.clientY - touchStart.y;
      if (Math.max(Math.abs(dx), Math.abs(dy)) < swipeDistance) continue;
      // A swipe steers like a press of the arrow key; going on with it may steer again.
      const direction = Math.abs(dx) > Math.abs(dy) ? (dx < 0 ? 'left' : 'right') : (dy < 0 ? 'up' : 'down');
      latched[swipeKeys[direction]] = true;
      touchStart = { x: t.clientX, y: t.clientY, id: t.identifier };
      swiped = true;
    }
  }, { passive: false });
  canvas.addEventListener('touchend', function (e) {
    e.preventDefault();
    if (touchStart === null) return;
    if (!swiped) tapped = true;
    touchStart = null;
  }, { passive: false });
  canvas.addEventListener('touchcancel', function () { touchStart = null; });

  // --- sound ---
  let audio = null;
  const decoded = new Map();
  let playing = null;
  let soundRequest = 0;
  let soundsStarted = 0;

  // Browsers let a page make sound only after a key or a touch.
  function unlockAudio() {
    if (audio === null) {
      const AudioContextClass = window.AudioContext || window.webkitAudioContext;
      if (!AudioContextClass) return;
      try {
        audio = new AudioContextClass();
      } catch (e) {
        return;
      }
    }
    if (audio.state === 'suspended') audio.resume().catch(function () {});
  }

  function decode(id, bytes) {
    let buffer = decoded.get(id);
    if (buffer === undefined) {
      buffer = audio.decodeAudioData(bytes.buffer).catch(function () { return null; });
      decoded.set(id, buffer);
    }
    return buffer;
  }

  function startSound(buffer) {
    if (playing !== null) {
      try { playing.stop(); } catch (e) { /* already ended */ }
    }
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    source.start();
    playing = source;
    ++soundsStarted;
    return source;
  }

  function playSound(id, bytes) {
    if (audio === null) return;
    const request = ++soundRequest;
    decode(id, bytes).then(function (buffer) {
      if (buffer !== null && request === soundRequest) startSound(buffer);
    });
  }

  // The program waits for this promise: it settles whatever happens.
  async function playSoundToEnd(id, bytes) {
    try {
      if (audio === null || audio.state !== 'running') return;
      const request = ++soundRequest;
      const buffer = await decode(id, bytes);
      if (buffer === null || request !== soundRequest) return;
      const source = startSound(buffer);
      await new Promise(function (resolve) {
        source.onended = resolve;
        setTimeout(resolve, buffer.duration * 1000 + 250); // should the end never be told
      });
    } catch (e) {
      console.warn('Pingel: sound ' + id + ': ' + e);
    }
  }

  // --- the menu bar ---
  const popups = [];
  let openPopup = null;

  function addMenuItem(popupCaption, id, caption) {
    let popup = popups.length > 0 ? popups[popups.length - 1] : null;
    if (popup === null || popup.caption !== popupCaption) {
      const holder = document.createElement('div');
      holder.className = 'popup';
      const title = document.createElement('button');
      title.type = 'button';
      title.className = 'title';
      title.textContent = popupCaption;
      const list = document.createElement('div');
      list.className = 'items';
      list.hidden = true;
      holder.append(title, list);
      menuBar.insertBefore(holder, menuBar.querySelector('.fullscreen'));
      popup = { caption: popupCaption, title: title, list: list };
      title.addEventListener('click', function (e) {
        e.stopPropagation();
        showPopup(openPopup === popup ? null : popup);
      });
      title.addEventListener('mouseenter', function () {
        if (openPopup !== null && openPopup !== popup) showPopup(popup);
      });
      popups.push(popup);
    }
    const item = document.createElement('button');
    item.type = 'button';
    item.textContent = caption;
    item.dataset.command = String(id);
    item.addEventListener('click', function (e) {
      e.stopPropagation();
      showPopup(null);
      if (dialog === null) commands.push(id);
    });
    popup.list.append(item);
  }

  function showPopup(popup) {
    if (openPopup !== null) openPopup.list.hidden = true;
    openPopup = dialog === null ? popup : null;
    if (openPopup !== null) openPopup.list.hidden = false;
  }
  document.addEventListener('click', function () { showPopup(null); });

  function takeCommand() {
    return commands.length > 0 ? commands.shift() : -1;
  }

  function takePaletteRegained() {
    const r = paletteRegained;
    paletteRegained = false;
    return r;
  }

  function start() {
    const full = document.createElement('button');
    full.type = 'button';
    full.className = 'fullscreen';
    full.textContent = 'Helskärm';
    full.addEventListener('click', function (e) {
      e.stopPropagation();
      if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
      else if (root.requestFullscreen) root.requestFullscreen().catch(function () {});
    });
    menuBar.append(full);
    fit();
  }

  // --- dialogs ---
  let dialog = null;

  function dialogBegin(id, caption, closeBox, width, height) {
    showPopup(null);
    const box = document.createElement('div');
    box.className = 'dialog';
    box.dataset.dialog = String(id);
    box.setAttribute('role', 'dialog');
    const bar = document.createElement('div');
    bar.className = 'caption';
    const title = document.createElement('span');
    title.textContent = caption;
    bar.append(title);
    if (closeBox) {
      const close = document.createElement('button');
      close.type = 'button';
      close.className = 'close';
      close.textContent = '\u00D7';
      close.addEventListener('click', function () { dialog.commands.push(idCancel); });
      bar.append(close);
    }
    const client = document.createElement('div');
    client.className = 'client';
    client.style.width = width * unitX + 'px';
    client.style.height = height * unitY + 'px';
    box.append(bar, client);
    dialog = { box: box, title: title, client: client, items: new Map(), commands: [], defaultId: idOk };
    menuBar.classList.add('disabled');
  }

  function place(element, x, y, w, h) {
    element.style.left = x * unitX + 'px';
    element.style.top = y * unitY + 'px';
    element.style.width = w * unitX + 'px';
    element.style.height = h * unitY + 'px';
    dialog.client.append(element);
  }

  function dialogControl(id, kind, text, x, y, w, h) {
    let element;
    switch (kind) {
      case Kind.DefaultButton:
      case Kind.Button:
        element = document.createElement('button');
        element.type = 'button';
        element.textContent = text;
        if (kind === Kind.DefaultButton) {
          element.classList.add('default');
          dialog.defaultId = id;
        }
        element.addEventListener('click', function () { dialog.commands.push(id); });
        break;
      case Kind.GroupBox: {
        element = document.createElement('fieldset');
        const legend = document.createElement('legend');
        legend.textContent = text;
        element.append(legend);
        break;
      }
      case Kind.ReadOnlyText:
        element = document.createElement('textarea');
        element.readOnly = true;
        element.value = text;
        break;
      case Kind.ReadOnlyLine:
        element = document.createElement('div');
        element.className = 'line';
        element.textContent = text;
        break;
      default:
        element = document.createElement('input');
        element.type = kind === Kind.PasswordEdit ? 'password' : 'text';
        element.autocomplete = 'off';
        element.spellcheck = false;
        element.value = text;
        break;
    }
    if (id >= 0) {
      element.dataset.id = String(id);
      dialog.items.set(id, element);
    }
    place(element, x, y, w, h);
  }

  function dialogShow() {
    stage.append(dialog.box);
    // The typing starts in the first field; a dialog without one has its first button.
    const first = dialog.client.querySelector('input') || dialog.client.querySelector('button');
    if (first !== null) first.focus();
  }

  function dialogKey(e) {
    if (e.key === 'Enter') {
      e.preventDefault();
      const target = e.target;
      const id = target instanceof HTMLButtonElement && target.dataset.id ? Number(target.dataset.id) : dialog.defaultId;
      dialog.commands.push(id);
    } else if (e.key === 'Escape') {
      e.preventDefault();
      dialog.commands.push(idCancel);
    } else if (e.key === 'F1') {
      e.preventDefault();
    }
  }

  function dialogCommand() {
    return dialog !== null && dialog.commands.length > 0 ? dialog.commands.shift() : -1;
  }

  // While the program works on (a highscore being sent) the dialog takes no input: its
  // buttons and fields are disabled, and whatever was asked of it meanwhile is dropped.
  // The focus comes back where it was.
  function dialogBusy(on) {
    if (dialog === null) return;
    if (on) dialog.focusBeforeBusy = document.activeElement;
    for (const element of dialog.items.values()) {
      if (element instanceof HTMLButtonElement || element instanceof HTMLInputElement) element.disabled = on;
    }
    dialog.commands.length = 0;
    if (!on && dialog.focusBeforeBusy instanceof HTMLElement && dialog.box.contains(dialog.focusBeforeBusy)) {
      dialog.focusBeforeBusy.focus();
    }
  }

  function dialogCaption(text) {
    if (dialog !== null) dialog.title.textContent = text;
  }

  function dialogSetText(id, text) {
    const element = dialog !== null ? dialog.items.get(id) : undefined;
    if (element === undefined) return;
    if (element instanceof HTMLInputElement || element instanceof HTMLTextAreaElement) element.value = text;
    else element.textContent = text;
  }

  function dialogText(id) {
    const element = dialog !== null ? dialog.items.get(id) : undefined;
    if (element === undefined) return '';
    if (element instanceof HTMLInputElement || element instanceof HTMLTextAreaElement) return element.value;
    return element.textContent;
  }

  function dialogEnd() {
    if (dialog === null) return;
    dialog.box.remove();
    dialog = null;
    menuBar.classList.remove('disabled');
    canvas.focus();
  }

  // --- a replay played back ---
  // The bar under the picture: pause and play, the three speeds, and how far it has come.
  // Its buttons and the keys Space, 1, 2 and 4 hand the shell its playback commands.
  const playback = { bar: null, pause: null, speeds: new Map(), progress: null, count: null, note: null,
                     active: false };

  function playbackCommands(pause, one, two, four) {
    const bar = document.createElement('div');
    bar.id = 'playback';
    bar.hidden = true;
    const title = document.createElement('span');
    title.className = 'title';
    title.textContent = 'Uppspelning';
    const button = function (text, command) {
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = text;
      b.dataset.command = String(command);
      b.addEventListener('click', function (e) {
        e.stopPropagation();
        if (dialog === null) commands.push(command);
        canvas.focus();
      });
      return b;
    };
    playback.pause = button('Paus', pause);
    playback.pause.className = 'pause';
    bar.append(title, playback.pause);
    [[1, one], [2, two], [4, four]].forEach(function (pair) {
      const b = button(pair[0] + '\u00D7', pair[1]);
      b.dataset.speed = String(pair[0]);
      playback.speeds.set(pair[0], b);
      bar.append(b);
    });
    playback.progress = document.createElement('progress');
    playback.progress.max = 1;
    playback.progress.value = 0;
    playback.count = document.createElement('span');
    playback.count.className = 'count';
    const help = document.createElement('span');
    help.className = 'help';
    help.textContent = 'F1: eget spel';
    bar.append(playback.progress, playback.count, help);
    playback.note = document.createElement('div');
    playback.note.id = 'playback-problem';
    playback.note.setAttribute('role', 'alert');
    playback.note.hidden = true;
    root.append(bar, playback.note);
    playback.bar = bar;
  }

  function showPlayback(active, done, total, speed, paused, over) {
    playback.active = active;
    playback.bar.hidden = !active;
    if (!active) return;
    playback.progress.max = Math.max(total, 1);
    playback.progress.value = done;
    playback.count.textContent = over ? 'Slut' : Math.floor(done / 50) + ' s av ' + Math.floor(total / 50) + ' s';
    playback.bar.dataset.done = String(done);
    playback.bar.dataset.total = String(total);
    playback.pause.textContent = paused ? 'Spela' : 'Paus';
    playback.pause.setAttribute('aria-pressed', String(paused));
    playback.pause.disabled = over;
    playback.speeds.forEach(function (b, s) {
      b.setAttribute('aria-pressed', String(s === speed));
      b.disabled = over;
    });
  }

  function playbackKey(e) {
    if (!playback.active) return false;
    const button = e.key === ' ' ? playback.pause : playback.speeds.get(Number(e.key));
    if (button === undefined || e.ctrlKey || e.altKey || e.metaKey) return false;
    e.preventDefault();
    if (!e.repeat) commands.push(Number(button.dataset.command));
    return true;
  }

  function playbackProblem(text) {
    playback.note.textContent = text;
    playback.note.hidden = false;
  }

  // The first `limit` bytes of a response's body; the rest is not read.
  async function readAtMost(response, limit) {
    const body = new Uint8Array(limit);
    let length = 0;
    const reader = response.body.getReader();
    while (length < limit) {
      const chunk = await reader.read();
      if (chunk.done) break;
      const take = Math.min(chunk.value.length, limit - length);
      body.set(chunk.value.subarray(0, take), length);
      length += take;
    }
    reader.cancel().catch(function () {});
    return body.subarray(0, length);
  }

  // The replay the page's address asks for: its bytes (at most `limit`), or a number:
  // -1 none asked for, -2 an ID that is not a number, -3 no such replay, -4 not fetched.
  async function fetchReplay(limit) {
    const id = new URLSearchParams(window.location.search).get('spel');
    if (id === null) return -1;
    if (!/^[0-9]{1,18}$/.test(id)) return -2;
    const controller = new AbortController();
    const timer = setTimeout(function () { controller.abort(); }, replayFetchMs);
    try {
      const response = await fetch(new URL(replayPath(id), window.location.origin), {
        credentials: 'same-origin', cache: 'no-store', signal: controller.signal,
      });
      if (response.status === 404) return -3;
      if (!response.ok) return -4;
      return await readAtMost(response, limit);
    } catch (e) {
      return -4;
    } finally {
      clearTimeout(timer);
    }
  }

  // --- the rest ---
  function openUrl(url) {
    window.open(url, '_blank', 'noopener');
  }

  function ended() {
    const note = document.createElement('div');
    note.className = 'ended';
    note.textContent = 'Pingel har avslutats. Ladda om sidan för att spela igen.';
    stage.append(note);
    menuBar.classList.add('disabled');
  }

  function latin1(text) {
    return Uint8Array.from(text, function (c) { return c.charCodeAt(0) & 0xFF; });
  }

  let lastExchange = null;
  let exchanges = 0;

  // Posts to `path` on the page's own origin. Whatever fails is a failed step; the promise
  // the program waits for always settles.
  async function post(path, headerLines, payload, connectMs, exchangeMs, limit) {
    let result;
    try {
      result = await exchange(path, headerLines, payload, connectMs, exchangeMs, limit);
    } catch (e) {
      result = { kind: 1, code: stepSendRequest, error: errorCannotConnect, bytes: latin1(String(e)) };
    }
    // The reply's first characters are kept for checking what the server said.
    lastExchange = { kind: result.kind, code: result.code, error: result.error, number: ++exchanges,
                     reply: String.fromCharCode.apply(null, result.bytes.subarray(0, 64)) };
    return result;
  }

  async function exchange(path, headerLines, payload, connectMs, exchangeMs, limit) {
    const failed = function (step, error, text) {
      return { kind: 1, code: step, error: error, bytes: latin1(text) };
    };
    const headers = new Headers();
    for (const line of headerLines.split('\r\n')) {
      const colon = line.indexOf(':');
      if (colon <= 0) continue;
      try {
        headers.append(line.slice(0, colon).trim(), line.slice(colon + 1).trim());
      } catch (e) { /* a header the browser refuses */ }
    }
    const controller = new AbortController();
    const timer = setTimeout(function () { controller.abort(); }, connectMs + exchangeMs);
    let response;
    try {
      response = await fetch(new URL(path, window.location.origin), {
        method: 'POST', headers: headers, body: payload, signal: controller.signal,
        credentials: 'same-origin', cache: 'no-store',
      });
    } catch (e) {
      clearTimeout(timer);
      return controller.signal.aborted
        ? failed(stepSendRequest, errorTimeout, 'Tidsgränsen för förfrågan överskreds')
        : failed(stepSendRequest, errorCannotConnect, 'Kunde inte ansluta till servern');
    }
    let bytes;
    try {
      bytes = await readAtMost(response, limit);
    } catch (e) {
      clearTimeout(timer);
      return controller.signal.aborted
        ? failed(stepReadReply, errorTimeout, 'Tidsgränsen för svaret överskreds')
        : failed(stepReadReply, errorConnectionReset, 'Svaret bröts av');
    }
    clearTimeout(timer);
    return { kind: 0, code: response.status, error: 0, bytes: bytes };
  }

  function timings() {
    return { load: loadAt, firstFrame: firstFrameAt, frames: frameTimes.slice(), lastExchange: lastExchange,
             soundsStarted: soundsStarted };
  }

  return {
    start: start, addMenuItem: addMenuItem, clock: clock, hidden: function () { return document.hidden; },
    waitVisible: waitVisible, breathe: breathe, keyPressed: keyPressed, takeTap: takeTap,
    playSound: playSound, playSoundToEnd: playSoundToEnd, draw: draw, openUrl: openUrl,
    takeCommand: takeCommand, takePaletteRegained: takePaletteRegained,
    dialogBegin: dialogBegin, dialogControl: dialogControl, dialogShow: dialogShow,
    dialogCommand: dialogCommand, dialogBusy: dialogBusy, dialogCaption: dialogCaption, dialogSetText: dialogSetText,
    dialogText: dialogText, dialogEnd: dialogEnd, ended: ended, post: post, timings: timings,
    playbackCommands: playbackCommands, showPlayback: showPlayback, playbackProblem: playbackProblem,
    fetchReplay: fetchReplay,
  };
})();

// What the program (pingel.js, loaded after this file) takes from the page when it starts.
var Module = {
  onAbort: function (what) { console.error('Pingel stannade: ' + what); },
};
