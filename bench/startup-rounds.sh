# Sourced by bench/startup.sh and bench/windows-startup.sh. startup_rounds RUNS GOAL
# times the terminal (the command in the array terminal_command) against its floor
# (floor_command) with startup-probe ($probe): each round starts both, in turns that
# alternate which goes first, from exec to the 1024x768 window mapped, and reads
# the resident memory once it has settled; a first round warms the caches and is
# not counted. Prints both medians, their ratio against GOAL and the spread of the
# rounds' own ratios. Needs $work, a folder for the probe's messages.
startup_rounds() {
  local runs=$1 goal=$2 i
  local floor_us=() floor_kb=() terminal_us=() terminal_kb=()
  probe() { "$probe" "$@" 2>"$work/probe.err" || { cat "$work/probe.err" >&2; exit 1; }; }
  measure() { # ROUND: both programs once, the first of them alternating
    local order=(floor terminal) which us kb
    (($1 % 2)) && order=(terminal floor)
    for which in "${order[@]}"; do
      if [ "$which" = terminal ]; then
        read -r us kb <<<"$(probe "${terminal_command[@]}")"
        terminal_us+=("$us") terminal_kb+=("$kb")
      else
        read -r us kb <<<"$(probe "${floor_command[@]}")"
        floor_us+=("$us") floor_kb+=("$kb")
      fi
    done
  }
  measure 0 && floor_us=() floor_kb=() terminal_us=() terminal_kb=()
  for ((i = 0; i < runs; i++)); do measure "$i"; done

  median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
  spread() { # the middle half of the rounds' own ratios: how much the machine disturbed them
    for ((i = 0; i < runs; i++)); do ratio "${terminal[i]}" "${floor[i]}"; echo; done |
      sort -n | awk '{v[NR] = $1} END {printf "%.2f-%.2f", v[int((NR + 3) / 4)], v[int((3 * NR + 3) / 4)]}'
  }
  report() { # WHAT UNIT DIVISOR: the medians, their ratio and the spread of the rounds
    local t=$(median "${terminal[@]}") f=$(median "${floor[@]}")
    printf '  %-46s AP_VEK %6.1f %s, empty window %6.1f %s: ratio %sx (goal %sx; rounds %s)\n' "$1" \
      "$(ratio "$t" "$3")" "$2" "$(ratio "$f" "$3")" "$2" "$(ratio "$t" "$f")" "$goal" "$(spread)"
  }
  echo "start-up, $runs runs of each interleaved on this display"
  local terminal=("${terminal_us[@]}") floor=("${floor_us[@]}")
  report "time from exec to the 1024x768 window mapped:" ms 1000
  terminal=("${terminal_kb[@]}") floor=("${floor_kb[@]}")
  report "resident memory once settled:" MB 1024
}
