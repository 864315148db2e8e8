"""Runs one scenario inside the private mount namespace of in-switch-ns,
where the fixture's root/ tree (daemon files, pairing tool) lies over /, and
prints a JSON report as its last line.

    ns_child.py VARIANT SCENARIO

The daemon's control file is replaced by a FIFO that this process holds open
for reading, so every write of the checker stays readable in order:
"1\\n1\\n" means two writes."""

import errno
import json
import os
import sys

import sim

CTRL = '/norvask/kestrad/ctrl/debug'
INFO = '/norvask/kestrad/debug/mroute/info'
PAIRX = '/usr/bin/pairxctl'


class CtrlFile(object):

    def __init__(self):
        if os.path.lexists(CTRL):
            os.remove(CTRL)
        os.mkfifo(CTRL)
        self.fd = os.open(CTRL, os.O_RDONLY | os.O_NONBLOCK)
        self.seen = ''

    def writes(self):
        """Everything written so far."""
        while True:
            try:
                chunk = os.read(self.fd, 4096)
            except OSError as e:
                if e.errno == errno.EAGAIN:
                    break
                raise
            if not chunk:
                break
            self.seen += chunk
        return self.seen


def write_file(path, text, mode=0o644):
    with open(path, 'w') as f:
        f.write(text)
    os.chmod(path, mode)


def read_file(path):
    with open(path) as f:
        return f.read()


def corvane():
    from norvask import corvane as module
    return module


def pairs(mapping):
    return sorted([k, v] for k, v in mapping.items())


def groups(asic):
    return dict(('0x%x' % gid, [[e.linux_port, e.bcm_dport, e.intf, e.vlan, e.evid]
                                for e in g.l3_encaps])
                for gid, g in asic.replication_groups.items())


def error(e):
    return [type(e).__name__, getattr(e, 'errno', None), str(e)]


def flags(asic):
    return [asic.kestrad_debug_enabled, asic.nq_mroute_kestrad_debug_enabled]


# --- scenarios

def daemon_file(present):
    ctrl = CtrlFile()
    if not present:
        os.remove(INFO)
    asic = corvane().Asic()
    return {'flags': flags(asic), 'writes': ctrl.writes(), 'nhi': pairs(asic.l3_intf_nhi),
            'groups': groups(asic), 'text': str(asic), 'commands': sim.commands()}


def scenario_daemon_file_present():
    return daemon_file(True)


def scenario_daemon_file_absent():
    return daemon_file(False)


def scenario_daemon_file_appears():
    """The file is missing when probed and there when read, as when the
    daemon starts its debug output on the checker's write."""
    content = read_file(INFO)
    ctrl = CtrlFile()
    os.remove(INFO)
    asic = corvane().Asic()
    at_construction = ctrl.writes()
    write_file(INFO, content)
    asic._parse_l3_intf_nhi()
    return {'construction_writes': at_construction, 'writes': ctrl.writes(),
            'flags': flags(asic), 'nhi': pairs(asic.l3_intf_nhi)}


NHI_LINES = '\n'.join([
    'mroute debug info',
    'nhi entries: 7',
    'l3intf 12 nhi 200002',
    'l3intf 13 port nhi 200003',
    'L3INTF 14 PORT XE0 NHI 200004',
    '  l3intf 11 port xe0 nhi 200001 vlan 100',
    'l3intf 15 port xe1 nhi 200001',
    'l3intf +16 port xe1 nhi 200005 vlan 7 refcnt 2',
    'l3intf 17 port xe2 xnhix -200006',
    'l3intf 18 port xe3 Nhi 200007',
    '',
])


def scenario_nhi_lines():
    ctrl = CtrlFile()
    os.remove(INFO)
    asic = corvane().Asic()
    write_file(INFO, NHI_LINES)
    asic._parse_l3_intf_nhi()
    return {'nhi': pairs(asic.l3_intf_nhi), 'writes': ctrl.writes(), 'flags': flags(asic)}


def scenario_nhi_bad_word():
    ctrl = CtrlFile()
    os.remove(INFO)
    asic = corvane().Asic()
    write_file(INFO, 'l3intf 5 port xe0 nhi 100020\nl3intf five port xe0 nhi 100021\n')
    try:
        asic._parse_l3_intf_nhi()
        outcome = None
    except Exception as e:
        outcome = error(e)
    return {'error': outcome, 'writes': ctrl.writes(), 'flags': flags(asic),
            'nhi': pairs(asic.l3_intf_nhi)}


def scenario_cat_missing():
    """`cat` cannot be started: the read fails with OSError; debug output that
    the checker switched on is switched off again first."""
    bindir = '/tmp/ls-only'
    os.mkdir(bindir)
    os.symlink('/bin/ls', os.path.join(bindir, 'ls'))
    os.environ['PATH'] = bindir
    report = {}
    for case in ('present', 'absent'):
        ctrl = CtrlFile()
        if case == 'absent':
            os.remove(INFO)
        try:
            corvane().Asic()
            outcome = None
        except Exception as e:
            outcome = error(e)
        report[case] = {'error': outcome, 'writes': ctrl.writes()}
    return report


def scenario_debug_switch():
    """The two debug flags and the control-file writes, step by step."""
    Asic = corvane().Asic
    report = {}
    for case in ('present', 'absent'):
        ctrl = CtrlFile()
        if case == 'absent':
            os.remove(INFO)
        asic = Asic()
        steps = [['construct', flags(asic), ctrl.writes(), Asic.get_kestrad_debug(asic)]]
        for op in ('enable', 'enable', 'disable', 'disable', 'enable', 'disable'):
            before = len(ctrl.writes())
            result = getattr(Asic, op + '_kestrad_debug')(asic)
            steps.append([op, flags(asic), ctrl.writes()[before:], result])
        report[case] = steps
    return report


PAIRING_TOOLS = [
    # name, script body (None: no tool), executable
    ('alive', None, True),
    ('alive_again', None, True),
    ('two_peer_lines', 'echo "The peer is alive"\n'
                       'echo "  Peer Interface and IP: peerlink-1 10.0.0.1"\n'
                       'echo "  Peer Interface and IP: peerlink-2 10.0.0.2"\n', True),
    ('short_peer_line', 'echo "The peer is alive"\necho "Peer Interface and IP:"\n'
                        'echo "  Peer Interface and IP: late 1.1.1.1"\n', True),
    ('crlf', 'printf "The peer is alive\\r\\nPeer Interface and IP: swp30 a b\\r\\n"\n', True),
    ('trailing_blank', 'echo "The peer is alive "\necho "Peer Interface and IP: p1 1.1.1.1"\n', True),
    ('not_alive', 'echo "The peer is not alive"\necho "Peer Interface and IP: p2 1.1.1.1"\n', True),
    ('peer_line_first', 'echo "Peer Interface and IP: p3 1.1.1.1"\necho "The peer is alive"\n', True),
    ('empty', 'true\n', True),
    ('exit_status_1', 'echo "The peer is alive"\necho "Peer Interface and IP: p4 1.1.1.1"\n'
                      'exit 1\n', True),
    ('not_executable', 'echo "The peer is alive"\necho "Peer Interface and IP: p5 1.1.1.1"\n', False),
    ('missing', None, None),
]


def scenario_pairing():
    Asic = corvane().Asic
    fixture = read_file(PAIRX)
    report = {'start': list(Asic.ORIG_DEV), 'cases': []}
    for name, body, executable in PAIRING_TOOLS:
        if executable is None:
            os.remove(PAIRX)
        else:
            write_file(PAIRX, fixture if body is None else '#!/bin/sh\n' + body,
                       0o755 if executable else 0o644)
        before = len(Asic.ORIG_DEV)
        try:
            asic = Asic()
            outcome = None
        except Exception as e:
            asic, outcome = None, error(e)
        report['cases'].append([name, outcome, list(Asic.ORIG_DEV[before:]),
                                asic is not None and asic.ORIG_DEV is Asic.ORIG_DEV])
    report['end'] = list(Asic.ORIG_DEV)
    return report


def main(argv):
    variant, name = argv[1], argv[2]
    sim.use(variant)
    report = globals()['scenario_' + name]()
    sys.stdout.write(json.dumps(report) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
