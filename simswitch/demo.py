"""Runs a checker on a simulated switch, as the host tool does, and prints
what it found.

    python2.7 simswitch/demo.py [--chip {xgs,dnx}] [--check] [VARIANT]
    python2.7 simswitch/demo.py --vxlan

The chip family picks the multicast module (corvane for XGS, the default;
yselde for DNX) and the switch it runs on, unless VARIANT names another.
With --check it runs the whole check: it takes the kernel routes the
simulated host holds (the variant's kernel_routes.txt), calls mroute_eq for
each and prints the verdicts, then the hardware routes with their notes.
That reads the switch's kernel through the absolute paths the checker uses,
so it runs where the variant's kernel/ tree lies over / (scripts/demo runs
it so, through scripts/in-switch-ns); without --check it prints the
hardware routes only.  --vxlan runs the VXLAN checker's collection on the
VXLAN switch, per VNI, where switches/vxlan/root lies over /.

Finds the stand-ins beside this file and the built modules under
$NORVASK_BUILD_DIR (default: build/ beside simswitch/).
"""

import argparse
import importlib
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(1, os.environ.get('NORVASK_BUILD_DIR') or
                os.path.join(os.path.dirname(HERE), 'build'))

import sim

# chip family -> (module, switch it runs on by default)
CHIPS = {'xgs': ('norvask.corvane', 'riot_off'),
         'dnx': ('norvask.yselde', 'dnx')}

# The VNI record's keys, in the order the checker makes them.
VNI_KEYS = ['vni', 'vpn', 'igmpSnoop', 'arpSupress', 'arpReqSup', 'arpReplySupress',
            'localPorts', 'rawLocalPorts', 'localMacs', 'rawLocalMacs', 'remoteMacs',
            'rawRemoteMacs']
BOND_FILE = '/norvask/kestrad/debug/bond/sw_bonds'


class PeerChecks(object):
    """The host tool's own checks of a switch pair's routes; the simulated
    switch has no peer, so they agree."""

    def check_orig_mroute(self, asic, src, grp):
        return True

    def check_term_mroute(self, src, grp):
        return True


def check(asic, variant):
    sys.stdout.write('Kernel routes against the hardware:\n')
    in_hw = asic.get_mroutes()
    for key, iif, oil in sim.kernel_routes(variant):
        verdict = asic.mroute_eq(key, iif, oil, PeerChecks())
        sys.stdout.write('  %-7s %s  iif %s  oil %s%s\n'
                         % ('agrees' if verdict else 'DIFFERS', key, iif, ' '.join(oil) or '-',
                            '' if key in in_hw else '  (no such route in hw)'))
    sys.stdout.write('\n')
    asic.dump_mroutes()


def vxlan():
    if not os.path.exists(BOND_FILE):
        sys.stderr.write('demo.py: %s is missing: the VXLAN switch\'s files must lie over / '
                         '(run scripts/demo --vxlan)\n' % BOND_FILE)
        return 1
    sim.use('vxlan')
    from norvask import tirrow
    asic = tirrow.Asic()
    result = asic.dumpVxlans()
    for vni in sorted(result):
        record = result[vni]
        sys.stdout.write('vni %s\n' % vni)
        for key in VNI_KEYS:
            value = record[key]
            if isinstance(value, list):
                sys.stdout.write('  %s:\n' % key)
                for item in value:
                    sys.stdout.write('    %r\n' % (item,))
            else:
                sys.stdout.write('  %s: %r\n' % (key, value))
    return 0


def main(argv):
    if argv[1:2] == ['--vxlan']:
        return vxlan()
    parser = argparse.ArgumentParser(description='Runs a multicast checker on a simulated '
                                     'switch and prints what it found.')
    parser.add_argument('--chip', choices=sorted(CHIPS), default='xgs',
                        help='chip family (default: xgs)')
    parser.add_argument('--check', action='store_true',
                        help='compare the kernel routes too (the kernel must lie over /)')
    parser.add_argument('variant', nargs='?', help='switch fixture (default: by chip)')
    args = parser.parse_args(argv[1:])
    module_name, default_variant = CHIPS[args.chip]
    variant = args.variant or default_variant
    sim.use(variant)
    module = importlib.import_module(module_name)
    asic = module.Asic()
    if args.check:
        check(asic, variant)
    else:
        sys.stdout.write(str(asic))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
