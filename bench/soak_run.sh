# shellcheck shell=bash
# One run of scripts/soak, which sources this file in a process of its own
# per run: soak_run KIND NOISE SEED WORK. Takes the devsim binaries from
# $SOAK_BIN and the noises ("name|devsim options" lines) from $SOAK_NOISES.
# Leaves "<outcome> <seconds>" in WORK/results/KIND/NOISE/SEED and, for a
# wrong run, a hang or a run that could not be set up, a line saying what
# happened in WORK/details; the folder of such a run stays, the others go.

soak_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
soak_baud=115200
# A multiple of 128 (XMODEM brings it back without fill) and of 256 (the
# bootloader's block).
soak_size=${SOAK_SIZE:-2048}

# What may legitimately take longest, per kind (seconds): the answer wait of
# a sender (40 s), or 20 rejected receptions of one block at 11 s of silence
# each for a receiver that meets its previous block again after a lost ACK.
declare -A soak_budget=(
  [ymodem-send]=300 [ymodem-recv]=300 [xcrc-send]=300 [xcrc-recv]=300
  [xsum-send]=300 [xsum-recv]=300 [mcu]=120 [framed]=150
)
# The short soak's runs are small and must end soon.
[ -z "${SOAK_BUDGET:-}" ] || for kind in "${!soak_budget[@]}"; do soak_budget[$kind]=$SOAK_BUDGET; done

# Processes of this run, stopped at its end.
soak_pids=()

soak_stop_all() {
  local pid
  for pid in "${soak_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${soak_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  soak_pids=()
}

# Starts devsim with the given arguments, its events in $1; false when it
# does not say it is ready.
soak_devsim() {
  local events=$1
  shift
  "$SOAK_BIN/devsim" "$@" >"$events" 2>"$events.err" &
  soak_pids+=($!)
  local pid=$! _
  for _ in $(seq 750); do
    grep -q '"event":"ready"' "$events" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
  done
  return 1
}

# shellcheck source=bench/wait_text.sh
source "$soak_root/bench/wait_text.sh"

# Runs the host program with the run's budget; its exit status in $host_status
# (124 or 137 when the budget ran out).
soak_host() {
  local out=$1
  shift
  host_status=0
  timeout --kill-after=5 "$budget" "$@" >"$out" 2>&1 || host_status=$?
}

# Runs the host in the background, so a peer can start once it is listening.
soak_host_bg() {
  local out=$1
  shift
  (
    status=0
    timeout --kill-after=5 "$budget" "$@" >"$out" 2>&1 || status=$?
    echo "$status" >"$out.status"
  ) &
  host_job=$!
}

soak_host_wait() {
  wait "$host_job" || true
  host_status=$(cat "$1.status" 2>/dev/null || echo 255)
}

# An lrzsz receiver on COM $1 through pipes: on the way out it flushes its
# terminal, which on a pseudo-terminal would throw away its last ACK.
soak_lrzsz_receiver() {
  local com="$FLASHKIT_DEVROOT/com$1"
  shift
  stty -F "$com" raw -echo
  (cat "$com" 2>/dev/null | "$@" 2>peer.err | cat >"$com") &
  soak_pids+=($!)
}

# The SHA-256 of a file, or "none".
soak_sha() { if [ -f "$1" ]; then sha256sum "$1" | cut -d' ' -f1; else echo none; fi; }

# The value of "key" in a JSON event line.
soak_field() { sed -n "s/.*\"$2\":\"\\{0,1\\}\\([^\",}]*\\).*/\\1/p" <<<"$1" | head -n 1; }

soak_ymodem_send() {
  soak_devsim board.jsonl board --com 1 --baud "$soak_baud" --store store --once \
    --seed "$seed" "${faults[@]}" || return 1
  soak_host host.out "$SOAK_BIN/linkxfer" -sy -p1 -t11 fw.bin
  # The board stores the file as it acknowledges the closing block 0.
  [ "$host_status" -ne 0 ] || wait_text board.jsonl '"event":"stored"' 5 || true
  got=$(soak_field "$(grep '"event":"stored"' board.jsonl || true)" sha256)
}

soak_lrzsz_sends() {
  local banner=$1 options=$2
  shift 2
  soak_devsim wire.jsonl wire --com 1 --com 2 --baud "$soak_baud" --seed "$seed" \
    "${faults[@]}" || return 1
  "$@" <"$FLASHKIT_DEVROOT/com1" >"$FLASHKIT_DEVROOT/com1" 2>peer.err &
  soak_pids+=($!)
  # sx throws away what arrives before its banner.
  [ -z "$banner" ] || wait_text peer.err "$banner" 10 || return 1
  # shellcheck disable=SC2086
  soak_host host.out "$SOAK_BIN/linkxfer" $options -p2 -t30 got.bin
  got=$(soak_sha got.bin)
}

soak_lrzsz_receives() {
  local options=$1
  shift
  soak_devsim wire.jsonl wire --com 1 --com 2 --baud "$soak_baud" --seed "$seed" \
    "${faults[@]}" || return 1
  # shellcheck disable=SC2086
  soak_host_bg host.out "$SOAK_BIN/linkxfer" $options -p1 -t11 fw.bin
  # linkxfer throws away what arrives before it polls for the start character.
  wait_text host.out '^\.' 30 || true
  soak_lrzsz_receiver 2 "$@"
  soak_host_wait host.out
  # rx keeps the file it has; give its last write a moment.
  sleep 0.2
  got=$(soak_sha got.bin)
}

soak_mcu() {
  soak_devsim mcu.jsonl mcu --com 1 --baud "$soak_baud" --dump flash.bin --seed "$seed" \
    "${faults[@]}" || return 1
  # A one-block companion, written after the image.
  head -c 256 fw.bin >WDN-500S.bin
  soak_host host.out "$SOAK_BIN/mcu_download" fw.bin 1 "$soak_baud"
  soak_stop_all
  # The flash holds the image at 0x08008000 and then the companion over its
  # first block: compare the rest of the image and the companion.
  if [ -f flash.bin ]; then
    tail -c +$((0x8000 + 1)) flash.bin | head -c "$soak_size" >got.bin
    { cat WDN-500S.bin; tail -c +257 fw.bin; } >want.bin
  fi
  want=$(soak_sha want.bin)
  got=$(soak_sha got.bin)
}

soak_framed() {
  local image=fw.bin stored_as
  # Even seeds take the named-image flow.
  if [ $((seed % 2)) -eq 0 ]; then
    image=rootfs.img
    mv fw.bin "$image"
  fi
  soak_devsim framed.jsonl usb-framed --usb framed1 --store store --baud "$soak_baud" \
    --seed "$seed" "${faults[@]}" || return 1
  soak_host host.out "$SOAK_BIN/framed_download" "$image" RUN
  wait_text framed.jsonl '"event":"stored"' 2 || true
  stored_as=$(soak_field "$(grep '"event":"stored"' framed.jsonl || true)" path)
  got=$(soak_sha "$stored_as")
  want=$(soak_sha "$image")
}

soak_run() {
  local kind=$1 noise=$2 seed=$3 work=$4
  local dir="$work/runs/$kind/$noise/$seed"
  mkdir -p "$dir/dev" "$dir/store"
  cd "$dir" || return
  export FLASHKIT_DEVROOT="$dir/dev"
  export LSAN_OPTIONS="suppressions=$soak_root/tests/lsan.supp"
  local options
  options=$(grep "^$noise|" <<<"$SOAK_NOISES" | cut -d'|' -f2)
  local -a faults
  read -r -a faults <<<"$options"
  budget=${soak_budget[$kind]}
  perl -e 'srand($ARGV[0]); print map { chr(int(rand(256))) } 1 .. $ARGV[1]' \
    "$seed$((${#kind} * 7919))" "$soak_size" >fw.bin
  want=$(soak_sha fw.bin)
  got=none
  host_status=255

  local t0 t1 started=0
  t0=$(date +%s.%N)
  case "$kind" in
    ymodem-send) soak_ymodem_send && started=1 ;;
    ymodem-recv) soak_lrzsz_sends "" -ry sz --ymodem -k -t 300 fw.bin && started=1 ;;
    xcrc-recv) soak_lrzsz_sends "receive command now" -rc sx -k -t 300 fw.bin && started=1 ;;
    xsum-recv) soak_lrzsz_sends "receive command now" -rx sx -t 300 fw.bin && started=1 ;;
    xcrc-send) soak_lrzsz_receives -sk rx -c -t 20 got.bin && started=1 ;;
    xsum-send) soak_lrzsz_receives -sx rx -t 20 got.bin && started=1 ;;
    mcu) soak_mcu && started=1 ;;
    framed) soak_framed && started=1 ;;
  esac
  t1=$(date +%s.%N)
  soak_stop_all

  local outcome
  if [ "$started" = 0 ]; then
    outcome=setup
  elif [ "$host_status" -eq 124 ] || [ "$host_status" -eq 137 ]; then
    outcome=hang
  elif [ "$host_status" -ne 0 ]; then
    outcome=failed
  elif [ "$got" = "$want" ]; then
    outcome=ok
  else
    outcome=wrong
  fi
  local seconds
  seconds=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  mkdir -p "$work/results/$kind/$noise"
  echo "$outcome $seconds" >"$work/results/$kind/$noise/$seed"
  if [ "$outcome" = ok ] || [ "$outcome" = failed ]; then
    [ -n "${SOAK_KEEP:-}" ] || rm -rf "$dir"
  else
    local far="holds other bytes"
    [ "$got" != none ] || far="holds nothing"
    echo "$kind $noise seed $seed: $outcome after $seconds s, host status $host_status," \
      "far end $far ($dir)" >>"$work/details"
  fi
  return 0
}
