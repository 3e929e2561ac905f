# shellcheck shell=bash
# The rack rows of scripts/bench, sourced by it: it lends its helpers
# (start_devsim, finish, timed, field, median), $bin, $work and the
# namespace root.
#
# One flashkit run writes the same 64 KiB of random bytes into one board,
# then into eight at once, each board a devsim of its own on its own COM port:
#   ymodem      flashkit ymodem at 115200 8N1 into `devsim board --once`:
#               request, prompts, YMODEM; each board's stored file checked
#               by SHA-256
#   bootloader  flashkit mcu --no-companion at 115200 8E1 into `devsim mcu`:
#               each board's flash dump checked where the image goes,
#               0x08008000 (offset 0x8000)
# and flashkit's exit status and its JSON record of every board must say ok.
# Figures: the wall time of the flashkit run, start to exit; the slowest
# board's own seconds from its record; the CPU (user + sys) of the whole run.
# A board is a thread, so eight should take little longer than one: the goal
# is eight/one <= 1.15 in wall time. The eight paced devsims share the
# machine's cores with flashkit, so a small machine pays for them too.
# One run of each, by turns (BENCH_RACK_REPEATS for medians). A failed run
# sets rack_failed, which makes the bench exit 1 once it has printed all.

rack_baud=115200
rack_size=$((64 * 1024))
rack_counts=(1 8)
rack_repeats=${BENCH_RACK_REPEATS:-1}
rack_goal_ratio=1.15
rack_failed=0

# shellcheck source=bench/wait_text.sh
source "$here/../bench/wait_text.sh"

rack_rows=()
# flow|boards|wall s|slowest board s|CPU s|failure
rack_row() { rack_rows+=("$1|$2|$3|$4|$5|$6"); }

# The first COM port of each flow, apart from the other rows' ports.
declare -A rack_first_com=([ymodem]=31 [mcu]=41)

# One flashkit run of flow $1 into $2 fresh devsims, in folder $3; sets
# rack_wall, rack_board, rack_cpu and rack_failure.
rack_once() {
  local flow=$1 count=$2 dir=$3 com t0 status=255
  local pids=() ports=() coms=()
  mkdir -p "$dir"
  rack_failure=""
  read -r -a coms <<<"$(seq -s ' ' "${rack_first_com[$flow]}" $((rack_first_com[$flow] + count - 1)))"
  for com in "${coms[@]}"; do
    if [ "$flow" = ymodem ]; then
      mkdir -p "$dir/com$com"
      start_devsim "$dir/com$com.jsonl" board --com "$com" --baud "$rack_baud" --store "$dir/com$com" --once ||
        { rack_failure="devsim board on COM$com did not start"; break; }
    else
      start_devsim "$dir/com$com.jsonl" mcu --com "$com" --baud "$rack_baud" --dump "$dir/com$com.bin" ||
        { rack_failure="devsim mcu on COM$com did not start"; break; }
    fi
    pids+=("$device_pid")
    ports+=(-p "$com")
  done

  rack_wall="" rack_board="" rack_cpu=""
  if [ -z "$rack_failure" ]; then
    local options=()
    [ "$flow" = ymodem ] || options=(--no-companion)
    t0=$(date +%s%N)
    timed "$dir/host.out" "$bin/flashkit" "$flow" "${ports[@]}" -b "$rack_baud" "${options[@]}" \
      --json "$dir/records.json" --log-dir "$dir" fw.bin
    rack_wall=$(awk -v ns=$(($(date +%s%N) - t0)) 'BEGIN { printf "%.3f", ns / 1e9 }')
    rack_cpu=$(cat "$dir/host.out.cpu")
    status=$(cat "$dir/host.out.status")
  fi
  # A board that took its image leaves by itself after its boot log; the
  # bootloader writes its dump as it is stopped.
  local pid
  for pid in "${pids[@]}"; do
    [ "$flow" = ymodem ] && [ "$status" -eq 0 ] || kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do finish "$pid" 10; done
  [ -z "$rack_failure" ] || return 0

  [ "$status" -eq 0 ] || rack_failure="flashkit exit status $status"
  local record outcome message got slowest=0 seconds
  for com in "${coms[@]}"; do
    record=$(grep "\"port\":\"COM$com\"" "$dir/records.json" 2>/dev/null || true)
    outcome=$(field "$record" outcome)
    if [ "$outcome" != ok ]; then
      message=$(sed -n 's/.*"message":"\([^"]*\)".*/\1/p' <<<"$record")
      rack_failure="${rack_failure:+$rack_failure; }COM$com ${outcome:-has no record}${message:+: $message}"
      continue
    fi
    seconds=$(field "$record" seconds)
    slowest=$(awk -v a="$slowest" -v b="$seconds" 'BEGIN { print (b > a ? b : a) }')
    if [ "$flow" = ymodem ]; then
      got=""
      [ -f "$dir/com$com/fw.bin" ] && got=$(sha256sum "$dir/com$com/fw.bin" | cut -d' ' -f1)
      [ "$got" = "$rack_want" ] ||
        rack_failure="${rack_failure:+$rack_failure; }COM$com: flashkit says ok, but the board's SHA-256 differs"
    elif ! cmp -s <(tail -c +$((0x8000 + 1)) "$dir/com$com.bin" 2>/dev/null | head -c "$rack_size") fw.bin; then
      rack_failure="${rack_failure:+$rack_failure; }COM$com: flashkit says ok, but the flash does not hold the image"
    fi
  done
  rack_board=$(printf '%.3f' "$slowest")
}

run_rack_rows() {
  echo "bench: rack, 64 KiB into one board and into eight at once, YMODEM and the bootloader at $rack_baud;" \
    "about $((rack_repeats * 40)) s" >&2
  mkdir -p "$work/rack"
  head -c "$rack_size" /dev/urandom >"$work/rack/fw.bin"
  rack_want=$(sha256sum "$work/rack/fw.bin" | cut -d' ' -f1)
  # flashkit announces the image by the name it was given.
  cd "$work/rack" || return 1
  local flow count rep
  for flow in ymodem mcu; do
    declare -A walls=() boards=() cpus=() failures=()
    for rep in $(seq "$rack_repeats"); do
      local order=("${rack_counts[@]}")
      [ $((rep % 2)) -eq 0 ] && order=(8 1)
      for count in "${order[@]}"; do
        rack_once "$flow" "$count" "$work/rack-$flow-$count-$rep"
        walls[$count]+="$rack_wall "
        boards[$count]+="$rack_board "
        cpus[$count]+="$rack_cpu "
        [ -z "$rack_failure" ] || failures[$count]=$rack_failure
      done
    done
    for count in "${rack_counts[@]}"; do
      if [ -n "${failures[$count]:-}" ]; then
        rack_failed=1
        rack_row "$flow" "$count" - - - "${failures[$count]}"
        continue
      fi
      # Each holds its runs' figures separated by blanks.
      # shellcheck disable=SC2086
      rack_row "$flow" "$count" "$(median ${walls[$count]})" "$(median ${boards[$count]})" \
        "$(median ${cpus[$count]})" ""
    done
  done
  cd "$work" || return 1
  print_rack_rows
}

print_rack_rows() {
  local reps_note=""
  [ "$rack_repeats" -eq 1 ] || reps_note=", medians of $rack_repeats"
  echo
  echo "rack: one flashkit run into one board, then into eight at once, 64 KiB each$reps_note;" \
    "CPU is user + sys of the whole run"
  printf '%-11s %-11s %6s  %7s  %13s  %7s\n' flow line boards "wall s" "slowest board" "CPU s"
  declare -A wall_of=()
  local row flow count wall board cpu failure label line
  for row in "${rack_rows[@]}"; do
    IFS='|' read -r flow count wall board cpu failure <<<"$row"
    label=$flow line="$rack_baud 8N1"
    [ "$flow" = ymodem ] || { label=bootloader; line="$rack_baud 8E1"; }
    if [ -n "$failure" ]; then
      printf '%-11s %-11s %6s  %7s  %13s  %7s  FAILED: %s\n' "$label" "$line" "$count" - - - "$failure"
      continue
    fi
    wall_of["$flow|$count"]=$wall
    printf '%-11s %-11s %6s  %7.2f  %11.2f s  %7.2f\n' "$label" "$line" "$count" "$wall" "$board" "$cpu"
  done
  local one eight
  for flow in ymodem mcu; do
    label=$flow
    [ "$flow" = ymodem ] || label=bootloader
    one=${wall_of["$flow|1"]:-}
    eight=${wall_of["$flow|8"]:-}
    if [ -z "$one" ] || [ -z "$eight" ]; then
      printf 'goals      rack %-10s not judged: a run failed\n' "$label"
      continue
    fi
    awk -v o="$one" -v e="$eight" -v g="$rack_goal_ratio" -v f="$label" 'BEGIN {
      r = e / o
      printf "goals      rack %-10s eight boards / one in wall time <= %.2f: %s (%.3f)\n", f, g, (r <= g ? "met" : "MISSED"), r }'
  done
}
