#!/bin/bash
# The installed tree: `cmake --install` into a folder of the build, a tiny C
# host built against it with pkg-config and run, and the installed reelka
# finding its art without --resources from an unrelated folder.
# Usage: install_tree.sh BUILD_DIR SOURCE_DIR CMAKE C_COMPILER
set -u
BUILD=${1:?usage: install_tree.sh BUILD_DIR SOURCE_DIR CMAKE C_COMPILER}
SOURCE=${2:?}
CMAKE=${3:?}
CC=${4:?}
if [ -z "${DISPLAY:-}" ]; then
  echo "SKIP: needs a display (xvfb-run -a)"
  exit 77
fi
command -v ffmpeg > /dev/null || { echo "SKIP: ffmpeg missing"; exit 77; }

PREFIX=$BUILD/install-test
TMP=$(mktemp -d /tmp/reelka_install_XXXXXX)
trap 'rm -rf "$TMP" "$PREFIX"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$PREFIX"
"$CMAKE" --install "$BUILD" --prefix "$PREFIX" > "$TMP/install.log" 2>&1 ||
  { cat "$TMP/install.log"; echo "FAIL: cmake --install"; exit 1; }
pc=$(find "$PREFIX" -name reelka.pc)
[ -n "$pc" ] || { echo "FAIL: no reelka.pc installed"; exit 1; }
export PKG_CONFIG_PATH=$(dirname "$pc")
for f in include/reelka/reelka.h bin/reelka share/reelka/ReelkaResource/SPORTY/layers/sp_1_01.png; do
  [ -e "$PREFIX/$f" ] || fail "$f not installed"
done
libdir=$(pkg-config --variable=libdir reelka)
[ -f "$libdir/libreelka.so" ] || fail "libreelka.so not in the pkg-config libdir $libdir"

# 1. A C program builds with pkg-config alone and calls the library.
# shellcheck disable=SC2046
"$CC" -std=c11 -Wall -Werror -o "$TMP/tiny_host" "$SOURCE/tests/c/tiny_host.c" $(pkg-config --cflags --libs reelka) ||
  { echo "FAIL: the tiny host does not build against the installed tree"; exit 1; }
if LD_LIBRARY_PATH=$libdir "$TMP/tiny_host" > "$TMP/tiny.out"; then
  echo "tiny host: $(cat "$TMP/tiny.out")"
else
  fail "the tiny host failed: $(cat "$TMP/tiny.out")"
fi
ldd "$TMP/tiny_host" | grep -q "$libdir/libreelka.so" 2> /dev/null ||
  LD_LIBRARY_PATH=$libdir ldd "$TMP/tiny_host" | grep -q "$libdir/libreelka.so" ||
  fail "the tiny host does not load the installed library"

# 2. The installed program, run from a folder without art, uses the
# installed art and library; a slot the theme context lacks is refused
# with one line and exit 2 once the slots are known.
mkdir -p "$TMP/photos" "$TMP/elsewhere"
for i in 0 1 2 3 4 5; do
  ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=640x360:rate=1:duration=1,hue=h=$((i * 60))" \
    -frames:v 1 "$TMP/photos/p$i.png" || { echo "FAIL: cannot make photo $i"; exit 1; }
done
(cd "$TMP/elsewhere" && "$PREFIX/bin/reelka" --theme MODERN --work "$TMP/work" --output "$TMP/clip.avi" \
  --text 99:0=Nowhere "$TMP"/photos/p*.png > "$TMP/run.out" 2> "$TMP/run.err" < /dev/null)
code=$?
[ $code -eq 2 ] || fail "bad --text slot: exit $code (expected 2)"
grep -qx "resources: $PREFIX/share/reelka" "$TMP/run.out" ||
  { fail "the installed reelka did not use $PREFIX/share/reelka"; cat "$TMP/run.out"; }
grep -q "text 1:0" "$TMP/run.out" || fail "the slot listing shows no text layer numbers"
errors=$(grep -v -E "^reelka: preparing" "$TMP/run.err")
[ "$(printf '%s\n' "$errors" | grep -c .)" -eq 1 ] || { fail "bad --text slot: not one line"; cat "$TMP/run.err"; }
echo "$errors" | grep -q "^reelka: --text 99:0: the theme context has" || fail "unclear message: $errors"
[ -e "$TMP/clip.avi" ] && fail "a refused run wrote a clip"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all install checks passed"
