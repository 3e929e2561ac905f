# shellcheck shell=bash
# The adapter rows of scripts/bench, sourced by it after the bootloader rows:
# it lends board_once, mcu_once and their helpers, $bin, $work and the
# namespace root.
#
# The host's end of each line is devsim's model of a USB serial adapter
# (--latency-timer): what the device sends is held until 62 bytes have
# gathered or the timer has run out since the first of them came in. Every
# stop-and-wait answer pays it. Both programs run at both settings: 16 ms,
# the driver's default, where sz and stm32flash leave a real adapter, and
# 1 ms, the low-latency mode linkxfer and flashpanel ask for.
#   YMODEM send  256 KiB at 921600 8N1, linkxfer -sy beside sz --ymodem -k,
#                rated as the line rows are (block 0 to the acknowledged end,
#                against baud/10 x 1024/1029 bytes/s)
#   bootloader   the same 64 KiB at 115200 8E1 as the bootloader rows,
#                mcu_download beside stm32flash -b 0 -w, image phase and
#                whole run against the same limits
# A bootloader run also has to match devsim's account of a clean one, write
# for write. One run of each, by turns (BENCH_ADAPTER_REPEATS for medians):
# the model's cost is far larger than a run's spread.

adapter_timers=(16 1)
adapter_baud=921600
adapter_size=$((256 * 1024))
adapter_repeats=${BENCH_ADAPTER_REPEATS:-1}

adapter_rows=()
# flow|line|timer|host|time s|bytes/s|share|failure|note
adapter_row() { adapter_rows+=("$1|$2|$3|$4|$5|$6|$7|$8|${9:-}"); }
# The shares by flow, timer and side, unrounded, for the pairs below.
declare -A adapter_share=()

# Whether devsim's events in $1 say its host end was an adapter with timer $2.
adapter_confirmed() {
  [ "$(field "$(grep '"event":"ready"' "$1" || true)" latency_timer_ms)" = "$2" ]
}

adapter_ymodem() {
  local timer=$1 who label rep
  # board_once and rate_of read the file's size and digest from these, and
  # the file from the current folder.
  local size=$adapter_size want
  mkdir -p "$work/adapter"
  head -c "$size" /dev/urandom >"$work/adapter/fw.bin"
  # shellcheck disable=SC2034
  want=$(sha256sum "$work/adapter/fw.bin" | cut -d' ' -f1)
  cd "$work/adapter" || return 1
  # shellcheck disable=SC2034
  board_line=(--latency-timer "$timer")
  declare -A rates=() failures=()
  for rep in $(seq "$adapter_repeats"); do
    local order=(ours anchor)
    [ $((rep % 2)) -eq 0 ] && order=(anchor ours)
    for who in "${order[@]}"; do
      local dir="$work/adapter-ymodem-$timer-$who-$rep"
      board_once "$who" "$adapter_baud" "$dir"
      adapter_confirmed "$dir/board.jsonl" "$timer" || run_failure="${run_failure:-devsim ran without the adapter}"
      rates[$who]+="${run_rate:-0} "
      [ -z "$run_failure" ] || failures[$who]=$run_failure
    done
  done
  # shellcheck disable=SC2034
  board_line=()
  cd "$work" || return 1

  local limit rate share
  limit=$(limit_of "$adapter_baud")
  for who in ours anchor; do
    label="linkxfer -sy"
    [ "$who" = ours ] || label="sz -> board"
    # shellcheck disable=SC2086
    rate=$(median ${rates[$who]})
    if [ -n "${failures[$who]:-}" ] || [ "$rate" = 0 ] || [ -z "$rate" ]; then
      adapter_row "YMODEM send" "$adapter_baud 8N1" "$timer" "$label" - - - "${failures[$who]:-no transfer phase measured}"
      continue
    fi
    share=$(awk -v r="$rate" -v l="$limit" 'BEGIN { printf "%.4f", r / l * 100 }')
    adapter_share["ymodem|$timer|$who"]=$share
    adapter_row "YMODEM send" "$adapter_baud 8N1" "$timer" "$label" \
      "$(awk -v n="$size" -v r="$rate" 'BEGIN { printf "%.2f", n / r }')" "$rate" "$share" ""
  done
}

# Checks the events $1 of a bootloader run against a clean run's: $2
# writes, $3 of them over written bytes (ours puts its companion on the
# image's first block). Late answers make a client retry: a NACK alone costs
# time and is noted in adapter_retries; a block written again, or too few,
# leaves the image phase unmeasured and, written over itself, a real part
# not holding the image: adapter_trouble.
adapter_mcu_check() {
  local nacks dirty writes
  nacks=$(grep -c '"event":"nack"' "$1" || true)
  dirty=$(grep -c '"event":"dirty-write"' "$1" || true)
  writes=$(grep -c '"event":"write"' "$1" || true)
  adapter_trouble=""
  adapter_retries=""
  if [ "$writes" -ne "$2" ] || [ "$dirty" -ne "$3" ]; then
    adapter_trouble="$writes writes, $dirty over written bytes, where a clean run has $2 and $3"
  fi
  [ "$nacks" -eq 0 ] || adapter_retries="$nacks NACK(s): a late answer made it retry"
}

adapter_mcu() {
  local timer=$1 who rep
  [ -f "$work/mcu-image.bin" ] || head -c "$mcu_size" /dev/urandom >"$work/mcu-image.bin"
  [ -f "$work/mcu-companion.bin" ] || head -c 256 /dev/urandom >"$work/mcu-companion.bin"
  # shellcheck disable=SC2034
  mcu_line=(--latency-timer "$timer")
  declare -A image_runs=() whole_runs=() limit_runs=() failures=() notes=()
  for rep in $(seq "$adapter_repeats"); do
    local order=(ours stm32flash)
    [ $((rep % 2)) -eq 0 ] && order=(stm32flash ours)
    for who in "${order[@]}"; do
      local dir="$work/adapter-mcu-$timer-$who-$rep" box
      mcu_once "$who" "$dir"
      adapter_confirmed "$dir/mcu.jsonl" "$timer" || mcu_failure="${mcu_failure:-devsim ran without the adapter}"
      box=$(sed -n 's/^box //p' "$dir/host.out" | tail -n 1)
      [ -z "$mcu_failure" ] || [ -z "$box" ] || mcu_failure="$mcu_failure, box \"$box\""
      if [ "$who" = ours ]; then
        adapter_mcu_check "$dir/mcu.jsonl" $((mcu_blocks + 1)) 1
      else
        adapter_mcu_check "$dir/mcu.jsonl" "$mcu_blocks" 0
      fi
      [ -z "$adapter_trouble" ] || mcu_failure="${mcu_failure:+$mcu_failure; }$adapter_trouble"
      image_runs[$who]+="$mcu_image_ms "
      whole_runs[$who]+="$mcu_whole_ms "
      limit_runs[$who]+="$mcu_whole_limit "
      [ -z "$mcu_failure" ] || failures[$who]=$mcu_failure
      [ -z "$adapter_retries" ] || notes[$who]=$adapter_retries
    done
  done
  # shellcheck disable=SC2034
  mcu_line=()

  local image_limit label im wm wl
  image_limit=$(mcu_image_limit_ms)
  for who in ours stm32flash; do
    label="mcu_download"
    [ "$who" = ours ] || label="stm32flash"
    if [ -n "${failures[$who]:-}" ]; then
      adapter_row "bootloader image" "$mcu_baud 8E1" "$timer" "$label" - - - "${failures[$who]}"
      adapter_row "bootloader whole" "$mcu_baud 8E1" "$timer" "$label" - - - "${failures[$who]}"
      continue
    fi
    # shellcheck disable=SC2086
    {
      im=$(median ${image_runs[$who]})
      wm=$(median ${whole_runs[$who]})
      wl=$(median ${limit_runs[$who]})
    }
    adapter_share["image|$timer|$who"]=$(awk -v t="$im" -v l="$image_limit" 'BEGIN { printf "%.4f", l / t * 100 }')
    adapter_share["whole|$timer|$who"]=$(awk -v t="$wm" -v l="$wl" 'BEGIN { printf "%.4f", l / t * 100 }')
    adapter_row "bootloader image" "$mcu_baud 8E1" "$timer" "$label" \
      "$(awk -v t="$im" 'BEGIN { printf "%.2f", t / 1000 }')" \
      "$(awk -v t="$im" -v n=$(((mcu_blocks - 1) * 256)) 'BEGIN { printf "%.1f", n * 1000 / t }')" \
      "${adapter_share["image|$timer|$who"]}" "" "${notes[$who]:-}"
    adapter_row "bootloader whole" "$mcu_baud 8E1" "$timer" "$label" \
      "$(awk -v t="$wm" 'BEGIN { printf "%.2f", t / 1000 }')" \
      "$(awk -v t="$wm" -v n="$mcu_size" 'BEGIN { printf "%.1f", n * 1000 / t }')" \
      "${adapter_share["whole|$timer|$who"]}" "" "${notes[$who]:-}"
  done
}

print_adapter_rows() {
  echo
  echo "adapter model (devsim --latency-timer, not a real adapter): the device's bytes held up to 62 or the timer"
  printf '%-17s %-11s %6s  %-13s %8s  %9s  %7s\n' flow line timer host "time s" "bytes/s" share
  local wanted row flow line timer host time rate share failure note
  # Flow by flow, whatever order they ran in.
  for wanted in "YMODEM send" "bootloader image" "bootloader whole"; do
    for row in "${adapter_rows[@]}"; do
      IFS='|' read -r flow line timer host time rate share failure note <<<"$row"
      [ "$flow" = "$wanted" ] || continue
      if [ -n "$failure" ]; then
        printf '%-17s %-11s %3s ms  %-13s %8s  %9s  %7s  FAILED: %s\n' "$flow" "$line" "$timer" "$host" - - - "$failure"
        continue
      fi
      printf '%-17s %-11s %3s ms  %-13s %8s  %9s  %5.1f %%%s\n' "$flow" "$line" "$timer" "$host" "$time" "$rate" \
        "$share" "${note:+  $note}"
    done
  done
  # On a real adapter the anchors run at the driver's 16 ms and ours ask for
  # 1 ms: that pair is the one a user meets.
  local flow_key ours other anchor
  for flow_key in ymodem image whole; do
    anchor=stm32flash
    [ "$flow_key" = ymodem ] && anchor=anchor
    ours=${adapter_share["$flow_key|1|ours"]:-}
    other=${adapter_share["$flow_key|16|$anchor"]:-}
    if [ -z "$ours" ] || [ -z "$other" ]; then
      printf 'adapter    %-7s ours at 1 ms beside the anchor at 16 ms: not judged, a run failed\n' "$flow_key"
      continue
    fi
    awk -v o="$ours" -v s="$other" -v f="$flow_key" 'BEGIN {
      printf "adapter    %-7s ours at 1 ms beside the anchor at 16 ms: %.1f %% against %.1f %% of the limit (%+.1f %%)\n",
        f, o, s, (o - s) / s * 100 }'
  done
}

run_adapter_rows() {
  echo "bench: adapter model at 16 and 1 ms: YMODEM send 256 KiB at $adapter_baud, bootloader 64 KiB at $mcu_baud 8E1; about 2 minutes" >&2
  local timer
  for timer in "${adapter_timers[@]}"; do
    adapter_ymodem "$timer"
    adapter_mcu "$timer"
  done
  print_adapter_rows
}
