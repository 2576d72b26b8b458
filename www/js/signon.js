// Signing on and off, the warehouse, the client and the menu of the operator's rights.

import { call, failure } from './api.js';
import { device, session } from './session.js';
import { T } from './texts.js';
import { fail, ok, show } from './ui.js';

// The menu: each workflow with the right that opens it. The modules are loaded when first
// chosen.
const WORKFLOWS = [
  ['RECEIPT', T.menu.receive, () => import('./receive.js').then((m) => m.receive())],
  ['PUTAWAY', T.menu.putaway, () => import('./putaway.js').then((m) => m.putaway())],
  ['REPLENISH', T.menu.replenish, () => import('./putaway.js').then((m) => m.replenish())],
  ['PICKING', T.menu.pick, () => import('./pick.js').then((m) => m.pick())],
  ['DESPATCH', T.menu.despatch, () => import('./pick.js').then((m) => m.despatch())],
  ['RELOCATION', T.menu.move, () => import('./move.js').then((m) => m.move())],
  ['CYCLECOUNT', T.menu.count, () => import('./count.js').then((m) => m.count())],
  ['ENQUIRY', T.menu.enquiry, () => import('./enquiry.js').then((m) => m.enquiry())],
];

export function signOn(operator = '') {
  const station = device.get().station || '';
  show({
    title: T.signOn,
    info: station ? [[T.station, station]] : [],
    fields: [
      { name: 'operator', label: T.operator, value: operator },
      { name: 'password', label: T.password, kind: 'password' },
    ],
    empty: settings,
    submit: async ({ operator: typed, password }) => {
      const reply = await call('rf_check_user_password', { operator: typed, password });
      if (!reply.ok) {
        document.getElementById('f-password').value = '';
        return fail(failure(reply), { field: 'password' });
      }
      const id = typed.toUpperCase();
      const [profile, access, warehouses] = await Promise.all([
        call('rf_get_user_profile', { operator: id }),
        call('rf_get_user_access', { operator: id }),
        call('rf_get_user_warehouse', { operator: id }),
      ]);
      const me = profile.records[0];
      session.clear();
      session.update({
        operator: id,
        operatorName: me ? me.get('operator_name') : id,
        rights: access.top.names(),
      });
      ok(reply.message);
      chooseWarehouse(warehouses.records, me ? me.get('default_warehouse') : '');
    },
  });
}

// The handheld's own settings: its station, checked at sign-on.
function settings() {
  show({
    title: T.settings,
    info: [T.stationHelp],
    fields: [{ name: 'station', label: T.station, value: device.get().station || '', optional: true }],
    back: () => signOn(),
    submit: async ({ station }) => {
      device.update({ station: station.toUpperCase() });
      ok(station ? T.stationSet(station.toUpperCase()) : T.stationCleared);
      signOn();
    },
  });
}

// Choose one of rows by its key: taken at once when there is only one; otherwise a numbered
// list in which Enter alone takes the preferred one.
function chooseOne({ title, rows, key, name, preferred, none, take, back }) {
  if (!rows.length) return fail(none);
  if (rows.length === 1) return take(rows[0]);
  const first = rows.find((r) => r.get(key) === preferred) || rows[0];
  show({
    title,
    info: [T.enterTakes(first.get(key))],
    choices: rows.map((r) => ({ label: r.get(key), detail: r.get(name), run: () => take(r) })),
    empty: () => take(first),
    back,
  });
}

function chooseWarehouse(rows, preferred) {
  chooseOne({
    title: T.warehouse,
    rows,
    key: 'warehouse',
    name: 'warehouse_name',
    preferred,
    none: T.noWarehouse,
    take: (row) => useWarehouse(row.get('warehouse'), rows, preferred),
    back: signOff,
  });
}

async function useWarehouse(warehouse, rows, preferred) {
  const station = device.get().station;
  if (station) {
    const check = await call('rf_verify_user_station', { warehouse, station, station_type: '' });
    if (check.status !== 0) {
      if (rows.length > 1) chooseWarehouse(rows, preferred);
      else await signOff();
      return fail(T.stationRefused(station, warehouse, check.status));
    }
  }
  session.update({ warehouse });
  return changeClient();
}

// The clients the operator may work for; the one of this tab, else the last one, first.
export async function changeClient() {
  const [clients, last] = await Promise.all([call('rf_get_operator_clients2'), call('rf_get_last_client_accessed')]);
  const current = session.get().client;
  chooseOne({
    title: T.client,
    rows: clients.records,
    key: 'client',
    name: 'client_name',
    preferred: current || (last.status === 0 ? last.get('client') : ''),
    none: T.noClient,
    take: (row) => useClient(row.get('client'), row.get('client_name'), clients.records.length),
    back: current ? menu : signOff,
  });
}

async function useClient(client, clientName, clients) {
  const reply = await call('rf_update_last_client_accessed', { client });
  if (reply.status !== 0) return fail(failure(reply));
  session.update({ client, clientName, clients });
  menu();
}

export function menu() {
  const s = session.get();
  const rights = new Set(s.rights || []);
  const choices = WORKFLOWS.filter(([right]) => rights.has(right)).map(([, label, run]) => ({ label, run }));
  if (s.clients > 1) choices.push({ label: T.menu.client, run: changeClient });
  choices.push({ label: T.menu.signOff, run: signOff });
  show({ title: T.menuTitle, info: [s.clientName || s.client], choices, back: signOff });
}

export async function signOff() {
  const { operator } = session.get();
  session.clear();
  if (operator) {
    try {
      await call('rf_system_logout', { operator });
    } catch {
      // Signed off on this handheld whatever the server heard.
    }
  }
  ok(T.signedOff);
  signOn(operator);
}
