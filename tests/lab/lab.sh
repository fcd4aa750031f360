#!/usr/bin/env bash
# The private network lab: a small LAN made of network namespaces, where the
# finder may broadcast its probe and simulated devices answer, while no
# datagram ever leaves this machine.
#
#   lab.sh run [--bare] [--veth N] -- COMMAND [ARGS...]
#   lab.sh add-addresses NAMESPACE INTERFACE FIRST_IP COUNT
#   lab.sh clean
#
# All need root. Without it they print "SKIP: the network lab needs root" and
# exit 77, which CTest reports as skipped.
#
# run builds a fresh lab, runs COMMAND in its finder namespace and exits with
# COMMAND's exit code (128 + signal number when lab.sh itself is stopped by
# INT, TERM or HUP). Every namespace name starts with "$LAB_ID-", where
# LAB_ID=dfl<pid>-<random>, so labs run side by side. On every way out the
# processes still inside the lab's namespaces are killed (TERM, then KILL
# after a second) and the namespaces are deleted.
#
# Topology; nothing is created in the root namespace:
#   finder  lo; eth-a 198.51.100.1/24, created first so its interface index
#           is the lower one; eth-b 203.0.113.1/24; default route via
#           198.51.100.254 on eth-a.
#   dev-a   eth0 with 198.51.100.2/24 and 198.51.100.254/24 (segment A).
#   dev-b   eth0 with 203.0.113.2/24 (segment B).
#   sw-a, sw-b  one bridge (br0) each, the segment's switch; the finder's and
#           the device's veth peers are its ports.
#   --bare  the finder has loopback only: no segments, no device namespaces.
#   --veth N  adds vx1..vxN to the finder after everything else (so in that
#           interface-index order), vxI with 192.0.2.I/24, 1 <= N <= 250.
#           Their peers are up, unbridged, in namespace sw-x: each vx is an
#           adapter with a link and nothing behind it.
#
# COMMAND's environment: LAB_ID, LAB_DIR (scratch directory for logs, removed
# at teardown), LAB_NS_FINDER, LAB_NS_DEV_A, LAB_NS_DEV_B, LAB_FINDER_IP_A,
# LAB_FINDER_IP_B, LAB_DEV_IP_A, LAB_DEV_IP_B, LAB_GATEWAY_A, LAB_SCRIPT (this
# script); DEVICE_SIM passes through. In a bare lab all but LAB_ID, LAB_DIR,
# LAB_NS_FINDER and LAB_SCRIPT are empty.
#
# clean removes what runs killed without a chance to tear down (kill -9, a
# crash of the shell) left behind: for every lab whose lab.sh no longer runs,
# it kills the processes in the lab's namespaces, deletes the namespaces (and
# with them every link of the lab; the lab makes none outside them) and its
# scratch directory. It touches only namespaces named as a lab names them, and
# never a lab that is still running.
#
# add-addresses adds COUNT consecutive addresses from FIRST_IP to INTERFACE of
# a lab namespace with one `ip -batch` call. An address inside a subnet the
# interface already has takes that subnet's prefix (a /24 on segment A); any
# other address is added as a /32. A /24 cannot hold 1000 devices, so large
# device populations take /32s from the benchmarking range 198.18.0.0/15
# (FIRST_IP 198.18.0.1) in dev-a. Their replies reach the finder across
# segment A, and the finder accepts them because its default route points
# into segment A, which is where reverse-path filtering looks.
set -euo pipefail

readonly SKIP_CODE=77

usage() {
    sed -n '6,8p' "$0" | sed 's/^# *//' >&2
    exit 2
}

fail() {
    echo "lab.sh: $*" >&2
    exit 2
}

require_root() {
    if ((EUID != 0)); then
        echo "SKIP: the network lab needs root"
        exit "$SKIP_CODE"
    fi
}

# ---- addresses -------------------------------------------------------------

ip_to_int() { # dotted quad -> integer, or fails
    local IFS=. a b c d
    [[ $1 =~ ^([0-9]{1,3}\.){3}[0-9]{1,3}$ ]] || return 1
    read -r a b c d <<<"$1"
    ((10#$a <= 255 && 10#$b <= 255 && 10#$c <= 255 && 10#$d <= 255)) || return 1
    echo $(((10#$a << 24) | (10#$b << 16) | (10#$c << 8) | 10#$d))
}

# Prints the `ip -batch` lines. Pure arithmetic, no subshell per address:
# a thousand addresses take milliseconds. $1 interface, $2 first address,
# $3 count, rest = "net prefix" pairs of the subnets the interface has.
address_commands() {
    local interface=$1 first=$2 count=$3 address prefix i j mask
    shift 3
    local subnets=("$@")
    for ((i = 0; i < count; i++)); do
        address=$((first + i))
        prefix=32
        for ((j = 0; j < ${#subnets[@]}; j += 2)); do
            mask=$(((0xFFFFFFFF << (32 - subnets[j + 1])) & 0xFFFFFFFF))
            if (((address & mask) == (subnets[j] & mask))); then
                prefix=${subnets[j + 1]}
                break
            fi
        done
        printf 'addr add %d.%d.%d.%d/%d dev %s\n' $((address >> 24 & 255)) \
            $((address >> 16 & 255)) $((address >> 8 & 255)) $((address & 255)) \
            "$prefix" "$interface"
    done
}

add_addresses() {
    (($# == 4)) || usage
    local ns=$1 interface=$2 first count=$4 subnets=() line cidr
    [[ $ns =~ ^dfl[0-9]+-[0-9]+- && -e /run/netns/$ns ]] || fail "'$ns' is not a lab namespace"
    first=$(ip_to_int "$3") || fail "'$3' is not an IPv4 address"
    if ! [[ $count =~ ^[0-9]{1,5}$ ]] || ((count < 1 || count > 65536)); then
        fail "COUNT must be 1..65536"
    fi
    ((first + count - 1 <= 0xFFFFFFFF)) || fail "the addresses run past 255.255.255.255"

    while read -r line; do
        cidr=${line#*inet }
        cidr=${cidr%% *}
        subnets+=("$(ip_to_int "${cidr%/*}")" "${cidr#*/}")
    done < <(ip -n "$ns" -4 -o addr show dev "$interface")

    address_commands "$interface" "$first" "$count" "${subnets[@]}" | ip -n "$ns" -batch -
}

# ---- building and removing a lab ---------------------------------------------

created=()
child=

new_namespaces() {
    local name
    for name; do
        created+=("$LAB_ID-$name")
    done
    printf 'netns add %s\n' "${created[@]: -$#}" | ip -batch -
}

# Each switch-side veth gets an interface index of its own range. When both
# ends of a pair had the same index (each namespace counts from 1), the kernel
# would treat their carrier change as unhurried and hold the bridge port
# disabled for up to a second, losing the first probes.
build_segment() { # $1 segment letter, $2 finder adapter
    ip -n "$LAB_ID-sw-$1" -batch - <<EOF
link add finder index 10 type veth peer name $2 netns $LAB_NS_FINDER
link add device index 11 type veth peer name eth0 netns $LAB_ID-dev-$1
link add br0 index 12 type bridge
link set dev br0 up
link set dev finder master br0
link set dev device master br0
link set dev finder up
link set dev device up
EOF
}

build_default() {
    new_namespaces finder sw-a sw-b dev-a dev-b
    build_segment a eth-a # first, so eth-a has the lower index
    build_segment b eth-b
    ip -n "$LAB_NS_FINDER" -batch - <<EOF
link set dev lo up
addr add 198.51.100.1/24 dev eth-a
addr add 203.0.113.1/24 dev eth-b
link set dev eth-a up
link set dev eth-b up
route add default via 198.51.100.254 dev eth-a
EOF
    ip -n "$LAB_NS_DEV_A" -batch - <<EOF
link set dev lo up
addr add 198.51.100.2/24 dev eth0
addr add 198.51.100.254/24 dev eth0
link set dev eth0 up
EOF
    ip -n "$LAB_NS_DEV_B" -batch - <<EOF
link set dev lo up
addr add 203.0.113.2/24 dev eth0
link set dev eth0 up
EOF
}

build_veths() { # $1 = count
    local i
    new_namespaces sw-x
    for ((i = 1; i <= $1; i++)); do
        echo "link add x$i index $((1000 + i)) type veth peer name vx$i netns $LAB_NS_FINDER"
        echo "link set dev x$i up"
    done | ip -n "$LAB_ID-sw-x" -batch -
    for ((i = 1; i <= $1; i++)); do
        echo "addr add 192.0.2.$i/24 dev vx$i"
        echo "link set dev vx$i up"
    done | ip -n "$LAB_NS_FINDER" -batch -
}

# True when every veth of the lab is up and every bridge port forwards.
links_ready() {
    local ns line
    # ip's stderr is dropped: to name a peer namespace it opens every
    # /run/netns entry, and another lab's entry may be half made.
    for ns in "${created[@]}"; do
        while read -r line; do
            [[ $line == *"state UP"* ]] || return 1
            [[ $line != *bridge_slave* || $line == *"bridge_slave state forwarding"* ]] || return 1
        done < <(ip -n "$ns" -d -o link show type veth 2>/dev/null)
    done
}

wait_for_links() {
    local round
    for ((round = 0; round < 500; round++)); do
        links_ready && return
        sleep 0.01
    done
    echo "lab.sh: the lab's links did not come up within 5 s" >&2
    exit 1
}

lab_pids() {
    ((${#created[@]})) || return 0
    printf 'netns pids %s\n' "${created[@]}" | ip -batch - 2>/dev/null || true
}

# Kills what still runs in the lab (a command's leftover simulators, or the
# command itself after a signal): TERM, then KILL after about a second.
stop_lab_processes() {
    local pids round
    for ((round = 0; round < 50; round++)); do
        mapfile -t pids < <(lab_pids)
        ((${#pids[@]})) || return 0
        if ((round == 0)); then
            kill -TERM "${pids[@]}" 2>/dev/null || true
        fi
        sleep 0.02
    done
    kill -KILL "${pids[@]}" 2>/dev/null || true
}

teardown() {
    set +e
    stop_lab_processes
    if ((${#created[@]})); then
        printf 'netns del %s\n' "${created[@]}" | ip -force -batch - ||
            echo "lab.sh: could not delete every namespace of $LAB_ID" >&2
    fi
    [[ -n ${LAB_DIR:-} ]] && rm -rf "$LAB_DIR"
}

on_signal() {
    [[ -n $child ]] && kill -TERM "$child" 2>/dev/null
    exit "$1"
}

export_environment() { # $1 = 1 for a bare lab
    LAB_SCRIPT=$(realpath "$0")
    export LAB_ID LAB_DIR LAB_NS_FINDER LAB_SCRIPT
    export LAB_NS_DEV_A='' LAB_NS_DEV_B='' LAB_FINDER_IP_A='' LAB_FINDER_IP_B=''
    export LAB_DEV_IP_A='' LAB_DEV_IP_B='' LAB_GATEWAY_A=''
    (($1)) && return
    LAB_NS_DEV_A=$LAB_ID-dev-a LAB_NS_DEV_B=$LAB_ID-dev-b
    LAB_FINDER_IP_A=198.51.100.1 LAB_FINDER_IP_B=203.0.113.1
    LAB_DEV_IP_A=198.51.100.2 LAB_DEV_IP_B=203.0.113.2
    LAB_GATEWAY_A=198.51.100.254
}

run() {
    local bare=0 veths=0
    while (($#)); do
        case $1 in
        --bare) bare=1 ;;
        --veth)
            if ! [[ ${2:-} =~ ^[0-9]{1,3}$ ]] || ((10#$2 < 1 || 10#$2 > 250)); then
                usage
            fi
            veths=$((10#$2))
            shift
            ;;
        --) shift; break ;;
        *) usage ;;
        esac
        shift
    done
    (($#)) || usage

    LAB_ID="dfl$$-$RANDOM"
    LAB_NS_FINDER="$LAB_ID-finder"
    trap teardown EXIT
    trap 'on_signal 129' HUP
    trap 'on_signal 130' INT
    trap 'on_signal 143' TERM
    LAB_DIR=$(mktemp -d "${TMPDIR:-/tmp}/$LAB_ID.XXXXXX")
    export_environment "$bare"

    if ((bare)); then
        new_namespaces finder
        ip -n "$LAB_NS_FINDER" link set dev lo up
    else
        build_default
    fi
    ((veths == 0)) || build_veths "$veths"
    wait_for_links

    # Background and wait, so a signal reaches the trap at once; the explicit
    # redirection keeps COMMAND's stdin, which & would replace with /dev/null.
    ip netns exec "$LAB_NS_FINDER" "$@" <&0 &
    child=$!
    local code=0
    wait "$child" || code=$?
    child=
    return "$code"
}

# ---- clean-up after killed runs ----------------------------------------------

# True while the lab.sh that made lab $1 (LAB_ID dfl<pid>-<random>) still runs.
lab_alive() {
    local pid=${1#dfl}
    pid=${pid%%-*}
    [[ -r /proc/$pid/cmdline ]] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q 'lab\.sh'
}

clean() {
    (($# == 0)) || usage
    local ns rest id
    local -A namespaces=()
    while read -r ns rest; do
        [[ $ns =~ ^(dfl[0-9]+-[0-9]+)-(finder|sw-a|sw-b|sw-x|dev-a|dev-b)$ ]] || continue
        id=${BASH_REMATCH[1]}
        lab_alive "$id" || namespaces[$id]+=" $ns"
    done < <(ip netns list)
    for id in "${!namespaces[@]}"; do
        read -r -a created <<<"${namespaces[$id]}"
        stop_lab_processes
        printf 'netns del %s\n' "${created[@]}" | ip -force -batch - ||
            echo "lab.sh: could not delete every namespace of $id" >&2
        rm -rf "${TMPDIR:-/tmp}/$id".*
        echo "removed lab $id"
    done
}

main() {
    (($#)) || usage
    local command=$1
    shift
    case $command in
    run) require_root; run "$@" ;;
    add-addresses) require_root; add_addresses "$@" ;;
    clean) require_root; clean "$@" ;;
    *) usage ;;
    esac
}

main "$@"
