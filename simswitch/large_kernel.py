"""The kernel of the large simulated switch (large.py), built in code, for
the route-comparison benchmarks.

kernel(switch) reads the switch's hardware (its ports, VLAN translations,
replication groups and routes) and gives a Kernel: the kernel's multicast
routes, one per hardware route, and what the checker's kernel readers find
on such a switch (command outputs, files, directory listings).

    bridge     bridge with VLAN filtering over swp1..swp128; VLAN V (every
               even V) on two of them, and its VLAN device vlanV; swp128 its
               multicast router port for a few VLANs
    br101..    bridges without VLAN filtering (NBRIDGES of them): two VLAN
               sub-interfaces swpN.V (V the bridge's number) and two routed
               ports of swp129..swp256 each; every fourth bridge has its
               first routed port as multicast router port
    swpN.E     routed VLAN sub-interfaces, one per fourth VLAN translation
               (logical port N, egress VLAN E) of the hardware

Route r:
    IIF    r even: a routed sub-interface swpN.E, whose IIF maps through the
           port and VLAN-translation lookups; r odd: vlanV on bridge, V the
           route's hardware IIF
    OIL    one bridge without VLAN filtering, and one front-panel port (the
           port of the route group's last L3 target) or a routed
           sub-interface
    The group is snooped on the OIL's bridge for every other pair of routes
    and floods there otherwise; on bridge (IIF vlanV) it is snooped for
    every other four routes, on the group's L2 target port.

The hardware's L3 targets name VLANs the kernel does not carry, so most
routes get OIL notes; every kernel IIF of the odd routes agrees.

Written out, a Kernel is either a tree to lay over / with
scripts/in-switch-ns (write_tree: the stand-in /bin/ip and /sbin/bridge of
kernel-tools/, which print answer files, the answers,
/proc/net/vlan/config and /sys/class/net), or one JSON file with the
hardware's shell outputs as well, for the C++ core benchmark (write_json).

    python2.7 simswitch/large_kernel.py --tree DIR | --json FILE
"""

import json
import optparse
import os
import re
import shutil
import sys

import large

NBRIDGES = 64
FIRST_BRIDGE = 101
AWARE = 'bridge'
AWARE_PORTS = 128  # swp1..swp128 are on the VLAN-aware bridge
AWARE_RPORT = 'swp128'
AWARE_RPORT_VLANS = range(2, 41, 2)
IIF_XLATE_STEP = 4  # a routed sub-interface per fourth translation

HERE = os.path.dirname(os.path.abspath(__file__))
STAND_INS = os.path.join(HERE, 'kernel-tools')
ANSWERS = 'usr/lib/simswitch/kernel/answers'
TOOLS = ('bin/ip', 'sbin/bridge', 'usr/lib/simswitch/kernel/answer')

_XLATE = re.compile(r'modid = \d+ port = (\d+), .*old_vid=(\d+), new_vid=(\d+)')
_MEMBER = re.compile(r'\s+port (\S+), encap id (-?\d+)')


class Kernel(object):
    """What the kernel readers find, and the kernel's routes."""

    def __init__(self):
        # command text (the words as the checker runs them) -> output
        self.commands = {}
        # absolute path -> text
        self.files = {}
        # absolute directory path -> entry names, in listing order
        self.dirs = {}
        # [(route key, IIF, [OIF...])], in hardware route order
        self.routes = []


def _link(index, name, lower, third):
    """The three lines of "ip -d link show" that matter, in iproute2 6.1's
    layout; the third starts with the link kind."""
    at = '@' + lower if lower else ''
    return ('%d: %s%s: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 9216 qdisc noqueue state UP '
            'mode DEFAULT group default qlen 1000\n'
            '    link/ether 44:38:39:%02x:%02x:%02x brd ff:ff:ff:ff:ff:ff promiscuity 0  '
            'allmulti 0 minmtu 68 maxmtu 65535 \n'
            '    %s addrgenmode eui64 numtxqueues 1 numrxqueues 1 gso_max_size 65536 '
            'gso_max_segs 65535 tso_max_size 65536 tso_max_segs 65535 gro_max_size 65536 \n'
            % (index, name, at, (index >> 16) & 0xff, (index >> 8) & 0xff, index & 0xff,
               third))


def _bridge_link(index, name, vlan_filtering):
    return _link(index, name, None,
                 'bridge forward_delay 1500 hello_time 200 max_age 2000 ageing_time 180000 '
                 'stp_state 0 priority 32768 vlan_filtering %d vlan_protocol 802.1Q '
                 'mcast_snooping 1 mcast_router 1 mcast_querier 0 mcast_igmp_version 2'
                 % vlan_filtering)


def _vlan_link(index, name, lower, vid):
    return _link(index, name, lower, 'vlan protocol 802.1Q id %d <REORDER_HDR> ' % vid)


def _hardware(switch):
    """The parts of the hardware the kernel is built around."""
    xlates = []
    for line in switch.outputs['vlan translate show'].splitlines():
        m = _XLATE.match(line)
        if m:
            xlates.append((int(m.group(1)), int(m.group(2)), int(m.group(3))))
    linux = dict(switch.ports)
    # group id -> (Linux port of the last L3 target, Linux port of the L2 target)
    groups = {}
    for piece in switch.outputs['multicast show'].split('Group ')[1:]:
        lines = piece.splitlines()
        if '(IPMC)' not in lines[0]:
            continue
        last_l3 = l2 = None
        for line in lines[1:]:
            m = _MEMBER.match(line)
            if not m:
                continue
            if m.group(2) == '-1':
                l2 = linux[m.group(1)]
            else:
                last_l3 = linux[m.group(1)]
        groups[int(lines[0].split()[0], 16)] = (last_l3, l2)
    routes = []
    rows = switch.outputs['ipmc table show'].splitlines()
    for row in rows[2:]:
        w = row.split()
        if len(w) < 7:
            continue
        routes.append((w[0], w[1], int(w[2]), int(w[6], 16)))
    return xlates, groups, routes


def kernel(switch):
    """The kernel of a switch built by large.build (RIOT off)."""
    xlates, groups, hw_routes = _hardware(switch)
    k = Kernel()
    links = {}  # device -> "ip -d link show" output
    vlan_devs = []  # (device, vid, lower), in /proc/net/vlan/config order
    index = [100]

    def link(name, text_of):
        if name not in links:
            index[0] += 1
            links[name] = text_of(index[0])

    def vlan_dev(name, lower, vid):
        if name in links:
            return
        link(name, lambda i: _vlan_link(i, name, lower, vid))
        vlan_devs.append((name, vid, lower))

    # Routed sub-interfaces on the translations' ports and egress VLANs.
    routed = []
    for lport, evid, _ in xlates[::IIF_XLATE_STEP]:
        name = 'swp%d.%d' % (lport, evid)
        if name not in links:
            vlan_dev(name, 'swp%d' % lport, evid)
            routed.append(name)

    # The VLAN-aware bridge: VLAN V on two of its ports, V even.
    link(AWARE, lambda i: _bridge_link(i, AWARE, 1))
    k.files['/sys/class/net/%s/bridge/vlan_filtering' % AWARE] = '1\n'
    port_vlans = dict(('swp%d' % p, []) for p in range(1, AWARE_PORTS + 1))
    aware_vlans = range(2, large.MAX_VLAN + 1, 2)
    for v in aware_vlans:
        port_vlans['swp%d' % (1 + v % AWARE_PORTS)].append(
            {'vlan': v, 'flags': ['Egress Untagged']})
        port_vlans['swp%d' % (1 + (v * 3 + 1) % AWARE_PORTS)].append({'vlan': v})
        vlan_dev('vlan%d' % v, AWARE, v)
    k.dirs['/sys/class/net/%s/brif' % AWARE] = sorted(port_vlans)
    json_devices = [{'ifname': p, 'vlans': port_vlans[p]}
                    for p in sorted(port_vlans, key=lambda n: int(n[3:]))]
    json_devices.append({'ifname': AWARE, 'vlans': [{'vlan': v} for v in aware_vlans]})

    # The VLAN-unaware bridges.
    bridges = []
    for b in range(NBRIDGES):
        vid = FIRST_BRIDGE + b
        name = 'br%d' % vid
        subs = ['swp%d.%d' % (1 + (2 * b + j) % AWARE_PORTS, vid) for j in range(2)]
        plain = ['swp%d' % (AWARE_PORTS + 1 + 2 * b + j) for j in range(2)]
        for s in subs:
            vlan_dev(s, s.split('.')[0], vid)
        link(name, lambda i, name=name: _bridge_link(i, name, 0))
        k.files['/sys/class/net/%s/bridge/vlan_filtering' % name] = '0\n'
        members = subs + plain
        k.dirs['/sys/class/net/%s/brif' % name] = members
        for m in members:
            json_devices.append({'ifname': m,
                                 'vlans': [{'vlan': 1, 'flags': ['PVID', 'Egress Untagged']}]})
        bridges.append((name, members, [], plain[0] if b % 4 == 0 else None))

    aware_mdb = []
    for r, (sip, dip, hw_iif, grp) in enumerate(hw_routes):
        last_l3, l2 = groups.get(grp | 0x2000000, (None, None))
        if r % 2 == 0:
            iif = routed[(r // 2) % len(routed)]
        else:
            iif = 'vlan%d' % hw_iif
            if (r // 4) % 2 == 0 and l2:
                aware_mdb.append('dev %s port %s grp %s temp proto static  vid %d  %6.2f'
                                 % (AWARE, l2, dip, hw_iif, 200 + r % 60))
        name, members, mdb, _ = bridges[(r // 2) % NBRIDGES]
        if (r // 2) % 2 == 0:
            for m in (members[r % 4], members[(r + 1) % 4]):
                mdb.append('dev %s port %s grp %s temp proto static   %6.2f'
                           % (name, m, dip, 200 + r % 60))
            if r % 16 == 0:
                mdb.append('dev %s port %s grp %s temp  259.78' % (name, name, dip))
        if (r // 8) % 2 == 0 and last_l3:
            oif = last_l3
        else:
            oif = routed[(r * 7) % len(routed)]
        k.routes.append(('default, (%s,%s)' % (sip, dip), iif, [name, oif]))

    for name, members, mdb, rport in bridges:
        lines = ['dev %s port %s grp ff02::6a temp  259.78' % (name, name),
                 'dev %s port %s grp ff02::1:ff00:1 temp proto kernel   259.93'
                 % (name, members[2])]
        lines += mdb
        if rport:
            lines.append('router ports on %s: %s    0.00 permanent' % (name, rport))
        k.commands['/sbin/bridge -d -s mdb show dev %s' % name] = '\n'.join(lines) + '\n'
    aware_mdb.insert(0, 'dev %s port %s grp ff02::6a temp  vid 2  259.80' % (AWARE, AWARE))
    aware_mdb.append('router ports on %s: %s    0.00 permanent' % (AWARE, AWARE_RPORT))
    k.commands['/sbin/bridge -d -s mdb show dev %s' % AWARE] = '\n'.join(aware_mdb) + '\n'
    rows = ['port              vlan-id  ']
    for i, v in enumerate(AWARE_RPORT_VLANS):
        rows.append('%-17s %d' % (AWARE_RPORT if i == 0 else '', v))
    k.commands['/sbin/bridge vlan show dev %s' % AWARE_RPORT] = '\n'.join(rows) + '\n'
    k.commands['/sbin/bridge -j vlan show'] = json.dumps(json_devices, separators=(',', ':'))

    for name, text in links.items():
        k.commands['/bin/ip -d link show %s' % name] = text
    config = ['VLAN Dev name\t | VLAN ID', 'Name-Type: VLAN_NAME_TYPE_RAW_PLUS_VID_NO_PAD']
    config += ['%-14s | %d  | %s' % d for d in vlan_devs]
    k.files['/proc/net/vlan/config'] = '\n'.join(config) + '\n'
    return k


def write_tree(k, root):
    """Lays the kernel out as a tree for scripts/in-switch-ns, with the
    stand-in tools of kernel-tools/."""
    for tool in TOOLS:
        dest = os.path.join(root, tool)
        if not os.path.isdir(os.path.dirname(dest)):
            os.makedirs(os.path.dirname(dest))
        shutil.copy2(os.path.join(STAND_INS, tool), dest)
    answers = os.path.join(root, ANSWERS)
    if not os.path.isdir(answers):
        os.makedirs(answers)
    for cmd, text in k.commands.items():
        words = cmd.split()
        name = '+'.join([os.path.basename(words[0])] + words[1:]) + '.txt'
        with open(os.path.join(answers, name), 'w') as f:
            f.write(text)
    for path, text in k.files.items():
        _write(root, path, text)
    for path, names in k.dirs.items():
        for n in names:
            _write(root, path + '/' + n, '')


def _write(root, path, text):
    dest = os.path.join(root, path.lstrip('/'))
    if not os.path.isdir(os.path.dirname(dest)):
        os.makedirs(os.path.dirname(dest))
    with open(dest, 'w') as f:
        f.write(text)


def write_json(switch, k, path):
    """The hardware's shell outputs and the kernel, in one file."""
    data = {
        'shell': switch.outputs,
        'ports': switch.ports,
        'vrfs': dict((str(i), n) for i, n in switch.vrfs.items()),
        'commands': k.commands,
        'files': k.files,
        'dirs': k.dirs,
        'routes': k.routes,
    }
    with open(path, 'w') as f:
        json.dump(data, f, separators=(',', ':'))


def main():
    parser = optparse.OptionParser(usage='%prog --tree DIR | --json FILE')
    parser.add_option('--tree', help='lay the kernel out as a tree under DIR')
    parser.add_option('--json', help='write the hardware and the kernel to FILE')
    opts, _ = parser.parse_args()
    if not opts.tree and not opts.json:
        parser.error('--tree or --json is needed')
    switch = large.build(1)
    k = kernel(switch)
    if opts.tree:
        write_tree(k, opts.tree)
    if opts.json:
        write_json(switch, k, opts.json)


if __name__ == '__main__':
    sys.exit(main())
