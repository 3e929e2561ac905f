# shellcheck shell=bash
# The rows of scripts/bench that run through `devsim wire` (COM 5 to COM 6),
# sourced by it: it lends its helpers (start_devsim, finish, timed, field,
# direction, rate_of, add_row), $bin, $work, $transfer_limit_s and the
# namespace root. The rate of each is from the wire's own account: the
# sender's first byte reaching the receiver to the receiver's last answer
# reaching the sender.

# An lrzsz receiver on COM $1 through pipes, run in folder $2: on the way out
# it flushes its terminal, which on a pseudo-terminal can throw away its
# last answer before the wire has read it. Sets receiver_pid; in the folder
# the receiver leaves receiver.pid (gone with it), receiver.status and
# receiver.cpu. The pipes end once the wire has gone.
lrzsz_receiver() {
  local com="$FLASHKIT_DEVROOT/com$1" dir=$2
  shift 2
  stty -F "$com" raw -echo
  (cd "$dir" && cat "$com" 2>/dev/null |
    bash -c 'echo $$ >receiver.pid; TIMEFORMAT="%U %S"
      { time timeout "$0" "$@" 2>receiver.err; echo $? >receiver.status; } 2>receiver.time
      awk "NF == 2 { c = \$1 + \$2 } END { printf \"%.3f\", c }" receiver.time >receiver.cpu' \
      "$transfer_limit_s" "$@" |
    cat >"$com") &
  receiver_pid=$!
  started+=("$receiver_pid")
}

# Waits up to $2 seconds for the process whose pid is in file $1 to end.
wait_pid_file() {
  local _
  for _ in $(seq $(($2 * 20))); do
    [ -s "$1" ] && ! kill -0 "$(cat "$1")" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

# shellcheck source=bench/wait_text.sh
source "$here/../bench/wait_text.sh"

# The wire's rate of one run from its events in $1, in bytes/s of payload:
# from the sender's first byte to the receiver's last answer, or with $2
# "sender" to the sender's own last byte.
wire_rate() {
  local stats end_from=com6
  [ "${2:-}" != sender ] || end_from=com5
  stats=$(grep '"event":"line-stats"' "$1" || true)
  rate_of "$(field "$(direction "$stats" com5)" first_ms)" "$(field "$(direction "$stats" "$end_from")" last_ms)"
}

# Stops the wire of the run in $1 so it writes its account.
stop_wire() {
  kill -TERM "$1" 2>/dev/null || true
  finish "$1" 10
}

# YMODEM receive, sz sending on COM 5: linkxfer -ry or rz on COM 6, rz
# behind pipes (its flushes on a pseudo-terminal cost it a second's
# time-out now and then). Should sz wait in vain for a last ACK, it is
# stopped 5 s after the receiver has left, and the file written decides.
receive_once() {
  local who=$1 baud=$2 dir=$3 receiver_status=0 note="" program
  mkdir -p "$dir/received"
  start_devsim "$dir/wire.jsonl" wire --com 5 --com 6 --baud "$baud"
  local wire_pid=$device_pid
  sz_on "$dir/sz.out" "$FLASHKIT_DEVROOT/com5" &
  local sz_job=$!
  started+=("$sz_job")
  if [ "$who" = ours ]; then
    program=linkxfer
    (cd "$dir/received" && timed "$dir/host.out" "$bin/linkxfer" -ry -p6 -b"$baud" -t30)
    receiver_status=$(cat "$dir/host.out.status")
  else
    program=rz
    lrzsz_receiver 6 "$dir/received" rz --ymodem -b -t 10
    wait_pid_file "$dir/received/receiver.pid" "$transfer_limit_s" || true
    receiver_status=$(cat "$dir/received/receiver.status" 2>/dev/null || echo 255)
    cp "$dir/received/receiver.cpu" "$dir/host.out.cpu" 2>/dev/null || printf '0' >"$dir/host.out.cpu"
  fi
  local _
  for _ in $(seq 100); do
    kill -0 "$sz_job" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$sz_job" 2>/dev/null; then
    note="sz stopped 5 s after $program left: its last ACK was lost"
    kill "$(cat "$dir/sz.out.pid")" 2>/dev/null || true
  fi
  wait "$sz_job" || true
  stop_wire "$wire_pid"

  local got="" failure=""
  [ -f "$dir/received/fw.bin" ] && got=$(sha256sum "$dir/received/fw.bin" | cut -d' ' -f1)
  [ "$receiver_status" -eq 0 ] || failure="$program exit status $receiver_status"
  [ "$got" = "$want" ] || failure="${failure:-SHA-256 differs from what $program wrote}"
  run_rate=$(wire_rate "$dir/wire.jsonl")
  run_cpu=$(cat "$dir/host.out.cpu")
  run_failure=$failure
  run_note=$note
}

# XMODEM-1K send into rx -c on COM 6: linkxfer -sk or sx -k on COM 5.
xmodem_once() {
  local who=$1 baud=$2 dir=$3 program
  mkdir -p "$dir"
  start_devsim "$dir/wire.jsonl" wire --com 5 --com 6 --baud "$baud"
  local wire_pid=$device_pid
  if [ "$who" = ours ]; then
    program=linkxfer
    # linkxfer throws away what arrives before it polls for the start.
    (timed "$dir/host.out" "$bin/linkxfer" -sk -p5 -b"$baud" -t11 fw.bin) &
    local host_job=$!
    started+=("$host_job")
    wait_text "$dir/host.out" '^\.' 30 || true
  else
    program=sx
    (timed "$dir/host.out" sh -c 'echo $$ >"$2"; exec sx -k fw.bin <"$1" >"$1"' sx \
      "$FLASHKIT_DEVROOT/com5" "$dir/host.out.pid") &
    local host_job=$!
    started+=("$host_job")
    # sx throws away what arrives before its banner.
    wait_text "$dir/host.out" "receive command now" 10 || true
  fi
  lrzsz_receiver 6 "$dir" rx -c -t 20 got.bin
  wait "$host_job" || true
  # rx writes its last block as it acknowledges the end.
  wait_pid_file "$dir/receiver.pid" 30 || true
  stop_wire "$wire_pid"
  wait "$receiver_pid" || true

  local status got="" failure=""
  status=$(cat "$dir/host.out.status")
  [ -f "$dir/got.bin" ] && got=$(sha256sum "$dir/got.bin" | cut -d' ' -f1)
  [ "$status" -eq 0 ] || failure="$program exit status $status"
  [ "$got" = "$want" ] || failure="${failure:-SHA-256 differs from what rx wrote}"
  # rx answers the end a second late; the sender's last byte ends the run.
  run_rate=$(wire_rate "$dir/wire.jsonl" sender)
  run_cpu=$(cat "$dir/host.out.cpu")
  run_failure=$failure
  run_note=""
}

# One flow at one rate, ours and the anchor by turns, $4 runs each: the
# row is the median run. $1 the flow's label, $2 the function of one run.
run_pairs() {
  local flow=$1 once=$2 baud=$3 reps=$4 ours_label=$5 anchor_label=$6
  declare -A rates=() cpus=() failures=() notes=()
  local rep who
  for rep in $(seq "$reps"); do
    local order=(ours anchor)
    [ $((rep % 2)) -eq 0 ] && order=(anchor ours)
    for who in "${order[@]}"; do
      "$once" "$who" "$baud" "$work/$once-$who-$baud-$rep"
      rates[$who]+="${run_rate:-0} "
      cpus[$who]+="$run_cpu "
      [ -z "$run_failure" ] || failures[$who]=$run_failure
      [ -z "$run_note" ] || notes[$who]=$run_note
    done
  done
  local reps_note=""
  [ "$reps" -eq 1 ] || reps_note="median of $reps"
  # shellcheck disable=SC2086
  add_row "$flow" "$baud" ours "$ours_label" "$(median ${rates[ours]})" "$(median ${cpus[ours]})" \
    "${failures[ours]:-}" "$reps_note"
  # shellcheck disable=SC2086
  add_row "$flow" "$baud" anchor "$anchor_label" "$(median ${rates[anchor]})" \
    "$(median ${cpus[anchor]})" "${failures[anchor]:-}" "${notes[anchor]:-$reps_note}"
}
