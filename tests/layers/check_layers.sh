#!/usr/bin/env bash
# Builds each layer case in the build tree: an allowed case must compile, a
# forbidden one must fail because its header cannot be found (not for some other
# reason, which would prove nothing).
# $1: the build tree; then cases as TARGET|ALLOWED or FORBIDDEN|FIRST_HEADER.
set -u
build="$1"; shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
failures=0
for case in "$@"; do
  IFS='|' read -r target kind header <<<"$case"
  header=${header#<}; header=${header%>}
  if cmake --build "$build" --target "$target" >"$log" 2>&1; then
    if [ "$kind" = FORBIDDEN ]; then
      echo "FAIL: $target built, but $header should be out of its sight" >&2
      failures=$((failures + 1))
    fi
  elif [ "$kind" = ALLOWED ]; then
    echo "FAIL: $target did not build:" >&2
    tail -n 20 "$log" >&2
    failures=$((failures + 1))
  elif ! grep -qE "$header: No such file|'$header' file not found" "$log"; then
    echo "FAIL: $target failed, but not for want of $header:" >&2
    tail -n 20 "$log" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "$# layer cases hold"
exit $((failures > 0))
