#!/bin/bash
# fetch-axe.sh [dir]: fetches axe-core, the accessibility engine the phones' page is checked with in
# Chromium, from the npm registry into a cache (by default ~/.cache/tombola/axe-core-VERSION), and
# checks it against tests/e2e/axe/VERSION: the package's integrity as the registry gives it, and the
# sha256 of axe.min.js the tests check again. Safe to re-run: a good copy already there is kept.
set -eu
cd "$(dirname "$0")/.."
version_file=tests/e2e/axe/VERSION
version=$(sed -n 's/^version: //p' "$version_file")
integrity=$(sed -n 's/^integrity: //p' "$version_file")
sum=$(sed -n 's/^sha256 of axe.min.js: //p' "$version_file")
[ -n "$version" ] && [ -n "$integrity" ] && [ -n "$sum" ] || { echo "fetch-axe.sh: $version_file is incomplete" >&2; exit 1; }
dir=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tombola/axe-core-$version}

good() { [ -f "$1/axe.min.js" ] && [ "$(sha256sum "$1/axe.min.js" | cut -d' ' -f1)" = "$sum" ]; }
good "$dir" && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
url=https://registry.npmjs.org/axe-core/-/axe-core-$version.tgz
curl -fsSL --retry 3 -o "$work/axe.tgz" "$url" || { echo "fetch-axe.sh: cannot fetch $url" >&2; exit 1; }
got="sha512-$(openssl dgst -sha512 -binary "$work/axe.tgz" | base64 -w0)"
[ "$got" = "$integrity" ] || { echo "fetch-axe.sh: $url is not the package $version_file names ($got)" >&2; exit 1; }
tar -xzf "$work/axe.tgz" -C "$work" package/axe.min.js package/LICENSE package/LICENSE-3RD-PARTY.txt
good "$work/package" || { echo "fetch-axe.sh: axe.min.js in $url is not the one $version_file names" >&2; exit 1; }
mkdir -p "$(dirname "$dir")"
rm -rf "$dir.new"
mv "$work/package" "$dir.new"
rm -rf "$dir"
mv "$dir.new" "$dir"
