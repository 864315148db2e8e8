"""The simulated switch behind our stand-ins for the platform modules.

A Switch holds everything the checker can read from a switch: the answers of
the diagnostic shell, the port table, the VRF names, the memory tables that
gettable reads, and optionally a directory of files (daemon debug files, the
pairing tool, the VXLAN checker's daemon files) that scripts/in-switch-ns
lays over / for the scenario tests.

One switch is current at a time.  The stand-ins (dolmish, norvask.quillon,
norvask.stavren, norvask.harnel) answer from it and record what they are
asked, so that tests can check which commands ran and in which order.

Fixture variants live in switches/<name>/:

    shell/<command>.txt   exact output of one shell command; the file name is
                          the command with " " written as "+" and "%", "+",
                          "/" written as %25, %2B, %2F
    ports.txt             "ASIC-PORT LINUX-PORT [LOGICAL]" per line, in order
    vrfs.txt              "ID NAME" per line
    memtables/<T>.txt     "INDEX FIELD=VALUE ..." per line; values that read
                          as numbers (0x.. or decimal) become integers
    modports.txt          "MODULE PORT ASIC-PORT" per line: the module ports
                          that norvask.harnel knows
    root/                 files to lay over / (optional)
    kernel/               the switch's kernel, laid over / like root/ by
                          scripts/in-switch-ns (optional): the listings that
                          /bin/ip and /sbin/bridge print, under
                          kernel/usr/lib/simswitch/kernel/, its
                          /proc/net/vlan/config and /sys/class/net; its file
                          "base" names ../../../kernel-tools, the stand-ins
                          for the two tools that every switch's kernel shares
    kernel_routes.txt     the kernel's multicast routes, "KEY | IIF | OIF..."
                          per line, with what the checker finds for each
    base                  the name of another variant whose shell outputs,
                          ports, VRFs, memory tables and module ports this
                          one starts from (optional; its own files win)

Lines starting with "#" in ports.txt, vrfs.txt, modports.txt and memtables
are comments.
"""

import copy
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
SWITCHES = os.path.join(HERE, 'switches')


class Switch(object):
    """Everything one simulated switch answers."""

    def __init__(self, outputs=None, ports=None, vrfs=None, memtables=None,
                 root=None, logical=None, name=None, modports=None):
        self.name = name
        # shell command text -> output text
        self.outputs = dict(outputs or {})
        # [(asic port, linux port)] in port-table order
        self.ports = list(ports or [])
        # logical port number -> asic port
        self.logical = dict(logical or {})
        # vrf id -> name
        self.vrfs = dict(vrfs or {})
        # table name -> {index: {field: value}}
        self.memtables = dict(memtables or {})
        # directory laid over / in the scenario tests, or None
        self.root = root
        # (module, port) -> asic port
        self.modports = dict(modports or {})
        self._reindex()

    def _reindex(self):
        self._linux = dict(self.ports)
        self._linux_of = self.ports

    def copy(self):
        return copy.deepcopy(self)

    # --- answers

    def output(self, cmd):
        if cmd in self.outputs:
            return self.outputs[cmd]
        return unknown_command_output(cmd)

    def linux_ports(self):
        return [linux for _, linux in self.ports]

    def bcm2linux(self, dport):
        if self._linux_of is not self.ports or len(self._linux) != len(self.ports):
            self._reindex()
        return self._linux[dport]

    def modport_interface(self, module, port):
        return self.modports[(module, port)]


def unknown_command_output(cmd):
    """What the shell prints for a command it cannot answer."""
    m = re.match(r'vlan show (\d+)$', cmd)
    if m:
        return 'Error: vlan %s does not exist\n' % m.group(1)
    m = re.match(r'ports (\S+)$', cmd)
    if m:
        return 'ports: Error: bad port list "%s"\n' % m.group(1)
    m = re.match(r'listmem (\S+)$', cmd)
    if m:
        return 'Error: unknown memory "%s"\n' % m.group(1)
    return 'Error: unknown command "%s"\n' % cmd


# --- fixture files

def command_to_filename(cmd):
    out = cmd.replace('%', '%25').replace('+', '%2B').replace('/', '%2F')
    return out.replace(' ', '+') + '.txt'


def filename_to_command(fname):
    if fname.endswith('.txt'):
        fname = fname[:-4]
    out = fname.replace('+', ' ')
    return out.replace('%2F', '/').replace('%2B', '+').replace('%25', '%')


def _data_lines(path):
    with open(path) as f:
        for line in f.read().splitlines():
            if line.strip() and not line.lstrip().startswith('#'):
                yield line.split()


def _value(text):
    try:
        return int(text, 0)
    except ValueError:
        return text


def load(name):
    """A fresh Switch of fixture variant `name` (or of a directory path)."""
    path = name if os.sep in name else os.path.join(SWITCHES, name)
    if not os.path.isdir(path):
        raise ValueError('no such switch fixture: %s' % name)
    base = None
    bfile = os.path.join(path, 'base')
    if os.path.isfile(bfile):
        with open(bfile) as f:
            base = load(f.read().strip())
    outputs = dict(base.outputs) if base else {}
    shell = os.path.join(path, 'shell')
    if os.path.isdir(shell):
        for fname in os.listdir(shell):
            with open(os.path.join(shell, fname), 'rb') as f:
                outputs[filename_to_command(fname)] = f.read()
    ports = list(base.ports) if base else []
    logical = dict(base.logical) if base else {}
    pfile = os.path.join(path, 'ports.txt')
    if os.path.isfile(pfile):
        ports, logical = [], {}
        for words in _data_lines(pfile):
            ports.append((words[0], words[1]))
            if len(words) > 2:
                logical[int(words[2])] = words[0]
    vrfs = dict(base.vrfs) if base else {}
    vfile = os.path.join(path, 'vrfs.txt')
    if os.path.isfile(vfile):
        vrfs = {}
        for words in _data_lines(vfile):
            vrfs[int(words[0])] = words[1]
    memtables = dict(base.memtables) if base else {}
    mdir = os.path.join(path, 'memtables')
    if os.path.isdir(mdir):
        for fname in os.listdir(mdir):
            table = {}
            for words in _data_lines(os.path.join(mdir, fname)):
                table[int(words[0], 0)] = dict(
                    (k, _value(v)) for k, v in (w.split('=', 1) for w in words[1:]))
            memtables[os.path.splitext(fname)[0]] = table
    modports = dict(base.modports) if base else {}
    mfile = os.path.join(path, 'modports.txt')
    if os.path.isfile(mfile):
        modports = dict(((int(w[0]), int(w[1])), w[2]) for w in _data_lines(mfile))
    root = os.path.join(path, 'root')
    return Switch(outputs, ports, vrfs, memtables,
                  root if os.path.isdir(root) else None, logical,
                  name=os.path.basename(path.rstrip(os.sep)), modports=modports)


def kernel_routes(variant):
    """The kernel's multicast routes of a variant's simulated host, as the
    host tool hands them to mroute_eq: (key, iif, [oif, ...]) per line of
    its kernel_routes.txt."""
    path = os.path.join(SWITCHES, variant, 'kernel_routes.txt')
    for line in open(path):
        if line.startswith('#') or not line.strip():
            continue
        key, iif, oil = [x.strip() for x in line.split('|')]
        yield key, iif, oil.split()


def variants():
    return sorted(d for d in os.listdir(SWITCHES)
                  if os.path.isdir(os.path.join(SWITCHES, d)))


# --- the current switch and what was asked of it

class _State(object):
    def __init__(self):
        self.switch = Switch(name='empty')
        self.failing = {}
        self.reset_log()

    def reset_log(self):
        self.commands = []
        self.gettable_calls = []
        self.client_calls = []
        self.made = []
        self.harnel_calls = []


_state = _State()

# What dolmish.run reads on every call, bound again whenever the switch, the
# failing commands or the log change: the run is called tens of thousands of
# times on the large switch.  A switch's outputs are edited in place.
_log_command = _answer = _failing = None


def _bind():
    global _log_command, _answer, _failing
    _log_command = _state.commands.append
    _answer = _state.switch.outputs.get
    _failing = _state.failing


_bind()


def use(name):
    """Makes fixture variant `name` (or a path) current; returns it."""
    return use_switch(load(name))


def use_switch(switch):
    """Makes a Switch built in code current; returns it."""
    _state.switch = switch
    _state.failing = {}
    _state.reset_log()
    _bind()
    return switch


def current():
    return _state.switch


def fail(*cmds):
    """run() raises IOError("timed out") for each of these exact commands."""
    for cmd in cmds:
        _state.failing[cmd] = None


def raise_on(cmd, exc):
    """run() raises `exc` (an exception object) for this exact command."""
    _state.failing[cmd] = exc


def reset_log():
    _state.reset_log()
    _bind()


def commands():
    """Commands sent to run() since the last use*() or reset_log(), in order."""
    return list(_state.commands)


def gettable_calls():
    """(table, kwargs) of every gettable() call, in order."""
    return list(_state.gettable_calls)


def client_kwargs():
    """Keyword arguments of every shell-client construction, in order."""
    return [kw for _, kw in _state.client_calls]


def client_args():
    """Positional arguments of every shell-client construction, in order."""
    return [args for args, _ in _state.client_calls]


def harnel_calls():
    """(function name, arguments) of every norvask.harnel call, in order."""
    return list(_state.harnel_calls)


def constructions():
    """Names of the platform objects made ("quillon", "VrfDb", "dolmish")."""
    return list(_state.made)


# --- hooks for the stand-ins

def _made(kind):
    _state.made.append(kind)


def _client_made(args, kwargs):
    _state.made.append('dolmish')
    _state.client_calls.append((tuple(args), dict(kwargs)))


def _client_run(client, cmd):
    """Output text of one shell command; IOError("timed out") for the
    commands that fail() named.  dolmish.run is this function itself: it is
    called tens of thousands of times on the large switch, so it takes no
    second call and only the steps it needs."""
    _log_command(cmd)
    if _failing and cmd in _failing:
        raise _failing[cmd] or IOError('timed out')
    out = _answer(cmd)
    return out if out is not None else unknown_command_output(cmd)


def _harnel_call(name, *args):
    _state.harnel_calls.append((name, args))


def _gettable(table, kwargs):
    _state.gettable_calls.append((table, dict(kwargs)))
    try:
        rows = _state.switch.memtables[table]
    except KeyError:
        raise ValueError('unknown memory table %s' % table)
    start, entries = kwargs.get('start', 0), kwargs.get('entries', 1)
    return [dict(rows[i]) for i in range(start, start + entries) if i in rows]
