#!/usr/bin/env bash
# The bash completion of pelmora-convert as bash-completion runs it: options by
# prefix, the fixed values of --format, --depth, --paper and --split (also as
# --opt=value), folders for -d, drawings in any case and folders for inputs;
# and every option the converter's --help lists is offered.
# $1: the completion script, $2: the converter.
set -u
script=$(realpath "$1")
converter=$(realpath "$2")
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "FAIL: bash-completion is not installed ($framework)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/plans/old" "$work/with space"
touch "$work/a.jwc" "$work/B.JWC" "$work/c.Jwc" "$work/notes.txt" "$work/a.bmp"
cd "$work" || exit 1
XDG_CONFIG_HOME="$work/config" "$converter" --help >"$work/help.txt" || exit 1

bash --norc --noprofile -s "$framework" "$script" "$work/help.txt" <<'EOF_BASH'
source "$1"
source "$2"
help_file=$3
failures=0
# complete LINE EXPECTED...: completes the last word of LINE (a trailing space
# starts a new, empty word) and compares the sorted candidates.
complete_line() {
  local line=$1; shift
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _pelmora_convert pelmora-convert "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got want
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$line' -> '$got', expected '$want'" >&2
    failures=$((failures + 1))
  fi
}
complete_line "pelmora-convert --fo" --force --format
complete_line "pelmora-convert --sh" --show --show-all
complete_line "pelmora-convert --format " bmp png tiff pdf svg dxf
complete_line "pelmora-convert --format p" png pdf
complete_line "pelmora-convert --format=t" tiff
complete_line "pelmora-convert --depth " 1 4 8 16 24
complete_line "pelmora-convert --paper A1" A1 A1P
complete_line "pelmora-convert --split " groups layers
complete_line "pelmora-convert -d " plans "with space"
complete_line "pelmora-convert --dpi " 
complete_line "pelmora-convert -r " a.jwc B.JWC c.Jwc plans "with space"
complete_line "pelmora-convert --dpi 300 a" a.jwc

# The program's own options, as its --help spells them, all complete.
COMP_LINE="pelmora-convert --"; COMP_POINT=${#COMP_LINE}
COMP_WORDS=(pelmora-convert --); COMP_CWORD=1; COMPREPLY=()
_pelmora_convert pelmora-convert -- pelmora-convert
offered=" ${COMPREPLY[*]} "
listed=$(grep -oE -- '(^|[ ,])--[a-z][a-z0-9-]*' "$help_file" | grep -oE -- '--[a-z0-9-]+' | sort -u)
[ -n "$listed" ] || { echo "FAIL: no options found in --help" >&2; failures=$((failures + 1)); }
for option in $listed; do
  [[ $offered == *" $option "* ]] || {
    echo "FAIL: --help lists $option, the completion does not offer it" >&2
    failures=$((failures + 1))
  }
done
exit $((failures > 0))
EOF_BASH
status=$?
[ "$status" -eq 0 ] && echo "completion offers what it should"
exit "$status"
