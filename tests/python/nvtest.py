"""Shared helpers of the Python tests: where things are, the module under
test, captured standard output, child interpreters and the private mount
namespace of the scenario tests."""

import contextlib
import json
import os
import subprocess
import sys
import tempfile
import unittest
from StringIO import StringIO

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get('NORVASK_SOURCE_DIR') or os.path.dirname(os.path.dirname(HERE))
BUILD_DIR = os.environ.get('NORVASK_BUILD_DIR') or os.path.join(SOURCE_DIR, 'build')
PYTHON = os.environ.get('NORVASK_PYTHON') or sys.executable
SIMSWITCH = os.path.join(SOURCE_DIR, 'simswitch')
SWITCHES = os.path.join(SIMSWITCH, 'switches')
IN_SWITCH_NS = os.path.join(SOURCE_DIR, 'scripts', 'in-switch-ns')
PYTHONPATH = os.pathsep.join([SIMSWITCH, BUILD_DIR, HERE])

import sim  # noqa: E402  (the stand-ins are on PYTHONPATH)


def corvane():
    from norvask import corvane as module
    return module


def yselde():
    from norvask import yselde as module
    return module


@contextlib.contextmanager
def captured_stdout():
    """Replaces sys.stdout with a StringIO for the block; yields it."""
    saved, sys.stdout = sys.stdout, StringIO()
    try:
        yield sys.stdout
    finally:
        sys.stdout = saved


class WriteLog(object):
    """A stand-in for sys.stdout that keeps every write separately."""

    def __init__(self):
        self.writes = []

    def write(self, text):
        self.writes.append(text)

    def flush(self):
        pass


@contextlib.contextmanager
def quiet_stderr():
    """Sends file descriptor 2 to /dev/null for the block (programs that the
    module runs through the shell complain there)."""
    sys.stderr.flush()
    saved = os.dup(2)
    null = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(null, 2)
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)
        os.close(null)


def switch(name='riot_off', outputs=None, **attrs):
    """Makes a copy of a fixture variant current, with some shell outputs
    replaced (a value of None removes the command) and Switch attributes
    set; returns it."""
    sw = sim.load(name)
    for cmd, text in (outputs or {}).items():
        if text is None:
            sw.outputs.pop(cmd, None)
        else:
            sw.outputs[cmd] = text
    for key, value in attrs.items():
        setattr(sw, key, value)
    return sim.use_switch(sw)


def make_asic(name='riot_off', outputs=None, use_mem_table=False):
    """Constructs an Asic on a fixture variant (see switch())."""
    switch(name, outputs)
    with quiet_stderr():
        return corvane().Asic(use_mem_table)


def make_dnx_asic(name='dnx', outputs=None):
    """Constructs the DNX checker on a fixture variant (see switch())."""
    switch(name, outputs)
    return yselde().Asic()


def child_env(extra=None):
    env = dict(os.environ)
    env['PYTHONPATH'] = PYTHONPATH
    env['NORVASK_SOURCE_DIR'] = SOURCE_DIR
    env['NORVASK_BUILD_DIR'] = BUILD_DIR
    env.update(extra or {})
    return env


def run_python(code, env=None, args=()):
    """Runs code in a fresh interpreter; gives (status, stdout, stderr)."""
    proc = subprocess.Popen([PYTHON, '-B', '-c', code] + list(args),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=child_env(env), cwd=SOURCE_DIR)
    out, err = proc.communicate()
    return proc.returncode, out, err


class RootTestNotRun(AssertionError):
    """A test that needs root could not run although we are root."""


def cannot_run_as_root(reason):
    """Ends the calling test that needs root and what root gives: a skip
    without root, a failure as root, where nothing excuses it (CI runs as
    root and must run every such test)."""
    if os.geteuid() == 0:
        raise RootTestNotRun('needs root and could not run as root: %s' % reason)
    raise unittest.SkipTest('needs root: %s' % reason)


def in_switch_ns(rootdir, argv, env=None):
    """Runs argv through scripts/in-switch-ns; skips the calling test when
    not root, and fails it when root cannot have a private mount namespace.
    Gives (status, stdout, stderr)."""
    if os.geteuid() != 0:
        cannot_run_as_root('a private mount namespace')
    proc = subprocess.Popen([IN_SWITCH_NS, rootdir] + list(argv),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=child_env(env), cwd=SOURCE_DIR)
    out, err = proc.communicate()
    if proc.returncode == 77:
        cannot_run_as_root('in-switch-ns: %s' % err.strip())
    return proc.returncode, out, err


def ns_scenario(name, variant='riot_on', root='riot_on'):
    """Runs one scenario of ns_child.py on a fixture variant inside the
    namespace, over the root/ tree of variant `root`, and gives its JSON
    report."""
    root = os.path.join(SWITCHES, root, 'root')
    status, out, err = in_switch_ns(
        root, [PYTHON, '-B', os.path.join(HERE, 'ns_child.py'), variant, name])
    if status != 0:
        raise AssertionError('scenario %s failed (%d):\n%s%s' % (name, status, out, err))
    return json.loads(out.splitlines()[-1])


def tempdir(test):
    """A temporary directory removed when the test ends."""
    path = tempfile.mkdtemp(prefix='nvtest.')
    test.addCleanup(subprocess.call, ['rm', '-rf', path])
    return path


# --- what the fixture variants hold, as the checker should read it

ROUTE_KEYS = ['default, (0.0.0.0,239.1.1.2)', 'default, (10.1.1.10,239.1.1.1)',
              'default, (10.1.1.11,239.1.1.3)', 'default, (10.1.1.12,239.1.1.4)',
              'red, (10.2.2.2,239.2.2.2)']

# route key -> (sip, dip, iif with RIOT off, iif with RIOT on, grp, vrf)
ROUTES = {
    'default, (0.0.0.0,239.1.1.2)': ('0.0.0.0', '239.1.1.2', 200, 8198, 0x2000006, 'default'),
    'default, (10.1.1.10,239.1.1.1)': ('10.1.1.10', '239.1.1.1', 100, 8197, 0x2000005, 'default'),
    'default, (10.1.1.11,239.1.1.3)': ('10.1.1.11', '239.1.1.3', 3000, 8199, 0x2000007, 'default'),
    'default, (10.1.1.12,239.1.1.4)': ('10.1.1.12', '239.1.1.4', 100, 8197, 0x2000009, 'default'),
    'red, (10.2.2.2,239.2.2.2)': ('10.2.2.2', '239.2.2.2', 4092, 8203, 0x2000008, 'red'),
}

# The replication lists, one block per route in key order.
ROUTE_BLOCKS = [
    ('  port: swp1\n'
     '  port: swp6, vlan: 100\n'
     '  port: swp13\n'
     '  L2 replication ports:\n'
     '    port: swp8\n'),
    ('  port: swp5, vlan: 200\n'
     '  port: swp7\n'
     '  port: swp9, vlan: 300\n'
     '  port: swp10\n'
     '  L2 replication ports:\n'
     '    port: swp2\n'
     '    port: swp3\n'),
    ('  port: swp1\n'
     '  port: swp7\n'),
    '',
    '  port: swp12, vlan: 500\n',
]


def route_dumps(riot=False):
    """The dump of every fixture route, in key order."""
    out = []
    for key, block in zip(ROUTE_KEYS, ROUTE_BLOCKS):
        iif = ROUTES[key][3 if riot else 2]
        out.append('%s, iif: %d\n%s' % (key, iif, block))
    return out


def asic_text(riot=False):
    return 'Asic ip mroutes:\n' + ''.join(route_dumps(riot))


CONSTRUCTION_OFF = ['show portmap', 'pvlan show', 'l3 intf show', 'vlan translate show',
                    'sc L3IngressMode', 'multicast show',
                    'vlan show 200', 'ports xe6-xe7', 'vlan show 4093', 'ports xe9',
                    'vlan show 100', 'ports xe0-xe3,ge0',
                    'ipmc table show']

# next-hop index -> L3 interface, as the RIOT-on daemon file gives it
NHI = {100010: 6, 100011: 6, 100012: 7, 100013: 8,
       100020: 5, 100021: 5, 100022: 5, 100040: 9}
