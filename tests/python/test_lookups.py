"""The port and VLAN look-ups over the tables a construction read, the RIOT
ingress-interface mapping, and the command runner."""

import errno
import os
import unittest

import nvtest
import sim
from nvtest import corvane, make_asic


class PortLookupTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.asic = make_asic('riot_off', {
            'show portmap': nvtest.sim.load('riot_off').outputs['show portmap'] +
            'xe0       1     50       200       9    9    50\n'
            'xe12      1     51       201       9    9    51\n',
            'vlan translate show': (
                'modid = 0 port = 36, old_vid=300, new_vid=3000\n'
                'modid = 0 port = 36, old_vid=301, new_vid=3000\n'
                'modid = 0 port = 36, old_vid=300, new_vid=3002\n'
                'new_vid=3000, old_vid=302\n')})

    def test_grp_ip2mac(self):
        f = self.asic._grp_ip2mac
        for grp, mac in [('239.1.2.3', '01:00:5e:01:02:03'),
                         ('224.129.255.10', '01:00:5e:01:ff:0a'),
                         ('224.0.0.1', '01:00:5e:00:00:01'),
                         ('239.255.255.255', '01:00:5e:7f:ff:ff'),
                         ('1.2.3.4.5', '01:00:5e:02:03:04')]:
            self.assertEqual(f(grp), mac, grp)
        for grp, kind in [('239.1.2', IndexError), ('239.1.2.x', ValueError),
                          ('x.1.2.3', ValueError), ('1.2.3.4.y', ValueError), ('', ValueError)]:
            self.assertRaises(kind, f, grp)

    def test_dport2logical_port(self):
        f = self.asic._dport2logical_port
        for dport, lport in [('xe6', 34), ('cpu0', 0), ('xe0', 1), ('xe12', 51),
                             ('XE6', -1), ('swp7', -1), ('', -1)]:
            self.assertEqual(f(dport), lport, dport)

    def test_get_logical_port_and_pvid(self):
        f = self.asic._get_logical_port_and_pvid
        for name, want in [('swp7', (34, 200)), ('swp1', (1, 100)), ('swp99', (-1, -1)),
                           (None, (0, 1)), ('', (-1, -1))]:
            got = f(name)
            self.assertEqual(tuple(got), want, name)
        # xe12 is unknown to the port table and sits after cpu0
        a = make_asic('riot_off', {'pvlan show': 'Port xe0 default VLAN is 100\n'})
        self.assertEqual(tuple(a._get_logical_port_and_pvid('swp2')), (2, -1))
        self.assertEqual(tuple(a._get_logical_port_and_pvid(None)), (0, -1))

    def test_ivid2evid(self):
        f = self.asic._ivid2evid
        sim.reset_log()
        for dport, ivid, evid in [('xe8', 3000, 300),    # first matching translation
                                  ('xe8', 3002, 300),
                                  ('xe12', 3000, 3000),  # port without a Linux name
                                  ('xe99', 3000, 3000),  # port not in the port map
                                  ('xe99', 4, 4),
                                  ('xe6', -1, -1)]:
            self.assertEqual(f(dport, ivid), evid, (dport, ivid))
        self.assertEqual(sim.commands(), ['vlan show 3000'])
        sim.reset_log()
        self.assertEqual(f('xe6', 200), -1)     # untagged member, VLAN already read
        self.assertEqual(f('xe4', 200), 200)    # tagged member
        self.assertEqual(sim.commands(), [])
        self.assertEqual(f('xe10', 1), -1)
        self.assertEqual(f('xe0', 1), 1)
        self.assertEqual(sim.commands(), ['vlan show 1', 'ports xe4-xe5,xe10,ge1'])

    def test_evid2ivid(self):
        f = self.asic._evid2ivid
        for lport, evid, ivid in [(36, 300, 3000), (36, 301, 3000), (36, 303, -1),
                                  (37, 300, -1), (-1, 302, 3000), (-1, 300, -1),
                                  ('36', 300, -1), (36, '300', -1)]:
            self.assertEqual(f(lport, evid), ivid, (lport, evid))

    def test_arguments_of_any_kind_compare_as_the_host_compares(self):
        # An integer never equals a text, None only None; a VLAN that has to
        # be read must be a number ("vlan show %d").
        marker = object()
        big = 2 ** 70
        cases = [
            (self.asic._dport2logical_port, (34,), -1),
            (self.asic._dport2logical_port, (None,), -1),
            (self.asic._dport2logical_port, (u'xe6',), 34),
            (self.asic._get_logical_port_and_pvid, (34,), (-1, -1)),
            (self.asic._get_logical_port_and_pvid, (marker,), (-1, -1)),
            (self.asic._get_logical_port_and_pvid, (u'swp7',), (34, 200)),
            (self.asic._evid2ivid, (big, 300), -1),
            (self.asic._evid2ivid, (36L, 300L), 3000),
            (self.asic._is_port_untagged_for_vid, (None, 200), False),
            (self.asic._is_port_untagged_for_vid, (6, 200), False),
            (self.asic._ivid2evid, ('xe99', 'x'), 'x'),   # not in the port map: as given
            (self.asic._ivid2evid, (None, marker), marker),
        ]
        for f, args, want in cases:
            got = f(*args)
            self.assertEqual(tuple(got) if isinstance(got, tuple) else got, want, (f, args))
        self.assertIs(self.asic._ivid2evid(None, marker), marker)
        for f, args in [(self.asic._is_port_untagged_for_vid, ('xe6', '200')),
                        (self.asic._ivid2evid, ('xe8', '3000')),
                        (self.asic._parse_vlan, (None,))]:
            with self.assertRaises(TypeError) as cm:
                f(*args)
            self.assertTrue(str(cm.exception).startswith('%d format: a number is required'),
                            (args, str(cm.exception)))

    def test_untagged_test_of_no_vlan_runs_nothing(self):
        sim.reset_log()
        self.assertFalse(self.asic._is_port_untagged_for_vid('xe0', -1))
        self.assertEqual(sim.commands(), [])


class RiotMappingTest(unittest.TestCase):

    def test_riot_detection(self):
        cases = [('0x0\n', False), ('0\n', False), ('  0X00  \r\n', False), ('-0x0', False),
                 ('0x1\n', True), ('1f\n', True), ('0x80000000\n', True), ('-1\n', True)]
        for text, on in cases:
            a = make_asic('riot_on', {'sc L3IngressMode': text})
            self.assertIs(a.riot_enable, on, text)
            self.assertEqual('listmem VLAN' in sim.commands(), on, text)
            self.assertEqual(a.vlan_riot_memtable, 'VLAN' if on else '', text)
            self.assertEqual(hasattr(a, 'l3_intf_nhi'), on, text)

    def test_memtable_name(self):
        for text, name in [('  <212:201> L3_IIF<11:0>\n', 'VLAN'),
                           ('  <212:201> L3_IIF <11:0>\n  <1> l3_iif<0>\n', 'VLAN_MPLS'),
                           ('', 'VLAN_MPLS')]:
            a = make_asic('riot_on', {'listmem VLAN': text})
            self.assertEqual(a.vlan_riot_memtable, name)

    def test_hw_vlan_to_iif_riot_off(self):
        a = make_asic('riot_off')
        for vlan, iif in [(-1, None), (-5, None), (0, 0), (100, 100), (5000, 5000)]:
            self.assertEqual(a._hw_vlan_to_iif(vlan), iif, vlan)
        self.assertEqual(sim.gettable_calls(), [])
        self.assertEqual(a.vlan_riot, {})

    def test_hw_vlan_to_iif_riot_on(self):
        a = make_asic('riot_on')
        self.assertIsNone(a._hw_vlan_to_iif(-1))
        self.assertEqual(a._hw_vlan_to_iif(100), 8197)
        self.assertEqual(a._hw_vlan_to_iif(100), 8197)
        self.assertEqual(a._hw_vlan_to_iif(3000), 8199)
        self.assertEqual(sim.gettable_calls(), [
            ('VLAN', {'fields': True, 'start': 100, 'entries': 1}),
            ('VLAN', {'fields': True, 'start': 3000, 'entries': 1})])
        self.assertEqual(a.vlan_riot, {100: 8197, 3000: 8199})

    def test_hw_vlan_to_iif_secondary_table(self):
        sw = sim.load('riot_on')
        sw.outputs['listmem VLAN'] = 'Memory: VLAN.ipipe0\n  <0> VALID<0:0>\n'
        sw.memtables = {'VLAN_MPLS': {200: {'L3_IIF': 77, 'VALID': 1}, 0: {'L3_IIF': 5}}}
        sim.use_switch(sw)
        with nvtest.quiet_stderr():
            a = corvane().Asic()
        self.assertEqual((a._hw_vlan_to_iif(200), a._hw_vlan_to_iif(0)), (77, 5))
        self.assertEqual([t for t, _ in sim.gettable_calls()], ['VLAN_MPLS', 'VLAN_MPLS'])

    def test_hw_vlan_to_iif_failures_store_nothing(self):
        sw = sim.load('riot_on')
        sw.memtables['VLAN'][55] = {'VALID': 1}
        sim.use_switch(sw)
        with nvtest.quiet_stderr():
            a = corvane().Asic()
        self.assertRaises(IndexError, a._hw_vlan_to_iif, 999)   # no row
        self.assertRaises(KeyError, a._hw_vlan_to_iif, 55)      # no L3_IIF field
        self.assertEqual(a.vlan_riot, {})
        self.assertEqual(len(sim.gettable_calls()), 2)

    def test_kern_iif_to_hw_vlan(self):
        a = make_asic('riot_off')
        f = a._kern_iif_to_hw_vlan
        cases = [
            (('bridge', 'br0', 10, 'swp7'), 10),
            (('bridge', 'br0', 10, ''), 10),
            (('bridge', 'br0', -1, 'swp7'), 200),
            (('bridge', 'br0', -1, 'swp7.200'), -1),
            (('vlan', 'vlan100', 100, 'swp1'), 100),
            (('swp', 'swp9', -1, 'swp9.300'), 3000),
            (('swp', 'swp9', -1, 'swp9.300.7'), 3000),
            (('swp', 'swp9', -1, 'swp9.301'), -1),
            (('swp', 'swp9', -1, 'swp9'), 4094),
            (('swp', 'swp99', -1, 'swp99'), -1),
            (('swp', 'swp99', -1, 'swp99.300'), -1),
            (('bond', 'bond0', -1, ''), -1),
            (('bond', 'bond0', -1, None), -1),
        ]
        for args, want in cases:
            self.assertEqual(f(*args), want, args)
        self.assertRaises(ValueError, f, 'swp', 'swp9', -1, 'swp9.x')
        self.assertRaises(ValueError, f, 'swp', 'swp9', -1, 'swp9.')

    def test_lookups_follow_the_hosts_changes_to_tables_read_before(self):
        # The same lookups answered first while the tables are the
        # checker's own, then after the host changed them in every way.
        a = make_asic('riot_off')
        f = a._kern_iif_to_hw_vlan
        self.assertEqual(f('swp', 'swp9', -1, 'swp9.300'), 3000)
        self.assertEqual(f('swp', 'swp9', -1, 'swp9'), 4094)
        self.assertEqual(a._dport2logical_port('xe8'), 36)
        self.assertEqual(a._ivid2evid('xe8', 3000), 300)

        entry = [e for e in a.portmap if e.linux_port == 'swp9'][0]
        x = [x for x in a.vlan_xlate if x.evid == 300][0]
        x.ivid = 3333                    # a record changed in place
        self.assertEqual(f('swp', 'swp9', -1, 'swp9.300'), 3333)
        self.assertEqual(a._ivid2evid('xe8', 3333), 300)
        entry.linux_port = 'swp77'       # the port renamed
        self.assertEqual(f('swp', 'swp9', -1, 'swp9'), -1)
        self.assertEqual(f('swp', 'swp77', -1, 'swp77.300'), 3333)
        entry.dport = 'xe88'
        self.assertEqual(a._dport2logical_port('xe8'), -1)
        self.assertEqual(a._dport2logical_port('xe88'), 36)
        a.portmap.insert(0, type(entry)('xe1', 99, 'swp77'))  # an earlier match
        self.assertEqual(tuple(a._get_logical_port_and_pvid('swp77')), (99, -1))
        a.vlan_xlate[:] = []             # emptied through a slice
        self.assertEqual(f('swp', 'swp77', -1, 'swp77.300'), -1)
        a.portmap = []                   # a table replaced
        self.assertEqual(a._dport2logical_port('xe88'), -1)


class CommandRunnerTest(unittest.TestCase):

    def test_outcomes(self):
        run = corvane().Asic._get_cmd_output
        cases = [
            ((['/bin/echo', 'hi'],), 'hi\n'),
            ((['echo', '-n', ''], 'fallback'), ''),
            ((['/bin/false'],), None),
            ((['/bin/false'], ''), ''),
            ((['sh', '-c', 'printf out; exit 1'], 'fb'), 'fb'),
            ((['sh', '-c', 'printf "a\\r\\nb\\0c  "'],), 'a\r\nb\0c  '),
            ((['sh', '-c', 'echo noise >&2; printf ok'], 'x'), 'ok'),
            ((['sh', '-c', 'exit 3'], '{}'), '{}'),
        ]
        for args, want in cases:
            self.assertEqual(run(*args), want, args)
        self.assertEqual(run(['/bin/false'], dispStr='d'), 'd')
        fallback = object()
        self.assertIs(run(['/bin/false'], fallback), fallback)
        self.assertEqual(run(cmdList=['/bin/echo', 'k']), 'k\n')
        self.assertEqual(make_asic()._get_cmd_output(['/bin/echo', 'on an object']),
                         'on an object\n')

    def test_program_that_cannot_start(self):
        run = corvane().Asic._get_cmd_output
        d = nvtest.tempdir(self)
        plain = os.path.join(d, 'not-executable')
        open(plain, 'w').close()
        for argv, code in [(['/nonexistent/program'], errno.ENOENT),
                           (['no-such-program-on-path'], errno.ENOENT),
                           ([plain], errno.EACCES)]:
            try:
                run(argv, 'fallback')
            except OSError as e:
                self.assertEqual(e.errno, code, argv)
            else:
                self.fail('no OSError for %r' % argv)

    def test_standard_error_discarded_and_input_inherited(self):
        code = ('from norvask import corvane\n'
                'import sys\n'
                'sys.stdout.write(repr(corvane.Asic._get_cmd_output('
                '["sh", "-c", "echo to-stderr >&2; cat"])))\n')
        proc = nvtest.subprocess.Popen([nvtest.PYTHON, '-B', '-c', code],
                                       stdin=nvtest.subprocess.PIPE,
                                       stdout=nvtest.subprocess.PIPE,
                                       stderr=nvtest.subprocess.PIPE,
                                       env=nvtest.child_env())
        out, err = proc.communicate('from stdin\n')
        self.assertEqual(proc.returncode, 0, err)
        self.assertEqual(out, repr('from stdin\n'))
        self.assertNotIn('to-stderr', err)


if __name__ == '__main__':
    unittest.main()
