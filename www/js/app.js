// The handheld application: signs the operator on, or carries on with the session this
// browser tab already holds.

import { session } from './session.js';
import { menu, signOn } from './signon.js';
import { fail, onSignOnAgain } from './ui.js';

onSignOnAgain((message) => {
  const { operator } = session.get();
  session.clear();
  signOn(operator);
  fail(message, { keep: true });
});

const s = session.get();
if (s.operator && s.client && s.warehouse) menu();
else signOn();
