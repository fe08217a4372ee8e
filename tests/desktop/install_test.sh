#!/usr/bin/env bash
# Installs the build tree into a fresh folder, as a packager would, and checks
# that every file the desktop and the shell need arrives where it belongs.
# $1: the build tree.
set -u
build="$1"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$stage/usr" >"$stage/log" 2>&1; then
  cat "$stage/log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi
completions=$(cmake -L -N "$build" 2>/dev/null | sed -n 's/^PELMORA_BASH_COMPLETION_DIR:STRING=//p')
case $completions in
  /*) completions="$stage$completions" ;;
  *) completions="$stage/usr/${completions:-share/bash-completion/completions}" ;;
esac

prefix="$stage/usr"
for file in \
  "$prefix/bin/pelmora" "$prefix/bin/pelmora-convert" \
  "$prefix/share/man/man1/pelmora.1" "$prefix/share/man/man1/pelmora-convert.1" \
  "$completions/pelmora-convert" \
  "$prefix/share/thumbnailers/pelmora.thumbnailer" \
  "$prefix/share/metainfo/com.tovarin.pelmora.metainfo.xml" \
  "$prefix/share/applications/com.tovarin.pelmora.desktop" \
  "$prefix/share/mime/packages/pelmora-jwc.xml"; do
  [ -s "$file" ] || fail "${file#$stage} is missing or empty"
done
for size in 16 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/pelmora.png"
  [ -s "$icon" ] || fail "${icon#$stage} is missing"
done
for program in pelmora pelmora-convert; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done
# Nothing may land outside the prefix (an absolute folder from pkg-config would).
stray=$(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr ! -name log)
[ -z "$stray" ] || fail "installed outside the prefix: $stray"

# The manual pages are the programs' own help, not an empty shell.
grep -qF '\-\-dpi' "$prefix/share/man/man1/pelmora-convert.1" ||
  fail "pelmora-convert.1 lacks the options"
grep -q '^\.TH PELMORA "1"' "$prefix/share/man/man1/pelmora.1" || fail "pelmora.1 has no title"
# The installed converter runs on its own (no build tree needed).
version=$("$prefix/bin/pelmora-convert" --version 2>&1) || fail "installed pelmora-convert --version"
case $version in *"$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' \
  "$prefix/share/metainfo/com.tovarin.pelmora.metainfo.xml")"*) ;;
  *) fail "the converter's version ($version) is not the metainfo's release" ;;
esac
# The AppStream file names the desktop entry that is installed beside it.
launchable=$(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' \
  "$prefix/share/metainfo/com.tovarin.pelmora.metainfo.xml")
[ -f "$prefix/share/applications/$launchable" ] ||
  fail "the metainfo's launchable '$launchable' is not installed"
# The thumbnailer and the desktop entry speak of the MIME type that is installed.
grep -q 'type="application/x-jwc"' "$prefix/share/mime/packages/pelmora-jwc.xml" ||
  fail "pelmora-jwc.xml does not define application/x-jwc"
for entry in thumbnailers/pelmora.thumbnailer applications/com.tovarin.pelmora.desktop; do
  grep -qx 'MimeType=application/x-jwc;' "$prefix/share/$entry" ||
    fail "$entry is not for application/x-jwc"
done

# No trace of the build machine in what is installed, and no text turned to
# question marks by a locale that could not hold it.
build_abs=$(realpath "$build")
while IFS= read -r -d '' file; do
  grep -Iq . "$file" 2>/dev/null || continue  # text files only
  grep -qF "$build_abs" "$file" && fail "${file#$stage} names the build folder"
  grep -qE '\?\?\?' "$file" && fail "${file#$stage} has a run of question marks"
done < <(find "$prefix" -type f -print0)
# The manual pages read as a user sees them: the installed names, the Japanese.
if command -v man >/dev/null; then
  page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/pelmora-convert.1" 2>/dev/null)
  [[ $page == *"pelmora-convert [OPTIONS]"* ]] || fail "man pelmora-convert lacks its synopsis"
  [[ $page == *"PenWidth1"* ]] || fail "man pelmora-convert does not list the --set names"
  [[ $page == *"白黒"* ]] || fail "man pelmora-convert does not show the Japanese depth names"
  page=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/pelmora.1" 2>/dev/null)
  [[ $page == *" pelmora ["* ]] || fail "man pelmora's synopsis is not the installed name"
fi
# --help and --version need no display; opening a drawing does.
for word in --help --version; do
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/pelmora" "$word" \
    >"$stage/out" 2>&1 || fail "pelmora $word without a display exits $?"
  [ -s "$stage/out" ] || fail "pelmora $word without a display printed nothing"
done
# (in a shell of its own: Qt aborts, and the abort is no news here)
bash -c 'exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" nothing.jwc' _ \
  "$prefix/bin/pelmora" >/dev/null 2>&1 && fail "pelmora with a drawing and no display claims success"

[ "$failures" -eq 0 ] && echo "installed files complete"
exit $((failures > 0))
