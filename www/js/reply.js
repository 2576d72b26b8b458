// Reading the engine's tagged replies.
//
// A reply is a flat run of elements "<name>value</name>" with nothing between them: status
// elements ("sqlstatus", "sqlmsg"), fields of one row, or "record" elements that wrap the
// fields of one row each. A few lists write a record as tab-separated values instead of
// elements. Values are written unescaped, so a value may itself hold "<" or tag-like text:
// the size cut-off of long lists ends with a record whose value is "<Too many records>".
// An element therefore ends at the first closing tag of its own name, never at the first "<".

export const TOO_MANY = '<Too many records>';

const OPEN_TAG = /<([^<>/\s][^<>/]*)>/y;

// The elements of text as [name, value] pairs; null when text is not a run of elements.
export function elements(text) {
  const out = [];
  let at = 0;
  while (at < text.length) {
    OPEN_TAG.lastIndex = at;
    const open = OPEN_TAG.exec(text);
    if (!open) return null;
    const name = open[1];
    const start = at + open[0].length;
    const end = text.indexOf(`</${name}>`, start);
    if (end < 0) return null;
    out.push([name, text.slice(start, end)]);
    at = end + name.length + 3;
  }
  return out;
}

// The named values of one record, or of the reply's top level. A name may come more than
// once (one element per menu right, per station); get() answers the first, all() every one.
// Column names keep the database's letter case ("Description", "Status"): a name is looked
// up exactly first, then without regard to case.
export class Fields {
  constructor(pairs = []) {
    this.pairs = pairs;
  }
  find(name) {
    const exact = this.pairs.filter(([n]) => n === name);
    if (exact.length) return exact;
    const lower = name.toLowerCase();
    return this.pairs.filter(([n]) => n.toLowerCase() === lower);
  }
  has(name) {
    return this.find(name).length > 0;
  }
  get(name) {
    const found = this.find(name);
    return found.length ? found[0][1] : '';
  }
  all(name) {
    return this.find(name).map(([, v]) => v);
  }
  names() {
    return this.pairs.map(([n]) => n);
  }
}

// Tab-separated values of a record: each value is followed by one tab, the last included.
function cells(text) {
  const parts = text.split('\t');
  if (parts.length > 1 && parts[parts.length - 1] === '') parts.pop();
  return parts;
}

// A whole reply: its text, its top-level fields, its records (as Fields), the rows of its
// tab-separated records, whether the list was cut short, and its status.
export class Reply {
  constructor(text) {
    this.text = text;
    this.top = new Fields();
    this.records = [];
    this.rows = [];
    this.more = false;
    const items = elements(text);
    if (!items) return; // plain text, such as the "0" of a confirmed despatch
    for (const [name, value] of items) {
      if (name !== 'record') {
        this.top.pairs.push([name, value]);
        continue;
      }
      const inner = elements(value);
      if (inner === null) {
        this.rows.push(cells(value));
      } else if (inner.length === 1 && inner[0][1] === TOO_MANY) {
        this.more = true;
      } else {
        this.records.push(new Fields(inner));
      }
    }
  }
  get empty() {
    return this.text === '';
  }
  get(name) {
    return this.top.get(name);
  }
  // The status: "sqlstatus" of the top level, else of the first record; null when the reply
  // carries none; NaN when it is not a number.
  get status() {
    const holder = this.top.has('sqlstatus') ? this.top : this.records.find((r) => r.has('sqlstatus'));
    if (!holder) return null;
    const text = holder.get('sqlstatus').trim();
    return /^[+-]?\d+$/.test(text) ? Number(text) : NaN;
  }
  get message() {
    const holder = this.top.has('sqlmsg') ? this.top : this.records.find((r) => r.has('sqlmsg'));
    return holder ? holder.get('sqlmsg') : '';
  }
  // Success: status 0, or no status at all on a reply that is not empty.
  get ok() {
    const s = this.status;
    return s === null ? !this.empty : s === 0;
  }
}

export function parseReply(text) {
  return new Reply(text);
}
