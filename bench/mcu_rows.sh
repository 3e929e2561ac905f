# shellcheck shell=bash
# The bootloader rows of scripts/bench, which sources this file and lends it
# its helpers (start_devsim, finish, timed, field, direction, median) and
# its $bin, $work and namespace root, and adds its shares to chart_rows.
#
# 64 KiB of random bytes written through `devsim mcu` paced at 115200 8E1
# with its default timing (52 us a half-word, 20 ms a page erase):
#   ours        McuBootloader::Download (bench/mcu_download) of image.bin,
#               an ordinary image, with a one-block companion in the folder
#   stm32flash  stm32flash -b 0 -w image.bin, which first erases 64 pages
# each into a fresh devsim, alternating which goes first; medians of five,
# with the spread (fastest to slowest run).
# Two phases per client:
#   image     devsim's first to last write event of the image: 255 block
#             cycles, the same frames for both clients (Write Memory 2
#             bytes, ACK, address 5, ACK, data 258, programming, ACK). Its
#             limit: 268 bytes a cycle at 11 bits, plus 128 x 52 us.
#   whole     the client's wall time, process start to exit. Its limit: every
#             byte devsim's line carried both ways at 11 bits, plus the
#             programming and erase time devsim modelled (from its events).

mcu_baud=115200
mcu_bits=11
mcu_size=$((64 * 1024))
mcu_blocks=$((mcu_size / 256))
mcu_program_us=52
mcu_page_erase_ms=20
mcu_mass_erase_ms=40
mcu_repeats=${BENCH_MCU_REPEATS:-5}
mcu_goal_share=90

# The limit of the image phase, in ms.
mcu_image_limit_ms() {
  awk -v n=$((mcu_blocks - 1)) -v b="$mcu_baud" -v bits="$mcu_bits" -v p="$mcu_program_us" \
    'BEGIN { printf "%.3f", n * (268 * bits * 1000 / b + 128 * p / 1000) }'
}

# The limit of a whole run from devsim's events in $1, in ms.
mcu_whole_limit_ms() {
  local events=$1 stats wire busy
  stats=$(grep '"event":"line-stats"' "$events" | tr '{' '\n')
  wire=$(grep -o '"delivered":[0-9]*' <<<"$stats" | cut -d: -f2 | awk '{ s += $1 } END { print s + 0 }')
  busy=$(awk -v p="$mcu_program_us" -v pe="$mcu_page_erase_ms" -v me="$mcu_mass_erase_ms" '
    /"event":"write"/ { match($0, /"length":[0-9]+/); n = substr($0, RSTART + 9, RLENGTH - 9)
                        ms += int((n + 1) / 2) * p / 1000 }
    /"event":"erase"/ { if ($0 ~ /"global":true/) ms += me
                        else { match($0, /"pages":\[[^]]*\]/); ms += pe * split(substr($0, RSTART + 9, RLENGTH - 10), x, ",") } }
    END { printf "%.3f", ms }' "$events")
  awk -v w="$wire" -v b="$mcu_baud" -v bits="$mcu_bits" -v busy="$busy" \
    'BEGIN { printf "%.3f", w * bits * 1000 / b + busy }'
}

# Whether $2 bytes of the dump $1 from offset $3 equal image.bin's from $4.
mcu_dump_holds() {
  cmp -s <(tail -c +$(($3 + 1)) "$1" | head -c "$2") <(tail -c +$(($4 + 1)) "$work/mcu-image.bin" | head -c "$2")
}

# One client into a fresh devsim mcu, with more of its options in mcu_line
# (the adapter rows' latency timer); sets mcu_image_ms, mcu_whole_ms,
# mcu_whole_limit and mcu_failure.
mcu_line=()
mcu_once() {
  local who=$1 dir=$2 com=8 t0 writes first last
  mkdir -p "$dir"
  cp "$work/mcu-image.bin" "$dir/image.bin"
  [ "$who" = ours ] || com=9
  start_devsim "$dir/mcu.jsonl" mcu --com "$com" --baud "$mcu_baud" --dump "$dir/flash.bin" "${mcu_line[@]}"
  t0=$(date +%s%N)
  if [ "$who" = ours ]; then
    cp "$work/mcu-companion.bin" "$dir/WDN-500S.bin"
    (cd "$dir" && timed "$dir/host.out" "$bin/mcu_download" image.bin "$com" "$mcu_baud")
  else
    (cd "$dir" && timed "$dir/host.out" stm32flash -b 0 -w image.bin "$FLASHKIT_DEVROOT/com$com")
  fi
  mcu_whole_ms=$(( ($(date +%s%N) - t0) / 1000 ))e-3
  kill -TERM "$device_pid" 2>/dev/null || true
  finish "$device_pid" 10

  mcu_failure=""
  [ "$(cat "$dir/host.out.status")" -eq 0 ] || mcu_failure="$who exit status $(cat "$dir/host.out.status")"
  writes=$(grep '"event":"write"' "$dir/mcu.jsonl" | head -n "$mcu_blocks")
  first=$(head -n 1 <<<"$writes")
  last=$(tail -n 1 <<<"$writes")
  [ "$(wc -l <<<"$writes")" -eq "$mcu_blocks" ] || mcu_failure="${mcu_failure:-fewer than $mcu_blocks writes}"
  # Ours: the companion's one block lands on the image's first.
  if [ "$who" = ours ]; then
    mcu_dump_holds "$dir/flash.bin" $((mcu_size - 256)) $((0x8000 + 256)) 256 ||
      mcu_failure="${mcu_failure:-the flash does not hold the image}"
  else
    mcu_dump_holds "$dir/flash.bin" "$mcu_size" 0 0 || mcu_failure="${mcu_failure:-the flash does not hold the image}"
  fi
  mcu_image_ms=$(awk -v a="$(field "$first" t_ms)" -v b="$(field "$last" t_ms)" 'BEGIN { printf "%.3f", b - a }')
  mcu_whole_ms=$(awk -v t="$mcu_whole_ms" 'BEGIN { printf "%.3f", t }')
  mcu_whole_limit=$(mcu_whole_limit_ms "$dir/mcu.jsonl")
}

run_mcu_rows() {
  echo "bench: bootloader, 64 KiB at $mcu_baud 8E1, ours and stm32flash, $mcu_repeats runs each; about $((mcu_repeats * 20)) s" >&2
  head -c "$mcu_size" /dev/urandom >"$work/mcu-image.bin"
  head -c 256 /dev/urandom >"$work/mcu-companion.bin"
  declare -A image_runs=() whole_runs=() limit_runs=() cpu_runs=() run_failures=()
  local rep who
  for rep in $(seq "$mcu_repeats"); do
    local order=(ours stm32flash)
    [ $((rep % 2)) -eq 0 ] && order=(stm32flash ours)
    for who in "${order[@]}"; do
      mcu_once "$who" "$work/mcu-$who-$rep"
      image_runs[$who]+="$mcu_image_ms "
      whole_runs[$who]+="$mcu_whole_ms "
      limit_runs[$who]+="$mcu_whole_limit "
      cpu_runs[$who]+="$(cat "$work/mcu-$who-$rep/host.out.cpu") "
      [ -z "$mcu_failure" ] || run_failures[$who]=$mcu_failure
    done
  done

  local image_limit
  image_limit=$(mcu_image_limit_ms)
  echo
  printf '%-11s %-6s %10s  %-17s %9s  %10s  %7s  %9s  %s\n' row phase "time ms" "spread ms" "bytes/s" "limit ms" share \
    "ms/block" note
  declare -A image_median=() image_share=() whole_share=()
  for who in ours stm32flash; do
    if [ -n "${run_failures[$who]:-}" ]; then
      printf '%-11s FAILED: %s\n' "$who" "${run_failures[$who]}"
      continue
    fi
    local im wm wl cpu ispread wspread
    # Each holds its runs' figures separated by blanks.
    # shellcheck disable=SC2086
    {
      im=$(median ${image_runs[$who]})
      wm=$(median ${whole_runs[$who]})
      wl=$(median ${limit_runs[$who]})
      cpu=$(median ${cpu_runs[$who]})
      ispread=$(spread ${image_runs[$who]})
      wspread=$(spread ${whole_runs[$who]})
    }
    image_median[$who]=$im
    image_share[$who]=$(awk -v t="$im" -v l="$image_limit" 'BEGIN { printf "%.1f", l / t * 100 }')
    whole_share[$who]=$(awk -v t="$wm" -v l="$wl" 'BEGIN { printf "%.1f", l / t * 100 }')
    # A block cycle: the image phase over its 255 cycles, beside the limit's.
    awk -v who="$who" -v t="$im" -v sp="$ispread" -v l="$image_limit" -v n=$(((mcu_blocks - 1) * 256)) \
      -v c=$((mcu_blocks - 1)) 'BEGIN {
      printf "%-11s %-6s %10.1f  %-17s %9.1f  %10.1f  %5.1f %%  %9.3f  %s%.3f ms\n", who, "image", t, sp, n * 1000 / t, l,
        l / t * 100, t / c, "255 block cycles from devsim'"'"'s write events; the limit'"'"'s cycle ", l / c }'
    local note="Download: image, Get IDs, Go, companion"
    [ "$who" = ours ] || note="start-up, 64-page erase, writes"
    awk -v who="$who" -v t="$wm" -v sp="$wspread" -v l="$wl" -v n="$mcu_size" -v cpu="$cpu" -v b="$mcu_blocks" \
      -v note="$note" 'BEGIN {
      printf "%-11s %-6s %10.1f  %-17s %9.1f  %10.1f  %5.1f %%  %9s  %s; CPU %.3f ms a block\n", who, "whole", t, sp,
        n * 1000 / t, l, l / t * 100, "", note, cpu * 1000 / b }'
  done
  # Where an answer's time goes on the host: through the link's ring beside
  # one blocking read, on pseudo-terminals, without the line's pacing.
  echo
  "$bin/answer_latency" 5000 2>/dev/null | sed 's/^/answer     /'
  chart_rows+=("bootloader image|${image_share[ours]:-0}|${image_share[stm32flash]:-0}")
  chart_rows+=("bootloader whole|${whole_share[ours]:-0}|${whole_share[stm32flash]:-0}")
  if [ -z "${image_median[ours]:-}" ] || [ -z "${image_median[stm32flash]:-}" ]; then
    echo "goals      mcu  not judged: a run failed"
    return
  fi
  awk -v o="${image_median[ours]}" -v s="${image_median[stm32flash]}" -v l="$image_limit" -v g="$mcu_goal_share" 'BEGIN {
    share = l / o * 100; lead = (s - o) / s * 100
    printf "goals      mcu  ours >= %d %% of the limit: %s (%.1f %%); image phase faster than stm32flash: %s (%+.2f %%, %+.3f ms a block)\n",
      g, (share >= g ? "met" : "MISSED"), share, (lead > 0 ? "yes" : "NO"), lead, (s - o) / 255 }'
}
