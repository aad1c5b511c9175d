// The sign page: follows the emulator's Server-Sent Events and shows every
// sign, its page, brightness, relays and announcements, and the frame log.
'use strict';

const signsEl = document.getElementById('signs');
const logEl = document.getElementById('log');
const connectionEl = document.getElementById('connection');
const speakBox = document.getElementById('speak');
const kMaxLogLines = 200;
let lastFrame = 0;    // sequence number of the newest frame in the log
let lastSpoken = -1;  // announcements up to this one are not spoken again

function el(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// One name and value of a sign's facts, kept together when the line wraps.
function fact(list, name, value, valueClass) {
  const dd = el('dd', valueClass || '');
  dd.append(value);
  const group = el('div');
  group.append(el('dt', '', name), dd);
  list.append(group);
}

function pageFacts(list, s) {
  const p = s.page;
  const value = el('span');
  value.append(el('span', 'page-number', p.number !== null ? String(p.number) : 'none'));
  if (p.pages > 0) {
    let text = ' (page set of ' + p.pages;
    if (p.shown !== null) text += '; showing page ' + p.shown + ', ' + p.start + ' to ' + p.end + ', by ' + p.chosenBy;
    value.append(text + ')');
  } else if (p.number !== null) {
    value.append(' (no page set received)');
  }
  fact(list, 'page played', value);
}

function relays(s) {
  const box = el('span', 'relays');
  s.relays.forEach((state, i) => {
    const lamp = el('span', 'lamp' + (state ? ' ' + state.split(' ')[0] : ''), String(i + 1));
    lamp.title = 'relay ' + (i + 1) + ': ' + (state || 'never switched');
    box.append(lamp);
  });
  return box;
}

function areaRows(table, areas) {
  for (const a of areas) {
    const row = el('tr');
    row.append(el('td', '', a.what), el('td', '', a.label),
               el('td', '', a.x + ',' + a.y + ' ' + a.width + '\u00d7' + a.height));
    const cell = el('td');
    if (a.text) cell.append(el('span', 'area-text', a.text));
    if (a.note) cell.append(el('span', 'note', a.note));
    row.append(cell);
    table.append(row);
  }
}

function renderSign(section, s) {
  let img = section.querySelector('img.sign-image');
  if (!img) {
    // A sign of a hall goes by its name, its address beside it.
    const title = el('h2', '', s.name || s.id);
    if (s.name) title.append(el('span', 'sign-address', s.id));
    title.append(el('span', 'sign-kind', s.kind));
    section.append(title);
    img = el('img', 'sign-image');
    img.alt = 'the sign ' + (s.name ? s.name + ' at ' : '') + s.id;
    section.append(img, el('div', 'details'));
  }
  if (img.getAttribute('src') !== s.image) img.setAttribute('src', s.image);

  const details = el('div', 'details');
  const facts = el('dl', 'facts');
  if (s.kind !== 'bar') {
    pageFacts(facts, s);
    fact(facts, 'playing', s.playing ? 'yes' : 'stopped');
    fact(facts, 'brightness', s.brightness ? s.brightness.value1 + ' / ' + s.brightness.value2 : 'not set');
    fact(facts, 'clock', s.clock.time + (s.clock.set ? ' (set to ' + s.clock.setTo + ')' : ' (the host\'s)'), 'clock');
    if (s.imageGroup !== null) fact(facts, 'image group playing', String(s.imageGroup));
    fact(facts, 'relays', relays(s));
  }
  fact(facts, 'size', s.width + '\u00d7' + s.height + ' dots');
  details.append(facts);

  if (s.announcements.length) {
    const captions = el('ul', 'captions');
    for (const a of s.announcements) {
      const li = el('li', 'announcement', a.text);
      li.title = a.spoken;
      captions.append(li);
    }
    details.append(captions);
  }
  const table = el('table', 'areas');
  const head = el('tr');
  for (const name of ['content', 'from', 'place', 'shows']) head.append(el('th', '', name));
  table.append(head);
  areaRows(table, s.areas);
  areaRows(table, s.placed);
  for (const p of s.barPages) {
    const row = el('tr');
    row.append(el('td', '', 'bar page'), el('td', '', 'page ' + p.page), el('td', '', ''));
    const cell = el('td');
    cell.append(el('span', 'area-text', p.text));
    row.append(cell);
    table.append(row);
  }
  if (table.rows.length > 1) details.append(table);
  if (s.barParams.length)
    details.append(el('p', 'bar-params', 'parameters: ' + s.barParams.map(f => f.name + '=' + f.value).join(' ')));
  section.querySelector('div.details').replaceWith(details);
}

function speakNew(state) {
  let newest = lastSpoken;
  const fresh = [];
  for (const s of state.signs)
    for (const a of s.announcements)
      if (a.seq > lastSpoken) {
        fresh.push(a);
        newest = Math.max(newest, a.seq);
      }
  // What was said before the page opened stays unspoken.
  if (lastSpoken >= 0 && speakBox.checked && 'speechSynthesis' in window) {
    fresh.sort((a, b) => a.seq - b.seq);
    for (const a of fresh) speechSynthesis.speak(new SpeechSynthesisUtterance(a.text));
  }
  lastSpoken = Math.max(newest, 0);
}

function render(state) {
  const seen = new Set();
  for (const s of state.signs) {
    seen.add(s.id);
    let section = [...signsEl.children].find(e => e.dataset.sign === s.id);
    if (!section) {
      section = el('section', 'sign');
      section.dataset.sign = s.id;
      signsEl.append(section);
    }
    renderSign(section, s);
  }
  for (const section of [...signsEl.children])
    if (!seen.has(section.dataset.sign)) section.remove();
  speakNew(state);
}

function addFrame(entry) {
  if (entry.seq <= lastFrame) return;  // sent again after a reconnection
  lastFrame = entry.seq;
  const sign = entry.name || entry.sign;
  const li = el('li', entry.ok ? '' : 'bad', (sign ? '[' + sign + '] ' : '') + entry.line);
  li.value = entry.seq;
  const atBottom = logEl.scrollTop + logEl.clientHeight >= logEl.scrollHeight - 4;
  logEl.append(li);
  while (logEl.children.length > kMaxLogLines) logEl.firstChild.remove();
  if (atBottom) logEl.scrollTop = logEl.scrollHeight;
}

const events = new EventSource('/events');
events.addEventListener('open', () => {
  connectionEl.textContent = 'live';
  connectionEl.className = 'live';
});
events.addEventListener('error', () => {
  connectionEl.textContent = 'reconnecting';
  connectionEl.className = 'offline';
});
events.addEventListener('state', e => render(JSON.parse(e.data)));
events.addEventListener('frame', e => addFrame(JSON.parse(e.data)));
