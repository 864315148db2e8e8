"""The checker against the real machine's programs and files: the daemon's
debug switch and next-hop file, and the pairing tool, laid over / in a
private mount namespace (scripts/in-switch-ns, needs root)."""

import unittest

import nvtest
from nvtest import ns_scenario


def raw_groups():
    """The RIOT-on groups when the next-hop indexes stay unmapped."""
    return {
        '0x2000005': [['swp5', 'xe4', 100010, -1, -1], ['swp7', 'xe6', 100011, -1, -1],
                      ['swp9', 'xe8', 100012, -1, -1], ['swp10', 'xe9', 100013, -1, -1]],
        '0x2000006': [['swp1', 'xe0', 100020, -1, -1], ['swp6', 'xe5', 100021, -1, -1],
                      ['swp13', 'ge0', 100022, -1, -1]],
        '0x2000007': [['swp1', 'xe0', 100020, -1, -1], ['swp7', 'xe6', 100011, -1, -1]],
        '0x2000008': [['swp12', 'xe11', 100040, -1, -1]],
        '0x200000b': [],
    }


def nhi_pairs():
    return sorted([k, v] for k, v in nvtest.NHI.items())


class DaemonDebugFileTest(unittest.TestCase):

    def test_present(self):
        r = ns_scenario('daemon_file_present')
        self.assertEqual(r['flags'], [True, False])
        self.assertEqual(r['writes'], '')
        self.assertEqual(r['nhi'], nhi_pairs())
        self.assertEqual(r['groups']['0x2000005'],
                         [['swp5', 'xe4', 6, 200, 200], ['swp7', 'xe6', 6, 200, -1],
                          ['swp9', 'xe8', 7, 3000, 300], ['swp10', 'xe9', 8, 4093, -1]])
        self.assertEqual(r['groups']['0x2000008'], [['swp12', 'xe11', 9, 3001, 500]])
        self.assertEqual(r['text'], nvtest.asic_text(riot=True))
        off = nvtest.CONSTRUCTION_OFF
        self.assertEqual(r['commands'], off[:5] + ['listmem VLAN'] + off[5:])

    def test_absent(self):
        r = ns_scenario('daemon_file_absent')
        self.assertEqual(r['flags'], [False, False])
        self.assertEqual(r['writes'], '1\n1\n')
        self.assertEqual(r['nhi'], [])
        self.assertEqual(r['groups'], raw_groups())
        self.assertIn('  port: swp5\n  port: swp7\n  port: swp9\n  port: swp10\n', r['text'])

    def test_appears_once_switched_on(self):
        r = ns_scenario('daemon_file_appears')
        self.assertEqual(r['construction_writes'], '1\n1\n')
        self.assertEqual(r['writes'], '1\n1\n' * 2)
        self.assertEqual(r['flags'], [False, False])
        self.assertEqual(r['nhi'], nhi_pairs())

    def test_line_rules(self):
        r = ns_scenario('nhi_lines')
        self.assertEqual(r['nhi'], [[-200006, 17], [200001, 15], [200005, 16]])
        self.assertEqual(r['writes'], '1\n1\n' * 2)

    def test_bad_word_switches_debug_off_again(self):
        r = ns_scenario('nhi_bad_word')
        self.assertEqual(r['error'][0], 'ValueError')
        self.assertEqual(r['writes'], '1\n1\n' * 2)
        self.assertEqual(r['flags'], [False, False])
        self.assertEqual(r['nhi'], [[100020, 5]])

    def test_reader_program_missing(self):
        r = ns_scenario('cat_missing')
        self.assertEqual(r['present']['error'][:2], ['OSError', 2])
        self.assertEqual(r['present']['writes'], '')
        self.assertEqual(r['absent']['error'][:2], ['OSError', 2])
        self.assertEqual(r['absent']['writes'], '1\n1\n')


class DebugSwitchTest(unittest.TestCase):

    def test_state_machine(self):
        r = ns_scenario('debug_switch')
        self.assertEqual(r['present'], [
            ['construct', [True, False], '', True],
            ['enable', [True, True], '', None],
            ['enable', [True, True], '', None],
            ['disable', [True, False], '', None],
            ['disable', [True, False], '', None],
            ['enable', [True, True], '', None],
            ['disable', [True, False], '', None],
        ])
        self.assertEqual(r['absent'], [
            ['construct', [False, False], '1\n1\n', False],
            ['enable', [False, True], '1\n', None],
            ['enable', [False, True], '', None],
            ['disable', [False, False], '1\n', None],
            ['disable', [False, False], '', None],
            ['enable', [False, True], '1\n', None],
            ['disable', [False, False], '1\n', None],
        ])


class PairingTest(unittest.TestCase):

    def test_pairing_tool(self):
        r = ns_scenario('pairing', variant='riot_off')
        self.assertEqual(r['start'], ['lo'])
        expected = [
            ['alive', None, ['peerlink-3.4094'], True],
            ['alive_again', None, ['peerlink-3.4094'], True],
            ['two_peer_lines', None, ['peerlink-1'], True],
            ['short_peer_line', None, [], True],
            ['crlf', None, ['swp30'], True],
            ['trailing_blank', None, [], True],
            ['not_alive', None, [], True],
            ['peer_line_first', None, [], True],
            ['empty', None, [], True],
            ['exit_status_1', None, [], True],
            ['not_executable', None, [], True],
            ['missing', None, [], True],
        ]
        for want, got in zip(expected, r['cases']):
            self.assertEqual(got, want)
        self.assertEqual(len(r['cases']), len(expected))
        self.assertEqual(r['end'], ['lo', 'peerlink-3.4094', 'peerlink-3.4094',
                                    'peerlink-1', 'swp30'])


if __name__ == '__main__':
    unittest.main()
