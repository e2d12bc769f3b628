#!/usr/bin/env bash
# Runs an example against a simulated reader with one tag: with_sim.sh KVARA-SIM EXAMPLE.
set -euo pipefail
sim=$1
example=$2
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
"$sim" --link "$dir/reader" --tag 3074257BF7194E4000001A85,user=00000000 >"$dir/out" &
pid=$!
for _ in $(seq 100); do [ -s "$dir/out" ] && break; sleep 0.05; done
"$example" "$dir/reader"
