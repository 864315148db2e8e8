"""The DNX checker constructed on the simulated DNX switch: the commands in
the order sent, the tables it reads, its dumps, its records as the host's
objects, and the errors that end a construction."""

import unittest

import nvtest
import sim
from nvtest import make_dnx_asic, yselde

COMMANDS = ['ps', 'diag pp ipv4_mc',
            'diag multicast egress 4101 members', 'diag multicast egress 4100 members',
            'diag multicast egress 4100 members', 'diag multicast egress 4102 members',
            'diag multicast egress 4103 members']

GROUP_4100 = ('  port: swp1\n'
              '  port: swp6\n'
              '  port: swp13\n'
              '  L2 replication ports:\n'
              '    port: swp8\n')
# One block per route, in key order.
DUMPS = [
    ('default, (0.0.0.0,239.1.1.2), iif: 200\n'
     '  port: swp5\n'
     '  port: swp7\n'
     '  L2 replication ports:\n'
     '    port: swp2\n'
     '    port: swp3\n'),
    'default, (10.1.1.10,239.1.1.1), iif: 100\n' + GROUP_4100,
    'default, (10.1.1.11,239.1.1.3), iif: 100\n' + GROUP_4100,
    'default, (10.1.1.12,239.1.1.4), iif: 300\n',
    'default, (10.2.2.2,239.2.2.2), iif: 4092\n'
    '  port: swp12\n',
]
KEYS = [d.split(', iif')[0] for d in DUMPS]


class ConstructionTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.asic = make_dnx_asic()
        cls.commands = sim.commands()

    def test_commands_in_order(self):
        self.assertEqual(self.commands, COMMANDS)

    def test_port_map(self):
        got = [(e.dport, e.logical_port, e.linux_port, e.port_vid) for e in self.asic.portmap]
        self.assertEqual(got[0], ('xe0', 1, 'swp1', -1))
        self.assertEqual(got[12], ('ge0', 13, 'swp13', -1))
        self.assertEqual(got[13], ('cpu0', 0, None, -1))
        self.assertEqual(len(got), 14)

    def test_routes(self):
        a = self.asic
        self.assertEqual(a.get_mroutes(), set(KEYS))
        r = a.mroutes['default, (10.1.1.10,239.1.1.1)']
        self.assertEqual((r.sip, r.dip, r.iif, r.grp, r.vrf, r.kernel_iif),
                         ('10.1.1.10', '239.1.1.1', '100', 4100, 'default', None))
        self.assertEqual((r.iif_mismatch, r.oil_mismatch), ([], []))
        # A member count of 0 stores no group.
        self.assertEqual(sorted(a.replication_groups), [4100, 4101, 4103])
        g = a.replication_groups[4103]
        e = g.l3_encaps[0]
        self.assertEqual((e.linux_port, e.bcm_dport, e.intf, e.vlan, e.evid),
                         ('swp12', 'xe11', 0x1006, 0xffc, -1))
        self.assertEqual(a.replication_groups[4101].get_l2_linux_encaps(), set(['swp2', 'swp3']))

    def test_text_and_dumps(self):
        a = self.asic
        self.assertEqual(str(a), 'Asic ip mroutes:\n' + ''.join(DUMPS))
        log = nvtest.WriteLog()
        import sys
        saved, sys.stdout = sys.stdout, log
        try:
            a.dump_mroutes()
            a.dump_mroutes([])
            a.dump_mroutes([KEYS[4], 'default, (9.9.9.9,239.9.9.9)', 7, KEYS[0]])
        finally:
            sys.stdout = saved
        self.assertEqual(log.writes, DUMPS + DUMPS + [DUMPS[4], DUMPS[0]])
        r = a.mroutes[KEYS[3]]
        self.assertEqual(a._dump_one_mroute(r), DUMPS[3])

    def test_repl_group_entry(self):
        a = self.asic
        # Group 0x1004 (4100) has the L3 targets 0x1001, 0x1002 and 0x1003.
        self.assertEqual(a.get_repl_group_entry('1004', 'x098'), 'x098')
        self.assertEqual(a.get_repl_group_entry('0x1004', 9099), 9099)
        self.assertEqual(a.get_repl_group_entry('1004', 4100), 0)
        self.assertEqual(a.get_repl_group_entry('1006', 4097), 0)


class HostObjectsTest(unittest.TestCase):

    def setUp(self):
        self.asic = make_dnx_asic()
        self.m = yselde()

    def test_records_and_tables_are_the_hosts(self):
        a = self.asic
        self.assertIs(type(a.mroutes), dict)
        self.assertIs(type(a.portmap), list)
        self.assertIs(a.mroutes, a.mroutes)
        r = a.mroutes[KEYS[1]]
        self.assertIs(r, a.mroutes[KEYS[1]])
        g = a.replication_groups[r.grp]
        self.assertIs(g, a.replication_groups[4100])
        self.assertIs(g.l3_encaps[0], g.l3_encaps[0])
        self.assertIs(r.oil_mismatch, r.oil_mismatch)
        r.seen = True
        self.assertIs(a.mroutes[KEYS[1]].seen, True)

    def test_the_kernel_iif_shows_in_place_of_the_table_iif(self):
        a = self.asic
        r = a.mroutes[KEYS[3]]
        marker = ('br', 100)
        r.kernel_iif = marker
        self.assertIs(r.kernel_iif, marker)
        r.oil_mismatch.append('kernel has OIFs not in the hw')
        self.assertEqual(str(r), "default, (10.1.1.12,239.1.1.4), iif: ('br', 100)\n"
                         "  errors:\n    kernel has OIFs not in the hw")
        self.assertIn(str(r) + '\n', str(a))
        r.kernel_iif = None
        self.assertTrue(str(r).startswith('default, (10.1.1.12,239.1.1.4), iif: 300\n'))

    def test_routes_the_host_adds(self):
        a, m = self.asic, self.m
        r = m.Hmroute('10.9.9.9', '239.9.9.9', 'rif7', 4103, 'blue')
        self.assertEqual((r.iif, r.grp, r.kernel_iif), ('rif7', 4103, None))
        self.assertRaises(TypeError, m.Hmroute, '10.9.9.9', '239.9.9.9', 7, 4103, 'blue')
        a.mroutes['blue, (10.9.9.9,239.9.9.9)'] = r
        self.assertIs(a.mroutes['blue, (10.9.9.9,239.9.9.9)'], r)
        self.assertTrue(str(a).startswith('Asic ip mroutes:\n'
                                          'blue, (10.9.9.9,239.9.9.9), iif: rif7\n'
                                          '  port: swp12\ndefault, '))
        # The host's routes are walked too, in key order.
        sim.reset_log()
        a._parse_multicast_repln_groups()
        self.assertEqual(sim.commands(), ['diag multicast egress 4103 members'] + COMMANDS[2:])

    def test_vlan_lookup_fills_the_hosts_table(self):
        a = self.asic
        vlans = a.vlans
        sim.reset_log()
        self.assertIs(a._is_port_untagged_for_vid('xe1', 100), True)
        self.assertIs(a._is_port_untagged_for_vid('xe2', 100), False)
        self.assertIs(a._is_port_untagged_for_vid('xe0', 200), False)
        self.assertIs(a._is_port_untagged_for_vid('xe0', -1), False)
        self.assertEqual(sim.commands(), ['vlan show 100', 'ports xe0,xe1', 'vlan show 200',
                                          'vlan show -1'])
        self.assertIs(a.vlans, vlans)
        self.assertEqual(vlans[100].untagged_dports, ['xe0', 'xe1'])
        self.assertEqual(a._dport2logical_port('xe10'), 11)
        a._update_portmap_port_vid('xe10', 300)
        self.assertEqual(a._get_logical_port_and_pvid('swp11'), (11, 300))

    def test_dbal_reader(self):
        a = self.asic
        a.mroutes.clear()
        self.assertIsNone(a._parse_diag_dbal_mc_table())
        self.assertEqual(sorted(a.mroutes), ['default, (10.1.1.10,239.1.1.1)',
                                             'red, (10.2.2.2,239.2.2.2)'])
        r = a.mroutes['red, (10.2.2.2,239.2.2.2)']
        self.assertEqual((r.iif, r.grp, r.vrf), ('4092', 4103, 'red'))


class FailureTest(unittest.TestCase):

    def construct(self, **outputs):
        nvtest.switch('dnx', outputs)
        return yselde().Asic()

    def test_time_outs(self):
        for cmd, text in [('ps', 'ps command timed out'),
                          ('diag pp ipv4_mc', 'diag pp ipv4_mc timed out'),
                          ('diag multicast egress 4100 members', 'diag multicast members')]:
            nvtest.switch('dnx')
            sim.fail(cmd)
            with self.assertRaises(RuntimeError) as caught:
                yselde().Asic()
            self.assertEqual(str(caught.exception), text)
            self.assertEqual(sim.commands()[-1], cmd)
        a = make_dnx_asic()
        sim.fail('vlan show 100')
        with self.assertRaises(RuntimeError) as caught:
            a._is_port_untagged_for_vid('xe0', 100)
        self.assertEqual(str(caught.exception), 'vlan show 100')

    def test_other_shell_errors_pass_unchanged(self):
        nvtest.switch('dnx')
        error = ValueError('bad reply')
        sim.raise_on('diag pp ipv4_mc', error)
        with self.assertRaises(ValueError) as caught:
            yselde().Asic()
        self.assertIs(caught.exception, error)

    def test_unreadable_outputs(self):
        cases = [
            ({'ps': 'Error: unknown command\nport\nxe0(1)\n'}, RuntimeError,
             'ps command is not supported on this chip'),
            ({'ps': 'port\n---\nxe0 up\n'}, IndexError, 'list index out of range'),
            ({'diag pp ipv4_mc': 'h\n=\n| 239.1.1.1 | 100 | 10.1.1.1 | x | commited |\n'},
             ValueError, "invalid literal for int() with base 10: 'x'"),
            ({'diag multicast egress 4103 members': 'Group: 4103\n'}, IndexError,
             'list index out of range'),
        ]
        for outputs, error, text in cases:
            with self.assertRaises(error) as caught:
                self.construct(**outputs)
            self.assertEqual(str(caught.exception), text, outputs)

    def test_a_port_the_table_cannot_map_fails_the_construction(self):
        sw = nvtest.switch('dnx')
        del sw.logical[13]
        with self.assertRaises(KeyError):
            yselde().Asic()

    def test_no_routes(self):
        a = self.construct(**{'diag pp ipv4_mc': 'Error: no such table\n'})
        self.assertEqual(sim.commands(), ['ps', 'diag pp ipv4_mc'])
        self.assertEqual((a.mroutes, a.replication_groups), ({}, {}))
        self.assertEqual(str(a), 'Asic ip mroutes:\n')


if __name__ == '__main__':
    unittest.main()
