#!/usr/bin/env bash
# Set up and run Talwen on the local reference warehouse database:
# install what is missing, build, start the private PostgreSQL cluster with the reference
# database, write build/talwen.INI pointing at it, and start the gateway on
# ${TALWEN_LISTEN:-127.0.0.1:8080} with the handheld pages of www/ (Ctrl-C stops it).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target talwen

scripts/db.sh start
eval "$(scripts/db.sh env)"

ini=build/talwen.INI
cat >"$ini" <<INI
; Written by scripts/run.sh for the local reference warehouse database.
[veldrawms]
Provider=PostgreSQL
Data Source=$TALWEN_PGHOST
Port=$TALWEN_PGPORT
Initial Catalog=$TALWEN_PGDATABASE
User ID=$TALWEN_PGUSER
Password=$TALWEN_PGPASSWORD

[GENERAL]
LOGGING FILE=
LOGGING MODE=BRIEF
IMAGE FOLDER=$PWD/db/postgres/images
INI
echo "run.sh: wrote $ini"

listen=${TALWEN_LISTEN:-127.0.0.1:8080}
url="http://$listen/talwen/http_talwen.asp"
cat <<TXT

Talwen is starting on $listen. The handheld, in a browser (operator JOE, password joe123):

  http://$listen/

Or from another terminal:

  curl -s '$url?function=rf_check_user_password&operator=JOE&password=joe123'; echo
  curl -s -d function=rf_get_user_profile -d operator=JOE '$url'; echo

The item image pages, in a browser on this machine:

  $url?function=webrpt_get_item_image2
  $url?function=webrpt_get_item_image2_qty

TXT
exec build/talwen serve --config "$ini" --listen "$listen" --www "$PWD/www"
