#!/bin/bash
# Loads the firewall recipe that operators are given (tavrin-firewall.nft) in a private network
# namespace, with its example addresses replaced by loopback ones, and checks against the real
# server that it lets through exactly what it promises:
#   127.0.0.2  ship equipment       127.0.0.3  vehicle navigation
#   127.0.0.4  science network      127.0.0.1  the log host itself
#   127.0.0.5, 127.0.0.6            anyone else
#
#   packaging/test_firewall.sh SERVER_BINARY
#
# Exit 0: passed; 1: failed; 77: no root, no nft or no network namespaces here.
set -u -o pipefail

server=$(realpath "${1:?usage: $0 SERVER_BINARY}")
recipe=$(dirname "$(realpath "$0")")/tavrin-firewall.nft

if [ -z "${TAVRIN_IN_NETNS:-}" ]; then
    for program in nft unshare ip python3; do
        command -v "$program" >/dev/null || { echo "SKIP: $program is missing"; exit 77; }
    done
    if ! unshare --net true 2>/dev/null; then
        echo "SKIP: cannot create a network namespace (needs root)"
        exit 77
    fi
    # Everything below runs where only a private loopback exists.
    TAVRIN_IN_NETNS=1 exec unshare --net "$0" "$@"
fi

work=$(mktemp -d)
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

ip link set lo up
sed -e 's/192\.0\.2\.10, 192\.0\.2\.11/127.0.0.2/' \
    -e 's/192\.0\.2\.20/127.0.0.3/' \
    -e 's#198\.51\.100\.0/24, 127\.0\.0\.1#127.0.0.4, 127.0.0.1#' "$recipe" >"$work/rules.nft"
if cmp -s "$recipe" "$work/rules.nft"; then
    echo "FAIL: the recipe's example addresses have changed; update this test"
    exit 1
fi
nft -f "$work/rules.nft" || { echo "FAIL: nft rejected the recipe"; exit 1; }
nft list ruleset >"$work/loaded-once"
# Loading it a second time must replace the table, not fail or double the rules.
nft -f "$work/rules.nft" || { echo "FAIL: the recipe cannot be loaded twice"; exit 1; }
nft list ruleset | cmp -s - "$work/loaded-once" || { echo "FAIL: loading twice changed the rules"; exit 1; }

"$server" >"$work/console" 2>&1 &
server_pid=$!

python3 - "$work/console" <<'EOF'
import socket, sys, time

failures = []

def check(what, ok):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)

def sock(source):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((source, 0))
    return s

def send(source, port, text):
    with sock(source) as s:
        s.sendto(text.encode(), ("127.0.0.1", port))

def query(source, timeout=0.5):
    with sock(source) as s:
        s.settimeout(timeout)
        s.sendto(b"STATUS", ("127.0.0.1", 8080))
        try:
            return s.recv(65536).decode().split(",")
        except socket.timeout:
            return None

def settle():
    # Datagrams are taken in order; a query from the host itself is answered after them.
    query("127.0.0.1", 2.0)

deadline = time.monotonic() + 10
while query("127.0.0.1", 0.2) is None:
    if time.monotonic() > deadline:
        sys.exit("FAIL: the server never answered")

zda = "$GPZDA,080700.00,05,03,2024,00,00"
gga = "$GPGGA,080659.00,1230.00738,S,04500.01926,W,1,08,0.9,850.25,M,,M,,"

send("127.0.0.5", 38002, zda)
send("127.0.0.3", 38002, zda)  # the vehicle's address may not send ship sentences
settle()
check("ship sentences from other hosts are dropped", query("127.0.0.1")[1] == "0")
send("127.0.0.2", 38002, zda)
settle()
check("ship sentences from the ship's equipment arrive", query("127.0.0.1")[1] == "1709626020")

send("127.0.0.5", 20289, gga)
send("127.0.0.2", 20289, gga)  # nor the ship's equipment vehicle sentences
settle()
check("vehicle sentences from other hosts are dropped", query("127.0.0.1")[15] == "0.000000")
send("127.0.0.3", 20289, gga)
settle()
check("vehicle sentences from the vehicle's navigation arrive", query("127.0.0.1")[15] == "-12.500123")

def queries_served():
    # The server flushes this line for every query it takes in.
    with open(sys.argv[1]) as console:
        return console.read().count("Received message from client")

check("the science network gets an answer", query("127.0.0.4") is not None)
check("the log host itself gets an answer", query("127.0.0.1") is not None)
before = queries_served()
check("anyone else gets no answer", query("127.0.0.6") is None)
settle()
check("and its query never reaches the server", queries_served() - before == 1)

# One client that floods is held to its rate; 100 queries leave well within a second.
with sock("127.0.0.4") as s:
    s.settimeout(0.5)
    for _ in range(100):
        s.sendto(b"STATUS", ("127.0.0.1", 8080))
    answered = 0
    try:
        while True:
            s.recv(65536)
            answered += 1
    except socket.timeout:
        pass
check(f"a flood of 100 queries is cut to its burst and rate ({answered} answered)", 40 <= answered < 100)
sys.exit(1 if failures else 0)
EOF
status=$?
if [ "$status" -ne 0 ]; then
    echo "--- rules as loaded"
    nft list ruleset
    exit 1
fi

# The output rule is the second line of defence: even if some other rule lets a stranger's
# query in, the reply does not leave for an address outside the science network.
nft insert rule inet tavrin input udp dport 8080 accept
reply=$(python3 -c '
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.6", 0)); s.settimeout(0.5)
s.sendto(b"STATUS", ("127.0.0.1", 8080))
try: print(len(s.recv(65536)))
except socket.timeout: print("none")')
if [ "$reply" != "none" ]; then
    echo "FAIL: a reply left for a host outside the science network"
    exit 1
fi
echo "ok    replies to strangers are stopped on the way out"
echo "firewall recipe: all checks passed"
