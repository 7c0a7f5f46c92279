#!/bin/bash
# The installed tree: `cmake --install` into the build folder, a tiny C host
# built against it with pkg-config alone, and the installed reelka, run from
# an unrelated folder, using the installed art.
# Usage: install_tree.sh BUILD_DIR SOURCE_DIR CMAKE C_COMPILER
set -u
BUILD=${1:?}; SOURCE=${2:?}; CMAKE=${3:?}; CC=${4:?}
[ -n "${DISPLAY:-}" ] || { echo "SKIP: needs a display (xvfb-run -a)"; exit 77; }
command -v ffmpeg > /dev/null || { echo "SKIP: ffmpeg missing"; exit 77; }
# A prefix with a blank and a non-ASCII letter, which pkg-config escapes.
PREFIX="$BUILD/install test é"
TMP=$(mktemp -d /tmp/reelka_install_XXXXXX)
trap 'rm -rf "$TMP" "$PREFIX"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$CMAKE" --install "$BUILD" --prefix "$PREFIX" > "$TMP/install.log" 2>&1 || { cat "$TMP/install.log"; exit 1; }
PKG_CONFIG_PATH=$(dirname "$(find "$PREFIX" -name reelka.pc)") && export PKG_CONFIG_PATH
eval "libdir=$(pkg-config --variable=libdir reelka)" || exit 1
[ -e "$PREFIX/share/reelka/ReelkaResource/SPORTY/layers/sp_1_01.png" ] || fail "the art is not installed"

# The README's recipe: the shell undoes pkg-config's escapes.
eval "\"\$CC\" -std=c11 -Wall -Werror -o \"\$TMP/tiny_host\" \"\$SOURCE/tests/c/tiny_host.c\" $(pkg-config --cflags --libs reelka)" ||
  { echo "FAIL: the tiny host does not build against the installed tree"; exit 1; }
LD_LIBRARY_PATH=$libdir "$TMP/tiny_host" || fail "the tiny host failed"
LD_LIBRARY_PATH=$libdir ldd "$TMP/tiny_host" | grep -qF "$libdir/libreelka.so" || fail "not the installed library"

# The slots are known only after the start pass: a slot the theme context
# lacks is refused then, with one line and exit 2.
mkdir -p "$TMP/photos" "$TMP/elsewhere"
for i in 0 1 2 3 4 5; do
  ffmpeg -loglevel error -f lavfi -i "testsrc=size=640x360,hue=h=$((i * 60))" -frames:v 1 "$TMP/photos/p$i.png"
done
(cd "$TMP/elsewhere" && "$PREFIX/bin/reelka" --theme MODERN --work "$TMP/work" --output "$TMP/clip.avi" \
  --text 99:0=Nowhere "$TMP"/photos/p*.png > "$TMP/run.out" 2> "$TMP/run.err" < /dev/null)
code=$?
[ $code -eq 2 ] || fail "bad --text slot: exit $code (expected 2)"
grep -qx "resources: $PREFIX/share/reelka" "$TMP/run.out" || fail "the installed reelka did not use its art"
errors=$(grep -v "^reelka: preparing" "$TMP/run.err")
[ "$(printf '%s\n' "$errors" | grep -c .)" -eq 1 ] && [[ $errors == "reelka: --text 99:0: the theme context has"* ]] ||
  fail "bad --text slot, not one clear line: $errors"

[ $failures -eq 0 ] || { echo "$failures check(s) failed"; cat "$TMP/run.out"; exit 1; }
echo "all install checks passed"
