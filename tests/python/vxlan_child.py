"""Runs the VXLAN checker's scenarios inside the private mount namespace of
in-switch-ns, where the simulated VXLAN switch's daemon files lie over /, and
prints their reports as the last line: a base64 pickle of a dict from
scenario name to its report (or to ('failed', traceback) for a scenario
that broke).

    vxlan_child.py [SCENARIO...]     (all of them when none is named)"""

import base64
import os
import pickle
import shutil
import sys
import traceback

import __builtin__

import sim
from ns_child import CtrlFile, read_file, write_file

NODE = '/norvask/kestrad/debug/vxlan/info'
BONDS = '/norvask/kestrad/debug/bond/sw_bonds'
CTRL_DIR = '/norvask/kestrad/ctrl'

# The dictionaries the constructor creates empty.
TABLES = ['asicVxlanDict', 'asicTables', 'vniInfoHelperDict', 'vxlanPortHelperDict',
          'initiatorDict', 'terminatorDict', 'hostTable', 'routeTable', 'vpntoVniTable']

_FILES = {}


def tirrow():
    from norvask import tirrow as module
    return module


def restore():
    """The switch as the fixture has it: its files and a fresh copy of its
    shell answers."""
    if not _FILES:
        for path in (NODE, BONDS):
            _FILES[path] = read_file(path)
    for path, content in _FILES.items():
        if os.path.isdir(path):
            shutil.rmtree(path)
        if not os.path.isdir(os.path.dirname(path)):
            os.makedirs(os.path.dirname(path))
        write_file(path, content)
    if not os.path.isdir(CTRL_DIR):
        os.makedirs(CTRL_DIR)
    return sim.use('vxlan')


def error(e):
    return (type(e).__name__, str(e), getattr(e, 'errno', None), getattr(e, 'filename', None))


def attempt(fn, *args):
    """(result, None) or (None, error) of fn(*args)."""
    try:
        return fn(*args), None
    except Exception as e:
        return None, error(e)


class Stdout(object):
    """Captures what is printed while it is open."""

    def __enter__(self):
        from StringIO import StringIO
        self.saved, sys.stdout = sys.stdout, StringIO()
        return self

    def __exit__(self, *exc):
        self.text = sys.stdout.getvalue()
        sys.stdout = self.saved


class ImportWatch(object):
    """Calls on_import(name) before each import of `name`, which may raise."""

    def __init__(self, name, on_import):
        self.name, self.on_import = name, on_import

    def __enter__(self):
        self.real = __builtin__.__import__

        def hook(name, *args, **kwargs):
            if name == self.name:
                self.on_import(name)
            return self.real(name, *args, **kwargs)
        __builtin__.__import__ = hook
        return self

    def __exit__(self, *exc):
        __builtin__.__import__ = self.real


def summary(a):
    """What the constructor left in the object."""
    import dolmish
    from norvask import corvane
    return {
        'kestrad_debug_enabled': a.kestrad_debug_enabled,
        'vxlanFuseNode': a.vxlanFuseNode,
        'chip': a.chip,
        'chip_ids': a._chip_id_map,
        'hwBonds': a.hwBonds,
        'tables': dict((name, getattr(a, name)) for name in TABLES),
        'l2Table set': hasattr(a, 'l2Table'),
        'bs is a client': isinstance(a.bs, dolmish.dolmish),
        'helper is a corvane Asic': isinstance(a.bcmApiHelper, corvane.Asic),
        'clients apart': a.bs is not a.bcmApiHelper.bcm,
        'helper portmap read': len(a.bcmApiHelper.portmap),
    }


# --- construction

def scenario_construct():
    restore()
    ctrl = CtrlFile()
    a = tirrow().Asic()
    return {'summary': summary(a), 'commands': sim.commands(), 'writes': ctrl.writes(),
            'client_kwargs': sim.client_kwargs(), 'client_args': sim.client_args(),
            'made': sim.constructions(), 'harnel': sim.harnel_calls()}


def scenario_node_absent():
    restore()
    ctrl = CtrlFile()
    os.remove(NODE)
    seen = []
    with ImportWatch('dolmish', lambda name: seen.append(ctrl.writes())):
        a = tirrow().Asic()
    return {'flag': a.kestrad_debug_enabled, 'writes': ctrl.writes(),
            'writes when the client was imported': seen, 'commands': sim.commands()}


def scenario_node_is_a_directory():
    restore()
    ctrl = CtrlFile()
    os.remove(NODE)
    os.mkdir(NODE)
    a = tirrow().Asic()
    return {'flag': a.kestrad_debug_enabled, 'writes': ctrl.writes(),
            'collection': attempt(a.dumpVxlans)[1], 'tables': a.asicTables}


def scenario_client_missing():
    restore()
    ctrl = CtrlFile()
    os.remove(NODE)

    def refuse(name):
        raise ImportError('No module named dolmish')
    with ImportWatch('dolmish', refuse):
        _, outcome = attempt(tirrow().Asic)
    return {'error': outcome, 'writes': ctrl.writes(), 'commands': sim.commands(),
            'made': sim.constructions()}


def construction_failure(setup):
    sw = restore()
    setup(sw)
    _, outcome = attempt(tirrow().Asic)
    return {'error': outcome, 'commands': sim.commands()}


def scenario_construction_failures():
    def bad_unit(sw):
        sw.outputs['show unit'] = 'Unit 0 chip XGS78100_B0 (current)\n'

    def unknown_member(sw):
        sw.outputs['trunk show'] = 'trunk 3: (front panel, 1 ports)=xe99 dlf=any\n'
    cases = [
        ('show unit times out', lambda sw: sim.fail('show unit')),
        ('show unit is not a unit', bad_unit),
        ('the multicast checker fails', lambda sw: sim.fail('ipmc table show')),
        ('trunk show times out', lambda sw: sim.fail('trunk show')),
        ('trunk show fails otherwise', lambda sw: sim.raise_on('trunk show', KeyError('x'))),
        ('no bond file', lambda sw: os.remove(BONDS)),
        ('bond file a directory', lambda sw: (os.remove(BONDS), os.mkdir(BONDS))),
        ('bond line of two words', lambda sw: write_file(BONDS, 'h\nbond1 45 1\nbond2 46\n')),
        ('bond id not a number', lambda sw: write_file(BONDS, 'h\nbond1 45 x1\n')),
        ('trunk member unknown', unknown_member),
    ]
    return dict((name, construction_failure(setup)) for name, setup in cases)


def scenario_bond_files():
    cases = [
        ('header only', 'bond_name ifindex bond_id\n'),
        ('header of three words only', 'bond9 1 1'),
        ('empty', ''),
        ('blank lines, leading zeros, later lines win, unknown ids',
         'h\n\nbondA 1 01\n   \nbondB 2 12\nbondC 3 5\nbondD 4 7\nbondE 5 +12\n'),
        ('middle field not read', 'h\nbond0 x 1\n'),
    ]
    report = {}
    for name, content in cases:
        restore()
        write_file(BONDS, content)
        report[name] = tirrow().Asic().hwBonds
    # trunks named again by a second build: the same records, bond names kept
    restore()
    a = tirrow().Asic()
    records = dict((k, v) for k, v in a.hwBonds.items())
    sim.current().outputs['trunk show'] = 'trunk 1: (x)=xe5 dlf=any\ntrunk 10: (x)=xe6 dlf=any\n'
    write_file(BONDS, 'h\n')
    a.buildHwBondsDict()
    report['rebuilt'] = (a.hwBonds, dict((k, a.hwBonds[k] is v) for k, v in records.items()))
    return report


def scenario_debug_switch():
    restore()
    ctrl = CtrlFile()
    a = tirrow().Asic()
    steps = []
    for op in ('enable', 'disable', 'get'):
        before = len(ctrl.writes())
        result = getattr(a, op + '_kestrad_debug')()
        steps.append([op, result, ctrl.writes()[before:]])
    shutil.rmtree(CTRL_DIR)
    with_no_daemon = [attempt(a.enable_kestrad_debug), attempt(a.disable_kestrad_debug)]
    return {'steps': steps, 'with no control directory': with_no_daemon,
            'flag': a.kestrad_debug_enabled}


# --- collection

def scenario_collection():
    restore()
    a = tirrow().Asic()
    sim.reset_log()
    with Stdout() as out:
        result = a.dumpVxlans()
    t = a.asicTables
    same = {
        'result is the table': result is a.asicVxlanDict,
        'vxlan port record': a.vxlanPortHelperDict[0x80000001] is
        t['VXLAN PORT DUMP'][0x80000001],
        'vpn record': a.vniInfoHelperDict[1000] is t['VPN DUMP'][0x7000],
        'initiator': a.initiatorDict[0x4c000001] is t['VXLAN TUNNEL INITIATOR  DUMP'][0x4c000001],
        'terminator': a.terminatorDict[0x4c000002] is
        t['VXLAN TUNNEL TERMINATOR  DUMP'][0x4c000002],
        'route': a.routeTable['10.0.0.2/32'] is t['L3 v4ROUTE ENTRIES DUMP']['vrf 0 0-10.0.0.2/32'],
        'v6 route': a.routeTable['2001:db8::2/128'] is
        t['L3 v6ROUTE ENTRIES DUMP']['vrf 0 3-2001:db8::2/128'],
        'host': a.hostTable['2001:db8::2'] is t['L3 v6HOST ENTRIES DUMP'][0],
        'l2 table': a.l2Table is t['L2 ENTRIES DUMP'],
    }
    result['host'] = 'added'
    return {
        'result': dict((k, v) for k, v in result.items() if k != 'host'),
        'printed': out.text, 'same objects': same,
        'host change seen': a.asicVxlanDict.get('host'),
        'gports in the dump': t['VPN DUMP'][0x7000]['gports'],
        'linuxIntf in the dump': dict((k, v.get('linuxIntf', 'none'))
                                      for k, v in t['VXLAN PORT DUMP'].items()),
        'mac in the dump': t['L2 ENTRIES DUMP'][2]['mac'],
        'routes': sorted(a.routeTable), 'hosts': sorted(a.hostTable),
        'vpn to vni': a.vpntoVniTable,
        'commands': sim.commands(), 'harnel': sim.harnel_calls(),
    }


def node_with(replace=None, dump=None):
    """The fixture's node with its dump changed: `replace` pairs applied to
    the text, or the whole `dump` text after the marker."""
    text = _FILES[NODE]
    if dump is not None:
        text = text.split('#HW DUMP:')[0] + '#HW DUMP:\n' + dump
    for old, new in replace or []:
        assert old in text, old
        text = text.replace(old, new)
    return text


def scenario_collection_failures():
    cases = [
        ('node gone', None),
        ('no marker', 'daemon text only\n'),
        ('empty dump', node_with(dump='{}\n')),
        ('not YAML', node_with(dump='VPN DUMP: [1\n')),
        ('not a dump of sections', node_with(dump='- VPN DUMP\n')),
        ('a section that is a list', node_with([('L2 ENTRIES DUMP:\n',
                                                 'L2 ENTRIES DUMP: [1]\nX:\n')])),
        ('no VPN section', node_with([('VPN DUMP:', 'OLD VPN DUMP:')])),
        ('an L2 entry of an unknown VPN', node_with([(
            '  7:\n    mac: 00:03:00:00:00:04\n',
            '  8:\n    mac: 00:03:00:00:00:09\n    vid: 0x7abc\n    port: 0x80000001\n'
            '    isVxlanPort: true\n  7:\n    mac: 00:03:00:00:00:04\n')])),
        ('a trunk without a bond record', node_with([('match_trunk: 12', 'match_trunk: 13')])),
    ]
    report = {}
    for name, content in cases:
        restore()
        a = tirrow().Asic()
        if content is None:
            os.remove(NODE)
        else:
            write_file(NODE, content)
        tables = a.asicTables
        with Stdout() as out:
            _, outcome = attempt(a.dumpVxlans)
        report[name] = {
            'error': outcome, 'printed': out.text,
            'tables kept': a.asicTables is tables,
            'sections': sorted(a.asicTables) if isinstance(a.asicTables, dict) else None,
            'result': a.asicVxlanDict,
            'ports filed': len(a.vxlanPortHelperDict),
        }
    return report


def main(argv):
    names = argv[1:] or sorted(n[len('scenario_'):] for n in globals()
                               if n.startswith('scenario_'))
    reports = {}
    for name in names:
        try:
            reports[name] = globals()['scenario_' + name]()
        except Exception:
            reports[name] = ('failed', traceback.format_exc())
    sys.stdout.write('\n' + base64.b64encode(pickle.dumps(reports, 2)) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
