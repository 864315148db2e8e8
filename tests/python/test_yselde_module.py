"""The DNX checker module as the host loads it: what its body imports and
binds, its classes, the methods and attributes of its Asic, the shell
client it makes and how its constructor takes its arguments."""

import unittest

import nvtest
import sim
import test_module
from nvtest import make_dnx_asic, yselde

CLASSES = ['KernMdbEntry', 'KernMdbRportEntry', 'KernMdbCache', 'KernVlanEntry',
           'KernVlanDevEntry', 'KernDevEntry', 'PortmapEntry', 'VlanEntry', 'Encap',
           'ReplicationGroup', 'Hmroute', 'Asic']

METHODS = set([
    '_get_cmd_output', '_key_to_sip_dip', '_parse_portmap', '_parse_vlan',
    '_parse_diag_ipv4_mc_table', '_parse_diag_dbal_mc_table',
    '_parse_one_multicast_repln_group', '_parse_multicast_repln_groups', '_field_dict_build',
    '_update_portmap_port_vid', '_dport2logical_port', '_get_logical_port_and_pvid',
    '_is_port_untagged_for_vid', '_grp_ip2mac', '_dump_one_mroute', 'get_mroutes',
    'get_repl_group_entry', 'dump_mroutes'])
# The kernel side and the route comparison, which both multicast modules carry.
KERNEL_SIDE = set([
    '_kern_create_vlan_cache', '_kern_get_vlan_members', '_kern_create_vlan_dev_cache',
    '_kern_get_vlan_and_atlink', '_kern_setup_br_cache', '_kern_get_br_members',
    '_kern_dev_get_mdb_entry', '_kern_dev_kind_parse', '_kern_dev_vlan_filtering_parse',
    '_kern_dev_cache_get', '_kern_dev_vlan_filtering_get', '_kern_dev_kind_get',
    '_kern_get_dev_vlan', '_kern_base_dev_kind_get', '_expand_kern_vlan_aware_bridge',
    '_expand_kern_vlan_unaware_bridge', '_expand_kern_bridge', '_expand_kern_bond',
    '_expand_kern_dev', 'mroute_eq'])

# Instance attributes after construction, in construction order.
ATTRIBUTES = ['desc', 'debug', 'pt', 'vrf_db', 'bcm', 'linux_ports', 'kern_dev_cache',
              'kern_mdb_cache', 'flood_mdb_misses', 'kern_vlan_cache_created',
              'kern_vlan_cache', 'kern_vlan_dev_cache_created', 'kern_vlan_dev_cache',
              'kern_br_cache', 'vlans', 'portmap', 'mroutes', 'diag_dbal',
              'replication_groups']

PROMPT = r'BCM\.[0-9]+>\s+$'


def class_members(cls):
    """(methods, data attributes) the class declares, without the
    interpreter's own."""
    methods, data = set(), set()
    for name, value in vars(cls).items():
        if name.startswith('__') or name in ('_devs_supported', 'ORIG_DEV', 'TERM_DEV'):
            continue
        (data if type(value).__name__ == 'getset_descriptor' else methods).add(name)
    return methods, data


class ModuleBodyTest(unittest.TestCase):

    def test_imports_in_order_before_any_class(self):
        seen = test_module.probe_imports(self, 'yselde', CLASSES)
        self.assertEqual([name for name, _ in seen], test_module.IMPORTS)
        self.assertEqual([classes for _, classes in seen], [[]] * len(test_module.IMPORTS))

    def test_names_bound(self):
        mod = yselde()
        names = set(n for n in dir(mod) if not n.startswith('__'))
        required = set(CLASSES) | set(['json', 'os', 're', 'socket', 'struct',
                                       'subprocess', 'sys', 'dolmish'])
        self.assertEqual(names - required - set(['norvask', 'quillon', 'stavren']), set())
        self.assertTrue(required <= names, sorted(required - names))
        self.assertFalse(hasattr(mod, 'VlanXlate'))
        self.assertIsNone(mod.__doc__)
        import dolmish
        self.assertIs(mod.dolmish, dolmish)
        for name in CLASSES:
            self.assertIn(getattr(mod, name).__bases__, [(), (object,)], name)

    def test_missing_client(self):
        test_module.check_missing_client(self, 'yselde', 'dnx')

    def test_modules_load_side_by_side(self):
        # Each module's records are its own classes.
        corvane = nvtest.corvane()
        x = corvane.Hmroute('1.1.1.1', '239.1.1.1', 100, 5, 'default')
        d = yselde().Hmroute('1.1.1.1', '239.1.1.1', '100', 5, 'default')
        self.assertIsNot(type(x), type(d))
        self.assertEqual((x.grp, d.grp), (5 | 0x2000000, 5))
        self.assertEqual(str(x), str(d))


class AsicClassTest(unittest.TestCase):

    def test_class_attributes(self):
        Asic = yselde().Asic
        self.assertEqual(Asic._devs_supported, ('bridge', 'bond', 'vlan', 'swp'))
        self.assertIsInstance(Asic._devs_supported, tuple)
        self.assertEqual(Asic.TERM_DEV, 'ipmr-lo')
        self.assertEqual(Asic.ORIG_DEV, ['lo'])
        a, b = make_dnx_asic(), make_dnx_asic()
        self.assertIs(a.ORIG_DEV, Asic.ORIG_DEV)
        self.assertIs(a.ORIG_DEV, b.ORIG_DEV)
        self.assertIsNot(Asic.ORIG_DEV, nvtest.corvane().Asic.ORIG_DEV)

    def test_methods_are_those_of_the_dnx_checker(self):
        methods, data = class_members(yselde().Asic)
        self.assertEqual(methods - METHODS - KERNEL_SIDE, set())
        self.assertEqual((METHODS | KERNEL_SIDE) - methods, set())
        for name in ('get_l3_egress', '_ivid2evid', '_evid2ivid', '_parse_ipmc_table',
                     '_parse_ports', 'get_kestrad_debug', '_is_1G_chip'):
            self.assertNotIn(name, methods)
        self.assertEqual(data, set(ATTRIBUTES) | set(['tmp_encaps']))

    def test_attributes_after_construction(self):
        a = make_dnx_asic()
        self.assertEqual([n for n in ATTRIBUTES if not hasattr(a, n)], [])
        # Set before each kernel expansion, by the comparison only.
        self.assertRaises(AttributeError, getattr, a, 'tmp_encaps')
        self.assertEqual(a.desc, 'asic')
        self.assertIs(a.diag_dbal, False)
        for name in ('kern_dev_cache', 'kern_mdb_cache', 'kern_vlan_cache',
                     'kern_vlan_dev_cache', 'kern_br_cache', 'vlans'):
            self.assertEqual(getattr(a, name), {}, name)
            self.assertIs(type(getattr(a, name)), dict, name)
        self.assertIs(a.flood_mdb_misses, True)
        self.assertIs(a.kern_vlan_cache_created, False)
        self.assertIs(a.kern_vlan_dev_cache_created, False)
        self.assertEqual(a.linux_ports, sim.current().linux_ports())

    def test_argument_names(self):
        a = make_dnx_asic()
        self.assertEqual(a.get_repl_group_entry(group_id='1004', intf=5097), 5097)
        self.assertEqual(a._parse_one_multicast_repln_group(dispStr='g: 7\n\nn: 0\n'), None)
        self.assertEqual(a._key_to_sip_dip(key='v, (1,2)'), ('v', '1', '2'))
        self.assertEqual(a._get_cmd_output(['/bin/false'], dispStr='no'), 'no')
        self.assertEqual(yselde().Asic._get_cmd_output(['/bin/echo', 'hi']), 'hi\n')
        self.assertEqual(a._field_dict_build(entry='X[3]: <A=1,B,C=2=3>'),
                         ('3', {'A': '1', 'C': '2'}))
        self.assertRaises(TypeError, a._parse_portmap, 1)

    def test_mroute_eq_takes_exactly_four_arguments(self):
        a = make_dnx_asic()
        # A route the hardware does not hold: true, and nothing is read.
        key = 'default, (10.9.9.9,239.9.9.9)'
        self.assertIs(a.mroute_eq(key, 'swp1', [], None), True)
        self.assertIs(a.mroute_eq(ul_mcast=None, oil=(), iif='swp1', key=key), True)
        for args, kwargs in [((key, 'swp1', []), {}), ((key, 'swp1', [], None, None), {}),
                             ((), {}), ((key, 'swp1', []), {'ul_mcast_obj': None}),
                             ((key, 'swp1', [], None), {'key': key})]:
            self.assertRaises(TypeError, a.mroute_eq, *args, **kwargs)
        self.assertFalse(hasattr(a, 'tmp_encaps'))


class ConstructorTest(unittest.TestCase):

    def test_shell_client_keywords(self):
        a = make_dnx_asic()
        import dolmish
        self.assertEqual(sim.constructions(), ['quillon', 'VrfDb', 'dolmish'])
        self.assertEqual(sim.client_args(), [()])
        kwargs, = sim.client_kwargs()
        self.assertEqual(kwargs, {'timeout': 180, 'prompt': PROMPT})
        self.assertIs(type(kwargs['timeout']), int)
        self.assertEqual(len(kwargs['prompt']), 16)
        self.assertIsInstance(a.bcm, dolmish.dolmish)

    def test_use_mem_table_is_not_read(self):
        class Untestable(object):
            def __nonzero__(self):
                raise AssertionError('use_mem_table was tested')
        expected = make_dnx_asic() and sim.commands()
        for args, kwargs in [((True,), {}), ((), {'use_mem_table': Untestable()}),
                             ((Untestable(), 'dbg'), {})]:
            nvtest.switch('dnx')
            a = yselde().Asic(*args, **kwargs)
            self.assertEqual(sim.commands(), expected, (args, kwargs))
            self.assertNotIn('diag dbal te 10', sim.commands())
        self.assertEqual(a.debug, 'dbg')

    def test_debug_is_stored_unchanged(self):
        nvtest.switch('dnx')
        self.assertIs(yselde().Asic().debug, False)
        marker = object()
        nvtest.switch('dnx')
        self.assertIs(yselde().Asic(debug=marker).debug, marker)

    def test_bad_arguments(self):
        for args, kwargs in [((1, 2, 3), {}), ((), {'verbose': True}),
                             ((True,), {'use_mem_table': True})]:
            nvtest.switch('dnx')
            self.assertRaises(TypeError, yselde().Asic, *args, **kwargs)
            self.assertEqual(sim.commands(), [])


if __name__ == '__main__':
    unittest.main()
