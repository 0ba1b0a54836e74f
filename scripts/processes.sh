# Shell functions of the scripts that start processes in the background and
# write each down as a line "PID NAME" of a file (sourced, not run).

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [[ $SECONDS -lt $deadline ]] || return 1
    sleep 0.2
  done
}

alive() { kill -0 "$1" 2>/dev/null; }

# Ends the processes written down in file $1, the last started first: TERM
# to all, then KILL what is left after five seconds; the file goes.
end_listed() {
  local file=$1 pid name pids=()
  [[ -f $file ]] || return 0
  while read -r pid name; do
    # Only if that PID still runs what was started (PIDs get reused).
    [[ $(cut -c1-15 "/proc/$pid/comm" 2>/dev/null) == "${name:0:15}" ]] && pids=("$pid" "${pids[@]}")
  done <"$file"
  rm -f "$file"
  [[ ${#pids[@]} -gt 0 ]] || return 0
  kill "${pids[@]}" 2>/dev/null || true
  local deadline=$((SECONDS + 5))
  for pid in "${pids[@]}"; do
    while alive "$pid" && [[ $SECONDS -lt $deadline ]]; do sleep 0.1; done
    alive "$pid" && kill -9 "$pid" 2>/dev/null || true
  done
  return 0
}
