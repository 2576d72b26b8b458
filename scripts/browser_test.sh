#!/usr/bin/env bash
# Run the real-browser tests: headless Chromium (Debian's chromium package) driven by
# playwright-core from npm, through `talwen serve` on the reference database: the item image
# pages (tests/browser/item_image_pages.test.mjs) and the handheld pages of www/ at two screen
# sizes (handheld.test.mjs, which changes the database: orders it makes are received, picked,
# despatched; stock is counted), plus the handheld's reply reader (reply.test.mjs).
#
# Installs chromium, nodejs and npm when missing (root or sudo), and the npm package into
# tests/browser/node_modules. Uses the database named by TALWEN_PGHOST etc. when set (as
# scripts/test.sh does), else starts the project's own cluster. Screenshots of the pages go to
# ${TALWEN_BROWSER_OUT:-build/browser-test}.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

missing=()
command -v chromium >/dev/null || missing+=(chromium fonts-dejavu-core)
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
command -v psql >/dev/null || missing+=(postgresql-client)
if [[ ${#missing[@]} -gt 0 ]]; then
  SUDO=
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  echo "browser_test.sh: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [[ ! -x build/talwen ]]; then
  cmake -S . -B build >/dev/null
  cmake --build build -j"$(nproc)" --target talwen
fi
if [[ -z ${TALWEN_PGHOST:-} ]]; then
  scripts/db.sh start
  eval "$(scripts/db.sh env)"
fi

export TALWEN_BINARY=${TALWEN_BINARY:-$PWD/build/talwen}
export TALWEN_BROWSER_OUT=${TALWEN_BROWSER_OUT:-$PWD/build/browser-test}
cd tests/browser
npm ci --no-audit --no-fund --loglevel=error
node --test --test-concurrency=1 item_image_pages.test.mjs reply.test.mjs handheld.test.mjs
echo "browser_test.sh: screenshots in $TALWEN_BROWSER_OUT" >&2
