"""Records and tables as the host sees them: one object per record, the
interpreter's own lists, dicts and sets, shared both ways, typed fields and
cycle collection.  Each case is a short host-side script run on a freshly
constructed checker of the RIOT-off switch (`a`, with the module as `m`);
it passes when it runs through, or raises what the case expects."""

import gc
import textwrap
import unittest

from nvtest import corvane, make_asic

OK = None

# (name, script, expected error type and message text or None)
CASES = [
    # --- identity
    ('tables are one object each', '''
        for name in ('portmap', 'l3_intfs', 'vlan_xlate', 'vlan_riot', 'vlans',
                     'replication_groups', 'mroutes', 'kern_dev_cache', 'kern_mdb_cache',
                     'kern_vlan_cache', 'kern_vlan_dev_cache', 'kern_br_cache'):
            check(getattr(a, name) is getattr(a, name), name)
        check(type(a.portmap) is list and type(a.mroutes) is dict)
    ''', OK),
    ('a record read twice is one object', '''
        k = sorted(a.mroutes)[0]
        check(a.mroutes[k] is a.mroutes[k])
        r = a.mroutes[k]
        g = a.replication_groups[r.grp]
        check(g is a.replication_groups[r.grp])
        check(g.l3_encaps is g.l3_encaps and g.l3_encaps[0] is g.l3_encaps[0])
        check(r.oil_mismatch is r.oil_mismatch)
        check(a.portmap[1] is a.portmap[1] and a.vlans.values()[0] is a.vlans.values()[0])
    ''', OK),
    ('a held record stays itself across inserts', '''
        e = a.portmap[1]
        dport = e.dport
        a.portmap.insert(0, m.PortmapEntry('xe99', 5, None))
        check(e is a.portmap[2] and e.dport == dport)
    ''', OK),
    ('a replaced route keeps its fields and leaves the table', '''
        k = sorted(a.mroutes)[0]
        old = a.mroutes[k]
        sip = old.sip
        new = m.Hmroute('9.9.9.9', '239.9.9.9', 7, 3, 'default')
        a.mroutes[k] = new
        check(old.sip == sip and a.mroutes[k] is new)
        check(new.sip == '9.9.9.9' and old is not new)
    ''', OK),
    ('a removed record keeps its fields', '''
        v = a.vlans.values()[0]
        ports = list(v.untagged_dports)
        a.vlans.clear()
        check(v.untagged_dports == ports)
        p = a.portmap[-1]
        check(a.portmap.pop() is p)
    ''', OK),
    ('a record the host stores is that object', '''
        e = m.PortmapEntry('xe77', 77, 'swp77')
        a.portmap.append(e)
        e.logical_port = 78
        check(a._dport2logical_port('xe77') == 78)
        check(a._get_logical_port_and_pvid('swp77') == (78, -1))
    ''', OK),
    ('attributes the host adds stay on the record', '''
        k = sorted(a.mroutes)[0]
        a.mroutes[k].seen = 'yes'
        check(a.mroutes[k].seen == 'yes')
        a.portmap[0].__dict__['x'] = 1
        check(a.portmap[0].x == 1)
    ''', OK),

    # --- sharing
    ('a list given to a record is kept and followed', '''
        k = sorted(a.mroutes)[0]
        g = a.replication_groups[a.mroutes[k].grp]
        mine = []
        g.l3_encaps = mine
        mine.append(m.Encap('swp5', 'xe5', 100007, 100, -1))
        check(a.replication_groups[g.mcast_grp].l3_encaps is mine)
        check(a.get_repl_group_entry('%x' % g.mcast_grp, 200007) == 200007)
        check('port: swp5' in a._dump_one_mroute(a.mroutes[k]))
    ''', OK),
    ('constructor containers are kept, not copied', '''
        l2, l3 = [], []
        g = m.ReplicationGroup(5, l2, l3)
        check(g.l2_encaps is l2 and g.l3_encaps is l3)
        names = ['xe1']
        check(m.VlanEntry(1, names).untagged_dports is names)
        d = {}
        c = m.KernMdbCache('br0', 0, d)
        check(c.mdb_entries is d)
        c1, c2 = m.KernMdbCache('br1', 0), m.KernMdbCache('br2', 0)
        check(c1.mdb_entries == {} and c1.mdb_entries is not c2.mdb_entries)
    ''', OK),
    ('a cache the host stores is changed through its own lists', '''
        c = m.KernMdbCache('br0', 0)
        a.kern_mdb_cache['br0'] = c
        r = m.KernMdbRportEntry(-1)
        c.mdb_rports[-1] = r
        r.add_port('swp3')
        check(a.kern_mdb_cache['br0'].mdb_rports[-1].swp == ['swp3'])
        e = m.KernMdbEntry(-1, '01:00:5e:01:01:01')
        c.mdb_entries['-1.01:00:5e:01:01:01'] = e
        e.add_port('swp1')
        e.add_port('swp1')
        check(a.kern_mdb_cache['br0'].mdb_entries['-1.01:00:5e:01:01:01'].swp is e.swp)
        check(e.swp == ['swp1'])
    ''', OK),
    ('a table replaced whole: held objects stay, the checker uses the new one', '''
        old = a.vlans
        held = old.values()[0]
        vid = held.vid
        a.vlans = {}
        check(old[vid] is held and a.vlans == {})
        fresh = {}
        a.vlans = fresh
        a._parse_vlan(100)
        check(a.vlans is fresh and 100 in fresh)
        pm = a.portmap
        a.portmap = []
        check(a._dport2logical_port(pm[0].dport) == -1 and len(pm) > 0)
    ''', OK),
    ('what the checker adds, the host sees in the table it holds', '''
        held = a.vlans
        a._parse_vlan(4093)
        check(4093 in held)
        check(held[4093].vid == 4093)
    ''', OK),
    ("the interpreter's own operations are seen", '''
        import copy, json
        dict.update(a.l3_intfs, {4000: 4001})
        check(a.l3_intfs[4000] == 4001)
        pm = a.portmap
        list.sort(pm, key=lambda e: -e.logical_port)
        first = pm[0]
        pm[1:] = []
        check(a._dport2logical_port(first.dport) == first.logical_port)
        check(len(a.portmap) == 1)
        a.portmap = copy.copy(pm)
        check(a.portmap is not pm and a.portmap[0] is first)
        k = sorted(a.mroutes)[0]
        a.mroutes[k].oil_mismatch = json.loads('["hw has OIFs not in the kernel"]')
        check('\\n    hw has OIFs not in the kernel' in a._dump_one_mroute(a.mroutes[k]))
        list.append(a.mroutes[k].iif_mismatch, 'iif mismatch')
        check('iif mismatch' in str(a))
    ''', OK),

    # --- fields
    ('integer fields take int and long', '''
        e = a.portmap[0]
        e.logical_port = 5L
        check(e.logical_port == 5)
        e.port_vid = True
        check(e.port_vid == 1)
    ''', OK),
    ('an integer field refuses a text', 'a.portmap[0].logical_port = "5"', (TypeError, None)),
    ('an integer field refuses None', 'a.portmap[0].port_vid = None', (TypeError, None)),
    ('a text field takes ASCII unicode', '''
        e = a.portmap[0]
        e.dport = u'xe42'
        check(e.dport == 'xe42' and type(e.dport) is str)
    ''', OK),
    ('a text field refuses other unicode', 'a.portmap[0].dport = u"\\xe9"', (TypeError, None)),
    ('a text field refuses None', 'a.portmap[0].dport = None', (TypeError, None)),
    ('a port without a Linux name takes None', '''
        e = a.portmap[0]
        e.linux_port = None
        check(e.linux_port is None)
        check(m.PortmapEntry('xe1', 1, None).linux_port is None)
    ''', OK),
    ('a list field refuses a tuple', 'a.replication_groups.values()[0].l2_encaps = ()',
     (TypeError, None)),
    ('a dict attribute refuses a list', 'a.vlans = []', (TypeError, None)),
    ('a set attribute refuses a frozenset', 'a.tmp_encaps = frozenset()', (TypeError, None)),
    ('a value stored as given is that object', '''
        o = object()
        a.debug = o
        check(a.debug is o)
    ''', OK),
    ('a declared field cannot be deleted', 'del a.portmap[0].dport', (AttributeError, None)),
    ('attributes made later are absent until then', '''
        check(not hasattr(a, 'l3_intf_nhi') and not hasattr(a, 'tmp_encaps'))
        a.tmp_encaps = set()
        check(a.tmp_encaps == set())
    ''', OK),
    ('reading an absent attribute is the usual AttributeError', 'a.tmp_encaps',
     (AttributeError, "Asic instance has no attribute 'tmp_encaps'")),
    ('a record cannot be copied half-way', 'import copy; copy.copy(a.portmap[0])',
     (TypeError, "can't copy or pickle norvask.corvane.PortmapEntry objects")),
    ('a record of the wrong kind in a table fails where it is used', '''
        a.portmap.append('xe5')
        a._dport2logical_port('nowhere')
    ''', (TypeError, 'expected norvask.corvane.PortmapEntry, not str')),
]


class ObjectModelTest(unittest.TestCase):

    def run_case(self, name, script, expected):
        m = corvane()
        a = make_asic('riot_off')
        failures = []

        def check(cond, what=''):
            if not cond:
                failures.append(what or 'check failed')

        code = compile(textwrap.dedent(script), name, 'exec')
        env = {'a': a, 'm': m, 'check': check}
        if expected is None:
            exec code in env
            self.assertEqual(failures, [], name)
            return
        kind, text = expected
        with self.assertRaises(kind) as ctx:
            exec code in env
        if text is not None:
            self.assertEqual(str(ctx.exception), text, name)
        self.assertEqual(failures, [], name)

    def test_cases(self):
        for name, script, expected in CASES:
            self.run_case(name, script, expected)


class CycleTest(unittest.TestCase):
    """Records, the checker and the containers they hold are collected when
    the host leaves them in a cycle."""

    def collected(self, make):
        import weakref
        gc.collect()
        ref = weakref.ref(make())
        gc.collect()
        return ref() is None

    def test_cycles_are_collected(self):
        m = corvane()

        def through_dict():
            e = m.Encap('swp1', 'xe0', 1, 2, 3)
            e.me = e
            return e

        def through_list_field():
            g = m.ReplicationGroup(1, [], [])
            g.l2_encaps.append(g)
            return g

        def through_a_table():
            a = make_asic('riot_off')
            r = a.mroutes.values()[0]
            r.asic = a
            return a

        def through_a_value():
            a = make_asic('riot_off')
            a.debug = [a]
            return a

        def through_a_cache():
            c = m.KernMdbCache('br0', 0)
            c.mdb_entries['k'] = c
            return c

        for make in (through_dict, through_list_field, through_a_table, through_a_value,
                     through_a_cache):
            self.assertTrue(self.collected(make), make.__name__)

    def test_collection_leaves_held_objects_whole(self):
        a = make_asic('riot_off')
        groups = a.replication_groups
        lists = [g.l3_encaps for g in groups.values()]
        del a
        gc.collect()
        for g, l3 in zip(groups.values(), lists):
            self.assertIs(g.l3_encaps, l3)
            for e in l3:
                self.assertTrue(e.linux_port.startswith('swp'))


if __name__ == '__main__':
    unittest.main()
