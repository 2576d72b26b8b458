#!/usr/bin/env bash
# The Debian package on this machine: build it in two versions (scripts/package.sh), install
# the first and check what it put in place, start the service's command the way its systemd
# unit does and serve a request, upgrade to the second (an edited INI survives), serve again,
# purge, and check that the machine is as it was before.
#
# Needs root; runs of this test on one machine wait for each other, and it refuses to run
# while a talwen package is installed, since it would replace and purge that one.
# Environment: the database of `scripts/db.sh env` (TALWEN_PGTCPHOST, TALWEN_PGPORT, ...),
# as scripts/test.sh sets it; TALWEN_OPS_PORT_BASE (the service's port; default: a free port).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/../.."
source tests/ops/lib.sh

# The shipped configuration sets nothing and names every key of the documentation.
ini=deploy/talwen.INI
active=$(grep -nvE '^[[:space:]]*([;#]|\[|$)' "$ini" || true)
[[ -z $active ]] || fail "$ini sets keys; every key must be commented out: $active"
# shellcheck disable=SC2016 # backquotes of Markdown
while read -r key; do
    grep -qE "^; $key=" "$ini" || fail "$ini lacks the key $key of the documentation"
done < <(grep -ohE '^(\| `\[GENERAL\]` \| |\| |- )`[A-Z]+( [A-Z]+)+`' docs/configuration.md \
    docs/gateway.md | grep -oE '`[^`]+`$' | tr -d '`' | sort -u)

if [[ $(id -u) -ne 0 ]]; then
    echo "package test: skipped: installing a package needs root"
    exit 0
fi
database=$(reference_database)

exec 9>/run/lock/talwen-package-test.lock
flock -w 1800 9 || fail "another run of this test holds /run/lock/talwen-package-test.lock"
state=$(dpkg-query -W -f='${db:Status-Status}' talwen 2>/dev/null || true)
[[ -z $state || $state == not-installed ]] ||
    fail "a talwen package is on this machine ($state); this test would replace and purge it"

# What a purge must leave as it found it.
snapshot() {
    getent passwd talwen || true
    getent group talwen || true
    dpkg-statoverride --list | grep talwen || true
    local path
    for path in /usr/bin/talwen /etc/talwen /etc/default/talwen /etc/logrotate.d/talwen \
        /lib/systemd/system/talwen.service /lib/systemd/system/talwen@.service /usr/share/talwen \
        /usr/share/doc/talwen \
        /var/log/talwen /var/lib/talwen; do
        [[ ! -e $path ]] || ls -ld "$path"
    done
    find /etc/systemd /var/lib/systemd -name '*talwen*' 2>/dev/null | sort
}
before=$(snapshot)

work=$(mktemp -d /tmp/talwen-package.XXXXXX)
chmod 755 "$work" # the service's user reaches the notification socket in it
installed=0
cleanup() {
    ((installed == 0)) || dpkg_run -P talwen || true
    rm -rf "$work" build/talwen_*+test[12]_*.deb
}
trap cleanup EXIT

# dpkg, waiting while another installation holds its lock; no service is started.
dpkg_run() {
    local out try
    for ((try = 0; try < 300; try++)); do
        if out=$(DEBIAN_FRONTEND=noninteractive scripts/without_service_starts.sh dpkg "$@" 2>&1); then
            return 0
        fi
        grep -qE 'dpkg frontend lock|status database is locked' <<<"$out" || break
        sleep 1
    done
    echo "$out" >&2
    return 1
}

version=$(sed -n 's/^project(talwen VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
first=$(scripts/package.sh --version "$version+test1")
second=$(scripts/package.sh --version "$version+test2")
port=$(free_ports 1)
unit=/lib/systemd/system/talwen.service

# Start the unit's ExecStart as its User, with its EnvironmentFile and the notification
# socket $1, and with --listen on this test's port; serve_check.py checks the rest.
serve_like_the_unit() {
    local user exec_start environment options words
    user=$(sed -n 's/^User=//p' "$unit")
    exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
    environment=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
    # shellcheck disable=SC1090,SC2153
    options="$(source "$environment" && echo "$TALWEN_SERVE_OPTIONS") --listen 127.0.0.1:$port"
    set -f
    # shellcheck disable=SC2206 # systemd splits an unbraced $VARIABLE at blanks
    words=(${exec_start/\$TALWEN_SERVE_OPTIONS/$options})
    set +f
    python3 tests/ops/serve_check.py --notify-socket "$1" --user "$user" \
        --live "http://127.0.0.1:$port/live" \
        --url "http://127.0.0.1:$port/talwen/http_talwen.asp?function=rf_get_last_client_accessed&operator=JOE" \
        --expect '<client>C01</client>' -- "${words[@]}"
}

echo "package: install $first"
installed=1
dpkg_run -i "$first" || fail "dpkg -i $first"
[[ $(dpkg-query -W -f='${Version}' talwen) == "$version+test1" ]] || fail "not installed"
conffiles=$(dpkg-query -W -f='${Conffiles}' talwen)
for file in /etc/talwen/talwen.INI /etc/default/talwen /etc/logrotate.d/talwen; do
    grep -q " $file " <<<"$conffiles" || fail "$file is not a conffile"
done
IFS=: read -r _ _ uid _ _ _ shell < <(getent passwd talwen) || fail "no user talwen"
if ((uid >= 1000)) || [[ $shell != /usr/sbin/nologin ]]; then
    fail "talwen is no system account"
fi
[[ $(stat -c '%U:%G %a' /etc/talwen/talwen.INI) == "root:talwen 640" ]] ||
    fail "/etc/talwen/talwen.INI is $(stat -c '%U:%G %a' /etc/talwen/talwen.INI)"
[[ $(stat -c '%U:%G %a' /var/log/talwen) == "talwen:talwen 750" ]] || fail "/var/log/talwen"
[[ -f /usr/share/talwen/sql/schema.sql && -f /usr/share/talwen/www/index.html ]] ||
    fail "the reference database or the pages are missing"
verify=$(systemd-analyze verify "$unit" "talwen@$port.service" 2>&1) || fail "systemd-analyze verify: $verify"
[[ -z $verify ]] || fail "systemd-analyze verify: $verify"
if command -v logrotate >/dev/null; then
    logrotate --debug /etc/logrotate.d/talwen >"$work/logrotate.txt" 2>&1 ||
        fail "logrotate refuses /etc/logrotate.d/talwen: $(cat "$work/logrotate.txt")"
fi

# The administrator's edit: the reference database.
echo "$database" >>/etc/talwen/talwen.INI
serve_like_the_unit "$work/notify"

echo "package: upgrade to $second"
dpkg_run -i --force-confold "$second" || fail "dpkg -i $second"
[[ $(dpkg-query -W -f='${Version}' talwen) == "$version+test2" ]] || fail "not upgraded"
grep -q '^Provider=PostgreSQL' /etc/talwen/talwen.INI || fail "the upgrade lost the INI's edit"
[[ $(stat -c '%U:%G %a' /etc/talwen/talwen.INI) == "root:talwen 640" ]] ||
    fail "after the upgrade /etc/talwen/talwen.INI is $(stat -c '%U:%G %a' /etc/talwen/talwen.INI)"
serve_like_the_unit "@talwen-package-test-$$"

echo "package: purge"
dpkg_run -P talwen || fail "dpkg -P talwen"
installed=0
after=$(snapshot)
diff <(echo "$before") <(echo "$after") >&2 || fail "the purge left the machine changed (< before, > after)"
echo "package: passed"
