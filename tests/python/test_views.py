"""The checker's lists and mappings as the host sees them: lists and dicts
whose changes reach the checker, and whose records are the checker's own."""

import copy
import unittest

from nvtest import corvane, make_asic


class TableViewTest(unittest.TestCase):

    def setUp(self):
        self.m = corvane()
        self.asic = make_asic('riot_off')

    def test_changes_reach_the_lookups(self):
        a = self.asic
        self.assertEqual(a._dport2logical_port('xe99'), -1)
        a.portmap.append(self.m.PortmapEntry('xe99', 99, 'swp99'))
        self.assertEqual(a._dport2logical_port('xe99'), 99)
        a.portmap[1].dport = 'xe98'                    # a record changed in place
        self.assertEqual(a._dport2logical_port('xe98'), 1)
        self.assertEqual(a._dport2logical_port('xe0'), -1)
        a.vlan_xlate.insert(0, self.m.VlanXlate(5, 200, 20))
        self.assertEqual(a._evid2ivid(5, 20), 200)
        del a.vlan_xlate[0]
        self.assertEqual(a._evid2ivid(5, 20), -1)
        a.l3_intfs[5] = 777
        self.assertEqual(a.l3_intfs[5], 777)

    def test_views_are_lists_and_dicts(self):
        a = self.asic
        self.assertIsInstance(a.portmap, list)
        self.assertIsInstance(a.mroutes, dict)
        self.assertEqual(sorted(a.mroutes), sorted(a.get_mroutes()))
        self.assertIs(type(copy.copy(a.portmap)), list)
        self.assertIs(type(copy.copy(a.l3_intfs)), dict)
        self.assertEqual(dict(a.l3_intfs), a.l3_intfs)
        self.assertRaises(TypeError, type(a.l3_intfs))

    def test_notes_appended_through_a_view_are_dumped(self):
        a = self.asic
        key = sorted(a.mroutes)[0]
        a.mroutes[key].oil_mismatch.append('hw has OIFs not in the kernel')
        self.assertIn('\n  errors:\n    hw has OIFs not in the kernel', str(a))

    def test_entries_that_leave_the_table(self):
        a = self.asic
        entry = a.vlans[100]
        del a.vlans[100]
        self.assertRaises(KeyError, getattr, entry, 'untagged_dports')
        group = a.replication_groups.values()[0]
        targets = group.l3_encaps
        count = len(targets)
        a.replication_groups.clear()
        self.assertRaises(KeyError, getattr, group, 'l3_encaps')
        self.assertEqual(len(targets), count)          # the list itself lives on
        self.assertEqual(targets[0].linux_port[:3], 'swp')
        first = a.portmap[0]
        dport = first.dport
        a.portmap = []                                 # a new table; the old entry stays
        self.assertEqual(first.dport, dport)
        self.assertEqual(a._dport2logical_port(dport), -1)

    def test_popped_records_are_copies(self):
        a = self.asic
        last = a.portmap[-1].dport
        popped = a.portmap.pop()
        self.assertEqual(popped.dport, last)
        popped.dport = 'elsewhere'
        self.assertNotIn('elsewhere', [e.dport for e in a.portmap])


if __name__ == '__main__':
    unittest.main()
