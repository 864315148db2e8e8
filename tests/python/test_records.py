"""The hardware and kernel record classes as the host sees them: constructors,
public fields, their methods and their text forms."""

import unittest

from nvtest import corvane


class HardwareRecordsTest(unittest.TestCase):

    def setUp(self):
        self.m = corvane()

    def test_portmap_entry(self):
        e = self.m.PortmapEntry('xe0', 1, 'swp1')
        self.assertEqual((e.dport, e.logical_port, e.linux_port, e.port_vid),
                         ('xe0', 1, 'swp1', -1))
        self.assertEqual(str(e), 'dport: xe0, lport: 1, linux_port: swp1, port_vid: -1')
        self.assertIsNone(e.update_port_vid(100))
        self.assertEqual(e.port_vid, 100)
        self.assertEqual(str(e), 'dport: xe0, lport: 1, linux_port: swp1, port_vid: 100')
        cpu = self.m.PortmapEntry(dport='cpu0', logical_port=0, linux_port=None)
        self.assertIsNone(cpu.linux_port)
        self.assertEqual(str(cpu), 'dport: cpu0, lport: 0, linux_port: None, port_vid: -1')

    def test_vlan_xlate_and_vlan_entry(self):
        x = self.m.VlanXlate(5, 200, 10)
        self.assertEqual((x.lport, x.ivid, x.evid), (5, 200, 10))
        self.assertEqual(str(x), 'lport: 5, ivid: 200, evid: 10')
        self.assertEqual(str(self.m.VlanXlate(-1, -1, -1)), 'lport: -1, ivid: -1, evid: -1')
        v = self.m.VlanEntry(100, ['xe0', 'xe1', 'ge0'])
        self.assertEqual((v.vid, v.untagged_dports), (100, ['xe0', 'xe1', 'ge0']))
        self.assertEqual(str(v), 'vid: 100, untagged_ports: xe0,xe1,ge0')
        self.assertEqual(str(self.m.VlanEntry(7, [])), 'vid: 7, untagged_ports: ')

    def test_encap(self):
        e = self.m.Encap('swp9', 'xe8', 7, 3000, 300)
        self.assertEqual((e.linux_port, e.bcm_dport, e.intf, e.vlan, e.evid),
                         ('swp9', 'xe8', 7, 3000, 300))
        cases = [  # evid, encap2swp, text
            (300, 'swp9.300', 'port: swp9, vlan: 300'),
            (0, 'swp9.0', 'port: swp9, vlan: 0'),
            (-1, 'swp9', 'port: swp9'),
        ]
        for evid, name, text in cases:
            e = self.m.Encap(linux_port='swp9', bcm_dport='xe8', intf=7, vlan=3000, evid=evid)
            self.assertEqual(e.encap2swp(), name)
            self.assertEqual(str(e), text)

    def test_encap_fields_are_writable(self):
        e = self.m.Encap('swp1', 'xe0', 5, 100, -1)
        e.evid = 100
        self.assertEqual(e.encap2swp(), 'swp1.100')
        self.assertEqual(str(e), 'port: swp1, vlan: 100')

    def test_replication_group_text(self):
        E = self.m.Encap
        l3 = [E('swp5', 'xe4', 6, 200, 200), E('swp7', 'xe6', 6, 200, -1)]
        l2 = [E('swp2', 'xe1', -1, -1, -1), E('swp3', 'xe2', -1, -1, -1)]
        RG = self.m.ReplicationGroup
        self.assertEqual(str(RG(5, [], l3)), '  port: swp5, vlan: 200\n  port: swp7\n')
        self.assertEqual(str(RG(5, l2, [])),
                         '  L2 replication ports:\n    port: swp2\n    port: swp3\n')
        self.assertEqual(str(RG(5, l2, l3)),
                         '  port: swp5, vlan: 200\n  port: swp7\n'
                         '  L2 replication ports:\n    port: swp2\n    port: swp3\n')
        self.assertEqual(str(RG(5, [], [])), '')

    def test_replication_group_sets_and_lists(self):
        E = self.m.Encap
        l3 = [E('swp5', 'xe4', 6, 200, 200), E('swp5', 'xe4', 9, 200, 200),
              E('swp7', 'xe6', 6, 200, -1)]
        l2 = [E('swp2', 'xe1', -1, -1, -1), E('swp2', 'xe1', -1, -1, -1)]
        g = self.m.ReplicationGroup(0x2000005, l2, l3)
        self.assertEqual(g.mcast_grp, 0x2000005)
        self.assertIs(g.l2_encaps, l2)
        self.assertIs(g.l3_encaps, l3)
        s3, s2 = g.get_l3_linux_encaps(), g.get_l2_linux_encaps()
        self.assertIsInstance(s3, set)
        self.assertEqual(s3, set(['swp5.200', 'swp7']))
        self.assertEqual(s2, set(['swp2']))
        self.assertIsNot(g.get_l3_linux_encaps(), s3)
        empty = self.m.ReplicationGroup(1, [], [])
        self.assertEqual((empty.get_l3_linux_encaps(), empty.get_l2_linux_encaps()),
                         (set(), set()))
        # the group reads the lists it was given
        l2.append(E('swp4', 'xe3', -1, -1, -1))
        self.assertEqual(g.get_l2_linux_encaps(), set(['swp2', 'swp4']))

    def test_hmroute(self):
        r = self.m.Hmroute('10.1.1.1', '239.1.1.1', 100, 5, 'red')
        self.assertEqual((r.sip, r.dip, r.iif, r.vrf), ('10.1.1.1', '239.1.1.1', 100, 'red'))
        self.assertEqual(r.grp, 5 | 0x2000000)
        self.assertEqual(self.m.Hmroute('a', 'b', 1, 0x2000005, 'v').grp, 0x2000005)
        self.assertEqual(self.m.Hmroute('a', 'b', 1, 0, 'v').grp, 0x2000000)
        self.assertEqual((r.iif_mismatch, r.oil_mismatch), ([], []))
        self.assertEqual(str(r), 'red, (10.1.1.1,239.1.1.1), iif: 100')

    def test_hmroute_notes(self):
        H = self.m.Hmroute
        a = H(sip='0.0.0.0', dip='239.1.1.2', iif=200, mcast_grp=6, vrf='default')
        b = H('0.0.0.0', '239.1.1.2', 200, 6, 'default')
        self.assertIsNot(a.iif_mismatch, b.iif_mismatch)
        self.assertIsNot(a.iif_mismatch, a.oil_mismatch)
        a.oil_mismatch.append('hw has OIFs not in the kernel')
        self.assertEqual(b.oil_mismatch, [])
        self.assertEqual(str(a), 'default, (0.0.0.0,239.1.1.2), iif: 200\n  errors:'
                                 '\n    hw has OIFs not in the kernel')
        a.iif_mismatch.append('kernel IIF does not match hw IIF')
        a.oil_mismatch.append('kernel has L2-OIFs not in the hw')
        self.assertEqual(str(a).split('\n'), [
            'default, (0.0.0.0,239.1.1.2), iif: 200',
            '  errors:',
            '    kernel IIF does not match hw IIF',
            '    hw has OIFs not in the kernel',
            '    kernel has L2-OIFs not in the hw'])

    def test_wrong_argument_count(self):
        for cls, args in [(self.m.PortmapEntry, ('xe0', 1)),
                          (self.m.Encap, ('swp1', 'xe0', 5, 100)),
                          (self.m.Hmroute, ('a', 'b', 1, 5, 'v', 'extra'))]:
            self.assertRaises(TypeError, cls, *args)


class KernelRecordsTest(unittest.TestCase):

    def setUp(self):
        self.m = corvane()

    def test_dev_and_vlan_dev_entries(self):
        d = self.m.KernDevEntry('br0', 'bridge', 1)
        self.assertEqual((d.dev, d.kind, d.vlan_filtering), ('br0', 'bridge', 1))
        self.assertEqual(str(d), 'br0: kind: bridge vlan_filtering: 1\n')
        v = self.m.KernVlanDevEntry('vlan100', 100, 'br0')
        self.assertEqual((v.dev, v.vid, v.atlink), ('vlan100', 100, 'br0'))
        self.assertEqual(str(v), 'dev: vlan100 vid: 100 atlink: br0')

    def test_vlan_entry(self):
        v = self.m.KernVlanEntry(100)
        self.assertEqual((v.vid, v.tagged_swp, v.untagged_swp), (100, [], []))
        self.assertEqual(str(v), 'vid: 100\n  tagged: \n  untagged: \n')
        for flag in (0, None, False, ''):
            v.add_port('swp5', flag)
        for flag in (1, True, 'yes'):
            v.add_port('swp1', flag)
        self.assertEqual(v.tagged_swp, ['swp5'] * 4)
        self.assertEqual(v.untagged_swp, ['swp1'] * 3)
        w = self.m.KernVlanEntry(200)
        self.assertIsNone(w.add_port('swp6', 0))
        w.add_port('swp7', 1)
        w.add_port('swp8', 0)
        self.assertEqual(str(w), 'vid: 200\n  tagged: swp6,swp8\n  untagged: swp7\n')

    def test_mdb_entries(self):
        e = self.m.KernMdbEntry(100, '01:00:5e:01:01:01')
        self.assertEqual((e.vid, e.grp, e.swp), (100, '01:00:5e:01:01:01', []))
        self.assertEqual(str(e), '  vid: 100 grp: 01:00:5e:01:01:01\n')
        e.add_port('swp1')
        e.add_port('swp2.100')
        e.add_port('swp1')
        self.assertEqual(e.swp, ['swp1', 'swp2.100'])
        self.assertEqual(str(e), '  vid: 100 grp: 01:00:5e:01:01:01\n'
                                 '    port: swp1\n    port: swp2.100\n')
        self.assertEqual(str(self.m.KernMdbEntry(-1, 'g')), '  grp: g\n')
        self.assertEqual(str(self.m.KernMdbEntry(0, 'g')), '  vid: 0 grp: g\n')
        r = self.m.KernMdbRportEntry(10)
        r.add_port('swp3')
        r.add_port('swp3')
        self.assertEqual((r.vid, r.swp), (10, ['swp3', 'swp3']))

    def test_mdb_cache(self):
        a = self.m.KernMdbCache('br0', 1)
        b = self.m.KernMdbCache('br1', 0)
        self.assertEqual((a.dev, a.vlan_filtering, a.mdb_entries, a.mdb_rports),
                         ('br0', 1, {}, {}))
        self.assertEqual(str(a), 'dev: br0:\n')
        a.mdb_entries['10.01:00:5e:01:01:01'] = self.m.KernMdbEntry(10, '01:00:5e:01:01:01')
        self.assertNotIn('10.01:00:5e:01:01:01', b.mdb_entries)
        self.assertIsNot(a.mdb_rports, b.mdb_rports)
        a.mdb_entries['10.01:00:5e:01:01:01'].add_port('swp1')
        self.assertEqual(str(a), 'dev: br0:\n  vid: 10 grp: 01:00:5e:01:01:01\n    port: swp1\n')
        given = {}
        c = self.m.KernMdbCache('br2', 1, given)
        self.assertIs(c.mdb_entries, given)
        given['-1.g'] = self.m.KernMdbEntry(-1, 'g')
        self.assertEqual(str(c), 'dev: br2:\n  grp: g\n')


if __name__ == '__main__':
    unittest.main()
