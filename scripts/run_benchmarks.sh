#!/usr/bin/env bash
# Runs every benchmark once. "small" inputs for the test run; "full" for the
# figures quoted in reports (500,000-packet captures).
set -euo pipefail
build=${1:-build-release}
size=${2:-small}
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
count=20000
[ "$size" = full ] && count=500000
data="$build/bench-data"
mkdir -p "$data"

gen="$build/bin/tapwatch-gen"
for kind in tcp742 mix vlan sll2; do
  [ -f "$data/$kind-$count.pcap" ] || "$gen" --kind "$kind" --count "$count" -o "$data/$kind-$count.pcap"
done

for kind in tcp742 mix vlan sll2; do
  echo "-- tapwatch-bench $kind ($count packets)"
  "$build/bench/tapwatch-bench" "$data/$kind-$count.pcap"
done

# Further benchmarks register themselves here as they are added.
for script in "$top"/bench/*.run; do
  [ -e "$script" ] || continue
  echo "-- $(basename "$script" .run)"
  BUILD="$build" DATA="$data" COUNT="$count" SIZE="$size" bash "$script"
done
