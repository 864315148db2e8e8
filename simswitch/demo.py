"""Constructs a checker on the simulated switch, as the host tool does, and
prints what it read.

    python2.7 simswitch/demo.py [VARIANT]     the XGS multicast checker's
                                              hardware routes (default
                                              variant: riot_off)
    python2.7 simswitch/demo.py --vxlan       the VXLAN checker's collection
                                              on the VXLAN switch, per VNI

The VXLAN checker reads the daemon's files at their absolute paths, so the
second form runs where switches/vxlan/root lies over / (scripts/demo --vxlan
runs it so, through scripts/in-switch-ns).

Finds the stand-ins beside this file and the built modules under
$NORVASK_BUILD_DIR (default: build/ beside simswitch/).
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(1, os.environ.get('NORVASK_BUILD_DIR') or
                os.path.join(os.path.dirname(HERE), 'build'))

import sim

# The VNI record's keys, in the order the checker makes them.
VNI_KEYS = ['vni', 'vpn', 'igmpSnoop', 'arpSupress', 'arpReqSup', 'arpReplySupress',
            'localPorts', 'rawLocalPorts', 'localMacs', 'rawLocalMacs', 'remoteMacs',
            'rawRemoteMacs']
BOND_FILE = '/norvask/kestrad/debug/bond/sw_bonds'


def multicast(variant):
    sim.use(variant)
    from norvask import corvane
    asic = corvane.Asic()
    sys.stdout.write(str(asic))


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
    multicast(argv[1] if len(argv) > 1 else 'riot_off')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
