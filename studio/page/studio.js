// The studio page: builds a control per host parameter from GET /api/effect
// and shows frames from /api/frame.raw; parameter changes travel in the
// frame request itself (POST), so a change costs one round trip. Only one
// request is in flight at a time and the newest wanted state wins: changes
// made while a frame renders are merged and sent once it is shown.
// The token comes from the printed address and stays in this page's
// memory: every request sends it in a header (the event stream and saved
// frames, which cannot, in the query), never in a cookie.
// Beside the frame: an editor (CodeMirror 5, served by the studio) for the
// effect's text files, with the effect's errors marked on their lines;
// undo, redo and reset of values; a timeline of chosen length and rate.
// Every control works from the keyboard.
// window.studio exposes counters and the editor for tests.
'use strict';

const $ = (id) => document.getElementById(id);
const token = new URLSearchParams(location.search).get('token') || '';
const withToken = (path) => path + (path.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token);
const studio = window.studio = { latencies: [], framesShown: 0, revision: 0, reloads: 0 };

const state = {
  effect: null, settings: null,
  time: 0, depth: 8, fps: 30, playing: false, playStart: 0, playFrom: 0,
  zoom: 0, panX: 0, panY: 0,            // zoom 0 is "fit"
  frameW: 0, frameH: 0, originX: 0, originY: 0,  // origin: the frame's top left in layer pixels
  pending: {},                          // parameter changes not yet sent
  wanted: false, busy: false, inputAt: null,
  announced: 0,                         // newest frame revision the server announced
  valuesRevision: 0,                    // revision of the newest values shown
};

// fetch() with the token and no cookies.
function request(path, options = {}) {
  const headers = Object.assign({ 'X-Lumivex-Token': token }, options.headers);
  return fetch(path, Object.assign({ credentials: 'omit', cache: 'no-store' }, options, { headers }));
}

async function api(path, options) {
  const r = await request(path, options);
  const json = (r.headers.get('content-type') || '').includes('json');
  const body = json ? await r.json() : await r.blob();
  if (!r.ok) {
    const e = new Error(json && body.error ? body.error : 'HTTP ' + r.status);
    e.status = r.status;
    e.failure = json && body.failure;
    throw e;
  }
  return body;
}
const putJson = (path, value) => api(path, { method: 'PUT', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(value) });
const status = (text) => { $('status').textContent = text; };

// ---- parameters ------------------------------------------------------------------------

// A change the user made; `how` is 'drag' for changes that come in a
// stream (a slider, a colour, a handle), which undo takes back as one.
function setParam(p, value, how) {
  remember([{ name: p.name, before: p.value, after: value }], how);
  sendParam(p, value);
}

// Shows and sends a value without recording it.
function sendParam(p, value) {
  state.pending[p.name] = value;
  p.value = value;
  if (p.show) p.show(value);
  if (p.type === 'point' || p.type === 'point3d') placeHandles();
  if (state.inputAt === null) state.inputAt = performance.now();
  want();
}

// ---- undo, redo, reset -------------------------------------------------------------------

// Each entry lists the values one action changed, before and after.
const valueHistory = { done: [], undone: [] };
const copy = (v) => (v === undefined ? v : JSON.parse(JSON.stringify(v)));

function remember(changes, how) {
  const top = valueHistory.done[valueHistory.done.length - 1];
  const now = performance.now();
  // A drag is one step: changes of the same value in a stream are merged.
  if (how === 'drag' && top && top.how === 'drag' && now - top.at < 1000 && top.changes.length === 1 &&
      top.changes[0].name === changes[0].name) {
    top.changes[0].after = copy(changes[0].after);
    top.at = now;
  } else {
    valueHistory.done.push({ changes: changes.map((c) => ({ name: c.name, before: copy(c.before), after: copy(c.after) })), how, at: now });
    if (valueHistory.done.length > 500) valueHistory.done.shift();
  }
  valueHistory.undone = [];
  showHistory();
}

// A drag ended (the pointer let go, a key moved a slider): what follows is another step.
function endStep() {
  const top = valueHistory.done[valueHistory.done.length - 1];
  if (top) top.how = undefined;
}

function showHistory(stepped) {
  // What follows an undo or redo starts a step of its own.
  if (stepped) endStep();
  $('undo').disabled = !valueHistory.done.length;
  $('redo').disabled = !valueHistory.undone.length;
}

// Sends each value by name: the parameter may have gone and come back
// with a reload in between.
function applyValues(values) {
  for (const [name, value] of values) {
    const p = state.effect && state.effect.parameters.find((q) => q.name === name);
    if (p) sendParam(p, copy(value));
    else { state.pending[name] = copy(value); want(); }
  }
}

function undo() {
  const entry = valueHistory.done.pop();
  if (!entry) return;
  valueHistory.undone.push(entry);
  applyValues(entry.changes.map((c) => [c.name, c.before]).reverse());
  showHistory(true);
}

function redo() {
  const entry = valueHistory.undone.pop();
  if (!entry) return;
  valueHistory.done.push(entry);
  applyValues(entry.changes.map((c) => [c.name, c.after]));
  showHistory(true);
}

// The value a parameter starts with: its default, or the host's own layer.
function defaultOf(p) {
  if (p.type === 'layer') return '';
  return 'default' in p ? p.default : undefined;
}

function resettable(p) {
  return defaultOf(p) !== undefined && !p.type.startsWith('group');
}

function reset(params) {
  const changes = params.filter((p) => resettable(p) && JSON.stringify(p.value ?? '') !== JSON.stringify(defaultOf(p)))
    .map((p) => ({ name: p.name, before: p.value ?? '', after: defaultOf(p) }));
  if (!changes.length) return;
  remember(changes);
  applyValues(changes.map((c) => [c.name, c.after]));
}

const hex2 = (v) => Math.round(Math.max(0, Math.min(255, v))).toString(16).padStart(2, '0');

function numberBox(value, min, max, step, onChange) {
  const n = document.createElement('input');
  n.type = 'number';
  n.value = value;
  if (min !== undefined) { n.min = min; n.max = max; }
  n.step = step;
  n.addEventListener('change', () => {
    if (n.value === '' || isNaN(+n.value)) return;
    // A value outside the valid range is sent as the nearest one it takes.
    onChange(min !== undefined ? Math.max(min, Math.min(max, +n.value)) : +n.value);
  });
  return n;
}

function rangeBox(value, min, max, step, onInput) {
  const r = document.createElement('input');
  r.type = 'range';
  r.min = min; r.max = max; r.step = step; r.value = value;
  r.addEventListener('input', () => onInput(+r.value, 'drag'));
  r.addEventListener('change', endStep);
  return r;
}

// The inputs of one parameter; `row` is its grid row. Each control also
// gets p.show(value), which shows a value without sending it.
function buildControl(p, inputs) {
  const v = p.value;
  switch (p.type) {
    case 'slider': {
      const [lo, hi] = p.sliderRange || p.range;
      const step = Math.pow(10, -(p.precision || 0));
      const num = numberBox(v, p.range[0], p.range[1], step, (x) => setParam(p, x));
      const range = rangeBox(v, lo, hi, step, (x, how) => setParam(p, x, how));
      p.show = (x) => { num.value = x; range.value = x; };
      inputs.append(range, num);
      break;
    }
    case 'angle': {
      const num = numberBox(v, undefined, undefined, 0.1, (x) => setParam(p, x));
      const range = rangeBox(v, -180, 180, 0.1, (x, how) => setParam(p, x, how));
      p.show = (x) => { num.value = x; range.value = x; };
      inputs.append(range, num, document.createTextNode('°'));
      break;
    }
    case 'checkbox': {
      const c = document.createElement('input');
      c.type = 'checkbox';
      c.checked = !!v;
      p.show = (x) => { c.checked = !!x; };
      c.addEventListener('change', () => setParam(p, c.checked));
      inputs.append(c);
      break;
    }
    case 'popup': {
      const s = document.createElement('select');
      p.choices.forEach((name, i) => s.add(new Option(name, i + 1, false, i + 1 === v)));
      p.show = (x) => { s.value = x; };
      s.addEventListener('change', () => setParam(p, +s.value));
      inputs.append(s);
      break;
    }
    case 'color': {
      const c = document.createElement('input');
      c.type = 'color';
      p.show = (x) => { c.value = '#' + hex2(x[0]) + hex2(x[1]) + hex2(x[2]); };
      p.show(v);
      c.addEventListener('input', () => {
        const n = parseInt(c.value.slice(1), 16);
        setParam(p, [(n >> 16) & 255, (n >> 8) & 255, n & 255, p.value[3]], 'drag');
      });
      c.addEventListener('change', endStep);
      inputs.append(c);
      break;
    }
    case 'point':
    case 'point3d': {
      const boxes = v.map((x, i) => numberBox(x, undefined, undefined, 1, (val) => {
        const next = p.value.slice(); next[i] = val; setParam(p, next);
      }));
      p.show = (x) => boxes.forEach((b, i) => { b.value = x[i]; });
      inputs.append(...boxes);
      break;
    }
    case 'layer': {
      // The value is a file of the effect folder, an upload, or empty for
      // the host's own layer.
      const s = document.createElement('select');
      s.add(new Option('(as the host gives it)', ''));
      for (const f of state.files) s.add(new Option(f, f));
      s.add(new Option('Choose image…', '?'));
      p.show = (x) => {
        x = x || '';
        if (![...s.options].some((o) => o.value === x)) s.add(new Option(x.replace(/^upload:\d+-/, ''), x), s.options.length - 1);
        s.value = x;
      };
      p.show(v);
      s.addEventListener('change', async () => {
        let value = s.value;
        if (value === '?') value = await uploadChosen().catch((e) => { showRequestError(e); return ''; });
        if (value === '' && s.value === '?') { p.show(p.value); return; }
        setParam(p, value);
      });
      inputs.append(s);
      break;
    }
    default:
      inputs.append(document.createTextNode('(not editable here)'));
  }
}

function buildParams() {
  const root = $('params');
  root.textContent = '';
  const stack = [root];
  for (const p of state.effect.parameters) {
    const parent = stack[stack.length - 1];
    if (p.type === 'group-start') {
      const d = document.createElement('details');
      d.open = !p.collapsed;
      d.dataset.index = p.index;
      const s = document.createElement('summary');
      s.textContent = p.name;
      d.append(s);
      parent.append(d);
      stack.push(d);
      continue;
    }
    if (p.type === 'group-end') {
      if (stack.length > 1) stack.pop();
      continue;
    }
    const row = document.createElement('div');
    row.className = 'param';
    row.dataset.index = p.index;
    row.dataset.type = p.type;
    const label = document.createElement('label');
    label.className = 'name';
    const inputs = document.createElement('div');
    inputs.className = 'inputs';
    row.append(label, inputs);
    buildControl(p, inputs);
    if (resettable(p)) {
      const b = document.createElement('button');
      b.className = 'reset';
      b.textContent = '↺';
      b.title = 'Reset to the default';
      b.addEventListener('click', () => reset([p]));
      row.append(b);
    }
    parent.append(row);
  }
  updateControls(state.effect);
  placeHandles();
}

// Names, enabled states (after updateUIFlags) and the values in use, from
// an answer of the server or another tab's change. A value this page has
// not sent yet stays as the user set it, and values older than those shown
// (an answer that arrives after the event of a later change) are ignored.
function updateControls(effect, revision) {
  const fresh = revision === undefined || revision >= state.valuesRevision;
  if (fresh && revision !== undefined) state.valuesRevision = revision;
  for (const p of effect.parameters) {
    const row = $('params').querySelector(`[data-index="${p.index}"]`);
    if (!row) continue;
    if (row.tagName === 'DETAILS') { row.firstChild.textContent = p.name; continue; }
    row.querySelector('.name').textContent = p.name;
    row.classList.toggle('disabled', !p.enabled);
    row.querySelectorAll('input, select, button').forEach((e) => { e.disabled = !p.enabled; });
    const reset = row.querySelector('.reset');
    if (reset) reset.setAttribute('aria-label', 'Reset ' + p.name);
    const mine = state.effect.parameters.find((q) => q.index === p.index);
    if (!mine) continue;
    mine.name = p.name;
    mine.enabled = p.enabled;
    if (fresh && !(mine.name in state.pending) && 'value' in p) {
      mine.value = p.value;
      if (mine.show) mine.show(p.value);
    }
  }
}

async function loadEffect() {
  const [effect, files] = await Promise.all([api('/api/effect'), api('/api/files')]);
  state.files = files.files;
  state.effect = effect;
  $('title').textContent = 'Lumivex Studio: ' + effect.registration.name;
  buildParams();
}

// ---- frames: one request at a time, the newest state wins ------------------------------

function want() {
  state.wanted = true;
  pump();
}

async function pump() {
  if (state.busy) return;
  state.busy = true;
  while (state.wanted) {
    state.wanted = false;
    const started = state.inputAt;
    state.inputAt = null;
    const changes = state.pending;
    state.pending = {};
    try {
      await showFrame(changes);
      if (started !== null) studio.latencies.push(performance.now() - started);
      // A frame rendered for someone else (a script, a reload) while this
      // one was on its way.
      if (state.announced > studio.revision) state.wanted = true;
    } catch (e) {
      if (e.status !== 409) showRequestError(e);
    }
  }
  state.busy = false;
}

// Frames come as 8-bit RGBA rows (/api/frame.raw) straight into the
// canvas: no image encoding between the render and the screen. Parameter
// changes go in the same request; its answer then starts with the effect
// as GET /api/effect describes it.
async function showFrame(changes) {
  const send = Object.keys(changes).length
    ? { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(changes) } : {};
  const r = await request(`/api/frame.raw?time=${state.time}&depth=${state.depth}`, send);
  if (!r.ok) {
    const body = await r.json().catch(() => ({}));
    const e = new Error(body.error || 'HTTP ' + r.status);
    e.status = r.status;
    e.failure = body.failure;
    throw e;
  }
  const revision = +r.headers.get('X-Lumivex-Revision');
  const w = +r.headers.get('X-Lumivex-Width'), h = +r.headers.get('X-Lumivex-Height');
  const body = await r.arrayBuffer();
  const effectLength = +(r.headers.get('X-Lumivex-Effect-Length') || 0);
  if (effectLength) updateControls(JSON.parse(new TextDecoder().decode(new Uint8Array(body, 0, effectLength))), revision);
  const pixels = new Uint8ClampedArray(body, effectLength);
  const canvas = $('frame');
  const sized = canvas.width !== w || canvas.height !== h;
  if (sized) { canvas.width = w; canvas.height = h; }
  canvas.getContext('2d').putImageData(new ImageData(pixels, w, h), 0, 0);
  state.frameW = w;
  state.frameH = h;
  state.originX = +r.headers.get('X-Lumivex-Origin-X');
  state.originY = +r.headers.get('X-Lumivex-Origin-Y');
  canvas.dataset.revision = revision;
  studio.revision = revision;
  studio.framesShown++;
  $('failure').hidden = true;
  if (sized) layout();
  placeHandles();
}

function showRequestError(e) {
  if (e.failure || e.status === 503) {
    $('failure').textContent = e.message + '. Save a file of the effect or change a value to try again.';
    $('failure').hidden = false;
  } else {
    status('Error: ' + e.message);
  }
}

// ---- errors and events -------------------------------------------------------------------

function showErrors(report) {
  editor.errors = report.errors;
  markErrors();
  const list = $('errors');
  list.textContent = '';
  for (const e of report.errors) {
    const li = document.createElement('li');
    li.className = e.severity === 'warning' ? 'warning' : 'error';
    li.dataset.file = e.file;
    li.dataset.line = e.line;
    li.textContent = (e.file ? e.file + (e.line ? ':' + e.line : '') + ': ' : '') + e.message;
    if (editor.cm && editor.files.some((f) => f.path === e.file)) {
      // Opens the file at the line, by mouse or keyboard.
      li.tabIndex = 0;
      li.title = 'Show in the editor';
      li.addEventListener('click', () => openFile(e.file, e.line).catch(editorError));
      li.addEventListener('keydown', (k) => {
        if (k.key === 'Enter' || k.key === ' ') { k.preventDefault(); openFile(e.file, e.line).catch(editorError); }
      });
    }
    list.append(li);
  }
  if (report.failure) {
    const li = document.createElement('li');
    li.className = 'error failure';
    li.textContent = report.failure;
    list.append(li);
  }
  if (!list.children.length) {
    const li = document.createElement('li');
    li.className = 'none';
    li.textContent = 'None';
    list.append(li);
  }
}

function listen() {
  const events = new EventSource(withToken('/api/events'));
  events.addEventListener('reload', async (e) => {
    studio.reloads++;
    const files = JSON.parse(e.data).files;
    // Hidden names are an editor's backups and a save's new file on its way.
    status('Reloaded after a change of ' + files.filter((f) => !/(^|\/)\./.test(f)).join(', '));
    refreshFromDisk(files).catch(editorError);
    try { await loadEffect(); } catch (err) { showRequestError(err); }
    want();
  });
  events.addEventListener('errors', (e) => showErrors(JSON.parse(e.data)));
  // Values changed here, in another tab or through the API.
  events.addEventListener('values', (e) => {
    const v = JSON.parse(e.data);
    if (state.effect) { updateControls(v.effect, v.revision); placeHandles(); }
  });
  events.addEventListener('failure', (e) => {
    showRequestError({ failure: true, message: JSON.parse(e.data).message });
    api('/api/errors').then(showErrors);
  });
  events.addEventListener('frame', (e) => {
    // While a request is on its way its answer is newer than this; pump()
    // looks at `announced` once it is shown.
    state.announced = Math.max(state.announced, JSON.parse(e.data).revision);
    if (!state.busy && state.announced > studio.revision) want();
  });
}

// ---- view: fit, 100%, zoom and pan, split, pixel values, point handles -----------------

function scale() {
  if (state.zoom) return state.zoom;
  const v = $('viewport');
  return state.frameW ? Math.min(v.clientWidth / state.frameW, v.clientHeight / state.frameH) : 1;
}

function layout() {
  const s = scale();
  const v = $('viewport');
  if (!state.zoom) {
    state.panX = (v.clientWidth - state.frameW * s) / 2;
    state.panY = (v.clientHeight - state.frameH * s) / 2;
  }
  const stage = $('stage');
  stage.style.transform = `translate(${state.panX}px, ${state.panY}px) scale(${s})`;
  stage.classList.toggle('pixelated', s > 1);
  for (const img of [$('frame'), $('before')]) { img.style.width = state.frameW + 'px'; img.style.height = state.frameH + 'px'; }
  $('zoom').textContent = state.zoom ? Math.round(s * 100) + '%' : 'fit (' + Math.round(s * 100) + '%)';
  placeHandles();
}

// Frame pixel under a mouse event.
function framePoint(e) {
  const r = $('viewport').getBoundingClientRect();
  const s = scale();
  return [(e.clientX - r.left - state.panX) / s, (e.clientY - r.top - state.panY) / s];
}

const downsample = () => (state.settings ? state.settings.downsample : 1);

// One handle per enabled point parameter, made once and moved after: a
// handle rebuilt while it is dragged would lose the pointer. A point
// outside the frame shows at the nearest edge, where it can be grabbed.
function placeHandles() {
  const box = $('handles');
  const points = state.effect && state.frameW
    ? state.effect.parameters.filter((p) => (p.type === 'point' || p.type === 'point3d') && p.enabled) : [];
  for (const h of [...box.children]) if (!points.some((p) => String(p.index) === h.dataset.index)) h.remove();
  const s = scale();
  for (const p of points) {
    let h = box.querySelector(`.handle[data-index="${p.index}"]`);
    if (!h) h = makeHandle(p);
    h.querySelector('span').textContent = p.name;
    h.style.transform = `scale(${1 / s})`;
    if (h.dragging) continue;
    // Point values are full-size layer pixels; a frame that grew outwards
    // starts left of and above the layer's corner.
    const x = p.value[0] / downsample() - state.originX, y = p.value[1] / downsample() - state.originY;
    const cx = Math.max(0, Math.min(state.frameW, x)), cy = Math.max(0, Math.min(state.frameH, y));
    h.classList.toggle('outside', cx !== x || cy !== y);
    h.style.left = cx + 'px';
    h.style.top = cy + 'px';
  }
}

function makeHandle(p) {
  const h = document.createElement('div');
  h.className = 'handle';
  h.dataset.index = p.index;
  h.tabIndex = 0;
  h.setAttribute('role', 'button');
  h.setAttribute('aria-label', p.name + ': arrow keys move it');
  h.append(document.createElement('span'));
  // Arrow keys move the point by one frame pixel, ten with Shift.
  h.addEventListener('keydown', (e) => {
    const d = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] }[e.key];
    if (!d) return;
    e.preventDefault();
    const step = (e.shiftKey ? 10 : 1) * downsample();
    const next = p.value.slice();
    next[0] += d[0] * step;
    next[1] += d[1] * step;
    setParam(p, next);
  });
  h.addEventListener('pointerdown', (e) => {
    e.stopPropagation();
    h.setPointerCapture(e.pointerId);
    h.dragging = true;
    const move = (m) => {
      const [x, y] = framePoint(m);
      const next = p.value.slice();
      next[0] = Math.round((x + state.originX) * downsample());
      next[1] = Math.round((y + state.originY) * downsample());
      h.style.left = x + 'px';
      h.style.top = y + 'px';
      h.classList.remove('outside');
      setParam(p, next, 'drag');
    };
    const end = () => {
      endStep();
      h.dragging = false;
      h.removeEventListener('pointermove', move);
      h.removeEventListener('pointerup', end);
      h.removeEventListener('pointercancel', end);
    };
    h.addEventListener('pointermove', move);
    h.addEventListener('pointerup', end);
    h.addEventListener('pointercancel', end);
  });
  $('handles').append(h);
  return h;
}

function setupView() {
  const v = $('viewport');
  $('fit').onclick = () => { state.zoom = 0; layout(); };
  $('actual').onclick = () => { zoomAt(1, v.clientWidth / 2, v.clientHeight / 2); };
  const zoomAt = (z, cx, cy) => {
    const s = scale();
    state.panX = cx - (cx - state.panX) * z / s;
    state.panY = cy - (cy - state.panY) * z / s;
    state.zoom = z;
    layout();
  };
  v.addEventListener('wheel', (e) => {
    e.preventDefault();
    const r = v.getBoundingClientRect();
    zoomAt(Math.max(0.05, Math.min(64, scale() * Math.pow(1.0015, -e.deltaY))), e.clientX - r.left, e.clientY - r.top);
  }, { passive: false });
  v.addEventListener('pointerdown', (e) => {
    const x0 = e.clientX, y0 = e.clientY, px = state.panX, py = state.panY;
    if (!state.zoom) state.zoom = scale();
    v.setPointerCapture(e.pointerId);
    const move = (m) => { state.panX = px + m.clientX - x0; state.panY = py + m.clientY - y0; layout(); };
    v.addEventListener('pointermove', move);
    v.addEventListener('pointerup', () => v.removeEventListener('pointermove', move), { once: true });
  });
  let pixelBusy = false;
  v.addEventListener('mousemove', async (e) => {
    const [x, y] = framePoint(e).map(Math.floor);
    if (pixelBusy || x < 0 || y < 0 || x >= state.frameW || y >= state.frameH) return;
    pixelBusy = true;
    try {
      const p = await api(`/api/pixel?x=${x}&y=${y}`);
      const f = p.depth === 32 ? (c) => c.toFixed(4) : (c) => c;
      $('pixel').textContent = `${p.x}, ${p.y}: R ${f(p.rgba[0])} G ${f(p.rgba[1])} B ${f(p.rgba[2])} A ${f(p.rgba[3])} (${p.depth}-bit)`;
    } catch (err) { /* no frame yet */ }
    pixelBusy = false;
  });
  window.addEventListener('resize', layout);
  const split = () => {
    const on = $('split').checked;
    $('before').hidden = !on;
    $('splitAt').disabled = !on;
    $('before').style.clipPath = `inset(0 ${100 - $('splitAt').value}% 0 0)`;
  };
  $('split').onchange = () => { if ($('split').checked) refreshBefore(); split(); };
  $('splitAt').oninput = split;
}

async function refreshBefore() {
  if (!$('split').checked) return;
  const blob = await api('/api/input.png');
  const old = $('before').src;
  $('before').src = URL.createObjectURL(blob);
  if (old.startsWith('blob:')) URL.revokeObjectURL(old);
}

// ---- settings, time, command, save --------------------------------------------------------

async function uploadChosen() {
  const picker = $('inputFile');
  picker.value = '';
  const file = await new Promise((resolve) => { picker.onchange = () => resolve(picker.files[0]); picker.click(); });
  if (!file) return '';
  const r = await api('/api/upload?name=' + encodeURIComponent(file.name),
    { method: 'POST', headers: { 'Content-Type': 'application/octet-stream' }, body: file });
  return r.value;
}

async function applySettings(change) {
  try {
    state.settings = await putJson('/api/settings', change);
    await loadEffect();
    refreshBefore();
    want();
  } catch (e) { showRequestError(e); }
}

function setTime(t) {
  state.time = Math.max(0, Math.min(+$('time').max, t));
  $('time').value = state.time;
  $('frameNumber').textContent = Math.round(state.time * state.fps);
  want();
}

// The timeline: its length in seconds and its frame rate. The slider
// moves a frame at a time (arrow keys included).
function setTimeline() {
  const length = Math.max(0.1, Math.min(3600, +$('duration').value || 10));
  state.fps = Math.max(1, Math.min(120, Math.round(+$('fps').value) || 30));
  $('duration').value = length;
  $('fps').value = state.fps;
  $('time').max = length;
  $('time').step = 1 / state.fps;
  $('frameCount').textContent = Math.round(length * state.fps);
  setTime(Math.round(state.time * state.fps) / state.fps);
}

function tick(now) {
  if (!state.playing) return;
  const t = state.playFrom + (now - state.playStart) / 1000;
  // Whole frames of the chosen rate; a slow effect skips frames rather than lags.
  setTime(Math.floor((t % (+$('time').max)) * state.fps) / state.fps);
  requestAnimationFrame(tick);
}

function setupBar() {
  const s = state.settings;
  $('host').value = s.host;
  $('downsample').value = s.downsample;
  const size = s.width + 'x' + s.height;
  if (![...$('size').options].some((o) => o.value === size)) $('size').add(new Option(size));
  $('size').value = size;
  if (s.photograph) $('input').add(new Option('Photograph', 'photo'));
  if (s.inputFile) $('input').add(new Option(s.inputFile.split('/').pop(), 'file'));
  $('input').add(new Option('Choose image…', '?'));
  $('input').value = s.input;
  $('host').onchange = () => applySettings({ host: $('host').value });
  $('downsample').onchange = () => applySettings({ downsample: +$('downsample').value });
  $('size').onchange = () => { const [w, h] = $('size').value.split('x').map(Number); applySettings({ width: w, height: h }); };
  $('input').onchange = async () => {
    let value = $('input').value;
    if (value === '?') {
      value = await uploadChosen();
      if (!value) { $('input').value = state.settings.input; return; }
      $('input').add(new Option(value.replace(/^upload:\d+-/, ''), value), $('input').options.length - 1);
      $('input').value = value;
    }
    applySettings({ input: value });
  };
  $('depth').onchange = () => { state.depth = +$('depth').value; want(); };
  $('time').oninput = () => setTime(+$('time').value);
  $('fps').onchange = setTimeline;
  $('duration').onchange = setTimeline;
  $('time').step = 1 / state.fps;
  $('play').onclick = () => {
    state.playing = !state.playing;
    $('play').textContent = state.playing ? 'Pause' : 'Play';
    state.playStart = performance.now();
    state.playFrom = state.time;
    if (state.playing) requestAnimationFrame(tick);
  };
  $('copy').onclick = async () => {
    const r = await api(`/api/command?time=${state.time}&depth=${state.depth}`);
    try { await navigator.clipboard.writeText(r.command); status('Copied: ' + r.command); } catch (e) { status(r.command); }
  };
  $('save').onclick = () => {
    const f = $('saveFormat').value;
    const a = document.createElement('a');
    const q = `time=${state.time}&depth=${state.depth}`;
    a.href = withToken(f === 'exr' ? `/api/frame.exr?${q}` : `/api/frame.png?${q}&bits=${f === 'png16' ? 16 : 8}`);
    a.download = `frame-${Math.round(state.time * state.fps)}.${f === 'exr' ? 'exr' : 'png'}`;
    a.click();
  };
}

// ---- keys: undo and redo of values (not while typing), save ------------------------------

function typing(target) {
  return !!(target.closest && target.closest('.CodeMirror')) || target.isContentEditable || target.tagName === 'TEXTAREA' ||
    (target.tagName === 'INPUT' && /^(text|number|search|url|email|password)$/.test(target.type));
}

function setupKeys() {
  $('undo').onclick = undo;
  $('redo').onclick = redo;
  $('resetAll').onclick = () => state.effect && reset(state.effect.parameters);
  document.addEventListener('keydown', (e) => {
    // Keys the editor handled itself (its own undo, its Ctrl-S) stop here.
    if (e.defaultPrevented || !(e.ctrlKey || e.metaKey) || e.altKey) return;
    const key = e.key.toLowerCase();
    if (key === 's') {
      e.preventDefault();
      if (editor.current) saveFile();
      return;
    }
    if (typing(e.target)) return;
    if (key === 'z' && !e.shiftKey) { e.preventDefault(); undo(); }
    else if ((key === 'z' && e.shiftKey) || key === 'y') { e.preventDefault(); redo(); }
  });
}

// ---- the editor ----------------------------------------------------------------------------

// One CodeMirror document per file opened; `version` names the text on
// disk it was read as, `clean` the document's generation at that point.
const editor = studio.editor = { cm: null, files: [], docs: new Map(), current: null, errors: [] };

const modeOf = (path) => (/\.(js|json)$/i.test(path) ? 'javascript'
  : /\.(frag|vert|glsl)$/i.test(path) ? 'x-shader/x-fragment' : /\.xml$/i.test(path) ? 'xml' : null);
const dirty = (entry) => !entry.doc.isClean(entry.clean);

function note(text, warn) {
  $('editorNote').textContent = text;
  $('editorNote').classList.toggle('warn', !!warn);
}
const editorError = (e) => note(e.message, true);

async function setupEditor() {
  const list = await api('/api/sources').catch(() => ({ files: [] }));
  if (!list.files.length || typeof CodeMirror === 'undefined') { $('toggleEditor').hidden = true; return; }
  $('editor').hidden = false;
  editor.cm = CodeMirror($('code'), {
    lineNumbers: true, indentUnit: 4, gutters: ['lx-marks', 'CodeMirror-linenumbers'],
    // Esc leaves the editor, whose Tab indents, for the rest of the page.
    extraKeys: { 'Ctrl-S': () => saveFile(), 'Cmd-S': () => saveFile(), Esc: () => $('saveFile').focus() },
  });
  editor.cm.on('changes', showEditorState);
  $('saveFile').onclick = () => saveFile();
  $('saveAnyway').onclick = () => saveFile(true);
  $('loadDisk').onclick = () => loadFromDisk(editor.current).catch(editorError);
  $('toggleEditor').onclick = () => showEditor($('editor').hidden);
  showFileList(list.files);
  const first = list.files.find((f) => f.path === 'fx.js') || list.files[0];
  await openFile(first.path);
  layout();
}

function showEditor(show) {
  if ($('editor').hidden !== show) return;
  $('editor').hidden = !show;
  $('toggleEditor').setAttribute('aria-pressed', String(show));
  if (show) editor.cm.refresh();
  layout();
}

function showFileList(files) {
  editor.files = files;
  const tabs = $('tabs');
  tabs.textContent = '';
  for (const f of files) {
    const b = document.createElement('button');
    b.setAttribute('role', 'tab');
    b.dataset.path = f.path;
    b.textContent = f.path;
    b.addEventListener('click', () => openFile(f.path).catch(editorError));
    tabs.append(b);
  }
  showEditorState();
}

// Opens `path` (read once, then kept with its edits), at `line` if given.
async function openFile(path, line) {
  let entry = editor.docs.get(path);
  if (!entry) {
    const r = await api('/api/source?path=' + encodeURIComponent(path));
    entry = editor.docs.get(path);
    if (!entry) {
      entry = { path, doc: CodeMirror.Doc(r.text, modeOf(path)), version: r.version, stale: false, marks: [] };
      entry.clean = entry.doc.changeGeneration();
      editor.docs.set(path, entry);
    }
  }
  if (editor.current !== entry) {
    editor.current = entry;
    editor.cm.swapDoc(entry.doc);
  }
  markErrors();
  showEditorState();
  if (line) {
    showEditor(true);
    const at = { line: Math.min(line - 1, entry.doc.lastLine()), ch: 0 };
    editor.cm.setCursor(at);
    editor.cm.scrollIntoView(at, 80);
    editor.cm.focus();
  }
}

function showEditorState() {
  for (const b of $('tabs').children) {
    const entry = editor.docs.get(b.dataset.path);
    b.setAttribute('aria-selected', String(entry !== undefined && entry === editor.current));
    b.classList.toggle('dirty', !!entry && dirty(entry));
  }
  const entry = editor.current;
  const stale = !!entry && entry.stale;
  $('loadDisk').hidden = !stale;
  $('saveAnyway').hidden = !stale;
  if (stale) note(entry.path + ' changed on disk; your unsaved edits are kept.', true);
}

async function saveFile(overwrite) {
  const entry = editor.current;
  if (!entry) return;
  const text = entry.doc.getValue();
  const generation = entry.doc.changeGeneration();
  const body = { path: entry.path, text };
  // Refused (409) when the file changed on disk since it was read.
  if (overwrite !== true) body.version = entry.version;
  try {
    const r = await putJson('/api/source', body);
    entry.version = r.version;
    entry.clean = generation;
    entry.stale = false;
    note('Saved ' + entry.path);
  } catch (e) {
    if (e.status === 409) entry.stale = true;
    else note('Not saved: ' + e.message, true);
  }
  showEditorState();
}

// The text on disk replaces the document's, the cursor kept where it was.
async function loadFromDisk(entry, read) {
  const r = read || await api('/api/source?path=' + encodeURIComponent(entry.path));
  const cursor = entry.doc.getCursor();
  if (r.text !== entry.doc.getValue()) entry.doc.setValue(r.text);
  entry.doc.setCursor(cursor);
  entry.version = r.version;
  entry.clean = entry.doc.changeGeneration();
  entry.stale = false;
  markErrors();
  showEditorState();
}

// After a change on disk (this page's save, another editor's): an open
// file without unsaved edits shows the new text; one with unsaved edits
// keeps them and says that the file changed.
async function refreshFromDisk(files) {
  if (!editor.cm) return;
  const list = await api('/api/sources');
  showFileList(list.files);
  for (const entry of editor.docs.values()) {
    if (!files.includes(entry.path)) continue;
    const r = await api('/api/source?path=' + encodeURIComponent(entry.path)).catch(() => null);
    if (!r || r.version === entry.version) continue;
    if (r.text === entry.doc.getValue() || !dirty(entry)) await loadFromDisk(entry, r);
    else entry.stale = true;
  }
  showEditorState();
}

// The effect's errors and warnings as marks in the gutter and on the line.
function markErrors() {
  for (const entry of editor.docs.values()) {
    entry.doc.clearGutter('lx-marks');
    for (const [handle, cls] of entry.marks) entry.doc.removeLineClass(handle, 'background', cls);
    entry.marks = [];
    for (const e of editor.errors) {
      if (e.file !== entry.path || !(e.line > 0)) continue;
      const line = Math.min(e.line - 1, entry.doc.lastLine());
      const warning = e.severity === 'warning';
      const mark = document.createElement('span');
      mark.className = 'lx-mark ' + (warning ? 'warning' : 'error');
      mark.title = e.message;
      entry.doc.setGutterMarker(line, 'lx-marks', mark);
      const cls = warning ? 'lx-warning-line' : 'lx-error-line';
      entry.marks.push([entry.doc.addLineClass(line, 'background', cls), cls]);
    }
  }
}

async function start() {
  try {
    state.settings = await api('/api/settings');
    setupBar();
    setupView();
    setupKeys();
    listen();
    await setupEditor().catch(editorError);
    await loadEffect();
    showErrors(await api('/api/errors'));
    want();
  } catch (e) { showRequestError(e); }
}

start();
