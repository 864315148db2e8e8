"""The VXLAN checker on the simulated VXLAN switch, with the daemon's files
laid over / in a private mount namespace (scripts/in-switch-ns, needs root):
construction and the order of what it reaches, the debug switch, the trunk
and bond table, and a collection end to end with its failures.  Also the
loader against the reference on the switch's whole dump."""

import base64
import os
import pickle
import unittest

import nvtest
import test_yaml
import vxtest

ROOT = os.path.join(nvtest.SWITCHES, 'vxlan', 'root')
NODE = os.path.join(ROOT, 'norvask', 'kestrad', 'debug', 'vxlan', 'info')

_reports = []


def report(name):
    """The report of one scenario of vxlan_child.py; all of them run once,
    in one namespace."""
    if not _reports:
        status, out, err = nvtest.in_switch_ns(
            ROOT, [nvtest.PYTHON, '-B', os.path.join(nvtest.HERE, 'vxlan_child.py')])
        if status != 0:
            raise AssertionError('vxlan_child.py failed (%d):\n%s%s' % (status, out, err))
        _reports.append(pickle.loads(base64.b64decode(out.splitlines()[-1])))
    r = _reports[0][name]
    if isinstance(r, tuple) and r[:1] == ('failed',):
        raise AssertionError('scenario %s broke:\n%s' % (name, r[1]))
    return r


MULTICAST_READS = ['show portmap', 'pvlan show', 'l3 intf show', 'vlan translate show',
                   'sc L3IngressMode', 'multicast show', 'vlan show 200', 'ports xe6-xe7',
                   'vlan show 4093', 'ports xe9', 'vlan show 100', 'ports xe0-xe3,ge0',
                   'ipmc table show']
CONSTRUCTION = ['show unit'] + MULTICAST_READS + ['trunk show']

BONDS = {1: {'slavePorts': ('xe2', 'xe3'), 'linuxSlavePorts': ('swp3', 'swp4'),
             'linuxIntfName': 'bond1'},
         12: {'slavePorts': ('xe10', 'xe11'), 'linuxSlavePorts': ('swp11', 'swp12'),
              'linuxIntfName': 'bond12'}}


def remote(mac, src, dst, eif, mtu, hops):
    """The remote and raw entries of one remote MAC: hops are (mac, dstIntf,
    vlan, egressIntfType, hwIntf, hwvlan), none for an unresolved one."""
    if not hops:
        return ([(mac, src, dst, None, None, None, mtu)],
                [(mac, src, dst, eif, None, None, None, None, None, mtu)])
    return ([(mac, src, dst, h[0], h[1], h[2], mtu) for h in hops],
            [(mac, src, dst, eif, h[0], h[3], h[4], h[1], h[5], mtu) for h in hops])


def vni(vni_id, vpn, igmp, arp, local_ports=(), local_macs=(), remotes=()):
    record = vxtest.vni_record(vni_id, vpn, igmp, arp)
    for ports in local_ports:
        record['localPorts'].append(ports[0])
        record['rawLocalPorts'].append(ports[1])
    for mac, port, intf in local_macs:
        record['localMacs'].append((mac, intf))
        record['rawLocalMacs'].append((mac, port, intf))
    for r in remotes:
        entries, raw = remote(*r)
        record['remoteMacs'] += entries
        record['rawRemoteMacs'] += raw
    return record


EXPECTED = {
    1000: vni(1000, 0x7000, 2, 1,
              local_ports=[(('trunk', ('swp3', 'swp4'), 100), ('trunk', 1, 'bond1', 100)),
                           (('modport', 'swp5', 10), ('modport', ('0', '5'), 'swp5', 10))],
              local_macs=[('00:02:00:00:00:01', '0x80000001', 'bond1'),
                          ('00:02:00:00:00:02', '0x80000002', 'swp5')],
              remotes=[('00:03:00:00:00:01', '10.0.0.1', '10.0.0.2/32', 100003, 9216,
                        [('44:38:39:00:00:10', 'swp9', 4093, 'modport', (0, 9), 4093)])]),
    2000: vni(2000, 0x7001, 0, 0,
              # the trunk's default VLAN, 3001, is the daemon's own
              local_ports=[(('trunk', ('swp11', 'swp12'), None), ('trunk', 12, 'bond12', None))],
              local_macs=[('10:20:30:40:50:59', '0x80000003', 'bond12')],
              remotes=[('00:03:00:00:00:02', '10.0.0.1', '10.0.0.3/32', 200001, 9216,
                        [('00:00:5e:00:01:01', 'bond12', None, 'trunk', 12, 3005),
                         ('44:38:39:00:00:11', 'swp10', 200, 'modport', (0, 10), 200)]),
                       ('00:03:00:00:00:03', '10.0.0.1', '10.0.0.9/32', 100006, 9216, None)]),
    3000: vni(3000, 0x7002, 0, None,
              remotes=[('00:03:00:00:00:04', '2001:db8::1', '2001:db8::2/128', 100007, 1500,
                        [('00:00:00:00:00:00', 'unknown', 1, 'cpuPort', 'unknown', 1)])]),
}


class ConstructionTest(unittest.TestCase):

    def test_order_and_what_it_leaves(self):
        r = report('construct')
        self.assertEqual(r['commands'], CONSTRUCTION)
        # the checker's own client first, then the multicast checker's objects
        self.assertEqual(r['made'], ['dolmish', 'quillon', 'VrfDb', 'dolmish'])
        self.assertEqual(r['client_kwargs'], [{'timeout': 180}] * 2)
        self.assertEqual(r['client_args'], [()] * 2)
        self.assertEqual(r['writes'], '')
        self.assertEqual(r['harnel'], [
            ('asictrunkmbr2linux', ('xe2',)), ('asic2linux', ('xe2',)), ('asic2linux', ('xe3',)),
            ('asictrunkmbr2linux', ('xe10',)), ('asic2linux', ('xe10',)),
            ('asic2linux', ('xe11',))])
        s = r['summary']
        self.assertIs(s['kestrad_debug_enabled'], True)
        self.assertEqual(s['vxlanFuseNode'], '/norvask/kestrad/debug/vxlan/info')
        self.assertEqual(s['chip'], 'Trident2')
        self.assertEqual(s['chip_ids'], vxtest.CHIP_IDS)
        # trunk 12 under 12; bond 7 of the file has no trunk and is left out
        self.assertEqual(s['hwBonds'], BONDS)
        self.assertEqual(s['tables'], dict((name, {}) for name in s['tables']))
        self.assertEqual(len(s['tables']), 9)
        self.assertFalse(s['l2Table set'])
        self.assertTrue(s['bs is a client'] and s['helper is a corvane Asic'] and
                        s['clients apart'])
        self.assertEqual(s['helper portmap read'], 15)

    def test_node_absent_switches_debug_on_first(self):
        r = report('node_absent')
        self.assertIs(r['flag'], False)
        self.assertEqual(r['writes'], '1\n')
        self.assertEqual(r['writes when the client was imported'], ['1\n'])
        self.assertEqual(r['commands'], CONSTRUCTION)
        r = report('node_is_a_directory')
        self.assertEqual((r['flag'], r['writes']), (False, '1\n'))
        self.assertEqual(r['collection'][:2], ('Exception', 'Failed to parse the kfs fuse node'))
        self.assertEqual(r['tables'], {})

    def test_client_missing(self):
        r = report('client_missing')
        self.assertEqual(r['error'][0], 'ImportError')
        self.assertEqual(r['writes'], '1\n')
        self.assertEqual((r['commands'], r['made']), ([], []))

    def test_failures(self):
        r = report('construction_failures')
        unit = 'Unit 0 chip XGS78100_B0 (current)\n'
        expected = {
            'show unit times out': (('IOError', 'timed out'), ['show unit']),
            'show unit is not a unit': (
                ('RuntimeError', 'could not determine the platform"' + ' ' * 21 +
                 '"from unit string:\n\n' + unit + '\n'), ['show unit']),
            'the multicast checker fails': (('RuntimeError', 'ipmc table show timed out'),
                                            CONSTRUCTION[:-1]),
            'trunk show times out': (('Exception', 'Unable to run bcm trunk show command'),
                                     CONSTRUCTION),
            'trunk show fails otherwise': (('Exception', 'Unable to run bcm trunk show command'),
                                           CONSTRUCTION),
            'no bond file': (('IOError', "[Errno 2] No such file or directory: "
                                         "'/norvask/kestrad/debug/bond/sw_bonds'"), CONSTRUCTION),
            'bond line of two words': (('ValueError', 'need more than 2 values to unpack'),
                                       CONSTRUCTION),
            'bond id not a number': (('ValueError',
                                      "invalid literal for int() with base 10: 'x1'"),
                                     CONSTRUCTION),
            'trunk member unknown': (('KeyError', "'xe99'"), CONSTRUCTION),
        }
        for name, (error, commands) in expected.items():
            self.assertEqual(r[name]['error'][:2], error, name)
            self.assertEqual(r[name]['commands'], commands, name)
        self.assertEqual(r['no bond file']['error'][2:],
                         (2, '/norvask/kestrad/debug/bond/sw_bonds'))
        self.assertEqual(r['bond file a directory']['error'][:3],
                         ('IOError', "[Errno 21] Is a directory: "
                                     "'/norvask/kestrad/debug/bond/sw_bonds'", 21))
        self.assertEqual(len(r), len(expected) + 1)

    def test_bond_files(self):
        r = report('bond_files')
        unnamed = dict((k, dict(v, linuxIntfName=None)) for k, v in BONDS.items())
        for name in ['header only', 'header of three words only', 'empty']:
            self.assertEqual(r[name], unnamed, name)
        self.assertEqual(r['blank lines, leading zeros, later lines win, unknown ids'],
                         {1: dict(BONDS[1], linuxIntfName='bondA'),
                          12: dict(BONDS[12], linuxIntfName='bondE')})
        self.assertEqual(r['middle field not read'][1]['linuxIntfName'], 'bond0')
        bonds, same = r['rebuilt']
        self.assertEqual(bonds, {
            1: {'slavePorts': ('xe5',), 'linuxSlavePorts': ('swp6',), 'linuxIntfName': 'bond1'},
            10: {'slavePorts': ('xe6',), 'linuxSlavePorts': ('swp7',), 'linuxIntfName': None},
            12: BONDS[12]})
        self.assertEqual(same, {1: True, 12: True})

    def test_debug_switch(self):
        r = report('debug_switch')
        self.assertEqual(r['steps'], [['enable', None, '1\n'], ['disable', None, '1\n'],
                                      ['get', True, '']])
        self.assertEqual(r['with no control directory'], [(None, None), (None, None)])
        self.assertIs(r['flag'], True)


class CollectionTest(unittest.TestCase):

    def test_per_vni_result(self):
        r = report('collection')
        for vni_id in EXPECTED:
            for key in EXPECTED[vni_id]:
                self.assertEqual(r['result'][vni_id][key], EXPECTED[vni_id][key],
                                 (vni_id, key))
        self.assertEqual(r['result'], EXPECTED)
        self.assertEqual(r['printed'], 'No route entry found for dstIp 10.0.0.9/32\n')
        self.assertEqual(r['commands'], [])

    def test_tables_hold_the_dump_s_records(self):
        r = report('collection')
        self.assertEqual(r['same objects'], dict((k, True) for k in r['same objects']))
        self.assertEqual(r['host change seen'], 'added')
        self.assertEqual(r['gports in the dump'], [0x80000001, 0x80000002])
        self.assertEqual(r['linuxIntf in the dump'], {
            0x80000001: 'bond1', 0x80000002: 'swp5', 0x80000003: 'bond12', 0x80000010: 'none',
            0x80000011: 'none', 0x80000012: 'none', 0x80000013: 'none'})
        self.assertEqual(r['mac in the dump'], 8041827059)
        self.assertEqual(r['routes'], ['10.0.0.0/24', '10.0.0.2/32', '10.0.0.3/32',
                                       '2001:db8::2/128'])
        self.assertEqual(r['hosts'], ['10.0.0.2', '10.0.0.3', '2001:db8::2'])
        self.assertEqual(r['vpn to vni'], {0x7000: 1000, 0x7001: 2000, 0x7002: 3000,
                                           0x7fff: 0xffffff})
        self.assertEqual(r['harnel'], [
            ('modport2interface', (0, 5, 'Trident2')), ('asic2linux', ('xe4',)),
            ('modport2interface', (0, 9, 'Trident2')), ('asic2linux', ('xe8',)),
            ('modport2interface', (0, 10, 'Trident2')), ('asic2linux', ('xe9',)),
            ('modport2interface', (0, 0, 'Trident2'))])

    def test_failures(self):
        r = report('collection_failures')
        not_found, failed = 'Hw Vxlan Objects not found', 'Failed to parse the kfs fuse node'
        for name, error, kept in [('node gone', not_found, True), ('no marker', not_found, False),
                                  ('empty dump', not_found, False), ('not YAML', failed, True),
                                  ('not a dump of sections', failed, True),
                                  ('a section that is a list', failed, True),
                                  ('no VPN section', 'No vpns are programmed in hw', False)]:
            self.assertEqual(r[name]['error'][:2], ('Exception', error), name)
            self.assertEqual(r[name]['tables kept'], kept, name)
            self.assertEqual((r[name]['result'], r[name]['ports filed'], r[name]['printed']),
                             ({}, 0, ''), name)
        self.assertIn('OLD VPN DUMP', r['no VPN section']['sections'])

        # A step that fails leaves what the steps before it stored.
        trunk = r['a trunk without a bond record']
        self.assertEqual(trunk['error'][:2], ('Exception', 'Trunk Id 13 is not found in hwBonds'))
        self.assertEqual(trunk['ports filed'], 7)
        self.assertEqual(trunk['result'][1000]['localPorts'], EXPECTED[1000]['localPorts'])
        self.assertEqual(trunk['result'][2000], vni(2000, 0x7001, 0, 0))

        unknown = r['an L2 entry of an unknown VPN']
        self.assertEqual(unknown['error'][:2], ('Exception', 'Vpn 31420 not mapped to vni'))
        result = unknown['result']
        self.assertEqual(result[1000]['localMacs'], EXPECTED[1000]['localMacs'])
        # the remote MACs met before it, not yet resolved
        self.assertEqual(result[1000]['remoteMacs'],
                         [('00:03:00:00:00:01', '10.0.0.1', '10.0.0.2', 100003, 9216)])
        self.assertEqual(result[2000]['remoteMacs'],
                         [('00:03:00:00:00:02', '10.0.0.1', '10.0.0.3', 200001, 9216),
                          ('00:03:00:00:00:03', '10.0.0.1', '10.0.0.9', 100006, 9216)])
        self.assertEqual([result[v]['rawRemoteMacs'] for v in sorted(result)], [[], [], []])


class DemoTest(unittest.TestCase):

    def test_prints_the_vnis(self):
        status, out, err = nvtest.in_switch_ns(
            ROOT, [nvtest.PYTHON, '-B', os.path.join(nvtest.SIMSWITCH, 'demo.py'), '--vxlan'],
            env={'PYTHONPATH': ''})
        self.assertEqual(status, 0, err)
        lines = out.splitlines()
        self.assertEqual(lines[0], 'No route entry found for dstIp 10.0.0.9/32')
        self.assertEqual([l for l in lines if l.startswith('vni')],
                         ['vni 1000', 'vni 2000', 'vni 3000'])
        at = lines.index('vni 2000')
        self.assertEqual(lines[at:at + 9], [
            'vni 2000', '  vni: 2000', '  vpn: 28673', '  igmpSnoop: 0', '  arpSupress: 0',
            '  arpReqSup: 0', '  arpReplySupress: 0', '  localPorts:',
            "    ('trunk', ('swp11', 'swp12'), None)"])
        self.assertIn("    ('00:03:00:00:00:03', '10.0.0.1', '10.0.0.9/32', None, None, None, "
                      "9216)", lines)


@unittest.skipUnless(test_yaml.reference_available(),
                     '%s with python3-yaml is needed as the reference '
                     '(scripts/setup installs python3-yaml)' % test_yaml.REFERENCE_PYTHON)
class DumpAgainstReferenceTest(unittest.TestCase):

    def test_the_switch_s_dump(self):
        with open(NODE) as f:
            text = f.read().split('#HW DUMP:', 1)[1]
        expected = test_yaml.reference([text])[0]
        self.assertNotEqual(expected[0], 'error')
        difference = test_yaml.first_difference(test_yaml.ours(text), expected)
        self.assertIsNone(difference)
        self.assertEqual(vxtest.tirrow().yaml.safe_load(text),
                         test_yaml.yaml.safe_load(text))


if __name__ == '__main__':
    unittest.main()
