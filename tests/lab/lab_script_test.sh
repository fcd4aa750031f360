#!/usr/bin/env bash
# Tests of lab.sh itself: skipping without root, the topology it builds,
# teardown on every way out, add-addresses, and two labs side by side.
# Needs root (exit 77 otherwise). Ends with the line "N passed, N failed".
# The inner scripts are in single quotes on purpose: they expand LAB_* inside the lab.
# shellcheck disable=SC2016
set -uo pipefail

LAB=$(realpath "$(dirname "$0")/lab.sh")
if ((EUID != 0)); then
    echo "SKIP: the lab script tests need root"
    exit 77
fi

passed=0
failed=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

check() { # name, command...
    local name=$1
    shift
    if "$@"; then
        echo "ok   $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        failed=$((failed + 1))
    fi
}

no_namespace_left() { # $1 = LAB_ID
    [[ -n $1 ]] && ! ip netns list | grep -q "^$1-"
}

gone() { # $1 = pid; a zombie counts as gone
    [[ ! -e /proc/$1 ]] || grep -q "^State:[[:space:]]*Z" "/proc/$1/status" 2>/dev/null
}

# Starts COMMAND in a lab in the background with SIGINT at its default (a
# script's background jobs otherwise ignore it) and leaves lab.sh's pid in
# $lab_pid.
lab_in_background() {
    env --default-signal=INT "$LAB" run -- "$@" &
    lab_pid=$!
}

# Inner script: starts `sleep` in device namespace $1, waits until it is
# there, writes its pid to $2.
leftover_script() {
    echo 'ip netns exec "$'"$1"'" sleep 600 &
        until [[ $(ip netns identify $!) == "$'"$1"'" ]]; do sleep 0.01; done
        echo $! >"'"$2"'"'
}

# ---- the cases ----------------------------------------------------------------

without_root_it_skips() {
    # A real unprivileged user, not a faked check: the copy is only there so
    # that user can read the script wherever the checkout lives.
    local copy output code=0
    copy=$(mktemp -d)
    cp "$LAB" "$copy/lab.sh" && chmod -R a+rX "$copy"
    output=$(setpriv --reuid=65534 --regid=65534 --clear-groups \
        bash "$copy/lab.sh" run -- true 2>&1) || code=$?
    rm -rf "$copy"
    ((code == 77)) && [[ $output == *"SKIP: the network lab needs root"* ]]
}

default_topology_is_as_documented() {
    "$LAB" run -- bash -c '
        set -e
        finder=$(ip -o -4 addr show)
        [[ $finder == *"2: eth-a    inet 198.51.100.1/24"* ]]
        [[ $finder == *"3: eth-b    inet 203.0.113.1/24"* ]]
        [[ $(ip route show default) == "default via 198.51.100.254 dev eth-a "* ]]
        devA=$(ip -n "$LAB_NS_DEV_A" -o -4 addr show dev eth0)
        [[ $devA == *"198.51.100.2/24"* && $devA == *"198.51.100.254/24"* ]]
        [[ $(ip -n "$LAB_NS_DEV_B" -o -4 addr show dev eth0) == *"203.0.113.2/24"* ]]
        [[ $LAB_FINDER_IP_A == 198.51.100.1 && $LAB_FINDER_IP_B == 203.0.113.1 ]]
        [[ $LAB_DEV_IP_A == 198.51.100.2 && $LAB_DEV_IP_B == 203.0.113.2 ]]
        [[ $LAB_GATEWAY_A == 198.51.100.254 && -d $LAB_DIR && -x $LAB_SCRIPT ]]
        [[ $(stat -L -c %i /proc/self/ns/net) == $(stat -c %i "/run/netns/$LAB_NS_FINDER") ]]
        ! ip -o link show | grep -q "state DOWN"'
}

bare_and_veth_topologies() {
    "$LAB" run --bare -- bash -c '
        [[ $(ip -o link show | wc -l) == 1 && -z $LAB_NS_DEV_A && -z $LAB_FINDER_IP_A ]]' &&
        "$LAB" run --bare --veth 3 -- bash -c '
        [[ $(ip -o -4 addr show | awk "{print \$1 \$2 \$4}" | tr "\n" " ") == \
            "1:lo127.0.0.1/8 2:vx1192.0.2.1/24 3:vx2192.0.2.2/24 4:vx3192.0.2.3/24 " ]]' &&
        "$LAB" run --veth 2 -- bash -c '
        [[ $(ip -br link show | cut -d" " -f1 | cut -d@ -f1 | tr "\n" " ") == \
            "lo eth-a eth-b vx1 vx2 " ]]'
}

bad_arguments_are_refused() {
    ! "$LAB" run 2>/dev/null && ! "$LAB" run --veth 0 -- true 2>/dev/null &&
        ! "$LAB" run --bogus -- true 2>/dev/null && ! "$LAB" frobnicate 2>/dev/null
}

exit_code_passes_through_and_lab_goes() {
    local id code=0
    id=$("$LAB" run -- bash -c 'echo "$LAB_ID"; echo "$LAB_DIR" >"'"$scratch"'/lab-dir"')
    no_namespace_left "$id" && [[ ! -d $(cat "$scratch/lab-dir") ]] || return 1
    id=$("$LAB" run -- bash -c 'echo "$LAB_ID"; exit 3') || code=$?
    ((code == 3)) && no_namespace_left "$id"
}

command_that_cannot_start_still_tears_down() {
    local code=0
    lab_in_background /nonexistent/command 2>/dev/null
    wait "$lab_pid" || code=$?
    # LAB_ID starts with lab.sh's own pid.
    ((code != 0)) && ! ip netns list | grep -q "^dfl$lab_pid-"
}

signal_tears_down_and_kills_leftovers() { # $1 = signal name, $2 = expected code
    local out=$scratch/signal-$1 code=0 id
    lab_in_background bash -c 'echo "$LAB_ID" >"'"$out"'.id"
        '"$(leftover_script LAB_NS_DEV_A "$out.leftover")"'
        sleep 600'
    for _ in {1..500}; do
        [[ -s $out.leftover ]] && break
        sleep 0.01
    done
    kill "-$1" "$lab_pid"
    wait "$lab_pid" || code=$?
    id=$(cat "$out.id")
    ((code == $2)) && no_namespace_left "$id" && gone "$(cat "$out.leftover")"
}

leftover_processes_are_killed_on_normal_exit() {
    local out=$scratch/normal
    "$LAB" run -- bash -c 'echo "$LAB_ID" >"'"$out"'.id"
        '"$(leftover_script LAB_NS_DEV_B "$out.leftover")" || return 1
    no_namespace_left "$(cat "$out.id")" && gone "$(cat "$out.leftover")"
}

add_addresses_picks_prefixes_and_guards_input() {
    "$LAB" run -- bash -c '
        set -e
        "$LAB_SCRIPT" add-addresses "$LAB_NS_DEV_A" eth0 198.51.100.10 3
        "$LAB_SCRIPT" add-addresses "$LAB_NS_DEV_A" eth0 198.18.0.254 3
        got=$(ip -n "$LAB_NS_DEV_A" -o -4 addr show dev eth0 | awk "{print \$4}" | tr "\n" " ")
        [[ $got == *"198.51.100.10/24 198.51.100.11/24 198.51.100.12/24"* ]]
        [[ $got == *"198.18.0.254/32 198.18.0.255/32 198.18.1.0/32"* ]]
        ! "$LAB_SCRIPT" add-addresses "$LAB_NS_DEV_A" eth0 198.51.100.10 1 2>/dev/null
        ! "$LAB_SCRIPT" add-addresses "not-a-lab" eth0 10.0.0.1 1 2>/dev/null
        ! "$LAB_SCRIPT" add-addresses "$LAB_NS_DEV_A" eth0 198.51.100.300 1 2>/dev/null
        ! "$LAB_SCRIPT" add-addresses "$LAB_NS_DEV_A" eth0 255.255.255.255 2 2>/dev/null
        ! "$LAB_SCRIPT" add-addresses "$LAB_NS_DEV_A" eth0 198.18.5.1 0 2>/dev/null
        start=$(date +%s%N)
        "$LAB_SCRIPT" add-addresses "$LAB_NS_DEV_A" eth0 198.18.8.1 1000
        echo "     add-addresses of 1000: $((($(date +%s%N) - start) / 1000000)) ms"
        [[ $(ip -n "$LAB_NS_DEV_A" -o -4 addr show dev eth0 | grep -c "198\.18\.") == 1003 ]]'
}

two_labs_run_side_by_side() {
    # Each lab sees both finder namespaces at once, says so, and stays until
    # the other has said so too: the two labs certainly overlap.
    local out=$scratch/pair code1=0 code2=0 first
    run_one() { # $1 = own number, $2 = other's number
        "$LAB" run -- bash -c '
            mine="'"$out"'$0" theirs="'"$out"'$1"
            echo "$LAB_ID" >"$mine.id"
            for _ in {1..1000}; do
                other=$(cat "$theirs.id" 2>/dev/null)
                [[ -n $other && -e /run/netns/$other-finder ]] && break
                sleep 0.01
            done
            [[ -e /run/netns/$LAB_ID-finder && -e /run/netns/$other-finder ]] || exit 1
            touch "$mine.seen"
            for _ in {1..1000}; do
                [[ -e $theirs.seen ]] && exit 0
                sleep 0.01
            done
            exit 1' "$1" "$2"
    }
    run_one 1 2 &
    first=$!
    run_one 2 1 || code2=$?
    wait "$first" || code1=$?
    local id1 id2
    id1=$(cat "$out"1.id)
    id2=$(cat "$out"2.id)
    ((code1 == 0 && code2 == 0)) && [[ $id1 != "$id2" ]] &&
        no_namespace_left "$id1" && no_namespace_left "$id2"
}

setup_and_teardown_are_quick() {
    local start elapsed
    start=$(date +%s%N)
    "$LAB" run -- true || return 1
    elapsed=$((($(date +%s%N) - start) / 1000000))
    echo "     one default lab, setup + teardown: $elapsed ms"
    ((elapsed < 2000))
}

# A lab whose lab.sh was killed with KILL keeps its namespaces and processes
# until `clean`; a lab still running is left alone.
clean_removes_only_labs_whose_run_was_killed() {
    local dead live pid
    "$LAB" run -- bash -c 'echo "$LAB_ID" >"'"$scratch/dead"'"
        '"$(leftover_script LAB_NS_DEV_A "$scratch/dead-pid")"'
        sleep 600' &
    dead=$!
    "$LAB" run --bare -- bash -c 'echo "$LAB_ID" >"'"$scratch/live"'"; sleep 600' &
    live=$!
    until [[ -s $scratch/dead-pid && -s $scratch/live ]]; do sleep 0.05; done
    kill -KILL "$dead"
    wait "$dead" 2>/dev/null
    pid=$(<"$scratch/dead-pid")
    local out ok=0
    out=$("$LAB" clean) || ok=1
    no_namespace_left "$(<"$scratch/dead")" || ok=1
    gone "$pid" || ok=1
    [[ $out == *"removed lab $(<"$scratch/dead")"* ]] || ok=1
    ! compgen -G "${TMPDIR:-/tmp}/$(<"$scratch/dead").*" >/dev/null || ok=1
    ip netns list | grep -q "^$(<"$scratch/live")-finder" || ok=1
    kill -TERM "$live"
    wait "$live" 2>/dev/null
    return "$ok"
}

check "without root it skips with 77" without_root_it_skips
check "default topology" default_topology_is_as_documented
check "--bare and --veth topologies" bare_and_veth_topologies
check "bad arguments are refused" bad_arguments_are_refused
check "exit code passes through, lab removed" exit_code_passes_through_and_lab_goes
check "command that cannot start: lab removed" command_that_cannot_start_still_tears_down
check "TERM: lab removed, leftovers killed" signal_tears_down_and_kills_leftovers TERM 143
check "INT: lab removed, leftovers killed" signal_tears_down_and_kills_leftovers INT 130
check "normal exit: leftovers killed" leftover_processes_are_killed_on_normal_exit
check "add-addresses" add_addresses_picks_prefixes_and_guards_input
check "two labs side by side" two_labs_run_side_by_side
check "setup + teardown under 2 s" setup_and_teardown_are_quick
check "clean removes only labs whose run was killed" clean_removes_only_labs_whose_run_was_killed

echo "$passed passed, $failed failed"
((failed == 0))
