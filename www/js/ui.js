// The handheld's screen: a title, lines of information, a form or a numbered list, the
// status line and the back key. One screen is shown at a time; a flow shows the next one
// when an answer moves it on.
//
// A screen is a plain object:
//   title    the heading
//   info     lines shown above the form: a text, or [label, value], or {text, big}, or
//            {text, href} for a link
//   answer   lines of the same kinds shown below the form (the answer to an enquiry)
//   fields   [{name, label, value, kind, optional}]; kind "scan" (default), "qty", "number",
//            "password" or "text". Enter moves to the next field; Enter in the last one
//            submits. Optional fields may stay empty.
//   submit   async (values) => ..., run with the values of the fields by name
//   choices  [{label, detail, run}], a numbered list: its number (or its label) and Enter,
//            its F-key or a tap runs it; 0 and Enter goes back
//   more     the list was cut short by the reply's size limit: says so below it
//   empty    run by Enter on the empty first field (a list to choose from, say; the first
//            screen of a workflow opens its list so, and 0 there leads back to the menu);
//            without it, Enter on a screen's only field when empty goes back
//   back     run by Escape, the Back button and 0 in a list
//
// Everything from a reply reaches the page through textContent: nothing is parsed as HTML.

import { CallError } from './api.js';
import { session } from './session.js';
import { T } from './texts.js';

const REPEAT_MS = 100; // a scanner's second Enter with the same text inside this is ignored

const $ = (id) => document.getElementById(id);
let current = null;
let busy = false;
let lastEnter = { key: '', at: -Infinity };
let signOnAgain = () => {};
let audio = null;

// Where a call answered "sign on again" leads (set once by the application).
export function onSignOnAgain(handler) {
  signOnAgain = handler;
}

function add(parent, tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = text;
  if (className) node.className = className;
  parent.append(node);
  return node;
}

function infoLine(list, line) {
  const li = add(list, 'li');
  if (Array.isArray(line)) {
    add(li, 'span', line[0], 'k');
    li.append(String(line[1] ?? ''));
  } else if (line && typeof line === 'object') {
    if (line.href) {
      const a = add(li, 'a', line.text);
      a.href = line.href;
      a.target = '_blank';
      a.rel = 'noopener';
    } else {
      li.textContent = line.text;
    }
    if (line.big) li.className = 'big';
  } else {
    li.textContent = String(line ?? '');
  }
}

const INPUT_MODES = { qty: 'decimal', number: 'numeric' };

export function show(screen) {
  current = screen;
  const s = session.get();
  $('title').textContent = screen.title;
  $('who').textContent = [s.operator, s.client, s.warehouse].filter(Boolean).join(' ');
  document.title = `${screen.title} - Talwen`;

  for (const [id, lines] of [['info', screen.info], ['answer', screen.answer]]) {
    const list = $(id);
    list.replaceChildren();
    for (const line of lines || []) infoLine(list, line);
  }

  const fields = screen.fields || (screen.choices ? [{ name: 'choice', label: T.choose, kind: 'number', optional: true }] : []);
  const form = $('form');
  form.replaceChildren();
  const inputs = fields.map((f, i) => {
    const label = add(form, 'label', f.label);
    label.htmlFor = `f-${f.name}`;
    const input = add(form, 'input');
    input.id = `f-${f.name}`;
    input.name = f.name;
    input.type = f.kind === 'password' ? 'password' : 'text';
    input.value = f.value ?? '';
    input.autocomplete = 'off';
    input.spellcheck = false;
    input.setAttribute('autocapitalize', f.kind === 'text' || f.kind === 'password' ? 'off' : 'characters');
    if (INPUT_MODES[f.kind]) input.inputMode = INPUT_MODES[f.kind];
    input.enterKeyHint = i < fields.length - 1 ? 'next' : 'go';
    input.addEventListener('keydown', (e) => {
      if (e.key === 'Enter') {
        e.preventDefault();
        enter(screen, fields, inputs, i);
      }
    });
    return input;
  });
  form.onsubmit = (e) => {
    e.preventDefault();
    const at = Math.max(0, inputs.indexOf(document.activeElement));
    enter(screen, fields, inputs, at);
  };

  const list = $('choices');
  list.replaceChildren();
  (screen.choices || []).forEach((choice, i) => {
    const button = add(add(list, 'li'), 'button');
    button.type = 'button';
    add(button, 'span', String(i + 1), 'n');
    button.append(choice.label);
    if (choice.detail) add(button, 'span', choice.detail, 'd');
    button.onclick = () => perform(screen, choice.run);
  });
  if (screen.more) add(list, 'li', T.more, 'd');

  const keys = $('keys');
  keys.replaceChildren();
  if (screen.back) {
    const back = add(keys, 'button', T.back);
    back.type = 'button';
    back.onclick = () => perform(screen, screen.back);
  }
  focusFirst();
}

function focusFirst() {
  const input = $('form').querySelector('input');
  if (!input) return;
  input.focus();
  input.select();
}

function enter(screen, fields, inputs, i) {
  if (busy || screen !== current) return;
  const value = inputs[i].value;
  const now = performance.now();
  const key = `${i}\n${value}`;
  if (value !== '') {
    if (key === lastEnter.key && now - lastEnter.at < REPEAT_MS) return;
    lastEnter = { key, at: now };
  }

  if (screen.choices && !screen.fields) return choose(screen, value.trim());
  if (value.trim() === '' && i === 0) {
    if (screen.empty) return perform(screen, screen.empty);
    if (fields.length === 1 && screen.back) return perform(screen, screen.back);
  }
  if (i < inputs.length - 1) {
    inputs[i + 1].focus();
    inputs[i + 1].select();
    return;
  }
  const missing = fields.findIndex((f, n) => !f.optional && inputs[n].value.trim() === '');
  if (missing >= 0) {
    fail(T.required(fields[missing].label));
    inputs[missing].focus();
    return;
  }
  const values = {};
  fields.forEach((f, n) => {
    values[f.name] = inputs[n].value.trim();
  });
  perform(screen, () => screen.submit(values));
}

function choose(screen, text) {
  if (text === '') return screen.empty ? perform(screen, screen.empty) : undefined;
  if (text === '0' && screen.back) return perform(screen, screen.back);
  const n = /^\d+$/.test(text) ? Number(text) : 0;
  const choice = screen.choices[n - 1] || screen.choices.find((c) => c.label.toUpperCase() === text.toUpperCase());
  if (!choice) return fail(T.noChoice(text));
  return perform(screen, choice.run);
}

// Run an action of the screen: one at a time; a call that brought no reply is reported on
// the status line and leaves what was typed as it is.
async function perform(screen, action) {
  if (busy || screen !== current) return;
  busy = true;
  document.body.classList.add('busy');
  setStatus('', ''); // the status line tells the outcome of the last action only
  const inputs = [...$('form').querySelectorAll('input')];
  inputs.forEach((input) => {
    input.readOnly = true;
  });
  try {
    await action();
  } catch (e) {
    if (e instanceof CallError) {
      if (e.kind === 'signon') signOnAgain(e.message);
      else fail(e.message, { keep: true });
    } else {
      console.error(e);
      fail(T.fault, { keep: true });
    }
  } finally {
    busy = false;
    document.body.classList.remove('busy');
    inputs.forEach((input) => {
      input.readOnly = false;
    });
    if (screen === current && !document.activeElement?.matches?.('input')) focusFirst();
  }
}

function setStatus(text, kind) {
  const status = $('status');
  status.textContent = text;
  status.className = kind;
}

// A refusal: the message in red with the error tone. A screen with one field clears it for
// the next scan; a longer form keeps what was typed and selects its first field (or the
// field named). keep leaves every field as it is.
export function fail(message, { keep = false, field = '' } = {}) {
  setStatus(message, 'bad');
  beep();
  const inputs = [...$('form').querySelectorAll('input')];
  if (!keep && inputs.length === 1) inputs[0].value = '';
  const target = inputs.find((input) => input.name === field) || inputs[0];
  if (target) {
    target.focus();
    target.select();
  }
}

export function ok(message) {
  setStatus(message, 'good');
}

export function note(message) {
  setStatus(message, 'note');
}


function beep() {
  document.body.dataset.beeps = String(Number(document.body.dataset.beeps || 0) + 1);
  try {
    audio = audio || new (window.AudioContext || window.webkitAudioContext)();
    if (audio.state === 'suspended') audio.resume();
    const tone = audio.createOscillator();
    const gain = audio.createGain();
    tone.type = 'square';
    tone.frequency.value = 330;
    gain.gain.value = 0.15;
    tone.connect(gain).connect(audio.destination);
    tone.start();
    tone.stop(audio.currentTime + 0.3);
  } catch {
    // No sound on this device: the red line says it all.
  }
}

// Keys that work anywhere: Escape goes back, F1 to F9 choose from a list, and a scan that
// arrives while nothing has the focus goes into the first field.
document.addEventListener('keydown', (e) => {
  if (!current || busy) return;
  if (e.key === 'Escape' && current.back) {
    e.preventDefault();
    perform(current, current.back);
    return;
  }
  const f = /^F([1-9])$/.exec(e.key);
  if (f && current.choices) {
    e.preventDefault();
    const choice = current.choices[Number(f[1]) - 1];
    if (choice) perform(current, choice.run);
    return;
  }
  if (e.key.length === 1 && !e.ctrlKey && !e.altKey && !e.metaKey && !document.activeElement?.matches?.('input')) {
    focusFirst();
  }
});
