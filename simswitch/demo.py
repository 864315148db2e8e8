"""Constructs a multicast checker on a simulated switch, as the host tool
does, and prints its hardware routes.

    python2.7 simswitch/demo.py [--chip {xgs,dnx}] [VARIANT]

The chip family picks the module (corvane for XGS, the default; yselde for
DNX) and the switch it runs on, unless VARIANT names another.  Finds the
stand-ins beside this file and the built modules under $NORVASK_BUILD_DIR
(default: build/ beside simswitch/).
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


def main(argv):
    parser = argparse.ArgumentParser(description='Prints the hardware multicast '
                                     'routes a checker reads from a simulated switch.')
    parser.add_argument('--chip', choices=sorted(CHIPS), default='xgs',
                        help='chip family (default: xgs)')
    parser.add_argument('variant', nargs='?', help='switch fixture (default: by chip)')
    args = parser.parse_args(argv[1:])
    module_name, default_variant = CHIPS[args.chip]
    sim.use(args.variant or default_variant)
    module = importlib.import_module(module_name)
    asic = module.Asic()
    sys.stdout.write(str(asic))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
