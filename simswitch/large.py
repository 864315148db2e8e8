"""A large simulated switch, built in code, for the benchmarks.

build(scale) gives, per unit of scale: 256 ports, 4096 VLAN translations,
4096 L3 interfaces, 16384 IPMC replication groups of 8 L3 targets and one L2
target each, and 32768 "ipmc table show" rows.  VLAN ids stay within 1..4094,
so several L3 interfaces share a VLAN; every VLAN an L3 target needs answers
"vlan show" and its "ports" listing.  The layouts are those of the fixture
variants in switches/.
"""

import sim

MAX_VLAN = 4094
L3_PER_GROUP = 8
UNTAGGED_RUN = 4


def _vlan(n):
    return 1 + n % MAX_VLAN


def _quad(a, n):
    return '%d.%d.%d.%d' % (a, (n >> 16) & 0xff, (n >> 8) & 0xff, n & 0xff)


def build(scale=1, riot=False):
    nports = 256 * scale
    nxlate = 4096 * scale
    nl3 = 4096 * scale
    ngroups = 16384 * scale
    nroutes = 32768 * scale

    ports = ['xe%d' % i for i in range(nports)]
    logical = dict((p, i + 1) for i, p in enumerate(ports))
    out = {}

    rows = ['          pipe  logical  physical  idb  mmu  ucode_port',
            'cpu0      0     0        0         0    32   0']
    rows += ['%-9s %-5d %-8d %-9d %-4d %-4d %d' % (p, (i + 1) // 64, i + 1, 1 + 4 * i, i % 64, i, i + 1)
             for i, p in enumerate(ports)]
    out['show portmap'] = '\n'.join(rows) + '\n'

    out['pvlan show'] = ''.join('Port %s default VLAN is %d\n' % (p, _vlan(i * 16))
                                for i, p in enumerate(['cpu0'] + ports))

    rows = ['Free L3INTF entries: %d' % (16384 - nl3 % 16384),
            'Unit  Intf  VRF Group VLAN    Source Mac     MTU TTL Tunnel InnerVlan  NATRealm',
            '-' * 78]
    rows += ['0     %-5d 0     0     %-5d 44:38:39:%02x:%02x:%02x  9216  0      0     0     0'
             % (i + 1, _vlan(i), (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff) for i in range(nl3)]
    out['l3 intf show'] = '\n'.join(rows) + '\n'
    l3_vlan = dict((i + 1, _vlan(i)) for i in range(nl3))

    # Translation i sits on the port and internal VLAN of the first L3 target
    # of group i, so both outcomes of the egress-VLAN lookup occur.
    out['vlan translate show'] = ''.join(
        'modid = 0 port = %d, KeyType=Outer Tag, old_vid=%d, new_vid=%d, prio=-1, cfi=0, Interface=0\n'
        % (1 + (i * L3_PER_GROUP) % nports, _vlan(i * 7 + 1),
           l3_vlan[1 + (i * L3_PER_GROUP * 13) % nl3])
        for i in range(nxlate))

    out['sc L3IngressMode'] = '0x1\n' if riot else '0x0\n'

    lines = ['Group 0x1000001 (L2)', '\tport xe0, encap id -1', '\tport xe1, encap id -1']
    for g in range(ngroups):
        lines.append('Group 0x%x (IPMC)' % (0x2000000 + g))
        base = g * L3_PER_GROUP
        for k in range(L3_PER_GROUP):
            n = base + k
            lines.append('\tport %s, encap id %d' % (ports[n % nports], 1 + (n * 13) % nl3))
        lines.append('\tport %s, encap id -1' % ports[(g + 3) % nports])
    out['multicast show'] = '\n'.join(lines) + '\n'

    for vid in range(1, MAX_VLAN + 1):
        first = (vid * UNTAGGED_RUN) % (nports - UNTAGGED_RUN + 1)
        untagged = 'xe%d-xe%d' % (first, first + UNTAGGED_RUN - 1)
        allp = 'xe%d-xe%d' % (max(0, first - 2), first + UNTAGGED_RUN - 1)
        out['vlan show %d' % vid] = (
            'vlan %d\tports %s (0x%064x), untagged %s (0x%064x) MCAST_FLOOD_UNKNOWN\n'
            % (vid, allp, 0, untagged, 0))
        cmd = 'ports %s' % untagged
        if cmd not in out:
            rows = ['                 ena/        speed/ link auto    STP                  lrn  inter   max   cut   loop',
                    '           port  link  Lns   duplex scan neg?   state   pause  discrd ops   face frame  thru?  back']
            rows += ['%15s  up     1    10G  FD   SW  No   Forward          None   FA    SFI   9412    No'
                     % ('%s(%3d)' % (p, logical[p])) for p in ports[first:first + UNTAGGED_RUN]]
            out[cmd] = '\n'.join(rows) + '\n'

    rows = ['SRC IP ADDRESS  MC IP ADDRESS    VLAN MOD PORT V GROUP     VRF CLASS HIT',
            '--------------- ---------------- ---- --- ---- - --------- --- ----- ---']
    rows += ['%-15s %-16s %4d %3d %4d y %-9x %3d %5d y'
             % (_quad(10, r), _quad(239, r), _vlan(r), 0, 0, r % ngroups, 0, 0)
             for r in range(nroutes)]
    rows.append('Total IPMC entries: %d' % nroutes)
    out['ipmc table show'] = '\n'.join(rows) + '\n'

    out['dump chg l3_entry_ipv4_multicast'] = ''.join(
        'L3_ENTRY_IPV4_MULTICAST.ipipe0[%d]: <KEY_TYPE_0=5,KEY_TYPE_1=6,VALID_0=1,VALID_1=1,'
        'GROUP_IP_ADDR=0x%x,SOURCE_IP_ADDR=0x%x,L3MC_INDEX=%x,EXPECTED_L3_IIF=0x%x,HIT_0=1>\n'
        % (r, (239 << 24) | (r & 0xffffff), (10 << 24) | (r & 0xffffff), r % ngroups, _vlan(r))
        for r in range(nroutes))

    rows = ['Unit 0, Total Number of egress objects: %d' % nl3,
            'Entry  Mac                 Vlan INTF PORT MOD MPLS_LABEL ToCpu Drop RefCount L3MC',
            '-' * 83]
    rows += ['%-6d 44:38:39:00:%02x:%02x  %5d %4d %4d %3d %10d %5s %4s %8d %4s'
             % (100000 + i, (i >> 8) & 0xff, i & 0xff, l3_vlan[i + 1], i + 1, 1 + i % nports,
                0, -1, 'no', 'no', 1, 'yes') for i in range(nl3)]
    out['l3 egress show'] = '\n'.join(rows) + '\n'
    out['show unit'] = 'Unit 0 chip XGS78100_B0 (current)\n'

    memtables = {}
    if riot:
        out['listmem VLAN'] = 'Memory: VLAN.ipipe0\n  <212:201> L3_IIF<11:0>\n  <0> VALID<0:0>\n'
        memtables['VLAN'] = dict((v, {'VALID': 1, 'L3_IIF': 8192 + v})
                                 for v in range(1, MAX_VLAN + 1))

    return sim.Switch(outputs=out,
                      ports=[(p, 'swp%d' % (i + 1)) for i, p in enumerate(ports)],
                      logical=dict((i + 1, p) for i, p in enumerate(ports)),
                      vrfs={0: 'default'}, memtables=memtables,
                      name='large-%d' % scale)
