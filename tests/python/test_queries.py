"""What the host asks of a constructed checker: its text form and dumps, the
route keys, the replication-group and egress look-ups, the chip test, and
the route-key split."""

import sys
import unittest

import nvtest
import sim
from nvtest import captured_stdout, make_asic

KEYS = nvtest.ROUTE_KEYS


class DumpTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.asic = make_asic('riot_off')

    def test_text_form(self):
        self.assertEqual(str(self.asic), nvtest.asic_text())
        self.assertEqual(str(make_asic('riot_off', use_mem_table=True)), nvtest.asic_text())

    def test_dump_all(self):
        for arg in ((), (None,), ([],), (set(),), ('',)):
            with captured_stdout() as out:
                self.assertIsNone(self.asic.dump_mroutes(*arg))
            self.assertEqual(out.getvalue(), ''.join(nvtest.route_dumps()), arg)

    def test_each_route_is_one_write(self):
        log = nvtest.WriteLog()
        saved, sys.stdout = sys.stdout, log
        try:
            self.asic.dump_mroutes()
            self.asic.dump_mroutes([KEYS[1], KEYS[3]])
        finally:
            sys.stdout = saved
        dumps = nvtest.route_dumps()
        self.assertEqual(log.writes, dumps + [dumps[1], dumps[3]])

    def test_dump_filtered(self):
        dumps = dict(zip(KEYS, nvtest.route_dumps()))
        cases = [
            ([KEYS[4], KEYS[0]], [KEYS[4], KEYS[0]]),
            ([KEYS[2], KEYS[2]], [KEYS[2], KEYS[2]]),
            (['default, (1.1.1.1,239.0.0.1)', KEYS[1], 'nonsense'], [KEYS[1]]),
            (['default, (1.1.1.1,239.0.0.1)'], []),
            ((KEYS[3],), [KEYS[3]]),
        ]
        for keys, written in cases:
            with captured_stdout() as out:
                self.asic.dump_mroutes(keys)
            self.assertEqual(out.getvalue(), ''.join(dumps[k] for k in written), keys)

    def test_notes_show_in_dumps(self):
        a = make_asic('riot_off')
        a.mroutes[KEYS[2]].iif_mismatch.append('kernel IIF does not match hw IIF')
        a.mroutes[KEYS[2]].oil_mismatch.append('kernel has OIFs not in the hw')
        with captured_stdout() as out:
            a.dump_mroutes([KEYS[2]])
        self.assertEqual(out.getvalue(),
                         'default, (10.1.1.11,239.1.1.3), iif: 3000\n'
                         '  errors:\n'
                         '    kernel IIF does not match hw IIF\n'
                         '    kernel has OIFs not in the hw\n'
                         '  port: swp1\n'
                         '  port: swp7\n')
        self.assertIn('  errors:\n', str(a))

    def test_no_routes(self):
        a = make_asic('riot_off', {'ipmc table show': 'SRC MC x x VLAN GROUP VRF x x x\n--\n'})
        self.assertEqual(str(a), 'Asic ip mroutes:\n')
        with captured_stdout() as out:
            a.dump_mroutes()
        self.assertEqual(out.getvalue(), '')
        self.assertEqual(a.get_mroutes(), set())

    def test_get_mroutes(self):
        keys = self.asic.get_mroutes()
        self.assertIsInstance(keys, set)
        self.assertEqual(keys, set(KEYS))
        keys.clear()
        self.assertEqual(self.asic.get_mroutes(), set(KEYS))
        self.assertEqual(len(self.asic.mroutes), len(KEYS))


class ReplicationGroupEntryTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.asic = make_asic('riot_off', {
            'l3 intf show': 'x\nUnit Intf VLAN\n--\n0 105 100\n0 7 200\n',
            'multicast show': ('Group 0x2000005 (IPMC)\n'
                               '\tport xe0, encap id 105\n'
                               '\tport xe1, encap id -1\n'
                               'Group 0x2000006 (IPMC)\n'
                               '\tport xe6, encap id 7\n')})

    def test_cases(self):
        get = self.asic.get_repl_group_entry
        cases = [
            (('0x2000005', '205'), '205'),
            (('2000005', '205'), '205'),
            (('0X2000005', 'x05'), 'x05'),
            (('0x2000005', 305), 305),
            (('0x2000005', '105'), '105'),
            (('0x2000005', '106'), 0),
            (('0x2000005', '05'), 0),
            (('0x2000005', '-1'), 0),     # L2 targets are not examined
            (('0x2000006', '9'), '9'),    # one character each: both remainders empty
            (('0x2000006', 70), 0),
            (('0x2000007', '205'), 0),
            (('0x5', '205'), 0),
        ]
        for args, want in cases:
            got = get(*args)
            self.assertEqual(got, want, args)
            self.assertIs(type(got), type(want), args)
        # The interface found is the host's own object, whatever it is.
        class Intf(object):
            def __str__(self):
                return '205'
        intf = Intf()
        self.assertIs(get('0x2000005', intf), intf)

    def test_bad_group_ids(self):
        self.assertRaises(ValueError, self.asic.get_repl_group_entry, 'zz', '205')
        self.assertRaises(ValueError, self.asic.get_repl_group_entry, '', '205')
        self.assertRaises(TypeError, self.asic.get_repl_group_entry, 0x2000005, '205')


class L3EgressTest(unittest.TestCase):

    EGRESS = ('Entry  Mac  Vlan INTF PORT MOD MPLS_LABEL ToCpu Drop RefCount L3MC\n'
              '100001 a b c d e f g h i header\n'
              '---\n'
              '100001 44:38:39:00:00:01 200 6 5 0 -1 no no 1 yes\n'
              '100002 44:38:39:00:00:02 200 6 5 0 -1 no no 1 no extra\n'
              '100001 44:38:39:00:00:03 200 6 5 0 -1 no no 1 no\n'
              '100003 short row\n'
              '100004 44:38:39:00:00:04 200 6 5 0 -1 no no 1 no\n')

    def test_fixture(self):
        a = make_asic('riot_off')
        self.assertEqual(a.get_l3_egress('100001'), ('44:38:39:00:00:33', 'no'))
        sim.reset_log()
        self.assertEqual(a.get_l3_egress('Entry'), (0, 0))
        self.assertEqual(a.get_l3_egress('Unit'), (0, 0))
        # column 0 is compared as text
        no = a.get_l3_egress(100001)
        self.assertEqual(no, (0, 0))
        self.assertEqual([type(x) for x in no], [int, int])
        self.assertEqual(sim.commands(), ['l3 egress show'] * 3)

    def test_rows(self):
        a = make_asic('riot_off', {'l3 egress show': self.EGRESS})
        got = a.get_l3_egress('100001')
        self.assertEqual(got, ('44:38:39:00:00:01', 'yes'))
        self.assertIsInstance(got, tuple)
        self.assertEqual(a.get_l3_egress('100002'), ('44:38:39:00:00:02', 'no'))
        # the short row ends the scan of every later row
        self.assertRaises(IndexError, a.get_l3_egress, '100004')
        self.assertRaises(IndexError, a.get_l3_egress, '99')
        self.assertRaises(IndexError, a.get_l3_egress, 100001)

    def test_empty_line_after_header(self):
        a = make_asic('riot_off', {'l3 egress show': 'h\nh\nh\n\n100001 a b c d e f g h i j\n'})
        self.assertRaises(IndexError, a.get_l3_egress, '100001')
        a = make_asic('riot_off', {'l3 egress show': 'h\nh\n'})
        self.assertEqual(a.get_l3_egress('h'), (0, 0))


class ChipTest(unittest.TestCase):

    def test_is_1g_chip(self):
        cases = [('Unit 0 chip XGS78100_B0 (current)\n', False),
                 ('Unit 0 chip XGS56340_A0 (current)\n', True),
                 ('56340\n', True),
                 ('Unit 0 chip XGS5634_A0\n', False),
                 ('', False)]
        for text, want in cases:
            a = make_asic('riot_off', {'show unit': text})
            sim.reset_log()
            self.assertIs(a._is_1G_chip(), want, text)
            self.assertEqual(sim.commands(), ['show unit'])


class RouteKeyTest(unittest.TestCase):

    def test_split(self):
        split = make_asic('riot_off')._key_to_sip_dip
        cases = [
            ('red, (10.1.1.1,239.1.1.1)', ('red', '10.1.1.1', '239.1.1.1')),
            ('default, (0.0.0.0,239.1.1.2) and more', ('default', '0.0.0.0', '239.1.1.2')),
            ('v, (10.0.0.1,239.1.1.1,x)', ('v', '10.0.0.1,239.1.1.1', 'x')),
            ('v, (a,b))', ('v', 'a', 'b)')),
            ('red,(10.1.1.1,239.1.1.1)', (None, None, None)),
            (' red, (10.1.1.1,239.1.1.1)', (None, None, None)),
            ('red, (10.1.1.1, 239.1.1.1)', (None, None, None)),
            ('red, (10.1.1.1,239.1.1.1', (None, None, None)),
            ('', (None, None, None)),
        ]
        for key, want in cases:
            self.assertEqual(tuple(split(key)), want, key)


if __name__ == '__main__':
    unittest.main()
