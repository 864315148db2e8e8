"""norvask.tirrow as the host loads it: its documentation, what its body
imports and binds and in which order, a missing module, the YAML loader it
binds, and the class Asic with its methods and attributes."""

import json
import unittest

import nvtest
import vxtest

# (module, fromlist) of each import of the body, in order.
IMPORTS = [
    ['cStringIO', ['StringIO']],
    ['ipaddr', ['IPv6Address', 'IPNetwork', 'IPv4Network', 'IPv6Network', 'AddressValueError']],
    ['pprint', ['pformat', 'pprint']],
    ['subprocess', ['Popen', 'PIPE', 'check_output', 'CalledProcessError']],
    ['argparse', None], ['json', None], ['os', None], ['re', None], ['sys', None],
    ['norvask.platforms', None],
    ['tessik.support', ['*']],
    ['tessik.packet', ['Route', 'Neighbour', 'Link']],
    ['tessik.manager', ['Manager']],
    ['configobj', ['ConfigObj']],
    ['norvask.harnel', ['modport2interface', 'asic2linux', 'asictrunkmbr2linux', 'linux2modport']],
    ['norvask.corvane', None],
]

METHODS = ['get_id_2_name', '_insert_ip_addr_mask', 'get_kestrad_debug', 'enable_kestrad_debug',
           'disable_kestrad_debug', 'get_chipname', 'buildHwBondsDict', 'parseSwitchKfsNode',
           'parseVpnInfo', 'parseVxlanPortInfo', 'parseTunnelInfo', 'parsel2l3entries',
           'buildLocalPortDict', 'buildLocalAndRemoteMacDict', 'getEgressDstIntfType',
           'getNextHop', 'resolveDstIp', 'prefetchHwInfo', 'dumpVxlans']

ATTRIBUTES = ['asicVxlanDict', 'hwBonds', 'vxlanFuseNode', 'kestrad_debug_enabled', 'bs',
              '_chip_id_map', 'chip', 'bcmApiHelper', 'asicTables', 'vniInfoHelperDict',
              'vxlanPortHelperDict', 'initiatorDict', 'terminatorDict', 'hostTable',
              'routeTable', 'vpntoVniTable', 'l2Table']

# The imports the body makes (one level inside the import of the module),
# and whether Asic exists at each.
IMPORT_PROBE = r'''
import __builtin__, json, sys
import norvask
real = __builtin__.__import__
depth = [0]
seen = []
def hook(name, globals=None, locals=None, fromlist=None, level=-1):
    depth[0] += 1
    try:
        if depth[0] == 2:
            mod = sys.modules.get('norvask.tirrow')
            seen.append([name, list(fromlist) if fromlist else None, hasattr(mod, 'Asic')])
        return real(name, globals, locals, fromlist, level)
    finally:
        depth[0] -= 1
__builtin__.__import__ = hook
from norvask import tirrow
__builtin__.__import__ = real
print json.dumps(seen)
'''

# Loads the module with one import failing (sys.argv[1], a module name, or
# "module:name" for one name that module lacks); prints the outcome.
FAILING_IMPORT = r'''
import __builtin__, json, sys
failing = sys.argv[1]
module, _, missing = failing.partition(':')
real = __builtin__.__import__
def hook(name, globals=None, locals=None, fromlist=None, level=-1):
    if name == module and not missing:
        raise ImportError('No module named ' + name)
    mod = real(name, globals, locals, fromlist, level)
    if name == module and missing:
        target = sys.modules[name]
        if hasattr(target, missing):
            delattr(target, missing)
    return mod
__builtin__.__import__ = hook
try:
    from norvask import tirrow
    outcome = None
except Exception as e:
    outcome = [type(e).__name__, str(e)]
print json.dumps(outcome)
'''


class ModuleBodyTest(unittest.TestCase):

    def test_imports_in_order_before_the_class(self):
        status, out, err = nvtest.run_python(IMPORT_PROBE)
        self.assertEqual(status, 0, err)
        seen = json.loads(out)
        self.assertEqual([[name, fromlist] for name, fromlist, _ in seen], IMPORTS)
        self.assertEqual([has_class for _, _, has_class in seen], [False] * len(IMPORTS))

    def test_names_bound(self):
        import cStringIO, pprint, subprocess, argparse, json, os, re, sys
        import ipaddr, configobj, norvask
        from tessik import support, packet, manager
        from norvask import harnel, corvane
        mod = vxtest.tirrow()
        self.assertEqual(mod.__doc__, '\nCompare kernel vxlan info with hw vxlan info\n')
        expected = {
            'StringIO': cStringIO.StringIO, 'pformat': pprint.pformat, 'pprint': pprint.pprint,
            'Popen': subprocess.Popen, 'PIPE': subprocess.PIPE,
            'check_output': subprocess.check_output,
            'CalledProcessError': subprocess.CalledProcessError, 'argparse': argparse,
            'json': json, 'os': os, 're': re, 'sys': sys, 'norvask': norvask,
            'ConfigObj': configobj.ConfigObj, 'Route': packet.Route,
            'Neighbour': packet.Neighbour, 'Link': packet.Link, 'Manager': manager.Manager,
            'modport2interface': harnel.modport2interface, 'asic2linux': harnel.asic2linux,
            'asictrunkmbr2linux': harnel.asictrunkmbr2linux,
            'linux2modport': harnel.linux2modport, 'bcmHelper': corvane,
        }
        for name in ['IPv6Address', 'IPNetwork', 'IPv4Network', 'IPv6Network',
                     'AddressValueError']:
            expected[name] = getattr(ipaddr, name)
        for name in support.__all__:
            expected[name] = getattr(support, name)
        for name, value in expected.items():
            self.assertIs(getattr(mod, name), value, name)
        self.assertFalse(hasattr(mod, '_private_helper'))
        self.assertFalse(hasattr(mod, 'dolmish'))
        names = set(n for n in dir(mod) if not n.startswith('__'))
        self.assertEqual(names, set(expected) | set(['yaml', 'Asic']))

    def test_yaml_is_the_loader(self):
        yaml = vxtest.tirrow().yaml
        self.assertEqual(yaml.safe_load('a: [0x11, "0x11", 10:20:30:40:50:59]'),
                         {'a': [17, '0x11', 8041827059]})
        self.assertTrue(issubclass(yaml.YAMLError, Exception))
        self.assertRaises(yaml.YAMLError, yaml.safe_load, 'a: !foo x')

    def test_a_missing_module_or_name_fails_the_load(self):
        cases = ['cStringIO', 'ipaddr', 'pprint', 'argparse', 'norvask.platforms',
                 'tessik.support', 'tessik.packet', 'tessik.manager', 'configobj',
                 'norvask.harnel', 'norvask.corvane', 'ipaddr:AddressValueError',
                 'norvask.harnel:linux2modport', 'tessik.packet:Link']
        for failing in cases:
            status, out, err = nvtest.run_python(FAILING_IMPORT, args=[failing])
            self.assertEqual(status, 0, err)
            outcome = json.loads(out)
            self.assertIsNotNone(outcome, failing)
            self.assertEqual(outcome[0], 'ImportError', failing)
            name = failing.partition(':')[2]
            if name:
                self.assertEqual(outcome[1], 'cannot import name ' + name)

    def test_the_shell_client_is_not_imported_on_load(self):
        status, out, err = nvtest.run_python(FAILING_IMPORT, args=['dolmish'])
        self.assertEqual((status, json.loads(out)), (0, None), err)


class AsicClassTest(unittest.TestCase):

    def test_class(self):
        Asic = vxtest.tirrow().Asic
        self.assertEqual(Asic.__bases__, (object,))
        self.assertIsNone(Asic.__doc__)
        for name in METHODS:
            self.assertTrue(callable(getattr(Asic, name)), name)
        self.assertRaises(TypeError, Asic, 1)
        self.assertRaises(TypeError, Asic, debug=True)

    def test_attributes_exist_once_set(self):
        Asic = vxtest.tirrow().Asic
        a = Asic.__new__(Asic)
        for name in ATTRIBUTES:
            with self.assertRaises(AttributeError) as cm:
                getattr(a, name)
            self.assertEqual(str(cm.exception), "'Asic' object has no attribute '%s'" % name)
            value = {name: []}
            setattr(a, name, value)
            self.assertIs(getattr(a, name), value)
            delattr(a, name)
            self.assertRaises(AttributeError, getattr, a, name)
            self.assertRaises(AttributeError, delattr, a, name)
        a.extra = 5  # attributes of the host's own stay
        self.assertEqual(a.extra, 5)

    def test_methods_read_the_attributes_when_called(self):
        a = vxtest.bare()
        del a.asicTables
        self.assertRaises(AttributeError, a.parseVpnInfo)
        a.asicTables = {'VPN DUMP': {}}
        with self.assertRaises(Exception) as cm:
            a.parseVpnInfo()
        self.assertEqual(str(cm.exception), 'No vpns are programmed in hw')


if __name__ == '__main__':
    unittest.main()
