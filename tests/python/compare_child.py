"""Runs the route comparison inside a namespace whose kernel the test made:
the simulated XGS switch's kernel laid over / ("sim"), the simulated DNX
switch's ("dnx"), or a real bridge in a fresh network namespace ("real").
Runs every check of the scenario and prints a JSON report as its last line:
a list of failures (empty when all held) and what the checks saw.

    compare_child.py sim|dnx|real
"""

import json
import sys

import sim


failures = []
seen = {}


def check(cond, what):
    if not cond:
        failures.append(what)


class Peer(object):
    """The host's checks of a switch pair, recording their calls."""

    def __init__(self):
        self.calls = []
        self.result = object()

    def check_orig_mroute(self, asic, src, grp):
        self.calls.append(('orig', asic, src, grp))
        return self.result

    def check_term_mroute(self, src, grp):
        self.calls.append(('term', src, grp))
        return self.result


class Refused(Exception):
    pass


class RaisingPeer(object):
    def check_orig_mroute(self, asic, src, grp):
        raise Refused('orig')

    def check_term_mroute(self, src, grp):
        raise Refused('term')


touched = []


class Untouchable(object):
    """A host object that no one may read, call, test or compare."""

    def __getattribute__(self, name):
        touched.append(name)
        raise AssertionError('ul_mcast.%s read' % name)

    def _refuse(self, *args):
        touched.append('a special method')
        raise AssertionError('ul_mcast used')

    __call__ = __nonzero__ = __len__ = __iter__ = __eq__ = __ne__ = __hash__ = __str__ = _refuse


def notes(route):
    return list(route.iif_mismatch) + list(route.oil_mismatch)


def sim_checks(m):
    a = m.Asic()
    peer = Peer()
    check(not hasattr(a, 'tmp_encaps'), 'tmp_encaps exists before a comparison')

    # The switch pair's routes go to the host's checks, unchanged both ways.
    check(a.mroute_eq('default, (10.0.0.1,239.1.1.1)', 'lo', [], peer) is True,
          'ORIG_DEV route with an empty OIL is not true')
    check(peer.calls == [], 'an empty OIL called the host')
    r = a.mroute_eq('default, (10.0.0.1,239.1.1.1)', 'lo', ['swp1'], peer)
    check(r is peer.result, 'check_orig_mroute result not given back')
    check(peer.calls[-1][0] == 'orig' and peer.calls[-1][1] is a and
          peer.calls[-1][2:] == ('10.0.0.1', '239.1.1.1'), 'check_orig_mroute arguments')
    r = a.mroute_eq('default, (0.0.0.0,239.1.1.9)', 'lo', ['ipmr-lo'], peer)
    check(r is peer.result and peer.calls[-1] == ('term', '0.0.0.0', '239.1.1.9'),
          'lo with source 0.0.0.0 and ipmr-lo is not the TERM_DEV case')
    for args in [('default, (10.0.0.1,239.1.1.1)', 'lo', ['swp1']),
                 ('default, (0.0.0.0,239.1.1.1)', 'swp1', ['ipmr-lo'])]:
        try:
            a.mroute_eq(args[0], args[1], args[2], RaisingPeer())
            failures.append('a raising check did not raise: %r' % (args,))
        except Refused:
            pass
    check(a.kern_dev_cache == {}, 'the pairing cases looked the kernel up')

    # ORIG_DEV is the host's list, read at every call and searched as `in`
    # searches it: a unicode name or an object that compares equal counts.
    class Named(object):
        def __init__(self, name):
            self.name = name

        def __eq__(self, other):
            return other == self.name

    b = m.Asic()
    for entry, iif in [(u'swp7', 'swp7'), (Named('swp8'), 'swp8'), ('swp9', 'swp9')]:
        m.Asic.ORIG_DEV.append(entry)
        try:
            r = b.mroute_eq('default, (10.0.0.1,239.1.1.1)', iif, ['swp1'], peer)
            check(r is peer.result and peer.calls[-1][0] == 'orig',
                  'ORIG_DEV entry %r does not make %s a pairing IIF' % (entry, iif))
        finally:
            m.Asic.ORIG_DEV.remove(entry)
    r = b.mroute_eq('default, (10.0.0.1,239.1.1.1)', 'swp9', ['swp1'], peer)
    check(r is not peer.result, 'a name taken out of ORIG_DEV still counts')

    # A route the hardware does not hold: true, and no kernel command.
    check(a.mroute_eq('default, (1.2.3.4,239.9.9.9)', 'br100', ['br200'], peer) is True,
          'a route not in hardware is not true')
    check(a.kern_dev_cache == {} and a.kern_mdb_cache == {},
          'a route not in hardware ran kernel commands')

    # The simulated kernel's routes, as the host tool runs them.
    verdicts = []
    for key, iif, oil in sim.kernel_routes('riot_off'):
        verdicts.append([key, a.mroute_eq(key, iif, oil, peer), notes(a.mroutes[key])])
    seen['verdicts'] = verdicts

    # The same key again: its notes twice, false again.
    key = 'default, (10.1.1.12,239.1.1.4)'
    check(a.mroute_eq(key, 'br100', ['swp10'], peer) is False, 'second verdict not false')
    check(notes(a.mroutes[key]) == ['kernel has OIFs not in the hw',
                                    'kernel has L2-OIFs not in the hw'] * 2,
          'notes not repeated: %r' % notes(a.mroutes[key]))

    # tmp_encaps is a new set for every expansion, and _expand_kern_dev adds
    # to whatever set it holds.
    held = a.tmp_encaps
    a.mroute_eq('default, (10.1.1.10,239.1.1.1)', 'br100', ['br200'], peer)
    check(a.tmp_encaps is not held and type(a.tmp_encaps) is set, 'tmp_encaps not replaced')
    mine = set(['x'])
    a.tmp_encaps = mine
    a._expand_kern_dev('239.1.1.1', 'br100')
    check(a.tmp_encaps is mine, 'tmp_encaps replaced by _expand_kern_dev')
    seen['br100_239.1.1.1'] = sorted(mine)

    # The records the readers give are the caches' own.
    entry = a._kern_dev_get_mdb_entry('br100', -1, '01:00:5e:01:01:01')
    check(entry is a.kern_mdb_cache['br100'].mdb_entries['-1.01:00:5e:01:01:01'],
          'snooping entry is not the cached record')
    check(a._kern_get_br_members('br100') is a.kern_br_cache['br100'],
          'bridge members are not the stored list')
    check(a._kern_dev_cache_get('br100') is a.kern_dev_cache['br100'],
          'device entry is not the cached record')
    check(a._kern_dev_get_mdb_entry('br100', -1, '01:00:5e:09:09:09') is None,
          'a group without entry is not None')
    check(a._kern_base_dev_kind_get('swp9.300') == ('swp', 'swp9', 300), 'base device of swp9.300')
    check(a._kern_get_vlan_and_atlink('swp9.300') == (300, 'swp9'), 'VLAN device swp9.300')
    check(a._kern_get_vlan_and_atlink('swp1') == (None, None), 'swp1 as a VLAN device')

    # flood_mdb_misses as the host sets it.
    a.flood_mdb_misses = False
    check(a._expand_kern_vlan_unaware_bridge('01:00:5e:09:09:09', 'br100') == [],
          'a miss floods with flood_mdb_misses off')
    a.flood_mdb_misses = True
    check(a._expand_kern_vlan_unaware_bridge('01:00:5e:09:09:09', 'br100') ==
          list(a.kern_br_cache['br100']), 'a miss does not flood to the members')

    # A cache the host stores is the one the expansion reads.
    mine = m.KernMdbCache('br200', 0)
    e = m.KernMdbEntry(-1, '01:00:5e:01:01:01')
    e.add_port('swp42')
    mine.mdb_entries['-1.01:00:5e:01:01:01'] = e
    a.kern_mdb_cache['br200'] = mine
    a.tmp_encaps = set()
    a._expand_kern_dev('239.1.1.1', 'br200')
    check(a.tmp_encaps == set(['swp42']), 'stored cache not used: %r' % a.tmp_encaps)
    e.swp.append('swp43')
    a.tmp_encaps = set()
    a._expand_kern_dev('239.1.1.1', 'br200')
    check(a.tmp_encaps == set(['swp42', 'swp43']), 'change of the stored entry not seen')


def verdicts_of(a, variant, ul_mcast):
    out = []
    for key, iif, oil in sim.kernel_routes(variant):
        out.append([key, a.mroute_eq(key, iif, oil, ul_mcast),
                    notes(a.mroutes[key]) if key in a.mroutes else None])
    return out


class Stop(Exception):
    pass


def dnx_checks(yselde, corvane):
    sim.use('dnx')
    a = yselde.Asic()

    # The host tool's run over the kernel's routes, with a special-route
    # object that must stay untouched, and again on a new checker with None.
    seen['verdicts'] = verdicts_of(a, 'dnx', Untouchable())
    check(touched == [], 'ul_mcast was used: %r' % touched)
    check(verdicts_of(yselde.Asic(), 'dnx', None) == seen['verdicts'],
          'None as ul_mcast gives other verdicts')
    check(all(r.iif_mismatch == [] and r.kernel_iif is None for r in a.mroutes.values()),
          'the IIF was compared')
    seen['tmp_encaps'] = sorted(a.tmp_encaps)

    # Routes that the XGS checker hands to the host's checks of a switch
    # pair are compared like any other, whatever ORIG_DEV holds.
    yselde.Asic.ORIG_DEV.append('swp13')
    seen['pairing'] = []
    try:
        for key, iif, oil in [('default, (10.1.1.10,239.1.1.1)', 'lo', ['swp1', 'swp6', 'swp13']),
                              ('default, (10.2.2.2,239.2.2.2)', 'lo', []),
                              ('default, (10.2.2.2,239.2.2.2)', 'swp13', ['swp12']),
                              ('default, (0.0.0.0,239.1.1.2)', 'br200',
                               ['swp5', 'br700', 'ipmr-lo']),
                              ('default, (0.0.0.0,239.1.1.2)', 'lo', ['ipmr-lo'])]:
            a = yselde.Asic()
            seen['pairing'].append([key, iif, oil, a.mroute_eq(key, iif, oil, Untouchable()),
                                    notes(a.mroutes[key])])
    finally:
        yselde.Asic.ORIG_DEV.remove('swp13')
    check(touched == [], 'ul_mcast was used: %r' % touched)

    # The OIL as any iterable, walked once and only where it is expanded.
    a = yselde.Asic()
    walks = []

    def oil(*names):
        walks.append(list(names))
        for name in names:
            yield name

    def stops_after(*names):
        for name in names:
            yield name
        raise Stop('oil')

    agreeing = 'default, (0.0.0.0,239.1.1.2)'
    check(a.mroute_eq(agreeing, 'br200', oil('swp5', 'br700'), None) is True, 'generator OIL')
    check(a.mroute_eq(agreeing, 'br200', ('swp5', 'br700'), None) is True, 'tuple OIL')
    check(a.mroute_eq(agreeing, 'br200', iter(['br700', 'swp5', 'br200']), None) is True,
          'iterator OIL holding the IIF')
    check(notes(a.mroutes[agreeing]) == [], 'agreeing OILs left notes')
    check(walks == [['swp5', 'br700']], 'generator walked %r' % walks)
    missing = 'default, (10.1.1.11,239.1.1.3)'
    check(a.mroute_eq(missing, 'vlan100', oil('swp1', 'swp6'), None) is False, 'generator OIL')
    check(notes(a.mroutes[missing]) == ['hw has OIFs not in the kernel'],
          'generator OIL notes: %r' % notes(a.mroutes[missing]))
    # A route the hardware does not hold: the OIL is not even walked.
    for bad in (stops_after('swp1'), None, 7):
        check(a.mroute_eq('default, (10.9.9.9,239.9.9.9)', 'vlan100', bad, None) is True,
              'OIL %r walked for a route not in hardware' % (bad,))
    # What the OIL raises part-way reaches the host, and no note is made.
    before = dict((k, notes(r)) for k, r in a.mroutes.items())
    for key, iif in [(agreeing, 'br200'), ('default, (10.2.2.2,239.2.2.2)', 'swp13')]:
        try:
            a.mroute_eq(key, iif, stops_after('swp5'), None)
            failures.append('the OIL\'s error did not come out')
        except Stop:
            pass
    check(a.tmp_encaps == set(['swp5']), 'the OIF before the error was not expanded')
    check(dict((k, notes(r)) for k, r in a.mroutes.items()) == before, 'a failed call made notes')

    # Long sides (the same OIFs and targets many times over, as an OIL and
    # the host's target lists may hold them): repeats and order do not
    # matter, one name more on either side does.
    b = yselde.Asic()
    route = b.mroutes[agreeing]
    l3 = b.replication_groups[route.grp].l3_encaps
    one_round = list(l3)
    l3.extend(one_round * 11)
    long_oil = ['br700', 'swp5'] * 12
    seen['long_sides'] = []
    e = one_round[0]
    hw_extra = [yselde.Encap('swp1', e.bcm_dport, e.intf, e.vlan, e.evid)]
    for oil_more, hw_more in [([], []), (['swp1'], []), ([], hw_extra)]:
        del route.oil_mismatch[:]
        l3[len(one_round) * 12:] = hw_more
        seen['long_sides'].append([b.mroute_eq(agreeing, 'br200', long_oil + oil_more, None),
                                   list(route.oil_mismatch)])

    # A note the host put on the IIF list makes the route differ.
    a.mroutes[agreeing].iif_mismatch.append('host note')
    check(a.mroute_eq(agreeing, 'br200', ['swp5', 'br700'], None) is False, 'host IIF note')
    check(notes(a.mroutes[agreeing]) == ['host note'], 'host IIF note changed')

    # One bridge without VLAN filtering, br200 with its router port swp4,
    # and one hardware route: the XGS checker merges the router port into
    # the snooping entry, the DNX checker does not.
    sim.use('riot_off')
    c = corvane.Asic()
    sim.use('dnx')
    a = yselde.Asic()
    hw = a.mroutes[agreeing]
    group = a.replication_groups[hw.grp]
    c_route = corvane.Hmroute(hw.sip, hw.dip, 200, hw.grp, hw.vrf)
    c.mroutes[agreeing] = c_route

    def copied(encaps):
        return [corvane.Encap(e.linux_port, e.bcm_dport, e.intf, e.vlan, e.evid) for e in encaps]
    c.replication_groups[c_route.grp] = corvane.ReplicationGroup(
        c_route.grp, copied(group.l2_encaps), copied(group.l3_encaps))
    mac = '01:00:5e:01:01:02'
    seen['router_port'] = {}
    for name, asic, route in [('yselde', a, hw), ('corvane', c, c_route)]:
        verdict = asic.mroute_eq(agreeing, 'br200', ['swp5', 'br700'], Peer())
        cache = asic.kern_mdb_cache['br200']
        seen['router_port'][name] = {
            'verdict': verdict, 'oil_mismatch': list(route.oil_mismatch),
            'entry': list(asic._kern_dev_get_mdb_entry('br200', -1, mac).swp),
            'rports': dict((str(k), list(v.swp)) for k, v in cache.mdb_rports.items())}


def real_checks(m, yselde):
    a = m.Asic()
    peer = Peer()
    key = 'default, (10.1.1.10,239.1.1.1)'
    seen['verdict'] = a.mroute_eq(key, 'swp9.300', ['br0'], peer)
    seen['notes'] = notes(a.mroutes[key])
    cache = a.kern_mdb_cache['br0']
    seen['entries'] = dict((k, list(v.swp)) for k, v in cache.mdb_entries.items())
    seen['rports'] = dict((str(k), list(v.swp)) for k, v in cache.mdb_rports.items())
    seen['kinds'] = dict((d, a._kern_dev_kind_get(d)) for d in ('br0', 'swp1', 'peer1', 'nosuch0'))
    a.tmp_encaps = set()
    a._expand_kern_dev('239.9.9.9', 'br0')
    seen['flooded'] = sorted(a.tmp_encaps)
    a.tmp_encaps = set()
    a._expand_kern_dev('239.7.7.7', 'br0')
    seen['host_joined'] = sorted(a.tmp_encaps)

    # The DNX checker on the same bridge: no router port in the entries.
    sim.use('dnx')
    d = yselde.Asic()
    d.tmp_encaps = set()
    d._expand_kern_dev('239.7.7.7', 'br0')
    seen['dnx_host_joined'] = sorted(d.tmp_encaps)
    cache = d.kern_mdb_cache['br0']
    seen['dnx_entries'] = dict((k, list(v.swp)) for k, v in cache.mdb_entries.items())
    seen['dnx_rports'] = dict((str(k), list(v.swp)) for k, v in cache.mdb_rports.items())


def main(argv):
    sim.use('riot_off')
    from norvask import corvane, yselde
    scenario = argv[1]
    if scenario == 'sim':
        sim_checks(corvane)
    elif scenario == 'dnx':
        dnx_checks(yselde, corvane)
    else:
        real_checks(corvane, yselde)
    print(json.dumps({'failures': failures, 'seen': seen}))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
