"""The route comparison on the large simulated switch: mroute_eq over all its
routes, with the kernel caches warm, in norvask.corvane against the plain
Python rendering in reference_asic.py.

    PYTHONPATH=simswitch:build python2.7 bench/compare_bench.py [--runs N]

The switch's kernel (simswitch/large_kernel.py) is laid over / in a private
mount namespace by scripts/in-switch-ns, so both sides read it through
their real kernel readers; that needs root, and without it the figure is
skipped.  Inside the namespace one process builds both checkers, runs one
pass over every kernel route on each (the cold pass, which fills the
kernel caches), checks that both gave the same verdicts, then times the
warm pass of each, best of N (default 5), with the cycle collector on.  The
host never reads the kernel caches.  A warm pass that runs a kernel command
fails the benchmark.  After the timing, both sides' notes on every route
are checked to be the same.
"""

import gc
import json
import optparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
IN_SWITCH_NS = os.path.join(SOURCE_DIR, 'scripts', 'in-switch-ns')
sys.path.insert(0, HERE)

SPEED_UP_TARGET = 20.0
KERNEL_LOG = '/tmp/large-kernel-commands.log'


class NoPeer(object):
    """The host's checks of a switch pair; no route of the large switch is
    one of theirs."""

    def check_orig_mroute(self, asic, src, grp):
        raise AssertionError('check_orig_mroute called for %s,%s' % (src, grp))

    def check_term_mroute(self, src, grp):
        raise AssertionError('check_term_mroute called for %s,%s' % (src, grp))


def kernel_commands():
    try:
        with open(KERNEL_LOG) as f:
            return sum(1 for _ in f)
    except IOError:
        return 0


def one_pass(asic, routes, peer):
    eq = asic.mroute_eq
    return [eq(key, iif, oil, peer) for key, iif, oil in routes]


def timed_pass(asic, routes, peer):
    """Milliseconds of one pass, its verdicts and the kernel commands it ran."""
    before = kernel_commands()
    gc.collect()
    t0 = time.time()
    verdicts = one_pass(asic, routes, peer)
    t = time.time() - t0
    return t * 1000.0, verdicts, kernel_commands() - before


def notes(asic, key):
    route = asic.mroutes[key]
    return list(route.iif_mismatch), list(route.oil_mismatch)


def child(runs):
    """Inside the namespace: everything but the printing of the figure."""
    import large
    import large_kernel
    import norvask.corvane
    import reference_asic
    import sim

    if not os.path.isfile('/proc/net/vlan/config') or not os.path.isfile('/bin/ip'):
        sys.exit('compare_bench: the large switch\'s kernel is not laid over /')
    os.environ['SIMSWITCH_KERNEL_LOG'] = KERNEL_LOG
    switch = large.build(1)
    routes = large_kernel.kernel(switch).routes
    sim.use_switch(switch)
    peer = NoPeer()
    # The reference runs its kernel commands by forking the interpreter,
    # which costs less before the module's checker is built too.
    makers = (('reference', reference_asic.Asic), ('corvane', norvask.corvane.Asic))

    result = {'routes': len(routes), 'cold_ms': {}, 'cold_commands': {}, 'warm_ms': {}}
    first = None
    sides = []
    for name, make in makers:
        asic = make()
        sides.append((name, asic))
        ms, verdicts, commands = timed_pass(asic, routes, peer)
        result['cold_ms'][name] = ms
        result['cold_commands'][name] = commands
        if first is None:
            first = verdicts
        elif verdicts != first:
            differ = [routes[i][0] for i in range(len(routes)) if verdicts[i] != first[i]]
            sys.exit('compare_bench: the cold pass gave %d different verdicts, first %s'
                     % (len(differ), differ[0]))
    result['agree'] = sum(1 for v in first if v is True)

    for name, asic in sides:
        best = None
        for _ in range(runs):
            ms, verdicts, commands = timed_pass(asic, routes, peer)
            if commands:
                sys.exit('compare_bench: a warm pass of %s ran %d kernel commands'
                         % (name, commands))
            if verdicts != first:
                sys.exit('compare_bench: a warm pass of %s changed its verdicts' % name)
            best = ms if best is None else min(best, ms)
        result['warm_ms'][name] = best

    # Read only now: reading the routes turns the module's table into the
    # host's dict, which the timed passes must not have had.
    (_, ref), (_, mine) = sides
    for key, _, _ in routes:
        if notes(mine, key) != notes(ref, key):
            sys.exit('compare_bench: the notes on %s differ: %r, %r'
                     % (key, notes(mine, key), notes(ref, key)))
    print(json.dumps(result))


def main():
    parser = optparse.OptionParser(usage='%prog [--runs N]')
    parser.add_option('--runs', type='int', default=5,
                      help='timed warm passes per side (default 5)')
    parser.add_option('--child', action='store_true', help=optparse.SUPPRESS_HELP)
    opts, _ = parser.parse_args()
    runs = max(1, opts.runs)
    if opts.child:
        child(runs)
        return 0

    title = 'mroute_eq, warm kernel caches'
    if os.geteuid() != 0:
        print('%s: skipped, needs root (a private mount namespace for the large '
              'switch\'s kernel)' % title)
        return 0
    import large
    import large_kernel
    tree = tempfile.mkdtemp(prefix='large-kernel.')
    try:
        large_kernel.write_tree(large_kernel.kernel(large.build(1)), tree)
        proc = subprocess.Popen([IN_SWITCH_NS, tree, sys.executable, '-B',
                                 os.path.abspath(__file__), '--child', '--runs', str(runs)],
                                stdout=subprocess.PIPE)
        out, _ = proc.communicate()
    finally:
        shutil.rmtree(tree, ignore_errors=True)
    if proc.returncode == 77:
        print('%s: skipped, no private mount namespace here (in-switch-ns, above)' % title)
        return 0
    if proc.returncode != 0:
        sys.stdout.write(out)
        return 1
    r = json.loads(out.splitlines()[-1])
    mine, ref = r['warm_ms']['corvane'], r['warm_ms']['reference']
    print('cold pass over %d routes: corvane %.1f ms (%d kernel commands), reference %.1f ms '
          '(%d kernel commands); %d routes agree with the hardware'
          % (r['routes'], r['cold_ms']['corvane'], r['cold_commands']['corvane'],
             r['cold_ms']['reference'], r['cold_commands']['reference'], r['agree']))
    speed_up = ref / mine
    print('%s, best of %d: corvane %.1f ms, reference %.1f ms, no kernel command; '
          'speed-up %.1fx (target >= %.0fx): %s'
          % (title, runs, mine, ref, speed_up, SPEED_UP_TARGET,
             'met' if speed_up >= SPEED_UP_TARGET else 'MISSED'))
    return 0


if __name__ == '__main__':
    sys.exit(main())
