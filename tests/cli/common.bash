# Sourced by the converter's test scripts, with their $1 (the folder holding
# pelmora-convert): $bin, $src, a scratch folder $work (removed at exit) that
# also holds the settings, and the checks fail, expect and finish.
set -u
bin="$1/pelmora-convert"
src="${PELMORA_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect STATUS COMMAND...: runs the command (at most 300 s, so that a hang
# fails rather than stalls), output in $work/out and $work/err.
expect() {
  local want=$1; shift
  timeout 300 "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "$* -> exit $got, expected $want; stderr: $(head -c 400 "$work/err")"
}

# The script's last line: its verdict.
finish() {
  [ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
  echo "ok"
}
