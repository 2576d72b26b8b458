// One call of the engine through the gateway, made as any handheld page makes it: a form
// POST of the session values and the function name, on the same origin so that the
// gateway's cookies go with it. The engine keeps no session values between calls, so every
// call carries what its function reads; the operator, client and warehouse are added here
// unless the call names them.

import { Reply } from './reply.js';
import { context } from './session.js';
import { T } from './texts.js';

const GATEWAY = 'talwen/http_talwen.asp';
const TIME_LIMIT_MS = 45000;

// A call that brought no reply to read: kind "network" (nothing came back), "signon" (the
// gateway wants the operator to sign on again), "http" (the gateway refused the request) or
// "failed" (the engine failed and the gateway says why).
export class CallError extends Error {
  constructor(kind, message) {
    super(message);
    this.kind = kind;
  }
}

export async function call(fn, fields = {}) {
  const body = new URLSearchParams({ function: fn, ...context(), ...fields });
  const options = { method: 'POST', body, credentials: 'same-origin', cache: 'no-store' };
  if (typeof AbortSignal !== 'undefined' && AbortSignal.timeout) options.signal = AbortSignal.timeout(TIME_LIMIT_MS);
  let res;
  let text;
  try {
    res = await fetch(GATEWAY, options);
    text = await res.text();
  } catch {
    throw new CallError('network', T.network);
  }
  if (res.status === 401) throw new CallError('signon', T.signOnAgain);
  if (!res.ok) throw new CallError('http', T.refused(res.status));
  // An empty reply is a list without rows, or a failure. The gateway's reason, when it
  // gives one, says it is a failure, and which.
  const reason = res.headers.get('Talwen-Error') || '';
  if (text === '' && reason) throw new CallError('failed', reason);
  return new Reply(text);
}

// What to tell the operator about a reply that failed: the engine's message, else the
// fallback given.
export function failure(reply, fallback = T.noAnswer) {
  return reply.message || fallback;
}
