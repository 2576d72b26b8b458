#!/usr/bin/env bash
# Install what building, running and testing Talwen needs, from Debian's packages.
# Installs only what is missing; needs root (or sudo) when something is.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config git ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  libpq-dev postgresql postgresql-contrib
  unixodbc-dev tdsodbc odbc-postgresql
  libboost-dev libboost-context-dev libcpp-httplib-dev libssl-dev
  clang-format curl wrk
  nginx logrotate openssl python3 python3-prometheus-client dpkg-dev iproute2 systemd
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

SUDO=
[[ $(id -u) -ne 0 ]] && SUDO=sudo
echo "deps.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# nginx would start on port 80 as it is installed: the tests run their own.
"$(dirname "${BASH_SOURCE[0]}")/without_service_starts.sh" \
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
