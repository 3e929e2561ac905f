# shellcheck shell=bash
# The Wine row of scripts/bench, sourced by it: it lends its helpers
# (board_once, start_devsim, finish, timed, field, rate_of, limit_of), $bin,
# $work and the namespace root.
#
# YMODEM send at 115200 of the same 1 MiB: the Windows build's linkxfer.exe
# under Wine, its COM3 a link from a Wine prefix made for the bench to the
# board's terminal, beside the native linkxfer into the same kind of board.
# Both rates are the board's, block 0 to the acknowledged end, as a share of
# the line limit. Needs make windows (BENCH_WINDOWS_BIN, default
# build-windows/bin).

wine_baud=115200
wine_bin=${BENCH_WINDOWS_BIN:-$here/../build-windows/bin}

wine_board_once() {
  local dir=$1
  mkdir -p "$dir"
  start_devsim "$dir/board.jsonl" board --com 3 --baud "$wine_baud" --store "$dir" --once
  ln -sfn "$(readlink "$FLASHKIT_DEVROOT/com3")" "$WINEPREFIX/dosdevices/com3"
  timed "$dir/host.out" wine "$wine_bin/linkxfer.exe" -sy -p3 -b"$wine_baud" -t11 fw.bin
  finish "$device_pid" 10
  local stored status
  stored=$(grep '"event":"stored"' "$dir/board.jsonl" || true)
  status=$(cat "$dir/host.out.status")
  run_failure=""
  [ "$status" -eq 0 ] || run_failure="linkxfer.exe exit status $status"
  [ "$(field "$stored" sha256)" = "$want" ] || run_failure="${run_failure:-SHA-256 differs on the board}"
  run_rate=$(rate_of "$(field "$stored" t_header_ms)" "$(field "$stored" t_eot_ms)")
  run_cpu=$(cat "$dir/host.out.cpu")
}

wine_row() {
  local label=$1 limit share cpu
  limit=$(limit_of "$wine_baud")
  cpu=$(awk -v c="$run_cpu" -v m="$mib" 'BEGIN { printf "%.3f", c / m }')
  if [ -n "$run_failure" ] || [ -z "$run_rate" ]; then
    printf '%-15s %7s  %-20s %10s  %10s  %7s  %9s  FAILED: %s\n' "YMODEM send" "$wine_baud" "$label" - \
      "$limit" - "$cpu" "${run_failure:-no transfer phase measured}"
    return
  fi
  share=$(awk -v r="$run_rate" -v l="$limit" 'BEGIN { printf "%.1f", r / l * 100 }')
  printf '%-15s %7s  %-20s %10s  %10s  %5s %%  %9s\n' "YMODEM send" "$wine_baud" "$label" "$run_rate" \
    "$limit" "$share" "$cpu"
}

run_wine_rows() {
  if ! command -v wine >/dev/null || [ ! -f "$wine_bin/linkxfer.exe" ]; then
    echo "bench: the Wine row needs wine and $wine_bin/linkxfer.exe (make windows)" >&2
    return 0
  fi
  echo "bench: YMODEM send at $wine_baud, linkxfer.exe under Wine beside the native one" >&2
  export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  "$here/wine-prefix" make "$WINEPREFIX"
  printf '%-15s %7s  %-20s %10s  %10s  %7s  %9s\n' flow baud host "bytes/s" "line limit" share "CPU s/MiB"
  board_once ours "$wine_baud" "$work/wine-native"
  wine_row "linkxfer (native)"
  wine_board_once "$work/wine-exe"
  wine_row "linkxfer.exe (Wine)"
  "$here/wine-prefix" remove "$WINEPREFIX"
}
