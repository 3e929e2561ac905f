# shellcheck shell=bash
# Sourced by the soak's runs and by the bench's wire rows.

# Waits until file $1 has a line matching the extended regular expression
# $2, at most $3 seconds.
wait_text() {
  local _
  for _ in $(seq $(($3 * 50))); do
    grep -q -E -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.02
  done
  return 1
}
