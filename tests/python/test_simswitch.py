"""The simulated switch itself: fixture loading, the stand-ins' answers and
logs, the large benchmark switch, the namespace script and the demo."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

import nvtest
import sim


class FixtureTest(unittest.TestCase):

    def test_file_names(self):
        for cmd in ('show portmap', 'dump chg l3_entry_ipv4_multicast', 'ports xe0-xe3,ge0',
                    'a+b/c%d e'):
            name = sim.command_to_filename(cmd)
            self.assertNotIn(' ', name)
            self.assertNotIn('/', name)
            self.assertEqual(sim.filename_to_command(name), cmd)

    def test_outputs_are_exact(self):
        sw = sim.load('riot_off')
        path = os.path.join(nvtest.SWITCHES, 'riot_off', 'shell', 'multicast+show.txt')
        with open(path, 'rb') as f:
            self.assertEqual(sw.outputs['multicast show'], f.read())
        self.assertIn('\tport xe4, encap id 6\n', sw.outputs['multicast show'])
        self.assertEqual(sw.outputs['sc L3IngressMode'], '0x0\n')
        self.assertIsNone(sw.root)
        self.assertEqual(sim.load('riot_on').outputs['sc L3IngressMode'], '0x1\n')

    def test_variants_agree(self):
        off, on = sim.load('riot_off'), sim.load('riot_on')
        riot_only = set(['sc L3IngressMode', 'listmem VLAN', 'multicast show',
                         'ipmc table show', 'dump chg l3_entry_ipv4_multicast', 'l3 egress show'])
        self.assertEqual(set(on.outputs) - set(off.outputs), set(['listmem VLAN']))
        for cmd in set(off.outputs) - riot_only:
            self.assertEqual(off.outputs[cmd], on.outputs[cmd], cmd)
        self.assertEqual(off.ports, on.ports)
        self.assertEqual(off.vrfs, on.vrfs)
        # the same members, as L3 interface ids with RIOT off and next-hop
        # indexes with it on
        ids = lambda sw: re.findall(r'port (\S+), encap id (\S+)', sw.outputs['multicast show'])
        for (p1, i1), (p2, i2) in zip(ids(off), ids(on)):
            self.assertEqual(p1, p2)
            self.assertEqual(i1, i2 if i2 == '-1' else str(nvtest.NHI[int(i2)]))
        self.assertEqual(len(ids(off)), len(ids(on)))
        self.assertTrue(os.access(os.path.join(on.root, 'usr', 'bin', 'pairxctl'), os.X_OK))

    def test_copies_are_independent(self):
        a = sim.load('riot_off')
        b = a.copy()
        b.outputs['pvlan show'] = ''
        b.ports.append(('xe99', 'swp99'))
        self.assertNotEqual(a.outputs['pvlan show'], '')
        self.assertRaises(KeyError, a.bcm2linux, 'xe99')
        self.assertEqual(b.bcm2linux('xe99'), 'swp99')


class StandInsTest(unittest.TestCase):

    def setUp(self):
        sim.use('riot_on')

    def test_shell_client(self):
        import dolmish
        c = dolmish.dolmish(timeout=180)
        self.assertEqual(sim.client_kwargs(), [{'timeout': 180}])
        self.assertEqual(c.run('sc L3IngressMode'), '0x1\n')
        out = c.run('vlan show 3999')
        self.assertIn('Error', out)
        self.assertIsNone(re.search(r'vlan (?P<vlan>\d+).*untagged (?P<ports>\S+)', out))
        self.assertIn('Error', c.run('no such command'))
        sim.fail('pvlan show')
        sim.raise_on('show unit', KeyError('x'))
        self.assertRaises(IOError, c.run, 'pvlan show')
        self.assertRaises(KeyError, c.run, 'show unit')
        self.assertEqual(sim.commands(), ['sc L3IngressMode', 'vlan show 3999',
                                          'no such command', 'pvlan show', 'show unit'])
        self.assertEqual(c.gettable('VLAN', fields=True, start=100, entries=1)[0]['L3_IIF'], 8197)
        self.assertEqual(c.gettable('VLAN', start=99, entries=3)[0]['L3_IIF'], 8197)
        self.assertEqual(c.gettable('VLAN', start=5), [])
        self.assertEqual(sim.gettable_calls()[0],
                         ('VLAN', {'fields': True, 'start': 100, 'entries': 1}))
        sim.use('riot_on')
        self.assertEqual((sim.commands(), sim.gettable_calls(), sim.client_kwargs()), ([], [], []))
        self.assertEqual(c.run('pvlan show')[:5], 'Port ')

    def test_port_table_and_vrfs(self):
        from norvask import quillon, stavren
        pt = quillon.quillon()
        self.assertEqual(pt.bcm2linux('xe6'), 'swp7')
        self.assertRaises(KeyError, pt.bcm2linux, 'cpu0')
        self.assertEqual(pt.get_linux_ports()[:2], ['swp1', 'swp2'])
        self.assertEqual(pt.logical2dport(34), 'xe6')
        self.assertEqual(stavren.VrfDb().vrf_id2name(1), 'red')
        self.assertRaises(KeyError, stavren.VrfDb().vrf_id2name, 9)
        self.assertEqual(sim.constructions(), ['quillon', 'VrfDb', 'VrfDb'])

    def test_package_takes_bare_module_directories(self):
        d = nvtest.tempdir(self)
        os.mkdir(os.path.join(d, 'norvask'))
        with open(os.path.join(d, 'norvask', 'probe.py'), 'w') as f:
            f.write('VALUE = 42\n')
        status, out, err = nvtest.run_python(
            'import sys; sys.path.append(%r)\nfrom norvask import probe, quillon\nprint probe.VALUE'
            % d)
        self.assertEqual((status, out.strip()), (0, '42'), err)


class LargeSwitchTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        import large
        cls.sw = large.build(1)

    def test_sizes(self):
        out = self.sw.outputs
        self.assertEqual(len(self.sw.ports), 256)
        self.assertEqual(len(out['vlan translate show'].splitlines()), 4096)
        self.assertEqual(len(out['l3 intf show'].splitlines()) - 3, 4096)
        self.assertEqual(out['multicast show'].count('(IPMC)'), 16384)
        self.assertEqual(out['multicast show'].count(', encap id -1\n'), 16384 + 2)
        self.assertEqual(len(re.findall(r'encap id [0-9]+\n', out['multicast show'])), 16384 * 8)
        rows = out['ipmc table show'].splitlines()[2:-1]
        self.assertEqual(len(rows), 32768)
        self.assertEqual(len(set(tuple(r.split()[:2]) for r in rows)), 32768)

    def test_every_needed_vlan_answers(self):
        out = self.sw.outputs
        vlans = set(int(r.split()[4]) for r in out['l3 intf show'].splitlines()[3:])
        self.assertTrue(all(1 <= v <= 4094 for v in vlans))
        for vid in vlans:
            m = re.search(r'vlan (?P<vlan>\d+).*untagged (?P<ports>\S+)', out['vlan show %d' % vid])
            self.assertEqual(int(m.group('vlan')), vid)
            listing = out['ports ' + m.group('ports')].splitlines()
            self.assertGreater(len(listing), 2)
        translated = re.findall(r'new_vid=(\d+)', out['vlan translate show'])
        self.assertTrue(all(1 <= int(v) <= 4094 for v in translated))

    def test_ports_known(self):
        members = set(re.findall(r'port (\S+), encap', self.sw.outputs['multicast show']))
        for port in members:
            self.sw.bcm2linux(port)


class InSwitchNsTest(unittest.TestCase):

    def test_runs_over_the_root_tree_and_leaves_nothing(self):
        root = nvtest.tempdir(self)
        os.makedirs(os.path.join(root, 'etc', 'nvtest'))
        with open(os.path.join(root, 'etc', 'nvtest', 'f'), 'w') as f:
            f.write('from the tree\n')
        script = ('cat /etc/nvtest/f; pwd; echo "$NVTEST_VAR"; '
                  'echo x > /etc/nvtest/new; echo y > /tmp/nvtest-in-ns; '
                  'echo z > %s/inside; exit 7' % nvtest.SOURCE_DIR)
        status, out, err = nvtest.in_switch_ns(root, ['/bin/sh', '-c', script],
                                               env={'NVTEST_VAR': 'kept'})
        self.assertEqual(status, 7, err)
        self.assertEqual(out, 'from the tree\n%s\nkept\n' % nvtest.SOURCE_DIR)
        for path in ('/etc/nvtest', '/tmp/nvtest-in-ns', '/tmp/ns',
                     os.path.join(nvtest.SOURCE_DIR, 'inside'),
                     os.path.join(root, 'etc', 'nvtest', 'new')):
            self.assertFalse(os.path.exists(path), path)

    def test_a_tree_lays_its_bases_first(self):
        # Trees under /tmp, which the namespace covers with its own tmpfs.
        where = nvtest.tempdir(self)

        def tree(name, files):
            for path, text in files.items():
                path = os.path.join(where, name, path)
                if not os.path.isdir(os.path.dirname(path)):
                    os.makedirs(os.path.dirname(path))
                with open(path, 'w') as f:
                    f.write(text)

        tree('tools', {'etc/nvtest/tool': 'tool\n', 'etc/nvtest/answer': 'from tools\n'})
        tree('mid', {'base': '../tools\n', 'etc/nvtest/answer': 'from mid\n',
                     'etc/nvtest/mid': 'mid\n'})
        tree('sw/kernel', {'base': os.path.join(where, 'mid') + '\n',
                           'etc/nvtest/answer': 'own\n'})
        status, out, err = nvtest.in_switch_ns(
            os.path.join(where, 'sw', 'kernel'),
            ['/bin/sh', '-c', 'cat /etc/nvtest/tool /etc/nvtest/mid /etc/nvtest/answer; '
                              'test -e /base || echo no base'])
        self.assertEqual((status, out), (0, 'tool\nmid\nown\nno base\n'), err)

        tree('loop', {'base': '.\n'})
        tree('gone', {'base': '../nosuch\n'})
        for name, message in [('loop', 'too many bases'), ('gone', 'not a directory')]:
            status, out, err = nvtest.in_switch_ns(os.path.join(where, name), ['true'])
            self.assertEqual(status, 2, name)
            self.assertIn(message, err)

    def test_not_root(self):
        if os.geteuid() != 0:
            status = subprocess.call([nvtest.IN_SWITCH_NS, nvtest.HERE, 'true'])
        else:
            # The unprivileged user may not reach the checkout (a clone in a
            # private temporary directory): it runs a copy of the script.
            where = tempfile.mkdtemp()
            try:
                os.chmod(where, 0o755)
                script = os.path.join(where, 'in-switch-ns')
                shutil.copy(nvtest.IN_SWITCH_NS, script)
                os.chmod(script, 0o755)
                status = subprocess.call(['setpriv', '--reuid=65534', '--regid=65534',
                                          '--clear-groups', script, '/', 'true'],
                                         cwd='/', stderr=open(os.devnull, 'w'))
            except OSError:
                nvtest.cannot_run_as_root('setpriv not available')
            finally:
                shutil.rmtree(where)
        self.assertEqual(status, 77)


class DemoTest(unittest.TestCase):

    def demo(self, *args):
        proc = subprocess.Popen([nvtest.PYTHON, '-B', os.path.join(nvtest.SIMSWITCH, 'demo.py')] +
                                list(args),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=nvtest.child_env({'PYTHONPATH': ''}))
        out, err = proc.communicate()
        return proc.returncode, out, err

    def test_prints_the_routes(self):
        status, out, err = self.demo()
        self.assertEqual(status, 0, err)
        self.assertEqual(out, nvtest.asic_text())
        self.assertEqual(self.demo('--chip', 'xgs', 'riot_off')[1], out)

    def test_dnx(self):
        status, out, err = self.demo('--chip', 'dnx')
        self.assertEqual(status, 0, err)
        self.assertTrue(out.startswith('Asic ip mroutes:\ndefault, (0.0.0.0,239.1.1.2), iif: 200\n'),
                        out)
        status, out, err = self.demo('--chip', 'arm')
        self.assertEqual(status, 2)
        self.assertIn("invalid choice: 'arm'", err)


if __name__ == '__main__':
    unittest.main()
