#!/usr/bin/env bash
# Run a command (a package installation) with service starts denied, so that installing a
# package with a service, nginx for one, does not start it on its default port. Does so with
# a policy-rc.d of its own unless the machine already has one, and removes it afterwards.
set -euo pipefail

policy=/usr/sbin/policy-rc.d
if [[ -e $policy ]]; then
    exec "$@"
fi
SUDO=
[[ $(id -u) -ne 0 ]] && SUDO=sudo
printf '#!/bin/sh\n# Written by Talwen scripts/without_service_starts.sh while it runs.\nexit 101\n' |
    $SUDO tee "$policy" >/dev/null
$SUDO chmod 755 "$policy"
trap '$SUDO rm -f "$policy"' EXIT
"$@"
