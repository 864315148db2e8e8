"""The VXLAN checker's readers and builders on checker objects made without
their constructor: loading the daemon's dump (from a file named in
vxlanFuseNode), the chip, the sections of the dump, the local ports, the
MAC tables and the next hops of remote MACs."""

import os
import unittest

import nvtest
import sim
import vxtest
from nvtest import captured_stdout
from vxtest import Ports, Shell, bare, vni_record

NOT_FOUND = 'Hw Vxlan Objects not found'
FAILED = 'Failed to parse the kfs fuse node'


def exception_text(test, fn, *args):
    """The text of the plain Exception that fn raises."""
    with test.assertRaises(Exception) as cm:
        fn(*args)
    test.assertIs(type(cm.exception), Exception)
    return str(cm.exception)


class DumpLoadingTest(unittest.TestCase):

    def node(self, content):
        path = os.path.join(nvtest.tempdir(self), 'info')
        if content is not None:
            with open(path, 'w') as f:
                f.write(content)
        return path

    def load(self, content):
        """(outcome, asic) of loading a node with this content (None: no
        node); the outcome is the loaded dump or the exception text."""
        previous = {'previous': 1}
        a = bare(asicTables=previous, vxlanFuseNode=self.node(content))
        try:
            a.parseSwitchKfsNode()
            return a.asicTables, a
        except Exception as e:
            self.assertIs(type(e), Exception)
            return str(e), a

    def test_the_text_after_the_first_marker(self):
        cases = [
            ('daemon text\n#HW DUMP:\nVPN DUMP:\n  1: {vnid: 5}\n', {'VPN DUMP': {1: {'vnid': 5}}}),
            ('x\n#HW DUMP:\nA: 1\n#HW DUMP:\nB: 2\n', {'A': 1, 'B': 2}),
            ('#HW DUMP:A: 1', {'A': 1}),
            # false sections count as empty; sections of no reader are not looked at
            ('#HW DUMP:\nVPN DUMP:\nL2 ENTRIES DUMP: []\nOTHER: [1]\n',
             {'VPN DUMP': None, 'L2 ENTRIES DUMP': [], 'OTHER': [1]}),
        ]
        for content, expected in cases:
            self.assertEqual(self.load(content)[0], expected, content)

    def test_nothing_found(self):
        for content in [None, '', 'daemon text only\n', 'x\n#HW DUMP:\n', '#HW DUMP:{}',
                        '#HW DUMP:[]', '#HW DUMP:0', '#HW DUMP: ""']:
            outcome, a = self.load(content)
            if content is None:
                # nothing read: the tables stay as they were, and a false
                # value there is what fails
                self.assertEqual(outcome, {'previous': 1})
                a.asicTables = {}
                self.assertEqual(exception_text(self, a.parseSwitchKfsNode), NOT_FOUND)
            else:
                self.assertEqual(outcome, NOT_FOUND, content)

    def test_failures_leave_the_tables(self):
        for content in ['#HW DUMP:\na: [1', '#HW DUMP:\na: !custom x', '#HW DUMP:\n- 1\n',
                        '#HW DUMP: text', '#HW DUMP:\nVPN DUMP: [1]\n',
                        '#HW DUMP:\nL3 v6ROUTE ENTRIES DUMP: text\n',
                        '#HW DUMP:\nVXLAN TUNNEL INITIATOR  DUMP: 5\n']:
            outcome, a = self.load(content)
            self.assertEqual(outcome, FAILED, content)
            self.assertEqual(a.asicTables, {'previous': 1})

    def test_a_directory_and_a_bad_path(self):
        a = bare(vxlanFuseNode=nvtest.tempdir(self))
        self.assertFalse(a.get_kestrad_debug())
        self.assertEqual(exception_text(self, a.parseSwitchKfsNode), FAILED)
        a.vxlanFuseNode = 5
        self.assertEqual(exception_text(self, a.parseSwitchKfsNode), FAILED)
        a.vxlanFuseNode = self.node('#HW DUMP:\nA: 1\n')
        self.assertTrue(a.get_kestrad_debug())
        a.vxlanFuseNode = a.vxlanFuseNode + '.missing'
        self.assertFalse(a.get_kestrad_debug())

    def test_the_module_s_yaml_is_looked_up_when_loading(self):
        mod = vxtest.tirrow()
        saved = mod.yaml

        class Loader(object):
            texts = []

            @classmethod
            def safe_load(cls, text):
                cls.texts.append(text)
                return {'A': 1}
        mod.yaml = Loader
        try:
            outcome, _ = self.load('x#HW DUMP: text')
        finally:
            mod.yaml = saved
        self.assertEqual((outcome, Loader.texts), ({'A': 1}, [' text']))


class ChipTest(unittest.TestCase):

    FAMILIES = [
        ('Unit 0 chip BCM56850_A1 (current)\n', 'Trident2'),
        ('Unit 0 chip BCM56851\n', 'Trident2'),
        ('Unit 0 chip BCM56340_A0\n', 'Helix4'),
        ('Unit 0 chip BCM56846\n', 'Trident+'),
        ('Unit 3 chip BCM56960 (current)', 'Tomahawk'),
        ('Unit 0 chip BCM56771\n', 'Unknown(56771)'),
        ('Unit 0 chip BCM5\n', 'Unknown(5)'),
        ('Unit 0 chip BCM56960\nUnit 1 chip BCM56340\n', 'Tomahawk'),
    ]

    def asic(self, out):
        return bare(bs=Shell({'show unit': out}), _chip_id_map=dict(vxtest.CHIP_IDS))

    def test_families(self):
        for out, family in self.FAMILIES:
            a = self.asic(out)
            self.assertEqual(a.get_chipname(), family, out)
            a.get_chipname()
            self.assertEqual(a.bs.commands, ['show unit'] * 2)

    def test_unit_not_recognised(self):
        for out in ['\nUnit 0 chip BCM56850', 'Unit 0  chip BCM56850', 'unit 0 chip BCM56850',
                    'Unit 0 chip BCM', 'Unit 0 chip XGS78100_B0 (current)\n', '']:
            with self.assertRaises(RuntimeError) as cm:
                self.asic(out).get_chipname()
            self.assertEqual(str(cm.exception),
                             'could not determine the platform"' + ' ' * 21 +
                             '"from unit string:\n\n' + out + '\n')

    def test_shell_errors_pass_unchanged(self):
        error = IOError('timed out')
        with self.assertRaises(IOError) as cm:
            self.asic(error).get_chipname()
        self.assertIs(cm.exception, error)

    def test_exact_keys_only(self):
        a = self.asic('')
        for key, family in [('56340', 'Helix4'), ('5685X', 'Trident2'),
                            ('56850', 'Unknown(56850)'), (56340, 'Unknown(56340)')]:
            self.assertEqual(a.get_id_2_name(key), family)
            self.assertEqual(a.get_id_2_name(chip_id=key), family)
        a._chip_id_map['56850'] = 'Special'
        self.assertEqual(self.asic('').get_id_2_name('56850'), 'Unknown(56850)')
        self.assertEqual(a.get_id_2_name('56850'), 'Special')


def vpn(vnid, vpn_id, gports=None, ctrl=None, **extra):
    record = dict(extra)
    if vnid is not None:
        record['vnid'] = vnid
    record['vpn'] = vpn_id
    record['bcm_vlan_protocol_packet_ctrl'] = ctrl if ctrl is not None else {}
    if gports is not None:
        record['gports'] = gports
    return record


class VpnSectionTest(unittest.TestCase):

    def test_gports_conversion(self):
        cases = [
            (17, [17]), ('17', [17]), ('0x11 12', [17, 18]), ('11 0x12 ff', [17, 18, 255]),
            ('', []), ('  ', []), (0x80000003, [0x80000003]), ('0x80000001 80000002',
                                                               [0x80000001, 0x80000002]),
        ]
        for gports, expected in cases:
            record = vpn(1000, 7, gports)
            a = bare(asicTables={'VPN DUMP': {'k': record}})
            a.parseVpnInfo()
            self.assertEqual(record['gports'], expected, repr(gports))
            self.assertIs(a.vniInfoHelperDict[1000], record)

    def test_gports_not_converted(self):
        # absent and null stay as they are; a lone hexadecimal text is read
        # in base 10 and fails, after the record was filed
        for gports in [None, 'absent']:
            record = vpn(1000, 7)
            if gports is None:
                record['gports'] = None
            a = bare(asicTables={'VPN DUMP': {'k': record}})
            a.parseVpnInfo()
            self.assertEqual(record.get('gports', 'absent'), gports)
        record = vpn(1000, 7, '0x11')
        a = bare(asicTables={'VPN DUMP': {'k': record}})
        self.assertRaises(ValueError, a.parseVpnInfo)
        self.assertEqual(record['gports'], '0x11')
        self.assertIs(a.vniInfoHelperDict[1000], record)
        self.assertEqual(a.vpntoVniTable, {7: 1000})

    def test_vni_records(self):
        section = {
            'a': vpn(1000, 7, '1 2', {'igmp_report_leave_action': 2, 'arp_reply_action': 1}),
            'b': vpn(0xffffff, 8, '3 4'),
            'c': vpn(None, 9),
            'd': vpn(2000, 10, ctrl={'arp_reply_action': float('nan')}),
        }
        a = bare(asicTables={'VPN DUMP': section})
        self.assertIsNone(a.parseVpnInfo())
        self.assertEqual(sorted(a.asicVxlanDict), [None, 1000, 2000])
        self.assertEqual(a.asicVxlanDict[1000], vni_record(1000, 7, 2, 1))
        self.assertEqual(a.asicVxlanDict[None], vni_record(None, 9))
        nan = a.asicVxlanDict[2000]
        self.assertIsNone(nan['arpSupress'])  # a value unequal to itself
        self.assertIs(nan['arpReqSup'], section['d']['bcm_vlan_protocol_packet_ctrl']
                      ['arp_reply_action'])
        # no VNI record for 0xffffff, but it is filed and converted
        self.assertIs(a.vniInfoHelperDict[0xffffff], section['b'])
        self.assertEqual(section['b']['gports'], [3, 4])
        self.assertEqual(a.vpntoVniTable, {7: 1000, 8: 0xffffff, 9: None, 10: 2000})
        lists = [r[name] for r in a.asicVxlanDict.values() for name in vxtest.LISTS]
        self.assertEqual(len(set(map(id, lists))), len(lists))

    def test_same_vni_twice(self):
        first = vpn(1000, 7, ctrl={'igmp_report_leave_action': 'first'})
        second = vpn(1000, 8, ctrl={'igmp_report_leave_action': 'second'})
        # the section's order decides which is met first
        section = {}
        section['x'] = first
        section['y'] = second
        order = [k for k in section]
        a = bare(asicTables={'VPN DUMP': section})
        a.parseVpnInfo()
        met_first, met_last = [section[k] for k in order]
        self.assertEqual(a.asicVxlanDict[1000]['vpn'], met_first['vpn'])
        self.assertIs(a.vniInfoHelperDict[1000], met_last)
        self.assertEqual(a.vpntoVniTable, {7: 1000, 8: 1000})

    def test_no_vpns(self):
        for tables in [{}, {'VPN DUMP': {}}, {'VPN DUMP': None}, {'VPN DUMP': []}]:
            a = bare(asicTables=tables)
            self.assertEqual(exception_text(self, a.parseVpnInfo),
                             'No vpns are programmed in hw')
            self.assertEqual((a.asicVxlanDict, a.vniInfoHelperDict), ({}, {}))

    def test_missing_packet_control(self):
        record = {'vnid': 5, 'vpn': 6}
        a = bare(asicTables={'VPN DUMP': {'k': record}})
        with self.assertRaises(KeyError) as cm:
            a.parseVpnInfo()
        self.assertEqual(cm.exception.args, ('bcm_vlan_protocol_packet_ctrl',))


class VxlanPortSectionTest(unittest.TestCase):

    def test_filed_by_id(self):
        p1, p2, p3 = {'vxlan_port_id': 1}, {'vxlan_port_id': 2}, {'vxlan_port_id': 2}
        section = {'a': p1, 'b': p2, 'c': p3}
        a = bare(asicTables={'VXLAN PORT DUMP': section})
        with captured_stdout() as out:
            a.parseVxlanPortInfo()
        self.assertEqual(out.getvalue(), '')
        self.assertIs(a.vxlanPortHelperDict[1], p1)
        last = [section[k] for k in section if section[k]['vxlan_port_id'] == 2][-1]
        self.assertIs(a.vxlanPortHelperDict[2], last)

    def test_no_ports(self):
        for tables in [{}, {'VXLAN PORT DUMP': {}}, {'VXLAN PORT DUMP': None}]:
            a = bare(asicTables=tables, vxlanPortHelperDict={'kept': 1})
            with captured_stdout() as out:
                self.assertIsNone(a.parseVxlanPortInfo())
            self.assertEqual(out.getvalue(), 'No vxlan interfaces programmed in hw\n')
            self.assertEqual(a.vxlanPortHelperDict, {'kept': 1})

    def test_missing_id(self):
        a = bare(asicTables={'VXLAN PORT DUMP': {'a': {'mtu': 1}}})
        self.assertRaises(KeyError, a.parseVxlanPortInfo)


INIT = 'VXLAN TUNNEL INITIATOR  DUMP'
TERM = 'VXLAN TUNNEL TERMINATOR  DUMP'


class TunnelAndEntrySectionsTest(unittest.TestCase):

    def test_tunnels(self):
        i1, t1 = {'tunnel_id': 1, 'dip': 'x'}, {'tunnel_id': 1}
        cases = [
            ({INIT: {'a': i1}, TERM: {'b': t1}}, {1: i1}, {1: t1}, ''),
            ({INIT: {}, TERM: {'b': t1}}, {}, {}, 'No tunnels programmed\n'),
            ({TERM: {'b': t1}}, {}, {}, 'No tunnels programmed\n'),
            ({INIT: {'a': i1}}, {1: i1}, {}, 'No tunnels programmed\n'),
            ({INIT: {'a': i1}, TERM: None}, {1: i1}, {}, 'No tunnels programmed\n'),
            ({}, {}, {}, 'No tunnels programmed\n'),
        ]
        for tables, initiators, terminators, printed in cases:
            a = bare(asicTables=tables)
            with captured_stdout() as out:
                self.assertIsNone(a.parseTunnelInfo())
            self.assertEqual(out.getvalue(), printed, tables)
            self.assertEqual(a.initiatorDict, initiators)
            self.assertEqual(a.terminatorDict, terminators)
            for k, v in initiators.items():
                self.assertIs(a.initiatorDict[k], v)
        a = bare(asicTables={INIT: {'a': {'dip': 'x'}}})
        self.assertRaises(KeyError, a.parseTunnelInfo)

    def test_l2_table_is_the_section(self):
        l2 = {0: {'isVxlanPort': False}}
        for tables, expected in [({'L2 ENTRIES DUMP': l2}, l2), ({}, {}),
                                 ({'L2 ENTRIES DUMP': None}, None), ({'L2 ENTRIES DUMP': []}, [])]:
            a = bare(asicTables=tables)
            with captured_stdout() as out:
                a.parsel2l3entries()
            self.assertEqual(out.getvalue(), '')
            self.assertEqual(a.l2Table, expected)
        a = bare(asicTables={'L2 ENTRIES DUMP': l2})
        a.parsel2l3entries()
        self.assertIs(a.l2Table, l2)

    def test_hosts_and_routes(self):
        h4, h6 = {'l3a_ip_addr': '10.0.0.2'}, {'l3a_ip6_addr': '2001:db8::2'}
        r1, r2, r3, r4 = [{'n': n} for n in range(4)]
        a = bare(asicTables={
            'L3 v4HOST ENTRIES DUMP': {0: h4},
            'L3 v6HOST ENTRIES DUMP': {0: h6},
            'L3 v4ROUTE ENTRIES DUMP': {'vrf 0 0-10.0.0.2/32': r1, 'a b a-10.0.0.0/24-b c': r2,
                                        'x\ty  -10.1.0.0/16': r3},
            'L3 v6ROUTE ENTRIES DUMP': {'vrf 0 3-2001:db8::/64': r4},
        })
        a.parsel2l3entries()
        self.assertEqual(a.hostTable, {'10.0.0.2': h4, '2001:db8::2': h6})
        self.assertEqual(a.routeTable, {'10.0.0.2/32': r1, '10.0.0.0/24': r2, '10.1.0.0/16': r3,
                                        '2001:db8::/64': r4})
        for key, record in [('10.0.0.2/32', r1), ('2001:db8::/64', r4)]:
            self.assertIs(a.routeTable[key], record)
        self.assertIs(a.hostTable['10.0.0.2'], h4)

    def test_bad_entries(self):
        for tables, error in [
                ({'L3 v4ROUTE ENTRIES DUMP': {'vrf 0': {}}}, IndexError),
                ({'L3 v4ROUTE ENTRIES DUMP': {'vrf 0 10.0.0.0/24': {}}}, IndexError),
                ({'L3 v4HOST ENTRIES DUMP': {0: {'l3a_ip6_addr': 'x'}}}, KeyError),
                ({'L3 v6HOST ENTRIES DUMP': {0: {'l3a_ip_addr': 'x'}}}, KeyError)]:
            self.assertRaises(error, bare(asicTables=tables).parsel2l3entries)


def port(kind, **fields):
    record = {'matchPortType': kind, 'match_vlan': 0, 'is_network_port': False}
    record.update(fields)
    return record


class LocalPortsTest(unittest.TestCase):

    BONDS = {1: {'slavePorts': ('xe2', 'xe3'), 'linuxSlavePorts': ('swp3', 'swp4'),
                 'linuxIntfName': 'bond1'},
             2: {'slavePorts': ('xe5',), 'linuxSlavePorts': ('swp6',), 'linuxIntfName': None}}

    def build(self, ports, vnis, pvids=None):
        """An Asic whose VPNs (vni -> gports) and VXLAN ports are given, after
        buildLocalPortDict."""
        a = bare(hwBonds=self.BONDS, bcmApiHelper=Ports(pvids or {}), vxlanPortHelperDict=ports)
        for vni, gports in vnis.items():
            a.vniInfoHelperDict[vni] = {'gports': gports} if gports != 'absent' else {}
            if vni != 0xffffff:
                a.asicVxlanDict[vni] = vni_record(vni, 1)
        with captured_stdout() as out:
            self.assertIsNone(a.buildLocalPortDict())
        return a, out.getvalue()

    def ports_of(self, a, vni):
        r = a.asicVxlanDict[vni]
        return r['localPorts'], r['rawLocalPorts']

    def test_trunk_ports(self):
        for vlan, pvid, want in [(0, 100, 100), (0, 2999, 2999), (0, 3000, None),
                                 (0, 3999, None), (0, 4000, 4000), (0, -1, -1), (5, 3000, 5),
                                 (3500, 1, 3500)]:
            ports = {10: port('trunk', match_trunk=1, match_vlan=vlan)}
            a, printed = self.build(ports, {1000: [10]}, {'swp3': pvid})
            self.assertEqual(self.ports_of(a, 1000), ([('trunk', ('swp3', 'swp4'), want)],
                                                      [('trunk', 1, 'bond1', want)]))
            self.assertEqual(a.bcmApiHelper.asked, ['swp3'] if vlan == 0 else [])
            self.assertEqual(ports[10]['linuxIntf'], 'bond1')
            self.assertEqual(printed, '')
        # a trunk the bond file did not name
        a, _ = self.build({10: port('trunk', match_trunk=2, match_vlan=7)}, {1000: [10]})
        self.assertEqual(self.ports_of(a, 1000), ([('trunk', ('swp6',), 7)],
                                                  [('trunk', 2, None, 7)]))

    def test_module_ports(self):
        ports = {10: port('modport', match_modport='0/5'),
                 11: port('modport', match_modport='00/7', match_vlan=3000),
                 12: port('modport', match_modport='0/4')}
        a, printed = self.build(ports, {1000: [10, 11, 12]}, {'swp5': 3001})
        self.assertEqual(self.ports_of(a, 1000), (
            [('modport', 'swp5', None), ('modport', 'swp7', 3000), ('modport', 'swp4', -1)],
            [('modport', ('0', '5'), 'swp5', None), ('modport', ('00', '7'), 'swp7', 3000),
             ('modport', ('0', '4'), 'swp4', -1)]))
        self.assertEqual([ports[p]['linuxIntf'] for p in (10, 11, 12)], ['swp5', 'swp7', 'swp4'])
        self.assertEqual(sim.harnel_calls(), [
            ('modport2interface', (0, 5, 'Trident2')), ('asic2linux', ('xe4',)),
            ('modport2interface', (0, 7, 'Trident2')), ('asic2linux', ('xe6',)),
            ('modport2interface', (0, 4, 'Trident2')), ('asic2linux', ('xe3',))])
        self.assertEqual(a.bcmApiHelper.asked, ['swp5', 'swp4'])
        self.assertEqual(printed, '')

    def test_module_port_not_found(self):
        for modport, vlan in [('0/99', 0), ('x/5', 0), ('1/7', 12)]:
            ports = {10: port('modport', match_modport=modport, match_vlan=vlan)}
            a, printed = self.build(ports, {1000: [10]})
            mod, p = modport.split('/')
            self.assertEqual(printed, 'Failed to find the linuxIntf forvni 1000 modport (%s %s)\n'
                             % (mod, p))
            self.assertEqual(self.ports_of(a, 1000), ([('modport', None, vlan)],
                                                      [('modport', (mod, p), None, vlan)]))
            self.assertIsNone(ports[10]['linuxIntf'])
            self.assertEqual(a.bcmApiHelper.asked, [])
        # the failure of any harnel call, or of the chip lookup
        sim.use('vxlan')
        ports = {10: port('modport', match_modport='0/5')}
        a = bare(hwBonds={}, bcmApiHelper=Ports({}), vxlanPortHelperDict=ports,
                 asicVxlanDict={1: vni_record(1, 1)}, vniInfoHelperDict={1: {'gports': [10]}})
        del a.chip
        with captured_stdout() as out:
            a.buildLocalPortDict()
        self.assertEqual(out.getvalue(), 'Failed to find the linuxIntf forvni 1 modport (0 5)\n')

    def test_what_gives_nothing(self):
        ports = {10: port('trunk', match_trunk=1), 11: port('other'), 12: port(None)}
        a, printed = self.build(ports, {0xffffff: [10], 1000: [], 2000: None, 3000: 'absent',
                                        4000: [11, 12]})
        for vni in (1000, 2000, 3000, 4000):
            self.assertEqual(self.ports_of(a, vni), ([], []))
        self.assertNotIn('linuxIntf', ports[10])
        self.assertEqual((ports[11]['linuxIntf'], ports[12]['linuxIntf']), (None, None))
        self.assertEqual(printed, '')
        a = bare()
        a.buildLocalPortDict()  # nothing to do, and nothing needed

    def test_a_port_under_two_vnis(self):
        ports = {10: port('modport', match_modport='0/5', match_vlan=9)}
        a, _ = self.build(ports, {1000: [10], 2000: [10]})
        for vni in (1000, 2000):
            self.assertEqual(self.ports_of(a, vni)[0], [('modport', 'swp5', 9)])

    def test_failures(self):
        cases = [
            ({10: port('trunk', match_trunk=9)}, {1000: [10]}, Exception,
             'Trunk Id 9 is not found in hwBonds'),
            ({}, {1000: [10]}, KeyError, '10'),
            ({10: port('modport', match_modport='0/5/1')}, {1000: [10]}, ValueError,
             'too many values to unpack'),
            ({10: port('modport', match_modport='05')}, {1000: [10]}, ValueError,
             'need more than 1 value to unpack'),
            ({10: {'matchPortType': 'trunk'}}, {1000: [10]}, KeyError, "'match_trunk'"),
        ]
        for ports, vnis, error, text in cases:
            with self.assertRaises(error) as cm:
                self.build(ports, vnis)
            self.assertEqual(str(cm.exception), text)
        a = bare(vniInfoHelperDict={1000: {'gports': []}})
        self.assertEqual(exception_text(self, a.buildLocalPortDict),
                         'Vni 1000 not parsed in kfs dump')


def entry(mac, vid, port, vxlan=True):
    return {'mac': mac, 'vid': vid, 'port': port, 'isVxlanPort': vxlan}


class MacTablesTest(unittest.TestCase):

    def asic(self, l2):
        """VNI 1000 on VPN 7 with access ports 0xff (swp5) and 0x100 (no Linux
        name) and network ports 0x200 (tunnel 1, to a routed destination) and
        0x201 (tunnel 2, unknown)."""
        ports = {0xff: {'is_network_port': False, 'linuxIntf': 'swp5'},
                 0x100: {'is_network_port': False, 'linuxIntf': None},
                 0x101: {'is_network_port': False, 'linuxIntf': 'swp6'},
                 0x200: {'is_network_port': True, 'mtu': 9216, 'egress_tunnel_id': 1,
                         'egress_if': 5},
                 0x201: {'is_network_port': True, 'mtu': 1500, 'egress_tunnel_id': 2,
                         'egress_if': 6}}
        route = {'is_ecmp': False, 'SinglePathNH': 5,
                 'egress-ifs': {5: {'flags': 0, 'module': 0, 'port': 9, 'vlan': 10,
                                    'mac_addr': 'aa:bb:cc:00:00:01'}}}
        return bare(l2Table=l2, vpntoVniTable={7: 1000, 8: 2000},
                    asicVxlanDict={1000: vni_record(1000, 7)},
                    vniInfoHelperDict={1000: {'gports': [0xff, 0x100]}},
                    vxlanPortHelperDict=ports,
                    initiatorDict={1: {'sip': '10.0.0.1', 'dip': '10.0.0.2'}},
                    routeTable={'10.0.0.2/32': route})

    def collect(self, l2):
        a = self.asic(l2)
        with captured_stdout() as out:
            self.assertIsNone(a.buildLocalAndRemoteMacDict())
        return a.asicVxlanDict[1000], out.getvalue()

    def test_local_and_remote(self):
        l2 = {0: entry('00:00:00:00:00:01', 7, 0xff), 1: entry('00:00:00:00:00:02', 7, 0x100),
              2: {'isVxlanPort': False}, 3: entry('00:00:00:00:00:01', 7, 0xff),
              4: entry('00:00:00:00:00:03', 7, 0x200), 5: entry('00:00:00:00:00:04', 7, 0x201),
              6: entry(10203040, 7, 0xff), 7: entry('00:00:00:00:00:05', 7, 0x101)}
        record, printed = self.collect(l2)
        self.assertEqual(record['localMacs'], [
            ('00:00:00:00:00:01', 'swp5'), ('00:00:00:00:00:02', None),
            ('00:00:00:00:00:01', 'swp5'), ('00:00:47:14:10:40', 'swp5')])
        self.assertEqual(record['rawLocalMacs'], [
            ('00:00:00:00:00:01', '0xff', 'swp5'), ('00:00:00:00:00:02', '0x100', None),
            ('00:00:00:00:00:01', '0xff', 'swp5'), ('00:00:47:14:10:40', '0xff', 'swp5')])
        self.assertEqual(record['remoteMacs'], [
            ('00:00:00:00:00:03', '10.0.0.1', '10.0.0.2/32', 'aa:bb:cc:00:00:01', 'swp9', 10,
             9216),
            ('00:00:00:00:00:04', None, None, None, None, None, 1500)])
        self.assertEqual(printed, ''.join([
            'No matching egress tunnelId (00:00:00:00:00:04 7) vxlanPort 0x201\n',
            'Incorrect gport vpn mapping' + ' ' * 29 +
            '(00:00:00:00:00:05 7) vxlanPort 0x101\n']))

    def test_no_entries_still_resolves(self):
        for l2 in [{}, None, [], {0: {'isVxlanPort': False}}]:
            a = self.asic(l2)
            pending = ('m', 's', None, 1, 2)
            remote = a.asicVxlanDict[1000]['remoteMacs']
            remote.append(pending)
            a.buildLocalAndRemoteMacDict()
            self.assertEqual(a.asicVxlanDict[1000]['remoteMacs'],
                             [('m', 's', None, None, None, None, 2)])
            self.assertIsNot(a.asicVxlanDict[1000]['remoteMacs'], remote)

    def test_gports_absent_means_no_access_ports(self):
        for vpn_record in [{}, {'gports': None}]:
            a = self.asic({0: entry('00:00:00:00:00:01', 7, 0xff)})
            a.vniInfoHelperDict[1000] = vpn_record
            with captured_stdout() as out:
                a.buildLocalAndRemoteMacDict()
            self.assertEqual(a.asicVxlanDict[1000]['localMacs'], [])
            self.assertIn('Incorrect gport vpn mapping', out.getvalue())

    def test_failures(self):
        cases = [
            ({0: entry('m', 9, 0xff)}, Exception, 'Vpn 9 not mapped to vni'),
            ({0: entry('m', 8, 0xff)}, Exception, 'vni 2000 info is not programmed'),
            ({0: entry('m', 7, 0x3ff)}, Exception, 'vxlanPort 0x3ff is not programmed'),
            ({0: {'isVxlanPort': True, 'port': 0xff, 'vid': 7}}, KeyError, "'mac'"),
            ({0: {'port': 0xff}}, KeyError, "'isVxlanPort'"),
        ]
        for l2, error, text in cases:
            a = self.asic(l2)
            with self.assertRaises(error) as cm:
                a.buildLocalAndRemoteMacDict()
            self.assertEqual(str(cm.exception), text)

    def test_mac_numbers_written_as_the_daemon_wrote_them(self):
        tirrow_yaml = vxtest.tirrow().yaml
        for text in ['10:20:30:40:50:59', '44:38:39:00:00:01', '99:59:59:59:59:59',
                     '1:02:03:04:05:06']:
            mac = tirrow_yaml.safe_load(text)
            self.assertIsInstance(mac, (int, long))
            record, printed = self.collect({0: entry(mac, 7, 0xff), 1: entry(mac, 7, 0x101)})
            written = text if text[1] != ':' else '0' + text
            self.assertEqual(record['localMacs'], [(written, 'swp5')])
            self.assertIn('(%s 7)' % written, printed)
        # the tables keep what the loader made
        l2 = {0: entry(8041827059, 7, 0xff)}
        a = self.asic(l2)
        a.buildLocalAndRemoteMacDict()
        self.assertEqual(l2[0]['mac'], 8041827059)


def next_hop(flags=0, vlan=10, mac='aa:bb:cc:00:00:01', **fields):
    record = {'flags': flags, 'vlan': vlan, 'mac_addr': mac, 'module': 0, 'port': 9}
    record.update(fields)
    return record


class NextHopTest(unittest.TestCase):

    BONDS = {12: {'linuxIntfName': 'bond12'}, 13: {'linuxIntfName': None}}

    def asic(self, routes=None, pending=()):
        a = bare(hwBonds=self.BONDS, routeTable=routes or {},
                 asicVxlanDict={1000: vni_record(1000, 7, remoteMacs=list(pending)),
                                2000: vni_record(2000, 8)})
        return a

    def resolve(self, routes, pending):
        a = self.asic(routes, pending)
        raw = a.asicVxlanDict[1000]['rawRemoteMacs']
        raw.append('kept')
        with captured_stdout() as out:
            self.assertIsNone(a.resolveDstIp())
        record = a.asicVxlanDict[1000]
        self.assertIs(record['rawRemoteMacs'], raw)
        self.assertEqual(a.asicVxlanDict[2000], vni_record(2000, 8))
        return record['remoteMacs'], raw[1:], out.getvalue()

    def test_egress_kinds(self):
        a = self.asic()
        for flags, kind in [(0, 'modport'), (512, 'trunk'), (4096, 'cpuPort'),
                            (512 + 4096, 'trunk'), (1 << 40 | 4096, 'cpuPort'), (0x1ff, 'modport'),
                            (True, 'modport')]:
            self.assertEqual(a.getEgressDstIntfType(flags), kind)
            self.assertEqual(a.getEgressDstIntfType(flags=flags), kind)
        self.assertRaises(TypeError, a.getEgressDstIntfType, '512')

    def test_route_keys(self):
        a = self.asic()
        for address, key in [('10.0.0.2', '10.0.0.2/32'), ('2001:db8::5', '2001:db8::5/128'),
                             ('::ffff:10.0.0.2', '::ffff:10.0.0.2/32'), ('', '/128'),
                             (u'10.0.0.2', u'10.0.0.2/32')]:
            self.assertEqual(a._insert_ip_addr_mask(address), key)
        self.assertRaises(TypeError, a._insert_ip_addr_mask, 5)

    def test_next_hops(self):
        a = self.asic()
        cases = [
            (next_hop(), ('aa:bb:cc:00:00:01', 'swp9', 10, 'modport', (0, 9), 10), ''),
            (next_hop(4096, port=10), ('aa:bb:cc:00:00:01', 'swp10', 10, 'cpuPort', (0, 10), 10),
             ''),
            (next_hop(512, trunk=12, vlan=3000), ('aa:bb:cc:00:00:01', 'bond12', None, 'trunk', 12,
                                                  3000), ''),
            (next_hop(512, trunk=13, vlan=3999), ('aa:bb:cc:00:00:01', None, None, 'trunk', 13,
                                                  3999), ''),
            (next_hop(512, trunk=9, vlan=4000), ('aa:bb:cc:00:00:01', 'unknown', 4000, 'trunk',
                                                 'unknown', 4000),
             'Trunk Id 9 is not found in hwBonds\n'),
            (next_hop(vlan=2999, port=99), ('aa:bb:cc:00:00:01', 'unknown', 2999, 'modport',
                                            'unknown', 2999), ''),
            (next_hop(mac=34715304010), ('44:38:39:00:00:10', 'swp9', 10, 'modport', (0, 9), 10),
             ''),
        ]
        for record, expected, printed in cases:
            with captured_stdout() as out:
                self.assertEqual(a.getNextHop({'k': record}, 'k'), expected)
                self.assertEqual(a.getNextHop(nhDict={'k': record}, keys='k'), expected)
            self.assertEqual(out.getvalue(), printed * 2)
        self.assertEqual(sim.harnel_calls()[:2], [('modport2interface', (0, 9, 'Trident2')),
                                                  ('asic2linux', ('xe8',))])
        for record in [{'vlan': 1}, next_hop(512, vlan=1), {'flags': 0, 'module': 0, 'port': 9}]:
            self.assertRaises(KeyError, a.getNextHop, {'k': record}, 'k')
        self.assertRaises(KeyError, a.getNextHop, {}, 'k')

    def test_single_path(self):
        hop1, hop2 = next_hop(port=9), next_hop(port=10, mac='aa:bb:cc:00:00:02')
        routes = {'10.0.0.2/32': {'is_ecmp': False, 'SinglePathNH': 5,
                                  'egress-ifs': {1: hop1, 2: hop2}},
                  '10.0.0.7/32': {'is_ecmp': False, 'SinglePathNH': 7, 'egress-ifs': {}},
                  '10.0.0.8/32': {'is_ecmp': 0, 'SinglePathNH': 7, 'egress-ifs': None}}
        pending = [('m1', 's', '10.0.0.2', 5, 9216), ('m2', 's', '10.0.0.2', 6, 1500),
                   ('m3', 's', '10.0.0.7', 7, 1), ('m4', 's', '10.0.0.8', 7, 1),
                   ('m5', 's', '10.0.0.9', 7, 1)]
        remote, raw, printed = self.resolve(routes, pending)
        first = [hop1, hop2][[k for k in routes['10.0.0.2/32']['egress-ifs']][0] - 1]
        first_intf = 'swp9' if first is hop1 else 'swp10'
        first_hw = (0, 9) if first is hop1 else (0, 10)
        m = first['mac_addr']
        self.assertEqual(remote, [
            ('m1', 's', '10.0.0.2/32', m, first_intf, 10, 9216),
            ('m2', 's', '10.0.0.2/32', m, first_intf, 10, 1500),
            ('m3', 's', '10.0.0.7/32', None, None, None, 1),
            ('m4', 's', '10.0.0.8/32', None, None, None, 1),
            ('m5', 's', '10.0.0.9/32', None, None, None, 1)])
        self.assertEqual(raw, [
            ('m1', 's', '10.0.0.2/32', 5, m, 'modport', first_hw, first_intf, 10, 9216),
            ('m2', 's', '10.0.0.2/32', 6, m, 'modport', first_hw, first_intf, 10, 1500),
            ('m3', 's', '10.0.0.7/32', 7, None, None, None, None, None, 1),
            ('m4', 's', '10.0.0.8/32', 7, None, None, None, None, None, 1),
            ('m5', 's', '10.0.0.9/32', 7, None, None, None, None, None, 1)])
        self.assertEqual(printed, ''.join([
            'Eif on tunnel port is different from dstIpegressIf\n',
            ' No next hops created for egressIf 7\n',
            ' No next hops created for egressIf 7\n',
            'No route entry found for dstIp 10.0.0.9/32\n']))

    def test_multipath(self):
        hops = {1: next_hop(port=9), 2: next_hop(512, trunk=12, vlan=3000),
                3: next_hop(4096, port=99)}
        expected = {1: ('aa:bb:cc:00:00:01', 'swp9', 10, 'modport', (0, 9), 10),
                    2: ('aa:bb:cc:00:00:01', 'bond12', None, 'trunk', 12, 3000),
                    3: ('aa:bb:cc:00:00:01', 'unknown', 10, 'cpuPort', 'unknown', 10)}
        routes = {'10.0.0.3/32': {'is_ecmp': True, 'MultiPathNH': '12 3', 'egress-ifs': hops},
                  '10.0.0.4/32': {'is_ecmp': 1, 'MultiPathNH': ' 12\t0 ', 'egress-ifs': {}}}
        for eif, mismatch in [(12, ''), (13, 'Eif on tunnel port is different from '
                                             'dstIpegressIf\n')]:
            remote, raw, printed = self.resolve(routes, [('m', 's', '10.0.0.3', eif, 9216),
                                                         ('n', 's', '10.0.0.4', 12, 1)])
            order = [k for k in hops]
            self.assertEqual(remote, [('m', 's', '10.0.0.3/32') + expected[k][:3] + (9216,)
                                      for k in order] +
                             [('n', 's', '10.0.0.4/32', None, None, None, 1)])
            self.assertEqual(raw, [('m', 's', '10.0.0.3/32', eif, expected[k][0]) +
                                   expected[k][3:5] + (expected[k][1], expected[k][5], 9216)
                                   for k in order] +
                             [('n', 's', '10.0.0.4/32', 12) + (None,) * 5 + (1,)])
            self.assertEqual(printed, mismatch + ' No next hops created for ecmp path 12\n')

    def test_no_destination(self):
        remote, raw, printed = self.resolve({}, [('m', 's', None, 5, 1)])
        self.assertEqual((remote, raw, printed), ([('m', 's', None, None, None, None, 1)],
                                                  [('m', 's', None, 5) + (None,) * 5 + (1,)], ''))
        # an address that loaded as a number: not keyed, carried unchanged
        routes = {'20010/128': {'is_ecmp': False, 'SinglePathNH': 5, 'egress-ifs': {}}}
        remote, raw, printed = self.resolve(routes, [('m', 's', 20010, 5, 1)])
        self.assertEqual(remote, [('m', 's', 20010, None, None, None, 1)])
        self.assertEqual(raw, [('m', 's', 20010, 5) + (None,) * 5 + (1,)])
        self.assertEqual(printed, 'No route entry found for dstIp 20010\n')

    def test_nothing_pending(self):
        remote, raw, printed = self.resolve({}, [])
        self.assertEqual((remote, raw, printed), ([], [], ''))

    def test_failures(self):
        cases = [
            ({'10.0.0.2/32': {'is_ecmp': True, 'MultiPathNH': '12', 'egress-ifs': {}}}, ValueError),
            ({'10.0.0.2/32': {'is_ecmp': True, 'MultiPathNH': '12 x', 'egress-ifs': {}}},
             ValueError),
            ({'10.0.0.2/32': {'is_ecmp': False, 'egress-ifs': {}}}, KeyError),
            ({'10.0.0.2/32': {'is_ecmp': False, 'SinglePathNH': 5,
                              'egress-ifs': {1: next_hop(flags='x')}}}, TypeError),
        ]
        for routes, error in cases:
            a = self.asic(routes, [('m', 's', '10.0.0.2', 5, 1)])
            with captured_stdout():
                self.assertRaises(error, a.resolveDstIp)
        a = self.asic({}, [('m', 's', '10.0.0.2', 5)])
        self.assertRaises(ValueError, a.resolveDstIp)


if __name__ == '__main__':
    unittest.main()
