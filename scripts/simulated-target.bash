# shellcheck shell=bash
# The simulated cradle and target for scripts/demo and scripts/test-windows, which source this file.
#
#   start_simulated_target OUTPUT ZELTRA_SIM [OPTION...]
#
# starts ZELTRA_SIM with the options in the background, its standard output going into the file
# OUTPUT, and waits until it has named its pseudo-terminal (its first line): then sim_pid is its
# process, a child of the caller's shell that `wait` can reap, and sim_port the terminal's path.
# Fails when zeltra-sim ends first or names none within 30 s.
# shellcheck disable=SC2034 # sim_port is for the caller
start_simulated_target() {
    local output=$1 sim=$2
    shift 2
    : >"$output"
    "$sim" "$@" >>"$output" &
    sim_pid=$!
    sim_port=
    local end=$((SECONDS + 30))
    until [ "$(wc -l <"$output")" -gt 0 ]; do
        if ! kill -0 "$sim_pid" 2>/dev/null || [ "$SECONDS" -ge "$end" ]; then
            echo "zeltra-sim named no pseudo-terminal" >&2
            return 1
        fi
        sleep 0.1
    done
    sim_port=$(head -n 1 "$output")
}
