// The Tessaro web console: the live tag table, the plots, the reader's
// information and settings, tag operations and recordings. Plain JS on the
// console's own API (/api/v1/, docs/api-http.md); nothing from elsewhere.
'use strict';

const RENDER_EVERY_MS = 250;       // the table and plots redraw at most this often
const RSSI_POINTS = 600;           // kept per selected tag
const COLORS = ['#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#8c564b'];

const state = {
  token: '',
  reader: '',                      // serial of the reader shown
  tags: new Map(),                 // EPC -> row
  dirty: true,
  sortKey: 'epc',
  sortDown: false,
  selected: '',
  rssi: [],                        // [timeMs, dBm] of the selected tag
  rates: null,
  showGs1: false,
  renderTimes: [],                 // the last renders' durations in ms (measured by the load test)
  events: 0,
};
window.tessaro = state;  // read by the load run (scripts/web-load)

const $ = (id) => document.getElementById(id);

// ---- the token --------------------------------------------------------------

function takeTokenFromUrl() {
  const url = new URL(window.location.href);
  const fromUrl = url.searchParams.get('token');
  if (fromUrl) {
    sessionStorage.setItem('tessaro-token', fromUrl);
    url.searchParams.delete('token');
    history.replaceState(null, '', url.pathname + url.search + url.hash);
  }
  state.token = sessionStorage.getItem('tessaro-token') || '';
  $('token-form').hidden = state.token !== '';
}

async function api(method, path, body) {
  const headers = {};
  if (state.token) headers.Authorization = 'Bearer ' + state.token;
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  const response = await fetch(path, {
    method, headers, body: body === undefined ? undefined : JSON.stringify(body),
  });
  let data = null;
  try { data = await response.json(); } catch (e) { data = null; }
  if (!response.ok) {
    const error = new Error((data && data.error) || ('HTTP ' + response.status));
    error.status = response.status;
    error.data = data;
    throw error;
  }
  return data;
}

function say(output, text, ok) {
  output.textContent = text;
  output.className = ok ? 'ok' : 'error';
}

function errorText(error) {
  const data = error.data || {};
  let text = error.message;
  if (data.tagErrorText) text += ' (tag: ' + data.tagErrorText + ')';
  if (error.status === 401) text += ' — enter the token printed when the console started.';
  return text;
}

// ---- the live table ---------------------------------------------------------

const two = (n) => (n < 10 ? '0' : '') + n;

// HH:MM:SS.mmm in local time (cheap: called for every changed row).
function time(ms) {
  if (!ms) return '';
  const d = new Date(ms);
  const milli = d.getMilliseconds();
  return two(d.getHours()) + ':' + two(d.getMinutes()) + ':' + two(d.getSeconds()) + '.' +
    (milli < 10 ? '00' : milli < 100 ? '0' : '') + milli;
}

function gs1Text(gs1) {
  if (!gs1) return '';
  return gs1.elementString || gs1.pureUri || '';
}

function rowOf(epc) {
  let row = state.tags.get(epc);
  if (!row) {
    row = { epc, gs1: '', antenna: 0, rssi: 0, reads: 0, firstSeen: 0, lastSeen: 0, present: true,
      tr: null, changed: true };
    state.tags.set(epc, row);
  }
  return row;
}

function takeTagRow(tag) {
  const row = rowOf(tag.epc);
  row.gs1 = gs1Text(tag.gs1);
  row.antenna = tag.antenna;
  row.rssi = tag.rssi;
  row.reads = tag.reads;
  row.firstSeen = Date.parse(tag.firstSeen) || 0;
  row.lastSeen = tag.lastSeen ? Date.parse(tag.lastSeen) : 0;
  row.present = tag.present;
  row.changed = true;
  if (row.gs1) state.showGs1 = true;
}

function takeEvent(event) {
  state.events++;
  if (event.reader !== state.reader) return;
  if (event.type === 'lost' || event.type === 'back') {
    showReaderState(event.type === 'lost' ? 'lost' : 'back');
    return;
  }
  if (event.type !== 'tag' && event.type !== 'arrived' && event.type !== 'departed') return;
  const row = rowOf(event.epc);
  const at = Date.parse(event.time);
  if (!row.firstSeen) row.firstSeen = at;
  if (event.gs1) {
    row.gs1 = gs1Text(event.gs1);
    state.showGs1 = true;
  }
  if (event.type === 'departed') {
    row.present = false;
  } else {
    row.present = true;
  }
  if (event.type === 'tag') {
    row.antenna = event.antenna;
    row.rssi = event.rssi;
    row.reads++;
    row.lastSeen = at;
    if (event.epc === state.selected) {
      state.rssi.push([at, event.rssi]);
      if (state.rssi.length > RSSI_POINTS) state.rssi.shift();
    }
  }
  row.changed = true;
  state.dirty = true;
}

function compare(a, b) {
  const key = state.sortKey;
  let result;
  if (key === 'epc' || key === 'gs1') result = a[key] < b[key] ? -1 : a[key] > b[key] ? 1 : 0;
  else result = (a[key] - b[key]) || (a.epc < b.epc ? -1 : a.epc > b.epc ? 1 : 0);
  return state.sortDown ? -result : result;
}

function makeTr(row) {
  const tr = document.createElement('tr');
  tr.tabIndex = 0;
  tr.dataset.epc = row.epc;
  for (let i = 0; i < 8; i++) tr.appendChild(document.createElement('td'));
  tr.children[1].className = 'gs1';
  tr.shown = [];
  return tr;
}

function setCell(tr, index, text) {
  if (tr.shown[index] !== text) {
    tr.shown[index] = text;
    tr.children[index].textContent = text;
  }
}

function renderTable() {
  const started = performance.now();
  const filter = $('filter').value.trim().toUpperCase();
  const presentOnly = $('present-only').checked;
  const rows = [];
  for (const row of state.tags.values()) {
    if (presentOnly && !row.present) continue;
    if (filter && !row.epc.includes(filter) && !row.gs1.toUpperCase().includes(filter) &&
        String(row.antenna) !== filter) continue;
    rows.push(row);
  }
  rows.sort(compare);
  const body = document.querySelector('#tags tbody');
  let previous = null;
  for (const row of rows) {
    if (!row.tr) row.tr = makeTr(row);
    const tr = row.tr;
    if (row.changed) {
      row.changed = false;
      setCell(tr, 0, row.epc);
      setCell(tr, 1, row.gs1);
      setCell(tr, 2, String(row.antenna || ''));
      setCell(tr, 3, row.lastSeen ? row.rssi + ' dBm' : '');
      setCell(tr, 4, String(row.reads));
      setCell(tr, 5, time(row.firstSeen));
      setCell(tr, 6, time(row.lastSeen));
      setCell(tr, 7, row.present ? 'present' : 'departed');
    }
    const wanted = row.present ? (row.epc === state.selected ? 'selected' : '') : 'departed';
    if (tr.className !== wanted) tr.className = wanted;
    // Moved only when out of place: a steady order costs no DOM work.
    const next = previous ? previous.nextSibling : body.firstChild;
    if (next !== tr) body.insertBefore(tr, next);
    previous = tr;
  }
  while (previous ? previous.nextSibling : body.firstChild) {
    body.removeChild(previous ? previous.nextSibling : body.firstChild);
  }
  document.getElementById('tags').classList.toggle('no-gs1', !state.showGs1);
  let present = 0;
  for (const row of rows) if (row.present) present++;
  $('tag-count').textContent = '(' + rows.length + ' shown, ' + present + ' present, ' +
    state.tags.size + ' seen)';
  const took = performance.now() - started;
  state.renderTimes.push(took);
  if (state.renderTimes.length > 200) state.renderTimes.shift();
  $('render-time').textContent = 'drawn in ' + took.toFixed(1) + ' ms';
}

// ---- the plots --------------------------------------------------------------

function canvasContext(canvas) {
  // Sharp on high-density screens and as wide as the page allows.
  const width = canvas.clientWidth || canvas.width;
  const ratio = window.devicePixelRatio || 1;
  const height = Number(canvas.getAttribute('height'));
  if (canvas.width !== Math.round(width * ratio)) {
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
  }
  const context = canvas.getContext('2d');
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  context.clearRect(0, 0, width, height);
  context.font = '11px sans-serif';
  return { context, width, height };
}

function axes(context, width, height, top, label) {
  context.strokeStyle = '#999';
  context.fillStyle = '#555';
  context.beginPath();
  context.moveTo(40, 8);
  context.lineTo(40, height - 18);
  context.lineTo(width - 4, height - 18);
  context.stroke();
  context.fillText(String(top), 4, 14);
  context.fillText(label, 4, height - 22);
}

function drawRates() {
  const { context, width, height } = canvasContext($('rates'));
  const series = state.rates ? state.rates.antennas : {};
  const names = Object.keys(series);
  let top = 1;
  for (const name of names) for (const v of series[name]) top = Math.max(top, v);
  axes(context, width, height, top, '0');
  const seconds = state.rates ? state.rates.seconds : 300;
  context.fillText('−' + Math.round(seconds / 60) + ' min', 44, height - 4);
  context.fillText('now', width - 26, height - 4);
  const legend = [];
  names.forEach((name, index) => {
    const values = series[name];
    const color = COLORS[index % COLORS.length];
    context.strokeStyle = color;
    context.beginPath();
    values.forEach((v, i) => {
      const x = 40 + (width - 44) * i / Math.max(values.length - 1, 1);
      const y = height - 18 - (height - 28) * v / top;
      if (i === 0) context.moveTo(x, y); else context.lineTo(x, y);
    });
    context.stroke();
    const last = values.slice(-5).reduce((a, b) => a + b, 0) / 5;
    const item = document.createElement('span');
    const swatch = document.createElement('span');
    swatch.textContent = '■ ';
    swatch.style.color = color;
    item.append(swatch, 'antenna ' + name + ': ' + last.toFixed(1) + ' reads/s');
    legend.push(item);
  });
  $('rates-legend').replaceChildren(...legend);
}

function drawRssi() {
  const { context, width, height } = canvasContext($('rssi'));
  const points = state.rssi;
  if (!state.selected || points.length === 0) {
    context.fillStyle = '#555';
    context.fillText(state.selected ? 'no reads of this tag yet' : 'choose a tag in the table', 50, height / 2);
    return;
  }
  let low = Infinity, high = -Infinity;
  for (const [, v] of points) { low = Math.min(low, v); high = Math.max(high, v); }
  low -= 2; high += 2;
  const first = points[0][0], last = Math.max(points[points.length - 1][0], first + 1);
  axes(context, width, height, high + ' dBm', low + ' dBm');
  context.fillText(time(first), 44, height - 4);
  context.fillText(time(last), width - 90, height - 4);
  context.strokeStyle = COLORS[0];
  context.fillStyle = COLORS[0];
  context.beginPath();
  points.forEach(([t, v], i) => {
    const x = 40 + (width - 44) * (t - first) / (last - first);
    const y = height - 18 - (height - 28) * (v - low) / (high - low);
    if (i === 0) context.moveTo(x, y); else context.lineTo(x, y);
  });
  context.stroke();
}

async function pollRates() {
  if (!state.reader) return;
  try {
    state.rates = await api('GET', '/api/v1/readers/' + state.reader + '/rates');
    drawRates();
  } catch (e) { /* shown by the stream state */ }
}

// ---- selection and tag operations -------------------------------------------

async function select(epc) {
  state.selected = epc;
  state.rssi = [];
  $('selected-epc').textContent = epc;
  state.dirty = true;
  try {
    const history = await api('GET', '/api/v1/tags/' + epc + '/history?limit=500');
    const reads = history.events.filter((e) => e.type === 'tag' && e.reader === state.reader)
      .map((e) => [Date.parse(e.time), e.rssi]).reverse();
    if (state.selected === epc) state.rssi = reads.concat(state.rssi).slice(-RSSI_POINTS);
  } catch (e) { /* the live reads still come */ }
  drawRssi();
}

function confirmAction(text) {
  const dialog = $('confirm');
  $('confirm-text').textContent = text;
  return new Promise((resolve) => {
    const done = (answer) => {
      $('confirm-ok').onclick = null;
      $('confirm-cancel').onclick = null;
      dialog.close();
      resolve(answer);
    };
    $('confirm-ok').onclick = () => done(true);
    $('confirm-cancel').onclick = () => done(false);
    dialog.oncancel = () => done(false);
    dialog.showModal();
    $('confirm-cancel').focus();
  });
}

function formValues(form) {
  const values = {};
  for (const element of form.elements) {
    if (!element.name) continue;
    values[element.name] = element.type === 'number' ? Number(element.value) : element.value.trim();
  }
  return values;
}

const OPERATIONS = {
  'op-read': { path: 'read', describe: (v, epc) => null },
  'op-write-epc': { path: 'write-epc', describe: (v, epc) => 'Write the EPC ' + v.newEpc.toUpperCase() + ' into tag ' + epc + '?' },
  'op-write': { path: 'write', describe: (v, epc) => 'Write ' + v.data.toUpperCase() + ' into the ' + v.bank + ' bank of tag ' + epc + ' at word ' + v.word + '?' },
  'op-lock': { path: 'lock', describe: (v, epc) => v.action + ' the ' + v.target + ' of tag ' + epc + '?' + (v.action.startsWith('perma') ? ' This cannot be undone.' : '') },
  'op-kill': { path: 'kill', describe: (v, epc) => 'Kill tag ' + epc + '? A killed tag never answers again.' },
};

async function runOperation(form) {
  const output = $('op-result');
  const epc = state.selected;
  if (!epc) { say(output, 'Choose a tag in the table first.', false); return; }
  const operation = OPERATIONS[form.id];
  const values = formValues(form);
  const question = operation.describe(values, epc);
  if (question && !(await confirmAction(question))) { say(output, 'Cancelled.', true); return; }
  try {
    const result = await api('POST', '/api/v1/readers/' + state.reader + '/tags/' + epc + '/' + operation.path, values);
    if (operation.path === 'read') say(output, 'Read ' + result.bank + ' word ' + result.word + ': ' + result.data, true);
    else if (operation.path === 'write-epc') say(output, 'Tag ' + epc + ' now has the EPC ' + result.newEpc + '.', true);
    else if (operation.path === 'write') say(output, result.wordsWritten + ' words written into tag ' + epc + '.', true);
    else if (operation.path === 'lock') say(output, 'Tag ' + epc + ': ' + result.target + ' ' + result.action + 'ed.', true);
    else say(output, 'Tag ' + epc + ' was killed.', true);
  } catch (error) {
    say(output, errorText(error), false);
  }
}

// ---- the reader: information and settings ------------------------------------

function showReaderState(text) {
  const element = $('reader-state');
  element.textContent = 'reader ' + text;
  element.className = 'state ' + (text === 'lost' ? 'bad' : 'good');
}

let regions = [];

function fillChannels(regionName, low, high) {
  const plan = regions.find((r) => r.name === regionName) || regions[0];
  for (const [name, value] of [['lowestChannel', low], ['highestChannel', high]]) {
    const select = $('settings').elements[name];
    select.textContent = '';
    plan.channelsMHz.forEach((mhz, index) => {
      const option = document.createElement('option');
      option.value = index;
      option.textContent = index + ': ' + mhz + ' MHz';
      select.appendChild(option);
    });
    select.value = value === undefined ? (name === 'lowestChannel' ? 0 : plan.channelsMHz.length - 1) : value;
  }
}

async function loadReader() {
  const info = await api('GET', '/api/v1/readers/' + state.reader + '/info');
  const list = $('info');
  list.textContent = '';
  for (const field of info.fields) {
    const dt = document.createElement('dt');
    dt.textContent = field.label;
    const dd = document.createElement('dd');
    dd.textContent = field.text;
    list.append(dt, dd);
  }
  const answer = await api('GET', '/api/v1/readers/' + state.reader + '/settings');
  regions = answer.regions;
  const s = answer.settings;
  const form = $('settings');
  form.elements.power.value = s.power;
  form.elements.scanTime.value = s.scanTime;
  form.elements.beep.checked = s.beep;
  form.elements.region.textContent = '';
  for (const plan of regions) {
    const option = document.createElement('option');
    option.value = plan.name;
    option.textContent = plan.description;
    form.elements.region.appendChild(option);
  }
  form.elements.region.value = s.region.name || regions[0].name;
  fillChannels(form.elements.region.value, s.region.lowestChannel, s.region.highestChannel);
  for (const box of form.querySelectorAll('input[name=antenna]')) box.checked = s.antennas.includes(Number(box.value));
}

async function saveSettings(event) {
  event.preventDefault();
  const form = $('settings');
  const output = $('settings-result');
  const antennas = [...form.querySelectorAll('input[name=antenna]:checked')].map((b) => Number(b.value));
  const request = {
    power: Number(form.elements.power.value),
    region: {
      name: form.elements.region.value,
      lowestChannel: Number(form.elements.lowestChannel.value),
      highestChannel: Number(form.elements.highestChannel.value),
    },
    scanTime: Number(form.elements.scanTime.value),
    beep: form.elements.beep.checked,
  };
  if (antennas.length) request.antennas = antennas;
  try {
    const answer = await api('PUT', '/api/v1/readers/' + state.reader + '/settings', request);
    say(output, 'Saved: ' + answer.changed.join(', ') + '.', true);
    await loadReader();
  } catch (error) {
    say(output, errorText(error), false);
  }
}

// ---- recording --------------------------------------------------------------

function showRecording(status) {
  $('record-start').disabled = !status.available || status.recording;
  $('record-stop').disabled = !status.recording;
  const link = $('record-download');
  link.hidden = !status.last;
  if (status.last) {
    link.href = '/api/v1/recording/transcript' + (state.token ? '?token=' + encodeURIComponent(state.token) : '');
    link.setAttribute('download', status.last.fileName);
  }
  if (status.recording) say($('record-result'), 'Recording reader ' + status.reader + ' since ' + status.startedAt + ': ' + status.reports + ' reports.', true);
  else if (status.last) say($('record-result'), status.last.fileName + ': ' + status.last.reports + ' reports, ' + status.last.rounds + ' rounds.', true);
}

async function recording(action) {
  try {
    const body = action === 'start' ? { reader: state.reader } : {};
    showRecording(await api('POST', '/api/v1/recording/' + action, body));
  } catch (error) {
    say($('record-result'), errorText(error), false);
  }
}

// ---- the stream and the start -----------------------------------------------

// The stream from the event after the table's snapshot: nothing counted twice.
function connect(afterId) {
  const source = new EventSource('/api/v1/events?after=' + afterId +
    (state.token ? '&token=' + encodeURIComponent(state.token) : ''));
  source.onopen = () => { $('stream-state').textContent = 'live'; $('stream-state').className = 'state good'; };
  source.onerror = () => { $('stream-state').textContent = 'reconnecting'; $('stream-state').className = 'state bad'; };
  source.onmessage = (message) => takeEvent(JSON.parse(message.data));
  source.addEventListener('skipped', () => { refreshTable(); });
  return source;
}

async function refreshTable() {
  const answer = await api('GET', '/api/v1/readers/' + state.reader + '/tags');
  for (const tag of answer.tags) takeTagRow(tag);
  state.dirty = true;
  return answer.lastEventId;
}

async function chooseReader(serial) {
  state.reader = serial;
  state.tags = new Map();
  document.querySelector('#tags tbody').textContent = '';
  state.selected = '';
  $('selected-epc').textContent = 'none (choose a row)';
  const reader = await api('GET', '/api/v1/readers/' + serial);
  showReaderState(reader.state);
  if (state.source) state.source.close();
  state.source = connect(await refreshTable());
  pollRates();
  drawRssi();
  loadReader().catch((error) => say($('settings-result'), errorText(error), false));
}

function loop() {
  if (state.dirty) {
    state.dirty = false;
    renderTable();
    if (state.selected) drawRssi();
  }
  setTimeout(loop, RENDER_EVERY_MS);
}

async function start() {
  takeTokenFromUrl();
  $('token-form').addEventListener('submit', (event) => {
    event.preventDefault();
    state.token = $('token').value.trim();
    sessionStorage.setItem('tessaro-token', state.token);
    $('token-form').hidden = state.token !== '';
  });
  document.querySelectorAll('#tags th button').forEach((button) => {
    button.addEventListener('click', () => {
      const key = button.dataset.sort;
      state.sortDown = state.sortKey === key ? !state.sortDown : key !== 'epc' && key !== 'gs1';
      state.sortKey = key;
      document.querySelectorAll('#tags th').forEach((th) => th.removeAttribute('aria-sort'));
      button.parentElement.setAttribute('aria-sort', state.sortDown ? 'descending' : 'ascending');
      state.dirty = true;
    });
  });
  $('filter').addEventListener('input', () => { state.dirty = true; });
  $('present-only').addEventListener('change', () => { state.dirty = true; });
  const body = document.querySelector('#tags tbody');
  body.addEventListener('click', (event) => {
    const tr = event.target.closest('tr');
    if (tr) select(tr.dataset.epc);
  });
  body.addEventListener('keydown', (event) => {
    const tr = event.target.closest('tr');
    if (tr && (event.key === 'Enter' || event.key === ' ')) { event.preventDefault(); select(tr.dataset.epc); }
  });
  for (const id of Object.keys(OPERATIONS)) {
    $(id).addEventListener('submit', (event) => { event.preventDefault(); runOperation(event.target); });
  }
  $('settings').addEventListener('submit', saveSettings);
  $('settings').elements.region.addEventListener('change', (event) => fillChannels(event.target.value));
  $('record-start').addEventListener('click', () => recording('start'));
  $('record-stop').addEventListener('click', () => recording('stop'));
  $('reader').addEventListener('change', (event) => chooseReader(event.target.value));

  const { readers } = await api('GET', '/api/v1/readers');
  for (const reader of readers) {
    const option = document.createElement('option');
    option.value = reader.serial;
    option.textContent = reader.serial;
    $('reader').appendChild(option);
  }
  if (readers.length) await chooseReader(readers[0].serial);
  api('GET', '/api/v1/recording').then(showRecording).catch(() => {});
  setInterval(pollRates, 2000);
  setInterval(() => api('GET', '/api/v1/readers/' + state.reader)
    .then((r) => { if (r.state === 'lost') showReaderState('lost'); }).catch(() => {}), 5000);
  loop();
}

window.tessaroTakeEvent = takeEvent;  // the load run fills the table with it

window.addEventListener('resize', () => { drawRates(); drawRssi(); });
document.addEventListener('DOMContentLoaded', () => {
  start().catch((error) => { $('stream-state').textContent = errorText(error); $('stream-state').className = 'state bad'; });
});
