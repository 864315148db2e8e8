"""The route comparison through the built module, on kernels the tests make:
the simulated switch's kernel laid over the absolute paths the checker
reads, and a real bridge in a fresh network namespace.  Both need root; the
checks run in compare_child.py, inside the namespace."""

import json
import os
import subprocess
import unittest

from nvtest import (HERE, IN_SWITCH_NS, PYTHON, SOURCE_DIR, SWITCHES, cannot_run_as_root,
                    child_env)

SIM_KERNEL = os.path.join(SWITCHES, 'riot_off', 'kernel')
DNX_KERNEL = os.path.join(SWITCHES, 'dnx', 'kernel')
REAL_SETUP = os.path.join(SOURCE_DIR, 'tests', 'kernel', 'real-kernel-setup')


def run_child(ns_args, scenario, env=None):
    if os.geteuid() != 0:
        cannot_run_as_root('a private mount and network namespace')
    proc = subprocess.Popen(
        [IN_SWITCH_NS] + ns_args + [PYTHON, '-B', os.path.join(HERE, 'compare_child.py'), scenario],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=child_env(env), cwd=SOURCE_DIR)
    out, err = proc.communicate()
    if proc.returncode == 77:
        cannot_run_as_root('in-switch-ns: %s' % err.strip())
    if proc.returncode != 0:
        raise AssertionError('compare_child %s failed (%d):\n%s%s'
                             % (scenario, proc.returncode, out, err))
    return json.loads(out.splitlines()[-1])


class SimulatedKernelTest(unittest.TestCase):

    WANT = [
        ['default, (10.1.1.10,239.1.1.1)', True, []],
        ['default, (0.0.0.0,239.1.1.2)', False, ['kernel has L2-OIFs not in the hw']],
        ['default, (10.1.1.11,239.1.1.3)', True, []],
        ['default, (10.1.1.12,239.1.1.4)', False,
         ['kernel has OIFs not in the hw', 'kernel has L2-OIFs not in the hw']],
        ['red, (10.2.2.2,239.2.2.2)', False, ['kernel IIF does not match hw IIF']],
    ]

    def check_layout(self, iproute2):
        env = {'SIMSWITCH_IPROUTE2': iproute2} if iproute2 else None
        report = run_child([SIM_KERNEL], 'sim', env)
        self.assertEqual(report['failures'], [])
        self.assertEqual(report['seen']['verdicts'], self.WANT)
        # The router port swp7 of br200 is not on br100; the bond's slaves are.
        self.assertEqual(report['seen']['br100_239.1.1.1'], ['swp2', 'swp3', 'x'])

    def test_current_iproute2(self):
        self.check_layout(None)

    def test_older_iproute2(self):
        self.check_layout('old')


class DnxKernelTest(unittest.TestCase):
    """The DNX checker on the simulated DNX switch's kernel."""

    @classmethod
    def setUpClass(cls):
        cls.report = run_child([DNX_KERNEL], 'dnx')

    def test_checks_held(self):
        self.assertEqual(self.report['failures'], [])

    def test_kernel_routes(self):
        # As kernel_routes.txt says: an extra L2 port (swp9.100 seen as
        # swp9), a missing OIF, a route the hardware does not hold; the
        # rest agree, the router port of br200 not merged.
        self.assertEqual(self.report['seen']['verdicts'], [
            ['default, (10.1.1.10,239.1.1.1)', False, ['kernel has L2-OIFs not in the hw']],
            ['default, (0.0.0.0,239.1.1.2)', True, []],
            ['default, (10.1.1.11,239.1.1.3)', False, ['hw has OIFs not in the kernel']],
            ['default, (10.1.1.12,239.1.1.4)', True, []],
            ['default, (10.2.2.2,239.2.2.2)', True, []],
            ['default, (10.9.9.9,239.9.9.9)', True, None],
        ])
        # Left holding the last expansion of the last route compared.
        self.assertEqual(self.report['seen']['tmp_encaps'], ['swp12'])

    def test_no_pairing_cases(self):
        # An IIF "lo" with a source, the OIF "ipmr-lo" with source 0.0.0.0,
        # an IIF the host added to ORIG_DEV: compared like any route ("lo"
        # and "ipmr-lo" lead to no port).
        self.assertEqual(self.report['seen']['pairing'], [
            ['default, (10.1.1.10,239.1.1.1)', 'lo', ['swp1', 'swp6', 'swp13'], False,
             ['hw has L2-OIFs not in the kernel']],
            ['default, (10.2.2.2,239.2.2.2)', 'lo', [], False, ['hw has OIFs not in the kernel']],
            ['default, (10.2.2.2,239.2.2.2)', 'swp13', ['swp12'], True, []],
            ['default, (0.0.0.0,239.1.1.2)', 'br200', ['swp5', 'br700', 'ipmr-lo'], True, []],
            ['default, (0.0.0.0,239.1.1.2)', 'lo', ['ipmr-lo'], False,
             ['hw has OIFs not in the kernel', 'hw has L2-OIFs not in the kernel']],
        ])

    def test_long_sides(self):
        # Two dozen OIFs against three dozen targets, the same names over
        # and over: agreeing, then one kernel name more, then one target more.
        self.assertEqual(self.report['seen']['long_sides'], [
            [True, []],
            [False, ['kernel has OIFs not in the hw']],
            [False, ['hw has OIFs not in the kernel']],
        ])

    def test_router_port_of_a_bridge_without_vlan_filtering(self):
        # One kernel, one hardware route: only the XGS checker merges br200's
        # router port swp4 into the snooping entry, and so finds it missing
        # in hardware.
        seen = self.report['seen']['router_port']
        self.assertEqual(seen['yselde'], {'verdict': True, 'oil_mismatch': [],
                                          'entry': ['swp2', 'swp3'], 'rports': {'-1': ['swp4']}})
        self.assertEqual(seen['corvane'], {'verdict': False,
                                           'oil_mismatch': ['kernel has L2-OIFs not in the hw'],
                                           'entry': ['swp2', 'swp3', 'swp4'],
                                           'rports': {'-1': ['swp4']}})


class RealKernelTest(unittest.TestCase):

    def test_bridge_without_vlan_filtering(self):
        report = run_child(['--net', '-', REAL_SETUP], 'real')
        self.assertEqual(report['failures'], [])
        seen = report['seen']
        # Snooped groups with the router port swp2 merged; the host's own
        # group gets the router port only; IPv6 groups are not there.
        self.assertEqual(sorted(seen['entries']), ['-1.01:00:5e:01:01:01', '-1.01:00:5e:02:02:02',
                                                   '-1.01:00:5e:07:07:07'])
        self.assertEqual(sorted(seen['entries']['-1.01:00:5e:01:01:01']), ['swp1', 'swp2', 'swp3'])
        self.assertEqual(sorted(seen['entries']['-1.01:00:5e:02:02:02']), ['swp1', 'swp2'])
        self.assertEqual(seen['entries']['-1.01:00:5e:07:07:07'], ['swp2'])
        self.assertEqual(seen['rports'], {'-1': ['swp2']})
        self.assertEqual(seen['host_joined'], ['swp2'])
        self.assertEqual(seen['flooded'], ['swp1', 'swp2', 'swp3', 'swp4'])
        self.assertEqual(seen['kinds'], {'br0': 'bridge', 'swp1': 'swp', 'peer1': 'veth',
                                         'nosuch0': 'unk'})
        # The hardware route's targets are not the bridge's members.
        self.assertFalse(seen['verdict'])
        self.assertEqual(seen['notes'], ['kernel IIF does not match hw IIF',
                                         'hw has OIFs not in the kernel',
                                         'kernel has OIFs not in the hw',
                                         'hw has L2-OIFs not in the kernel'])
        # The DNX checker reads the same bridge without its router port in
        # the entries: the host's own group names no port.
        self.assertEqual(dict((k, sorted(v)) for k, v in seen['dnx_entries'].items()),
                         {'-1.01:00:5e:01:01:01': ['swp1', 'swp3'],
                          '-1.01:00:5e:02:02:02': ['swp1'],
                          '-1.01:00:5e:07:07:07': []})
        self.assertEqual(seen['dnx_rports'], {'-1': ['swp2']})
        self.assertEqual(seen['dnx_host_joined'], [])


if __name__ == '__main__':
    unittest.main()
