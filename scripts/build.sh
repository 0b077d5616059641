#!/usr/bin/env bash
# Sets up a Debian 12 machine for Tapwatch (installs what is missing), builds it,
# then runs the program (--run, the default) or every test (--test).
# Works as root, or as a normal user who may use sudo.
set -euo pipefail

mode=${1:---run}
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-charts-dev libgl-dev
  libpcap-dev libcap-ng-dev libgtest-dev libgmock-dev libexpat1-dev libxml2-dev
  libx11-dev libxi-dev libxtst-dev
  xvfb xdotool x11-utils x11-apps imagemagick xcompmgr openbox
  tcpdump tshark iproute2 iputils-ping libcap2-bin fonts-dejavu-core python3-scapy
)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  # tshark asks whether normal users may capture; the answer is no.
  echo "wireshark-common wireshark-common/install-setuid boolean false" |
    "${sudo_cmd[@]}" debconf-set-selections
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

jobs=$(nproc)

build() {  # build <dir> <cmake options...>
  local dir=$1
  shift
  cmake -S "$top" -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
}

run_program() {
  build build -DCMAKE_BUILD_TYPE=Release -DTAPWATCH_TESTS=OFF -DTAPWATCH_BENCH=OFF
  if [ -x build/bin/tapwatch ]; then
    # Capturing needs raw sockets: only the small capture helper gets the
    # rights; the window, which decodes what the network sends, holds none.
    if [ "$(id -u)" -ne 0 ]; then
      if ! "${sudo_cmd[@]}" setcap cap_net_raw,cap_net_admin=eip build/bin/tapwatch-capture; then
        echo "Could not grant capture rights with setcap: run build/bin/tapwatch as root to capture." >&2
      fi
    fi
    exec build/bin/tapwatch
  fi
  build/bin/tapwatch-gen --kind mix --count 200 -o build/sample.pcap
  exec build/bin/tapwatch-log --rows build/sample.pcap
}

run_tests() {
  exec "$top/scripts/run_tests.sh"
}

install_missing
case "$mode" in
  --run) run_program ;;
  --test) run_tests ;;
  *) echo "usage: $0 [--run|--test]" >&2; exit 2 ;;
esac
