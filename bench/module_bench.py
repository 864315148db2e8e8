"""Construction of norvask.corvane.Asic on the large simulated switch, at
scale 1 and 2, against the plain Python rendering in reference_asic.py; then
the route comparison on that switch with its kernel (compare_bench.py, which
needs root).

    PYTHONPATH=simswitch:build python2.7 bench/module_bench.py [--runs N]

Each figure is the best of N runs (default 5) after one warm-up run, with
the interpreter's cycle collector in its default state (on) for both sides,
as the host runs them.  Both sides are checked to have read the same routes
and replication targets before anything is timed.

Besides construction alone, it times construction followed by the host's
first read of the tables (`mroutes`, `replication_groups`, and the group of
every route, as the host's check reads them), and measures the resident
memory that construction and first read add, each in a fresh process
(best of N), against the reference's construction.
"""

import gc
import optparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import large
import sim
import norvask.corvane
import reference_asic

SPEED_UP_TARGET = 20.0
SCALING_TARGET = 2.2
FIRST_READ_TARGET = 8.0


def first_read(asic):
    """The host's first look at the tables: the routes, the groups, and the
    group of every route (not its target lists)."""
    routes = asic.mroutes
    groups = asic.replication_groups
    for r in routes.values():
        if r.grp in groups:
            groups[r.grp]
    return asic


def constructed_and_read():
    return first_read(norvask.corvane.Asic())


def resident_bytes():
    with open('/proc/self/statm') as f:
        return int(f.read().split()[1]) * os.sysconf('SC_PAGE_SIZE')


def memory_child(which):
    """In a fresh process: the resident memory one construction (and, for
    the module, the first read) adds."""
    sim.use_switch(large.build(1))
    gc.collect()
    before = resident_bytes()
    obj = constructed_and_read() if which == 'module' else reference_asic.Asic()
    after = resident_bytes()
    print(after - before)
    del obj


def best_memory_mb(which, runs):
    best = None
    for _ in range(runs):
        out = subprocess.check_output([sys.executable, os.path.abspath(__file__),
                                       '--memory-child', which])
        mb = int(out.split()[-1]) / 1e6
        best = mb if best is None else min(best, mb)
    return best


def best_ms(make, runs):
    """Best wall time of make() in milliseconds over `runs` runs, after one
    warm-up.  Dropping the object and the shell log is not timed."""
    obj = make()
    del obj
    best = None
    for _ in range(runs):
        sim.reset_log()
        gc.collect()
        t0 = time.time()
        obj = make()
        t = time.time() - t0
        del obj
        if best is None or t < best:
            best = t
    return best * 1000.0


def check_same(asic, ref):
    """The two sides read the same tables; a mismatch would time different
    work."""
    keys = set(asic.get_mroutes())
    if keys != set(ref.mroutes):
        sys.exit('route keys differ: %d in the module, %d in the reference'
                 % (len(keys), len(ref.mroutes)))
    groups = asic.replication_groups
    if len(groups) != len(ref.replication_groups):
        sys.exit('replication groups differ: %d in the module, %d in the reference'
                 % (len(groups), len(ref.replication_groups)))
    for gid, rg in ref.replication_groups.items():
        mine = groups[gid]
        if (mine.get_l3_linux_encaps() != rg.get_l3_linux_encaps() or
                mine.get_l2_linux_encaps() != rg.get_l2_linux_encaps()):
            sys.exit('replication group 0x%x differs' % gid)
    return len(keys), len(groups), len(ref.vlans)


def main():
    parser = optparse.OptionParser(usage='%prog [--runs N]')
    parser.add_option('--runs', type='int', default=5,
                      help='timed runs per figure, after one warm-up (default 5)')
    parser.add_option('--memory-child', help=optparse.SUPPRESS_HELP)
    opts, _ = parser.parse_args()
    if opts.memory_child:
        memory_child(opts.memory_child)
        return
    runs = max(1, opts.runs)

    results = {}
    for scale in (1, 2):
        sim.use_switch(large.build(scale))
        routes, groups, vlans = check_same(norvask.corvane.Asic(), reference_asic.Asic())
        module = best_ms(norvask.corvane.Asic, runs)
        reference = best_ms(reference_asic.Asic, runs)
        results[scale] = (module, reference)
        print('scale %d (%d routes, %d groups, %d VLANs read): corvane.Asic() %.1f ms, '
              'reference %.1f ms, speed-up %.1fx'
              % (scale, routes, groups, vlans, module, reference, reference / module))

    sim.use_switch(large.build(1))
    read = best_ms(constructed_and_read, runs)
    r1 = results[1][1]
    print('scale 1: construction and first read %.1f ms, %.1fx the reference\'s construction '
          '(target >= %.0fx): %s' % (read, r1 / read, FIRST_READ_TARGET,
                                     'met' if r1 / read >= FIRST_READ_TARGET else 'MISSED'))
    mem_module = best_memory_mb('module', runs)
    mem_reference = best_memory_mb('reference', runs)
    print('resident memory added at scale 1: construction and first read %.1f MB, '
          'reference construction %.1f MB: %s'
          % (mem_module, mem_reference, 'met' if mem_module <= mem_reference else 'MISSED'))

    (m1, r1), (m2, r2) = results[1], results[2]
    speed_up = r1 / m1
    scaling = m2 / m1
    print('scale2/scale1: corvane %.2f, reference %.2f' % (scaling, r2 / r1))
    print('speed-up at scale 1: %.1fx (target >= %.0fx): %s'
          % (speed_up, SPEED_UP_TARGET, 'met' if speed_up >= SPEED_UP_TARGET else 'MISSED'))
    print('scale2/scale1 of corvane: %.2f (target <= %.1f): %s'
          % (scaling, SCALING_TARGET, 'met' if scaling <= SCALING_TARGET else 'MISSED'))
    sys.stdout.flush()
    return subprocess.call([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         'compare_bench.py'), '--runs', str(runs)])


if __name__ == '__main__':
    sys.exit(main())
