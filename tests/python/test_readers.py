"""The table readers on shell outputs that differ from the fixture in the
ways a real shell's can: the port, VLAN, L3-interface and translation
tables, the replication groups and the two route-table readers."""

import unittest

import nvtest
import sim
from nvtest import corvane, make_asic

IPMC_HEAD = ('SRC IP ADDRESS  MC IP ADDRESS    VLAN MOD PORT V GROUP     VRF CLASS HIT\n'
             '--------------- ---------------- ---- --- ---- - --------- --- ----- ---\n')
DUMP = 'dump chg l3_entry_ipv4_multicast'


def routes(asic):
    return dict((k, (r.sip, r.dip, r.iif, r.grp, r.vrf)) for k, r in asic.mroutes.items())


class PortReadersTest(unittest.TestCase):

    def test_logical_column_follows_header_word(self):
        a = make_asic(outputs={'show portmap': (
            'port_name logical pipe\n'
            'xe0  x  7  0\n'
            'xe1  x  8  0\n'
            'xe99 x  9  0\n'
            'xe2  x  10 0 extra\n')})
        self.assertEqual([(e.dport, e.logical_port, e.linux_port) for e in a.portmap],
                         [('xe0', 7, 'swp1'), ('xe1', 8, 'swp2'), ('xe99', 9, None),
                          ('xe2', 10, 'swp3')])

    def test_port_vlans(self):
        a = make_asic(outputs={
            'show portmap': '  pipe logical\nxe0 0 1\nxe1 0 2\nxe0 0 3\nxe2 0 4\n',
            'pvlan show': ('pvlan: default VLANs\n'
                           'Port xe0 default VLAN is 300\n'
                           'Port xe9 default VLAN is 5\n'
                           '  Port xe1 default VLAN is 6\n'
                           'Port xe1 default VLAN is 0x7\n'
                           'Port xe1 default VLAN is 8 (untagged)\n'
                           'Port xe0 default VLAN is 301\n')})
        self.assertEqual([(e.dport, e.logical_port, e.port_vid) for e in a.portmap],
                         [('xe0', 1, 301), ('xe1', 2, 8), ('xe0', 3, 301), ('xe2', 4, -1)])

    def test_l3_interfaces(self):
        a = make_asic(outputs={'l3 intf show': (
            'Free L3INTF entries: 8184\n'
            'Unit  Intf  VRF Group VLAN    Source Mac     MTU\n'
            '0     1     0     0     1\n'
            '0     5     0     0     100   44:38:39:00:00:05  9216\n'
            '0     6     0     0\n'
            '\n'
            '0     5     0     0     101   44:38:39:00:00:05  9216\n'
            '0     7     0     0     -3\n')})
        self.assertEqual(a.l3_intfs, {5: 101, 7: -3})

    def test_vlan_translations(self):
        a = make_asic(outputs={'vlan translate show': (
            'modid = 0 port = 5, KeyType=Outer Tag, old_vid=10, new_vid=200\n'
            'modid = 0 port = 6, new_vid=201\n'
            'modid=0 port=7, old_vid=11, new_vid=202\n'
            ' old_vid = 12 , new_vid= 203 , new_vid=204=9\n'
            'modid = 0 port = 8, port=9, old_vid=13\n')})
        self.assertEqual([(x.lport, x.ivid, x.evid) for x in a.vlan_xlate],
                         [(5, 200, 10), (6, 201, -1), (-1, 202, 11), (-1, 204, 12), (9, -1, 13)])

    def test_vlan_translations_error_text(self):
        for text in ('ERROR: table not available\n', 'modid = 0 port = 5, old_vid=1, x=ERROR\n',
                     ''):
            a = make_asic(outputs={'vlan translate show': text})
            self.assertEqual(a.vlan_xlate, [])

    def test_vlan_read_on_demand(self):
        a = make_asic()
        sim.reset_log()
        self.assertTrue(a._is_port_untagged_for_vid('xe10', 1))
        self.assertFalse(a._is_port_untagged_for_vid('cpu0', 1))
        self.assertEqual(sim.commands(), ['vlan show 1', 'ports xe4-xe5,xe10,ge1'])
        self.assertEqual(a.vlans[1].untagged_dports, ['xe4', 'xe5', 'xe10', 'ge1'])

    def test_vlan_not_remembered_when_not_stored(self):
        a = make_asic(outputs={
            'vlan show 600': 'vlan 600\tports xe0 (0x2), untagged xe0 (0x2)\n',
            'ports xe0': 'h1\nh2\n',
            'vlan show 601': 'vlan 601\tports xe0 (0x2)\nuntagged xe0\n'})
        for vid, cmds in [(999, ['vlan show 999']),
                          (600, ['vlan show 600', 'ports xe0']),
                          (601, ['vlan show 601'])]:
            sim.reset_log()
            self.assertFalse(a._is_port_untagged_for_vid('xe0', vid))
            self.assertFalse(a._is_port_untagged_for_vid('xe0', vid))
            self.assertEqual(sim.commands(), cmds * 2)
            self.assertNotIn(vid, a.vlans)
        sim.reset_log()
        self.assertFalse(a._is_port_untagged_for_vid('xe0', -1))
        self.assertEqual(sim.commands(), [])

    def test_vlan_keyed_by_printed_number(self):
        a = make_asic(outputs={
            'vlan show 700': 'noise\nvlan 0701  ports xe0, untagged xe0(1),ge0 MCAST_FLOOD\nvlan 702 untagged xe1\n',
            'ports xe0(1),ge0': 'h1\nh2\n  xe0(  1) up\n ge0 up\nxe3(x)(y) down\n'})
        sim.reset_log()
        self.assertFalse(a._is_port_untagged_for_vid('xe0', 700))
        self.assertEqual(sim.commands(), ['vlan show 700', 'ports xe0(1),ge0'])
        self.assertEqual(a.vlans[701].untagged_dports, ['xe0', 'ge0', 'xe3'])
        self.assertNotIn(700, a.vlans)


class ReplicationGroupsTest(unittest.TestCase):

    def groups(self, text, name='riot_off'):
        a = make_asic(name, {'multicast show': text})
        return dict((gid, ([(e.linux_port, e.intf, e.vlan, e.evid) for e in g.l2_encaps],
                           [(e.linux_port, e.intf, e.vlan, e.evid) for e in g.l3_encaps]))
                    for gid, g in a.replication_groups.items())

    def test_member_lines(self):
        got = self.groups(
            'multicast groups\n'
            'Group 0x2000005 (IPMC)\n'
            '\tport xe0, encap id 5\n'
            'port xe1, encap id 5\n'
            '  port cpu0, encap id 5\n'
            '\tport xe4, encap id +6 (refcount 2)\n'
            '\tport xe5, encap id -1\n'
            '\tport xe6, encap id -2\n'
            '\tport xe7, encap id 99\n'
            '\tport xe8 encap id 7\n'
            '\tport xe11, encap id 9\n')
        self.assertEqual(got, {0x2000005: (
            [('swp6', -1, -1, -1)],
            [('swp1', 5, 100, -1), ('swp5', 6, 200, 200), ('swp7', -2, -1, -1),
             ('swp8', 99, -1, -1), ('swp12', 9, 3001, 500)])})

    def test_group_pieces(self):
        got = self.groups(
            'Group 0x1000001 (L2)\n\tport xe0, encap id -1\n'
            'Group 0x2000005 (IPMC, L2 copies)\n\tport xe0, encap id 5\n'
            'Group 2000006 (IPMC)\n\tport xe0, encap id 5 Group 0x2000007 (IPMC)\n'
            '\tport xe6, encap id 6\n'
            'Group 0x2000008 (IPMC)\n\tport xe0, encap id 5\n'
            'Group 0x2000008 (IPMC)\n\tport xe6, encap id 6\n'
            'Group 0X200000A\n'
            'Group\n\tport xe1, encap id -1\n')
        self.assertEqual(got, {
            0x2000006: ([], [('swp1', 5, 100, -1)]),
            0x2000007: ([], [('swp7', 6, 200, -1)]),
            0x2000008: ([], [('swp7', 6, 200, -1)]),
            0x200000a: ([], []),
        })

    def test_riot_on_encap_ids_are_next_hop_indexes(self):
        # Without the daemon's next-hop map the ids are taken as they are.
        got = self.groups('Group 0x2000005 (IPMC)\n\tport xe0, encap id 5\n'
                          '\tport xe1, encap id 100020\n', 'riot_on')
        self.assertEqual(got, {0x2000005: ([], [('swp1', 5, 100, -1), ('swp2', 100020, -1, -1)])})

    def test_empty_output(self):
        for text in ('', 'no multicast groups\n'):
            self.assertEqual(self.groups(text), {})


class IpmcTableTest(unittest.TestCase):

    def test_heading_positions(self):
        a = make_asic(outputs={'ipmc table show': (
            'SRC a b MC c d VLAN GROUP VRF\n'
            '10.9.9.9 239.9.9.9 1 2 3\n'
            '10.1.1.1 239.1.1.1 100 5 0\n'
            '\n'
            '10.1.1.2 239.1.1.2 101\n'
            '10.1.1.3 239.1.1.3 102 1f 1\n'
            '10.1.1.4 239.1.1.4 -103 0x1F 0 trailing words\n')})
        self.assertEqual(routes(a), {
            'default, (10.1.1.1,239.1.1.1)': ('10.1.1.1', '239.1.1.1', 100, 0x2000005, 'default'),
            'red, (10.1.1.3,239.1.1.3)': ('10.1.1.3', '239.1.1.3', 102, 0x200001f, 'red'),
            'default, (10.1.1.4,239.1.1.4)': ('10.1.1.4', '239.1.1.4', -103, 0x200001f, 'default'),
        })

    def test_later_row_replaces_and_short_rows_are_skipped(self):
        a = make_asic(outputs={'ipmc table show': IPMC_HEAD + (
            '10.1.1.1 239.1.1.1 100 0 0 y 5 0 0 y\n'
            '10.1.1.1 239.1.1.1 200 0 0 y 6 0 0 y\n'
            '10.1.1.2 239.1.1.2 100 0 0 y\n'
            '10.1.1.3 239.1.1.3 100 0 0 y 7\n'
            'Total IPMC entries: 4\n')})
        # The last row reaches GROUP but has no VRF word: skipped.
        self.assertEqual(routes(a), {
            'default, (10.1.1.1,239.1.1.1)': ('10.1.1.1', '239.1.1.1', 200, 0x2000006, 'default')})

    def test_no_rows(self):
        a = make_asic(outputs={'ipmc table show': IPMC_HEAD})
        self.assertEqual(a.mroutes, {})


class MemoryDumpTest(unittest.TestCase):

    def test_same_routes_as_the_table(self):
        for variant in ('riot_off', 'riot_on'):
            table = make_asic(variant)
            dump = make_asic(variant, use_mem_table=True)
            self.assertEqual(routes(dump), routes(table), variant)

    def test_entries(self):
        sw = sim.load('riot_off')
        sw.vrfs.update({16: 'blue', 10: 'green'})
        sw.outputs[DUMP] = (
            'L3_ENTRY_IPV4_MULTICAST.ipipe0[0]: <VALID_1=1,GROUP_IP_ADDR=0xe0000001,L3MC_INDEX=1f>\n'
            'T[1]: <VALID_0=0,VALID_1=0,GROUP_IP_ADDR=0xe0000002>\n'
            'T[2]: <GROUP_IP_ADDR=0xe0000003,L3MC_INDEX=3>\n'
            'T[3]: <VALID_0=1,GROUP_IP_ADDR=0xE0000004,VRF_ID=0x10,EXPECTED_L3_IIF=0x64>\n'
            'T[4]: <VALID_0=1,GROUP_IP_ADDR=e0000005,SOURCE_IP_ADDR=ffffffff,VRF_ID=10,'
            'EXPECTED_L3_IIF=100,L3MC_INDEX=0x2000006>\n'
            'T[5]: <VALID_0=1, GROUP_IP_ADDR=0xe0000006>\n'
            'T[6] <VALID_0=1,GROUP_IP_ADDR=0xe0000007>\n'
            'T[7]: <VALID_0=-1,GROUP_IP_ADDR=0xe0000008,SOURCE_IP_ADDR=0x0>\n')
        sim.use_switch(sw)
        a = corvane().Asic(use_mem_table=True)
        self.assertEqual(routes(a), {
            'default, (0.0.0.0,224.0.0.1)': ('0.0.0.0', '224.0.0.1', 0, 0x200001f, 'default'),
            'blue, (0.0.0.0,224.0.0.4)': ('0.0.0.0', '224.0.0.4', 100, 0x2000000, 'blue'),
            'green, (255.255.255.255,224.0.0.5)':
                ('255.255.255.255', '224.0.0.5', 100, 0x2000006, 'green'),
            'default, (0.0.0.0,224.0.0.8)': ('0.0.0.0', '224.0.0.8', 0, 0x2000000, 'default'),
        })


class FieldDictTest(unittest.TestCase):

    def test_cases(self):
        build = make_asic()._field_dict_build
        cases = [
            ('T[12]: <A=1,B,C=2=3>', ('12', {'A': '1', 'C': '2'})),
            ('X.ipipe0[0]: <VALID_0=1>', ('0', {'VALID_0': '1'})),
            ('X[3]: <A=1,A=2,=5,D=>', ('3', {'A': '2', '': '5', 'D': ''})),
            ('X[4]: <A=1>junk>', ('4', {'A': '1>junk'})),
            ('X[5]: <A=1> Y[6]: <B=2>', ('5', {'A': '1'})),
            ('noise X[7]: <A=1>\n', ('7', {'A': '1'})),
            ('[12]: <A=1, B=2>', (None, {})),
            ('X[5]:<A=1>', (None, {})),
            ('X[a]: <A=1>', (None, {})),
            ('X[8]: <>', (None, {})),
            ('', (None, {})),
        ]
        for line, want in cases:
            self.assertEqual(build(line), want, line)


if __name__ == '__main__':
    unittest.main()
