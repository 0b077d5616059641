#!/usr/bin/env bash
# cmake --install into a scratch prefix: the programs, the desktop entry that
# opens a double-clicked capture, the icon it names, and, when run as root,
# the capture rights granted again to the installed helper and to nothing else.
# Usage: install_test.sh BUILD_DIR
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

log=$(cmake --install "$build" --prefix "$prefix" 2>&1) || { echo "$log"; fail "cmake --install failed"; }

for program in tapwatch tapwatch-log tapwatch-capture; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
done

entry=$prefix/share/applications/tapwatch.desktop
if [ ! -f "$entry" ]; then
  fail "no desktop entry"
else
  key() { sed -n "s/^$1=//p" "$entry"; }
  [ "$(head -n 1 "$entry")" = "[Desktop Entry]" ] || fail "the entry does not start with [Desktop Entry]"
  [ "$(key Type)" = "Application" ] || fail "Type is '$(key Type)'"
  [ "$(key Name)" = "Tapwatch" ] || fail "Name is '$(key Name)'"
  [ "$(key Categories)" = "Network;Monitor;" ] || fail "Categories is '$(key Categories)'"
  [ "$(key MimeType)" = "application/vnd.tcpdump.pcap;application/x-pcapng;" ] ||
    fail "MimeType is '$(key MimeType)'"
  # A double-clicked capture reaches the program as its argument.
  [ "$(key Exec)" = "tapwatch %f" ] || fail "Exec is '$(key Exec)'"
  icon=$(key Icon)
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "the icon '$icon' is not in the hicolor theme"
fi

if [ "$(id -u)" -eq 0 ]; then
  if echo "$log" | grep -q "Granted cap_net_raw,cap_net_admin"; then
    caps=$(getcap "$prefix/bin/tapwatch-capture")
    echo "$caps" | grep -q "cap_net_admin,cap_net_raw=eip" ||
      fail "the install said it granted the rights, getcap says '$caps'"
    for program in tapwatch tapwatch-log; do
      caps=$(getcap "$prefix/bin/$program")
      [ -z "$caps" ] || fail "$program holds capabilities: '$caps'"
    done
  else
    # Some file systems hold no capabilities; the install must say so.
    echo "$log" | grep -q "Could not grant capture rights" ||
      fail "as root the install neither granted the capture rights nor said why not"
  fi
else
  echo "$log" | grep -q "Not installing as root" || fail "a user's install does not say it granted nothing"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
