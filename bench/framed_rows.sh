# shellcheck shell=bash
# The framed USB rows of scripts/bench, sourced by it (it lends start_devsim,
# finish, timed, field, median, $bin, $work and the namespace root): 1 MiB
# through flashpanel's framed download (bench/framed_download) into `devsim
# usb-framed`, unpaced, in each flow. The rate is from devsim's events, the
# size or header frame to the end frame, in frames and payload bytes a
# second. No outside program speaks this framing, so there is no anchor: the
# size-announced flow waits for the device's answer to every frame over the
# pipe, the named flow sends its frames back to back.

framed_repeats=3

# One download of $2 (fw.bin: size-announced, 32-byte payloads; rootfs.img:
# named, 60-byte payloads); sets framed_frames_s, framed_bytes_s, framed_cpu
# and framed_failure.
framed_once() {
  local dir=$1 image=$2
  mkdir -p "$dir/store"
  cp "$work/fw.bin" "$dir/$image"
  start_devsim "$dir/framed.jsonl" usb-framed --usb bench1 --store "$dir/store"
  (cd "$dir" && timed "$dir/host.out" "$bin/framed_download" "$image" RUN)
  local _
  for _ in $(seq 100); do
    grep -q '"event":"stored"' "$dir/framed.jsonl" && break
    sleep 0.02
  done
  kill -TERM "$device_pid" 2>/dev/null || true
  finish "$device_pid" 10

  local start frames stored status
  start=$(grep -E '"event":"(size|header)"' "$dir/framed.jsonl" | head -n 1 || true)
  frames=$(grep '"event":"frames"' "$dir/framed.jsonl" | head -n 1 || true)
  stored=$(grep '"event":"stored"' "$dir/framed.jsonl" || true)
  status=$(cat "$dir/host.out.status")
  framed_failure=""
  [ "$status" -eq 0 ] || framed_failure="framed_download exit status $status"
  [ "$(field "$stored" sha256)" = "$want" ] || framed_failure="${framed_failure:-SHA-256 differs on the device}"
  read -r framed_frames_s framed_bytes_s < <(awk -v a="$(field "$start" t_ms)" -v b="$(field "$frames" t_ms)" \
    -v f="$(field "$frames" frames)" -v n="$size" \
    'BEGIN { if (b > a) printf "%.0f %.0f\n", f * 1000 / (b - a), n * 1000 / (b - a); else print "0 0" }')
  framed_cpu=$(cat "$dir/host.out.cpu")
}

framed_lines=()
run_framed_rows() {
  echo "bench: framed USB download, 1 MiB in each flow, $framed_repeats runs each" >&2
  local flow image rep
  for flow in size-announced named; do
    image=fw.bin
    [ "$flow" = named ] && image=rootfs.img
    local frames_runs="" bytes_runs="" cpu_runs="" failure=""
    for rep in $(seq "$framed_repeats"); do
      framed_once "$work/framed-$flow-$rep" "$image"
      frames_runs+="$framed_frames_s "
      bytes_runs+="$framed_bytes_s "
      cpu_runs+="$framed_cpu "
      [ -z "$framed_failure" ] || failure=$framed_failure
    done
    if [ -n "$failure" ]; then
      framed_lines+=("$(printf '%-16s FAILED: %s' "$flow" "$failure")")
      continue
    fi
    # shellcheck disable=SC2086
    framed_lines+=("$(printf '%-16s %10s  %10s  %9s' "$flow" "$(median $frames_runs)" \
      "$(median $bytes_runs)" "$(awk -v c="$(median $cpu_runs)" -v m="$mib" 'BEGIN { printf "%.3f", c / m }')")")
  done
}

print_framed_rows() {
  echo
  printf '%-16s %10s  %10s  %9s   (framed USB download, unpaced, median of %d)\n' \
    flow "frames/s" "bytes/s" "CPU s/MiB" "$framed_repeats"
  local line
  for line in "${framed_lines[@]}"; do echo "$line"; done
}
