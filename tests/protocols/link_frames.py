#!/usr/bin/python3
"""Writes one capture file per link type and layer that the decoders know
beyond plain Ethernet, for comparing their fields with tshark's. Nothing is
sent: every Ether() names its addresses, so nothing is resolved."""
import struct
import sys

from scapy.all import (ICMPv6EchoReply, ICMPv6EchoRequest, ICMPv6ND_NS, IP, TCP, UDP, Dot1AD,
                       Dot1Q, Ether, IPv6, IPv6ExtHdrDestOpt, IPv6ExtHdrFragment,
                       IPv6ExtHdrHopByHop, IPv6ExtHdrRouting, PPPoE, PPP, Raw, wrpcap)
from scapy.layers.l2 import CookedLinux, CookedLinuxV2

DLT = {"en10mb": 1, "null": 0, "ppp": 9, "raw": 101, "ppp_serial": 50, "loop": 108,
       "sll": 113, "sll2": 276, "ipv4": 228, "ipv6": 229}
A, B = "00:11:22:33:44:55", "66:77:88:99:aa:bb"
V4 = IP(src="10.1.2.3", dst="10.4.5.6")
V6 = IPv6(src="2001:db8::1", dst="fe80::20c:29ff:fe1a:2b3c")


def inner():
    """The packets every link type carries: TCP and UDP over both versions, ICMPv6."""
    return [V4 / TCP(sport=40000, dport=80, flags="S") / Raw(b"x" * 5),
            V6 / UDP(sport=5353, dport=53) / Raw(b"query"),
            V6 / ICMPv6EchoRequest(id=0x1234, seq=7) / Raw(b"ping")]


def raw_bytes(link, packets):
    return [bytes(link) + bytes(p) for p in packets]


def write(path, dlt, frames):
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, dlt))
        for i, frame in enumerate(frames):
            f.write(struct.pack("<IIII", 1700000000 + i, 0, len(frame), len(frame)))
            f.write(frame)


def main(out):
    p = inner()
    ether = [Ether(src=A, dst=B) / x for x in p]
    tags = [Ether(src=A, dst=B) / Dot1Q(prio=5, id=1, vlan=100) / x for x in p]
    tags += [Ether(src=A, dst=B, type=0x88A8) / Dot1AD(prio=3, vlan=200) / Dot1Q(vlan=300) / x
             for x in p]
    tags += [Ether(src=A, dst=B) / PPPoE(sessionid=9) / Raw(b"\x00\x57") / p[1]]
    ipv6 = [V6 / ICMPv6ND_NS(tgt="fe80::1"),
            V6 / ICMPv6EchoReply(id=1, seq=2),
            V6 / IPv6ExtHdrHopByHop() / TCP(sport=1000, dport=2000),
            V6 / IPv6ExtHdrDestOpt() / IPv6ExtHdrRouting(addresses=["2001:db8::9"]) /
            UDP(sport=7, dport=9),
            V6 / IPv6ExtHdrFragment(id=77, m=1, offset=0) / UDP(sport=11, dport=12) / Raw(b"a" * 16),
            V6 / IPv6ExtHdrFragment(id=77, m=0, offset=3, nh=17) / Raw(b"b" * 16)]
    wrpcap(f"{out}/vlan.pcap", tags + [Ether(src=A, dst=B) / x for x in ipv6])
    cooked = [CookedLinux(pkttype=4, lladdrtype=1, lladdrlen=6, src=bytes.fromhex("001122334455") +
                          b"\0\0", proto=0x0800 if IP in x else 0x86DD) / x for x in p]
    write(f"{out}/sll.pcap", DLT["sll"], [bytes(c) for c in cooked])
    cooked2 = [CookedLinuxV2(proto=0x0800 if IP in x else 0x86DD, ifindex=3 + i, pkttype=i,
                             lladdrtype=772, lladdrlen=6,
                             src=bytes.fromhex("665544332211") + b"\0\0") / x
               for i, x in enumerate(p)]
    write(f"{out}/sll2.pcap", DLT["sll2"], [bytes(c) for c in cooked2])
    write(f"{out}/raw.pcap", DLT["raw"], [bytes(x) for x in p + ipv6])
    write(f"{out}/ipv4.pcap", DLT["ipv4"], [bytes(p[0])])
    write(f"{out}/ipv6.pcap", DLT["ipv6"], [bytes(x) for x in p[1:]])
    # Loopback families: a little-endian writer, a big-endian one, the BSDs' IPv6.
    null = [struct.pack("<I", 2) + bytes(p[0]), struct.pack(">I", 2) + bytes(p[0]),
            struct.pack("<I", 24) + bytes(p[1]), struct.pack("<I", 30) + bytes(p[2]),
            struct.pack(">I", 28) + bytes(p[1])]
    write(f"{out}/null.pcap", DLT["null"], null)
    write(f"{out}/loop.pcap", DLT["loop"], [struct.pack(">I", 2) + bytes(p[0]),
                                           struct.pack(">I", 24) + bytes(p[1])])
    ppp = [b"\xff\x03\x00\x21" + bytes(p[0]), b"\xff\x03\x00\x57" + bytes(p[1]),
           b"\x21" + bytes(p[0])]
    write(f"{out}/ppp.pcap", DLT["ppp"], ppp)
    write(f"{out}/ppp_serial.pcap", DLT["ppp_serial"], ppp[:2])


if __name__ == "__main__":
    main(sys.argv[1])
