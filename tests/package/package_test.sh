#!/usr/bin/env bash
# The Debian package as a user gets it: unpacked, its programs run from where
# they landed (a send to a simulated board arrives byte for byte, flashpanel
# starts), its file list holds what a desktop and udev need, and
# `cmake --install` puts the same files in place. lintian finds no error.
# Usage: package_test.sh <flashkit_*.deb> <build tree to install from>
set -euo pipefail

deb=$1
build=$2
skip=77

if [ -z "$deb" ]; then
  echo "package: SKIPPED: no package named; make test builds one (make package) and names it"
  exit "$skip"
fi
[ -f "$deb" ] || { echo "package: $deb is missing; run make package" >&2; exit 1; }

work=$(mktemp -d /tmp/flashkit-package.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# wait_for <seconds> <command...>: true once the command succeeds.
wait_for() {
  local tries=$(($1 * 20))
  shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

root=$work/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin

echo "== file list"
# Files and links, as paths under /usr.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | sort >"$work/package.list"
required=(
  bin/linkxfer bin/flashpanel bin/flashkit bin/devsim
  share/man/man1/linkxfer.1.gz share/man/man1/flashpanel.1.gz share/man/man1/flashkit.1.gz
  share/man/man1/devsim.1.gz
  share/applications/flashpanel.desktop
  lib/udev/rules.d/60-flashkit.rules
  share/doc/flashkit/copyright share/doc/flashkit/changelog.gz
  share/doc/flashkit/README.md.gz
)
for path in "${required[@]}"; do
  grep -qxF "$path" "$work/package.list" || fail "the package has no /usr/$path"
done
grep -qE '^share/icons/hicolor/[0-9]+x[0-9]+/apps/flashpanel\.png$' "$work/package.list" ||
  fail "the package has no hicolor icon for flashpanel"
for page in linkxfer flashpanel flashkit devsim; do
  gzip -t "$root/usr/share/man/man1/$page.1.gz" || fail "$page.1.gz is not gzip'd"
done
for program in linkxfer flashpanel flashkit devsim; do
  file -b "$bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done

# Without the libraries in Depends, apt would install a flashpanel that cannot start.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6; do
  [[ ",$depends," == *", $library "* || ",$depends," == *",$library "* ]] ||
    fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "fonts-nanum" ] || fail "fonts-nanum is not recommended"

echo "== cmake --install gives the same files"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . ! -type d | sed 's|^\./||' | sort) >"$work/install.list"
diff -u "$work/package.list" "$work/install.list" || fail "cmake --install and the package differ (- package, + install)"

echo "== linkxfer -h"
if "$bin/linkxfer" -h >"$work/usage.txt" 2>&1; then
  grep -q "Usage: .*linkxfer \[options\] \[file1 \[file2\]\]" "$work/usage.txt" ||
    fail "linkxfer -h printed no usage: $(head -c 300 "$work/usage.txt")"
else
  fail "linkxfer -h ended with status $?"
fi

echo "== flashkit --help"
"$bin/flashkit" --help 2>&1 | grep -q "usage: flashkit list" || fail "flashkit --help printed no usage"

echo "== YMODEM send to devsim board on COM3"
export FLASHKIT_DEVROOT=$work/dev
mkdir -p "$FLASHKIT_DEVROOT" "$work/store" "$work/send"
# Random bytes and a size that ends inside a block, so a lost or padded byte shows.
head -c $((6 * 1024 + 77)) /dev/urandom >"$work/send/fw.bin"
"$bin/devsim" board --com 3 --store "$work/store" --once >"$work/board.jsonl" 2>"$work/board.err" &
board=$!
pids+=("$board")
if ! wait_for 5 grep -q '"event":"ready"' "$work/board.jsonl"; then
  fail "devsim board did not get ready: $(cat "$work/board.err")"
elif (cd "$work/send" && timeout 30 "$bin/linkxfer" -sy -p3 -b115200 fw.bin) >"$work/linkxfer.out" 2>&1; then
  wait_for 5 grep -q '"event":"stored"' "$work/board.jsonl" || true
  cmp "$work/send/fw.bin" "$work/store/fw.bin" || fail "the board stored other bytes than were sent"
else
  status=$?
  fail "linkxfer ended with status $status: $(tr '\r' '\n' <"$work/linkxfer.out" | tail -n 5)"
fi

echo "== flashpanel starts (offscreen) and stays up"
mkdir -p "$work/run" "$work/xdg"
chmod 700 "$work/xdg"
(cd "$work/run" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/xdg" HOME="$work/run" \
  exec "$bin/flashpanel") >"$work/flashpanel.out" 2>&1 &
panel=$!
pids+=("$panel")
sleep 1
if kill -0 "$panel" 2>/dev/null; then
  kill -TERM "$panel"
  status=0
  wait "$panel" || status=$?
  # Qt does not catch SIGTERM: 128 + 15 is the clean end here.
  [ "$status" -eq 143 ] || fail "flashpanel ended with status $status on SIGTERM: $(tail -n 5 "$work/flashpanel.out")"
else
  status=0
  wait "$panel" || status=$?
  fail "flashpanel did not stay up (status $status): $(tail -n 5 "$work/flashpanel.out")"
fi

if command -v lintian >/dev/null; then
  echo "== lintian"
  lintian --fail-on error "$deb" || fail "lintian reports errors"
fi

[ "$failures" -eq 0 ] || exit 1
echo "package: all checks passed"
