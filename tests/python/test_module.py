"""The module as the host loads it: what its body imports and binds, the
classes and class attributes of Asic, a missing shell client, and how the
constructor takes its arguments and makes the outside objects."""

import json
import os
import unittest

import nvtest
import sim
from nvtest import corvane

CLASSES = ['KernMdbEntry', 'KernMdbRportEntry', 'KernMdbCache', 'KernVlanEntry',
           'KernVlanDevEntry', 'KernDevEntry', 'PortmapEntry', 'VlanXlate', 'VlanEntry',
           'Encap', 'ReplicationGroup', 'Hmroute', 'Asic']
IMPORTS = ['json', 'os', 're', 'socket', 'struct', 'subprocess', 'sys',
           'norvask.quillon', 'norvask.stavren', 'dolmish']

# Records what the module body imports (the calls nested one level inside the
# import of the module), and which of its classes exist at each import.
IMPORT_PROBE = r'''
import __builtin__, json, sys
import norvask
CLASSES = %(classes)r
real = __builtin__.__import__
depth = [0]
seen = []
def hook(name, globals=None, locals=None, fromlist=None, level=-1):
    depth[0] += 1
    try:
        if depth[0] == 2:
            mod = sys.modules.get('norvask.%(module)s')
            seen.append([name, [c for c in CLASSES if hasattr(mod, c)]])
        return real(name, globals, locals, fromlist, level)
    finally:
        depth[0] -= 1
__builtin__.__import__ = hook
from norvask import %(module)s
__builtin__.__import__ = real
print json.dumps(seen)
'''


def probe_imports(test, module, classes):
    """[(name imported, classes of the module that exist at that point)] of
    the module body, in order."""
    status, out, err = nvtest.run_python(IMPORT_PROBE % {'module': module, 'classes': classes})
    test.assertEqual(status, 0, err)
    return json.loads(out)


class ModuleBodyTest(unittest.TestCase):

    def test_imports_in_order_before_any_class(self):
        seen = probe_imports(self, 'corvane', CLASSES)
        self.assertEqual([name for name, _ in seen], IMPORTS)
        self.assertEqual([classes for _, classes in seen], [[]] * len(IMPORTS))

    def test_names_bound(self):
        mod = corvane()
        names = set(n for n in dir(mod) if not n.startswith('__'))
        required = set(CLASSES) | set(['json', 'os', 're', 'socket', 'struct',
                                       'subprocess', 'sys', 'dolmish'])
        self.assertTrue(required <= names, sorted(required - names))
        # the two platform modules are bound as a package or by their names
        self.assertEqual(names - required - set(['norvask', 'quillon', 'stavren']), set())
        self.assertIsNone(mod.__doc__)
        import dolmish
        self.assertIs(mod.dolmish, dolmish)
        self.assertIs(mod.json, json)
        self.assertIs(mod.os, os)

    def test_classes_have_no_base_class(self):
        for name in CLASSES:
            cls = getattr(corvane(), name)
            self.assertIn(cls.__bases__, [(), (object,)], name)

    def test_asic_class_attributes(self):
        Asic = corvane().Asic
        self.assertEqual(Asic._devs_supported, ('bridge', 'bond', 'vlan', 'swp'))
        self.assertIsInstance(Asic._devs_supported, tuple)
        self.assertEqual(Asic.TERM_DEV, 'ipmr-lo')
        self.assertIsInstance(Asic.ORIG_DEV, list)
        self.assertEqual(Asic.ORIG_DEV[0], 'lo')

    def test_orig_dev_is_one_list_for_the_class_and_its_objects(self):
        a = nvtest.make_asic()
        b = nvtest.make_asic()
        self.assertIs(a.ORIG_DEV, corvane().Asic.ORIG_DEV)
        self.assertIs(a.ORIG_DEV, b.ORIG_DEV)


MISSING_CLIENT_CHILD = r'''
import __builtin__, json, os, sys
real = __builtin__.__import__
def hook(name, *args, **kw):
    if name == 'dolmish':
        raise ImportError('No module named dolmish')
    return real(name, *args, **kw)
__builtin__.__import__ = hook
import sim
sim.use(%(switch)r)
from norvask import %(module)s as module
__builtin__.__import__ = real
try:
    module.Asic()
    outcome = 'constructed'
except AttributeError:
    outcome = 'AttributeError'
print json.dumps([module.dolmish is None, outcome, sim.commands(), sim.constructions()])
'''


def check_missing_client(test, module, switch):
    """Without the shell client the module loads; construction fails at the
    client step, before any shell command or program runs."""
    bindir = nvtest.tempdir(test)
    marker = os.path.join(bindir, 'ran')
    # any program the module might start at this point
    for prog in ('ls', 'cat', 'sh'):
        path = os.path.join(bindir, prog)
        with open(path, 'w') as f:
            f.write('#!/bin/sh\ntouch %s\n' % marker)
        os.chmod(path, 0o755)
    status, out, err = nvtest.run_python(
        MISSING_CLIENT_CHILD % {'module': module, 'switch': switch}, env={'PATH': bindir})
    test.assertEqual(status, 0, err)
    is_none, outcome, commands, made = json.loads(out)
    test.assertTrue(is_none)
    test.assertEqual(outcome, 'AttributeError')
    test.assertEqual(commands, [])
    test.assertEqual(made, ['quillon', 'VrfDb'])
    test.assertFalse(os.path.exists(marker), 'a program ran')


class MissingClientTest(unittest.TestCase):

    def test_missing_client(self):
        check_missing_client(self, 'corvane', 'riot_off')


class ConstructorArgumentsTest(unittest.TestCase):

    ROUTE_TABLE = {'ipmc table show', 'dump chg l3_entry_ipv4_multicast'}

    def route_reader(self):
        return [c for c in sim.commands() if c in self.ROUTE_TABLE]

    def construct(self, *args, **kwargs):
        nvtest.switch('riot_off')
        return corvane().Asic(*args, **kwargs)

    def test_use_mem_table_by_position_keyword_and_truth(self):
        cases = [
            ((), {}, 'ipmc table show'),
            ((False,), {}, 'ipmc table show'),
            ((True,), {}, 'dump chg l3_entry_ipv4_multicast'),
            ((), {'use_mem_table': True}, 'dump chg l3_entry_ipv4_multicast'),
            ((), {'use_mem_table': 1}, 'dump chg l3_entry_ipv4_multicast'),
            ((), {'use_mem_table': 'yes'}, 'dump chg l3_entry_ipv4_multicast'),
            ((), {'use_mem_table': 0}, 'ipmc table show'),
            ((), {'use_mem_table': ''}, 'ipmc table show'),
            ((), {'use_mem_table': None}, 'ipmc table show'),
        ]
        for args, kwargs, reader in cases:
            self.construct(*args, **kwargs)
            self.assertEqual(self.route_reader(), [reader], (args, kwargs))

    def test_debug_is_stored_unchanged(self):
        self.assertIs(self.construct().debug, False)
        self.assertIs(self.construct(False, True).debug, True)
        self.assertEqual(self.construct(debug='verbose').debug, 'verbose')
        self.assertEqual(self.construct(debug=3).debug, 3)
        a = self.construct(True, debug=0)
        self.assertEqual(a.debug, 0)
        self.assertEqual(self.route_reader(), ['dump chg l3_entry_ipv4_multicast'])

    def test_bad_arguments(self):
        for args, kwargs in [((1, 2, 3), {}), ((), {'verbose': True}),
                             ((True,), {'use_mem_table': True})]:
            nvtest.switch('riot_off')
            self.assertRaises(TypeError, corvane().Asic, *args, **kwargs)

    def test_outside_objects(self):
        a = self.construct()
        import dolmish
        from norvask import quillon, stavren
        self.assertEqual(sim.constructions(), ['quillon', 'VrfDb', 'dolmish'])
        self.assertEqual(sim.client_kwargs(), [{'timeout': 180}])
        self.assertEqual(sim.client_args(), [()])
        self.assertIsInstance(a.pt, quillon.quillon)
        self.assertIsInstance(a.vrf_db, stavren.VrfDb)
        self.assertIsInstance(a.bcm, dolmish.dolmish)

    def test_objects_are_independent(self):
        a = self.construct()
        b = self.construct()
        self.assertIsNot(a.bcm, b.bcm)
        self.assertIsNot(a.mroutes, b.mroutes)
        self.assertIsNot(a.portmap, b.portmap)


if __name__ == '__main__':
    unittest.main()
