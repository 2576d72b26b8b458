// Who is working, for whom and where: kept for the browser tab only (sessionStorage), so a
// closed tab or a sign-off forgets it. The password is never kept. The handheld's own
// settings (its station) stay on the device (localStorage).

const SESSION_KEY = 'talwen.session';
const DEVICE_KEY = 'talwen.device';

function read(store, key) {
  try {
    return JSON.parse(store.getItem(key)) || {};
  } catch {
    return {};
  }
}

// The signed-on operator's context: operator, operatorName, warehouse, client, clientName,
// rights (menu names), clients (how many the operator may work for).
export const session = {
  get: () => read(sessionStorage, SESSION_KEY),
  update(values) {
    const next = { ...read(sessionStorage, SESSION_KEY), ...values };
    sessionStorage.setItem(SESSION_KEY, JSON.stringify(next));
    return next;
  },
  clear: () => sessionStorage.removeItem(SESSION_KEY),
};

export const device = {
  get: () => read(localStorage, DEVICE_KEY),
  update(values) {
    localStorage.setItem(DEVICE_KEY, JSON.stringify({ ...read(localStorage, DEVICE_KEY), ...values }));
  },
};

// The session values every call carries unless it names them itself.
export function context() {
  const s = session.get();
  return { operator: s.operator || '', client: s.client || '', warehouse: s.warehouse || '' };
}
