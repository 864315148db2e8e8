"""Constructs the XGS multicast checker on the simulated RIOT-off switch, as
the host tool does, and prints its hardware routes.

    python2.7 simswitch/demo.py [VARIANT]

Finds the stand-ins beside this file and the built module under
$NORVASK_BUILD_DIR (default: build/ beside simswitch/).
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(1, os.environ.get('NORVASK_BUILD_DIR') or
                os.path.join(os.path.dirname(HERE), 'build'))

import sim


def main(argv):
    sim.use(argv[1] if len(argv) > 1 else 'riot_off')
    from norvask import corvane
    asic = corvane.Asic()
    sys.stdout.write(str(asic))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
