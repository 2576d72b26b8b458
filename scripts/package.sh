#!/usr/bin/env bash
# Build the Debian package of Talwen: build/talwen_<version>_<arch>.deb.
#
#   scripts/package.sh [--version VERSION] [--build-dir DIR]
#
# Builds the program in DIR (default build/, configured as scripts/test.sh does when it is
# new) and packs it with cpack. VERSION defaults to the project's version (CMakeLists.txt);
# a package for an upgrade gets a higher one. Prints the package's path.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
version=
build_dir=build
while (($#)); do
    case $1 in
    --version)
        version=${2:?--version needs a value}
        shift 2
        ;;
    --build-dir)
        build_dir=${2:?--build-dir needs a value}
        shift 2
        ;;
    *)
        sed -n '2,9s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2
        exit 2
        ;;
    esac
done

scripts/deps.sh
if [[ ! -f $build_dir/CMakeCache.txt ]]; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)" --target talwen >/dev/null
# cpack reads the version it packs from CPackConfig.cmake; -R replaces it.
args=(--config "$build_dir/CPackConfig.cmake" -B "$PWD/$build_dir")
[[ -n $version ]] && args+=(-R "$version")
out=$(cpack "${args[@]}" 2>&1)
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$out")
if [[ -z $deb || ! -f $deb ]]; then
    echo "$out" >&2
    echo "package.sh: cpack made no package" >&2
    exit 1
fi
realpath --relative-to=. "$deb"
