"""Constructing the checker on the simulated switch: the commands in the
order sent, the instance attributes it leaves, shell time-outs and the other
errors that end a construction."""

import socket
import unittest

import nvtest
import sim
from nvtest import corvane, make_asic

OFF = nvtest.CONSTRUCTION_OFF


def riot_on_commands(commands_between):
    return OFF[:5] + ['listmem VLAN', 'multicast show'] + commands_between + ['ipmc table show']


class CommandOrderTest(unittest.TestCase):

    def test_riot_off(self):
        make_asic('riot_off')
        self.assertEqual(sim.commands(), OFF)
        self.assertEqual(sim.gettable_calls(), [])

    def test_use_mem_table(self):
        make_asic('riot_off', use_mem_table=True)
        self.assertEqual(sim.commands(), OFF[:-1] + ['dump chg l3_entry_ipv4_multicast'])

    def test_riot_on_without_daemon_file(self):
        # With no next-hop map every encap id stays a next-hop index, which no
        # L3 interface has: no VLAN is looked up.
        make_asic('riot_on')
        self.assertEqual(sim.commands(), riot_on_commands([]))
        self.assertEqual(sim.gettable_calls(), [])

    def test_riot_on_use_mem_table(self):
        make_asic('riot_on', use_mem_table=True)
        self.assertEqual(sim.commands()[-1], 'dump chg l3_entry_ipv4_multicast')
        self.assertNotIn('ipmc table show', sim.commands())


class AttributesTest(unittest.TestCase):

    PORTMAP = [('cpu0', 0, None, 1), ('xe0', 1, 'swp1', 100), ('xe1', 2, 'swp2', 100),
               ('xe2', 3, 'swp3', 100), ('xe3', 4, 'swp4', 100), ('xe4', 5, 'swp5', 1),
               ('xe5', 6, 'swp6', 1), ('xe6', 34, 'swp7', 200), ('xe7', 35, 'swp8', 200),
               ('xe8', 36, 'swp9', 4094), ('xe9', 37, 'swp10', 4093), ('xe10', 38, 'swp11', 1),
               ('xe11', 39, 'swp12', 4092), ('ge0', 40, 'swp13', 100), ('ge1', 41, 'swp14', 1)]
    L3_INTFS = {5: 100, 6: 200, 7: 3000, 8: 4093, 9: 3001, 10: 4094, 11: 4092}

    @classmethod
    def setUpClass(cls):
        cls.asic = make_asic('riot_off')

    def test_frame(self):
        a = self.asic
        self.assertEqual(a.desc, 'asic')
        self.assertIs(a.debug, False)
        self.assertIs(a.kestrad_debug_enabled, False)
        self.assertIs(a.nq_mroute_kestrad_debug_enabled, False)
        self.assertEqual(list(a.linux_ports), ['swp%d' % i for i in range(1, 15)])
        self.assertIn('swp3', a.linux_ports)

    def test_kernel_caches_start_empty(self):
        a = self.asic
        for name in ('kern_dev_cache', 'kern_mdb_cache', 'kern_vlan_cache',
                     'kern_vlan_dev_cache', 'kern_br_cache'):
            self.assertEqual(getattr(a, name), {}, name)
            self.assertIsInstance(getattr(a, name), dict, name)
        self.assertIs(a.flood_mdb_misses, True)
        self.assertIs(a.kern_vlan_cache_created, False)
        self.assertIs(a.kern_vlan_dev_cache_created, False)

    def test_absent_attributes(self):
        self.assertFalse(hasattr(self.asic, 'tmp_encaps'))
        self.assertFalse(hasattr(self.asic, 'l3_intf_nhi'))

    def test_port_tables(self):
        a = self.asic
        self.assertIsInstance(a.portmap, list)
        self.assertEqual([(e.dport, e.logical_port, e.linux_port, e.port_vid) for e in a.portmap],
                         self.PORTMAP)
        self.assertIs(type(a.portmap[1].logical_port), int)
        self.assertEqual(a.l3_intfs, self.L3_INTFS)
        self.assertEqual([(x.lport, x.ivid, x.evid) for x in a.vlan_xlate],
                         [(36, 3000, 300), (39, 3001, 500)])
        self.assertEqual(sorted(a.vlans), [100, 200, 4093])
        self.assertEqual(a.vlans[100].untagged_dports, ['xe0', 'xe1', 'xe2', 'xe3', 'ge0'])
        self.assertEqual(a.vlans[200].vid, 200)
        self.assertEqual(a.vlan_riot, {})
        self.assertIs(a.riot_enable, False)
        self.assertEqual(a.vlan_riot_memtable, '')

    def test_replication_groups(self):
        groups = self.asic.replication_groups
        self.assertEqual(sorted(groups),
                         [0x2000005, 0x2000006, 0x2000007, 0x2000008, 0x200000b])
        g = groups[0x2000005]
        self.assertEqual(g.mcast_grp, 0x2000005)
        self.assertEqual([(e.linux_port, e.bcm_dport, e.intf, e.vlan, e.evid) for e in g.l3_encaps],
                         [('swp5', 'xe4', 6, 200, 200), ('swp7', 'xe6', 6, 200, -1),
                          ('swp9', 'xe8', 7, 3000, 300), ('swp10', 'xe9', 8, 4093, -1)])
        self.assertEqual([(e.linux_port, e.bcm_dport, e.intf, e.vlan, e.evid) for e in g.l2_encaps],
                         [('swp2', 'xe1', -1, -1, -1), ('swp3', 'xe2', -1, -1, -1)])
        self.assertEqual(groups[0x2000008].get_l3_linux_encaps(), set(['swp12.500']))
        self.assertEqual((groups[0x200000b].l2_encaps, groups[0x200000b].l3_encaps), ([], []))

    def test_mroutes(self):
        mroutes = self.asic.mroutes
        self.assertEqual(sorted(mroutes), nvtest.ROUTE_KEYS)
        for key, (sip, dip, iif, _, grp, vrf) in nvtest.ROUTES.items():
            r = mroutes[key]
            self.assertEqual((r.sip, r.dip, r.iif, r.grp, r.vrf), (sip, dip, iif, grp, vrf))
            self.assertEqual((r.iif_mismatch, r.oil_mismatch), ([], []))

    def test_riot_on(self):
        a = make_asic('riot_on')
        self.assertIs(a.riot_enable, True)
        self.assertEqual(a.vlan_riot_memtable, 'VLAN')
        self.assertEqual(a.vlan_riot, {})
        self.assertEqual(a.l3_intf_nhi, {})
        self.assertIs(a.kestrad_debug_enabled, False)
        # switched on for the read and off again
        self.assertIs(a.nq_mroute_kestrad_debug_enabled, False)
        self.assertEqual(a.mroutes['default, (10.1.1.10,239.1.1.1)'].iif, 8197)
        self.assertFalse(hasattr(a, 'tmp_encaps'))


class TimeoutTest(unittest.TestCase):
    """A shell time-out reaches the host as RuntimeError with the reader's
    text, and the construction stops at that command."""

    CASES = [  # variant, command, text
        ('riot_off', 'show portmap', 'show portmap timed out'),
        ('riot_off', 'pvlan show', 'pvlan show'),
        ('riot_off', 'l3 intf show', 'l3 intf show'),
        ('riot_off', 'vlan translate show', 'vlan translate show'),
        ('riot_off', 'sc L3IngressMode', 'sc L3IngressMode timed out'),
        ('riot_on', 'listmem VLAN', 'listmem VLAN'),
        ('riot_off', 'multicast show', 'multicast show'),
        ('riot_off', 'vlan show 200', 'vlan show 200'),
        ('riot_off', 'ports xe6-xe7', 'ports xe6-xe7'),
        ('riot_off', 'ports xe0-xe3,ge0', 'ports xe0-xe3,ge0'),
        ('riot_off', 'ipmc table show', 'ipmc table show timed out'),
    ]

    def assert_timeout(self, text, func, *args):
        try:
            func(*args)
        except RuntimeError as e:
            self.assertIs(type(e), RuntimeError)
            self.assertEqual(e.args, (text,))
        else:
            self.fail('no RuntimeError for %r' % text)

    def test_construction(self):
        for variant, cmd, text in self.CASES:
            nvtest.switch(variant)
            sim.fail(cmd)
            with nvtest.quiet_stderr():
                self.assert_timeout(text, corvane().Asic)
            self.assertEqual(sim.commands()[-1], cmd)

    def test_memory_dump(self):
        nvtest.switch('riot_off')
        sim.fail('dump chg l3_entry_ipv4_multicast')
        self.assert_timeout('dump chg l3_entry_ipv4_multicast', corvane().Asic, True)

    def test_host_operations(self):
        a = make_asic('riot_off')
        sim.fail('l3 egress show', 'show unit')
        self.assert_timeout('l3 show', a.get_l3_egress, '100001')
        self.assert_timeout('show unit timed out', a._is_1G_chip)

    def test_lazy_vlan_read(self):
        a = make_asic('riot_off')
        sim.fail('vlan show 1')
        self.assert_timeout('vlan show 1', a._is_port_untagged_for_vid, 'xe4', 1)
        self.assert_timeout('vlan show 1', a._ivid2evid, 'xe10', 1)

    def test_any_io_error_counts_as_a_timeout(self):
        nvtest.switch('riot_off')
        sim.raise_on('pvlan show', socket.timeout('timed out'))
        self.assert_timeout('pvlan show', corvane().Asic)


class OtherErrorsTest(unittest.TestCase):
    """Errors other than the client's I/O error pass out of construction
    unchanged."""

    def construct(self, outputs=None, name='riot_off', mem=False):
        return make_asic(name, outputs, mem)

    def test_client_errors_pass_through(self):
        for exc in (KeyError('no such unit'), OSError(5, 'gone'), ValueError('bad reply')):
            nvtest.switch('riot_off')
            sim.raise_on('l3 intf show', exc)
            try:
                corvane().Asic()
            except Exception as e:
                self.assertIs(e, exc)
            else:
                self.fail('no error')

    def test_client_run_is_looked_up_on_each_call(self):
        a = make_asic('riot_off')
        sent = []

        def run(cmd):
            sent.append(cmd)
            return 'a\nb\nc\n100001 m 1 2 3 4 5 6 7 8 mine\n'
        a.bcm.run = run
        self.assertEqual(a.get_l3_egress('100001'), ('m', 'mine'))
        self.assertEqual(sent, ['l3 egress show'])
        a.bcm.run = 5
        try:
            a.get_l3_egress('100001')
        except TypeError as e:
            self.assertEqual(str(e), "attribute of type 'int' is not callable")
        else:
            self.fail('no error')
        del a.bcm.run
        self.assertEqual(a.get_l3_egress('100001'), ('44:38:39:00:00:33', 'no'))

    def test_parse_errors(self):
        head = nvtest.sim.load('riot_off').outputs['ipmc table show'].splitlines(True)[:2]
        cases = [
            ({'sc L3IngressMode': 'L3IngressMode: unknown\n'}, ValueError),
            ({'ipmc table show': ''}, IndexError),
            ({'ipmc table show': 'SRC IP ADDRESS  MC IP ADDRESS  VLAN GROUP\n'}, ValueError),
            ({'ipmc table show': ''.join(head) +
              '10.1.1.1 239.1.1.1 abc 0 0 y 5 0 0 y\n'}, ValueError),
            ({'ipmc table show': ''.join(head) +
              '10.1.1.1 239.1.1.1 100 0 0 y xyz 0 0 y\n'}, ValueError),
            ({'multicast show': 'Group zz (IPMC)\n\tport xe0, encap id 5\n'}, ValueError),
            ({'multicast show': 'Group 0x2000005 (IPMC)\n\tport xe99, encap id -1\n'}, KeyError),
            ({'l3 intf show': 'Free L3INTF entries: 8184\n'}, IndexError),
            ({'l3 intf show': 'x\nUnit Intf VRF\n---\n0 5 0\n'}, ValueError),
            ({'l3 intf show': 'x\nUnit Intf VRF VLAN\n---\n0 five 0 100\n'}, ValueError),
            ({'show portmap': '  pipe logical\nxe0 0 one\n'}, ValueError),
            ({'show portmap': '  pipe logical\nxe0 0\n'}, IndexError),
            ({'vlan translate show': 'modid = 0 port = 36, old_vid=x\n'}, ValueError),
            ({'vlan translate show': 'modid = 0 port = 36, KeyType\n'}, IndexError),
            ({'vlan translate show': 'modid = 0 port = 36, old_vid=300\n\n'}, IndexError),
            ({'ports xe0-xe3,ge0': 'h1\nh2\n xe0(1) up\n\n ge0(40) up\n'}, IndexError),
        ]
        for outputs, kind in cases:
            self.assertRaises(kind, self.construct, outputs)

    def test_memory_dump_errors(self):
        dump = 'dump chg l3_entry_ipv4_multicast'
        cases = [
            ('T[1]: <VALID_0=1,SOURCE_IP_ADDR=0xa000001>\n', KeyError),
            ('T[1]: <VALID_0=1,GROUP_IP_ADDR=0xefzz>\n', ValueError),
            ('T[1]: <VALID_0=yes,GROUP_IP_ADDR=0xe0000001>\n', ValueError),
            ('T[1]: <VALID_1=1,GROUP_IP_ADDR=0xe0000001,VRF_ID=7>\n', KeyError),
        ]
        for text, kind in cases:
            self.assertRaises(kind, self.construct, {dump: text}, 'riot_off', True)

    def test_address_out_of_range(self):
        dump = 'dump chg l3_entry_ipv4_multicast'
        with self.assertRaises(Exception):
            self.construct({dump: 'T[1]: <VALID_0=1,GROUP_IP_ADDR=0x1e0000001>\n'}, mem=True)

    def test_portmap_refusals(self):
        cases = [
            ('          pipe  logical  physical\n', 'show portmap is not supported on this chip'),
            ('', 'show portmap is not supported on this chip'),
            ('Error: command not supported\nxe0 0 1\n', 'show portmap is not supported on this chip'),
            ('   pipe  physical\nxe0 0 1\n', 'show portmap format unexpected'),
            ('   pipe  Logical\nxe0 0 1\n', 'show portmap format unexpected'),
        ]
        for text, message in cases:
            try:
                self.construct({'show portmap': text})
            except RuntimeError as e:
                self.assertEqual(e.args, (message,))
                self.assertEqual(sim.commands(), ['show portmap'])
            else:
                self.fail('no error for %r' % text)


if __name__ == '__main__':
    unittest.main()
