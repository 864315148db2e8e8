# -*- coding: utf-8 -*-
"""The YAML loader that norvask.tirrow binds as `yaml`: plain scalars by the
YAML 1.1 rules of the safe loader, the standard tags, anchors and merge
keys, the failures on bad and hostile input, and agreement with the
reference (the safe loader of Debian's python3-yaml, its values mapped onto
this interpreter's types) on every table here and on generated documents in
the shape of a hardware dump."""

import base64
import datetime
import json
import math
import os
import random
import subprocess
import unittest

from _yamltest import yaml

REFERENCE_PYTHON = '/usr/bin/python3'

D = datetime.datetime
BIG = 2 ** 63

# Plain scalars, one document each, and what they load as: value and type.
SCALARS = [
    # the examples of the VXLAN dump
    ('010', 8), ('09', '09'), ('0x11', 17), ('10:20:30:40:50:59', 8041827059),
    ('00:11:22:33:44:55', '00:11:22:33:44:55'), ('0a:1b:2c:3d:4e:5f', '0a:1b:2c:3d:4e:5f'),
    ('on', True), ('y', 'y'), ('1e3', '1e3'), ('1.0e+3', 1000.0),
    # bool: three casings of six words, nothing else
    ('yes', True), ('Yes', True), ('YES', True), ('no', False), ('No', False), ('NO', False),
    ('true', True), ('True', True), ('TRUE', True), ('false', False), ('False', False),
    ('FALSE', False), ('On', True), ('ON', True), ('off', False), ('Off', False), ('OFF', False),
    ('yES', 'yES'), ('tRUE', 'tRUE'), ('n', 'n'), ('Y', 'Y'), ('oN', 'oN'),
    # null
    ('~', None), ('null', None), ('Null', None), ('NULL', None), ('nULL', 'nULL'), ('nil', 'nil'),
    ('None', 'None'),
    # int in every base; a long only beyond a C long
    ('0', 0), ('-0', 0), ('+7', 7), ('-12', -12), ('1_000', 1000), ('1__', 1),
    ('0b1010', 10), ('-0b1010', -10), ('0b_1', 1), ('0B1', '0B1'),
    ('0xFF', 255), ('0xdead_BEEF', 0xdeadbeef), ('-0x11', -17), ('0XFF', '0XFF'), ('0xg', '0xg'),
    ('017', 15), ('-017', -15), ('0_7', 7), ('0_', 0), ('08', '08'), ('0o17', '0o17'),
    ('1:20', 80), ('-1:20', -80), ('1:7', 67), ('1_0:05', 605), ('1:60', '1:60'),
    ('1:123', '1:123'), ('01:20', '01:20'),
    ('9223372036854775807', int(BIG - 1)), ('-9223372036854775808', int(-BIG)),
    ('9223372036854775808', long(BIG)), ('-9223372036854775809', long(-BIG - 1)),
    ('0x7fffffffffffffff', int(BIG - 1)), ('0x8000000000000000', long(BIG)),
    ('123456789012345678901234567890', 123456789012345678901234567890L),
    # float
    ('1.5', 1.5), ('-1.5', -1.5), ('+1.5', 1.5), ('1.', 1.0), ('0.', 0.0), ('.5', 0.5),
    ('-.5', '-.5'), ('._5', '._5'), ('1_0.5', 10.5), ('1.5e+3', 1500.0), ('1.5E-3', 0.0015),
    ('1.5e3', '1.5e3'), ('1.e+3', 1000.0), ('1e+3', '1e+3'), ('190:20:30.15', 685230.15),
    ('1:60.5', '1:60.5'),
    ('.inf', float('inf')), ('.Inf', float('inf')), ('.INF', float('inf')),
    ('-.inf', float('-inf')), ('+.inf', float('inf')), ('.iNf', '.iNf'), ('inf', 'inf'),
    ('.nan', float('nan')), ('.NaN', float('nan')), ('.NAN', float('nan')), ('nan', 'nan'),
    ('-.nan', '-.nan'),
    # timestamps: date, or a naive datetime in UTC
    ('2001-12-14', datetime.date(2001, 12, 14)), ('2001-1-1', '2001-1-1'),
    ('2001-12-14t21:59:43.10-05:00', D(2001, 12, 15, 2, 59, 43, 100000)),
    ('2001-12-14 21:59:43.10 -5', D(2001, 12, 15, 2, 59, 43, 100000)),
    ('2001-12-15T02:59:43.1Z', D(2001, 12, 15, 2, 59, 43, 100000)),
    ('2001-12-15 2:59:43.10', D(2001, 12, 15, 2, 59, 43, 100000)),
    ('2001-1-2 3:04:05', D(2001, 1, 2, 3, 4, 5)),
    ('2001-12-14 21:59:43 +01:30', D(2001, 12, 14, 20, 29, 43)),
    ('2001-12-31T23:30:00-01', D(2002, 1, 1, 0, 30)),
    ('2001-01-01T01:02:03.1234567', D(2001, 1, 1, 1, 2, 3, 123456)),
    ('2001-01-01T01:02:03.', D(2001, 1, 1, 1, 2, 3)),
    ('2001-12-14t21:59:43.10z', '2001-12-14t21:59:43.10z'), ('2001-12-14 21:59', '2001-12-14 21:59'),
    # other text
    ('xe0', 'xe0'), ('10.1.1.1', '10.1.1.1'), ('fe80::1', 'fe80::1'), ('a b  c', 'a b  c'),
    ('x#y', 'x#y'), ('<<x', '<<x'), ('=x', '=x'), ('caf\xc3\xa9', u'caf\xe9'),
    ('\xf0\x9f\x98\x80', u'\U0001f600'),
    # quoted and block scalars stay text
    ('"0x11"', '0x11'), ("'yes'", 'yes'), ('"~"', '~'), ("'null'", 'null'), ('"1.5"', '1.5'),
    ("''", ''), ('"2001-12-14"', '2001-12-14'), ('"caf\\u00e9"', u'caf\xe9'), ('"\\x41\\t"', 'A\t'),
    ('"\\x80"', u'\x80'), ("'it''s'", "it's"), ('|\n  10\n', '10\n'), ('>-\n  0x11\n', '0x11'),
    ('|-\n  yes\n', 'yes'), ('>\n  a\n  b\n\n  c\n', 'a b\nc\n'),
    # explicit tags
    ('!!int "10"', 10), ('!!int "0x10"', 16), ('!!int "1_0"', 10), ('!!int " 10 "', 10),
    ('!!int "-0b11"', -3), ('!!int "1:30"', 90), ('!!str 10', '10'), ('!!str yes', 'yes'),
    ('!!str', ''), ('!!str ~', '~'), ('!!float "1"', 1.0), ('!!float 1e3', 1000.0),
    ('!!float "-1_0"', -10.0), ('!!float .Inf', float('inf')), ('!!float "1:30"', 90.0),
    ('!!bool "yes"', True), ('!!bool FALSE', False), ('!!bool TrUe', True),
    ('!!null "x"', None), ('!!null ""', None), ('!!null', None),
    ('!!binary aGVsbG8=', 'hello'), ('!!binary |\n  aGVs\n  bG8=\n', 'hello'), ('!!binary "/w=="', '\xff'),
    ('!!timestamp 2001-1-1', datetime.date(2001, 1, 1)),
    ('!!timestamp "2001-12-14 21:59:43.10 -5"', D(2001, 12, 15, 2, 59, 43, 100000)),
    ('!<tag:yaml.org,2002:str> 12', '12'), ('%TAG !e! tag:yaml.org,2002:\n---\n!e!int "7"', 7),
    # the non-specific tag takes the implicit type, even of a quoted text
    ('! 12', 12), ('! "12"', 12), ('! yes', True), ('!', None),
    # collections
    ('!!seq [1]', [1]), ('!!map {a: 1}', {'a': 1}), ('!!set {a, b}', set(['a', 'b'])),
    ('!!set\n? a\n? 1\n', set(['a', 1])),
    ('!!omap [{a: 1}, {b: 2}, {a: 3}]', [('a', 1), ('b', 2), ('a', 3)]),
    ('!!pairs [{a: 1}, {a: 2}]', [('a', 1), ('a', 2)]), ('!!omap [{[1]: 2}]', [([1], 2)]),
    ('!!omap []', []),
]

# Inputs that fail with YAMLError; `True` where the reference fails as
# well (with an error of its own kind), `False` where this loader departs
# from it on purpose.
FAILURES = [
    # syntax
    ('tab indentation', 'a:\n\tb: 1', True),
    ('tab before an entry', '- a\n\t- b', True),
    ('unclosed flow sequence', 'a: [1, 2', True),
    ('unclosed flow mapping', '{a: 1', True),
    ('unterminated quote', 'a: "text', True),
    ('nested value on one line', 'a: b: c', True),
    ('text after a quote', "'x' y", True),
    ('document end alone', '...', True),
    ('bad indentation', 'a:\n  b: 1\n c: 2', True),
    # composition
    ('two documents', 'a\n---\nb', True),
    ('two explicit documents', '--- a\n--- b\n', True),
    ('undefined alias', 'a: *x', True),
    ('duplicate anchor', 'a: &x 1\nb: &x 2', True),
    # keys
    ('list key', '? [1, 2]\n: x', True),
    ('mapping key', '{{a: 1}: 2}', True),
    ('set key', '? !!set {a}\n: 1', True),
    ('key of an alias to a list', 'a: &l [1]\n*l : 2', True),
    # tags
    ('local tag', '!foo x', True),
    ('local tag on a mapping', 'a: !custom {b: 1}', True),
    ('unknown standard tag', '!!python/tuple [1]', True),
    ('tag of the other kind', '!!str [a]', True),
    ('sequence tag on a scalar', '!!seq a', True),
    ('set of a sequence', '!!set [a]', True),
    ('ordered map of a mapping', '!!omap {a: 1}', True),
    ('ordered map item of two', '!!omap [{a: 1, b: 2}]', True),
    ('ordered map item not a mapping', '!!omap [a]', True),
    ('local tag inside an ordered map', '!!omap [!foo {a: 1}]', False),
    ('merge tag as a value', 'a: <<', True),
    ('merge key alone', '<<', True),
    ('value key as a value', 'a: =', True),
    ('invalid bool', '!!bool maybe', True),
    ('invalid int', '!!int abc', True),
    ('empty int', '!!int ""', True),
    ('invalid float', '!!float abc', True),
    ('invalid timestamp', '!!timestamp 2001', True),
    ('invalid date', '2001-02-30', True),
    ('invalid time', '2001-02-03 24:00:00', True),
    ('invalid base64', '!!binary "aGVsbG8"', True),
    ('base64 not ASCII', '!!binary "\xc3\xa9"', True),
    ('binary int without digits', '0b_', True),
    ('hex int without digits', '0x_', True),
    ('overflowing base 60 float', ':'.join(['1'] * 400) + '.5', True),
    # merges
    ('merge of a scalar', 'a: {<<: 1}', True),
    ('merge of a list of scalars', 'a: {<<: [1]}', True),
    ('merge into a member', 'a: &x {b: 1, c: {<<: *x}}', False),
    ('merge of a set', 'a: &s !!set {x}\nb: {<<: *s}', False),
    # input that is not text
    ('invalid UTF-8 byte', 'a: \xff', True),
    ('truncated UTF-8 sequence', 'a: \xe2\x82', True),
    ('UTF-8 sequence cut by ASCII', 'a: \xc3(', True),
    ('overlong UTF-8', 'a: \xc0\xaf', True),
    ('UTF-8 of a surrogate', 'a: \xed\xa0\x80', True),
    ('control character', 'a: \x01', True),
    ('NUL byte', 'a: \x00', True),
]

# Hostile input: limits that keep the host safe.
DEPTH = 1000


def nested_flow(depth):
    return '[' * depth + ']' * depth


def nested_block(depth):
    return ''.join('%sk:\n' % (' ' * i) for i in range(depth)) + ' ' * depth + 'v\n'


# --- typed form of a loaded value, the same under both interpreters: the
# reference's str is our str when it is ASCII and unicode otherwise, its
# int our int within a C long and long beyond, its bytes our str, its
# datetimes with an offset our naive datetimes in UTC; a container met
# again is written as a reference to its first place.
TYPED_FORM = r'''
import binascii, datetime, json, sys
PY3 = sys.version_info[0] >= 3
if PY3:
    TEXT, BYTES, INTS = str, bytes, (int,)
else:
    TEXT, BYTES, INTS = unicode, str, (int, long)

def typed(value, seen):
    if value is None:
        return ['null']
    if isinstance(value, bool):
        return ['bool', value]
    if isinstance(value, INTS):
        if PY3:
            kind = 'int' if -sys.maxsize - 1 <= value <= sys.maxsize else 'long'
        else:
            kind = type(value).__name__
        return [kind, str(value)]
    if isinstance(value, float):
        return ['float', repr(value)]
    if isinstance(value, BYTES):
        try:
            return ['str', value.decode('ascii')]
        except UnicodeDecodeError:
            return ['bytes', binascii.hexlify(value).decode('ascii')]
    if isinstance(value, TEXT):
        if PY3 and all(ord(c) < 128 for c in value):
            return ['str', value]
        return ['unicode', value]
    if isinstance(value, datetime.datetime):
        if value.tzinfo is not None:
            value = (value - value.utcoffset()).replace(tzinfo=None)
        return ['datetime', value.isoformat()]
    if isinstance(value, datetime.date):
        return ['date', value.isoformat()]
    if isinstance(value, tuple):
        return ['tuple', [typed(v, seen) for v in value]]
    if id(value) in seen:
        return ['ref', seen[id(value)][0]]
    seen[id(value)] = (len(seen), value)
    n = len(seen) - 1
    if isinstance(value, list):
        return ['list', n, [typed(v, seen) for v in value]]
    if isinstance(value, dict):
        keys = sorted(((typed(k, seen), k) for k in value), key=lambda p: json.dumps(p[0]))
        return ['dict', n, [[tk, typed(value[k], seen)] for tk, k in keys]]
    if isinstance(value, set):
        return ['set', n, sorted((typed(k, seen) for k in value), key=json.dumps)]
    return ['other', type(value).__name__]

def outcome(load, text):
    try:
        return typed(load(text), {})
    except Exception as e:
        return ['error', type(e).__name__]
'''

# Reads a JSON list of base64 texts, writes the JSON list of their outcomes.
REFERENCE_MAIN = r'''
import base64, yaml
texts = [base64.b64decode(t) for t in json.load(sys.stdin)]
json.dump([outcome(yaml.safe_load, t) for t in texts], sys.stdout)
'''

_typed_form = {}
exec TYPED_FORM in _typed_form


def ours(text):
    """The typed form of our load, as it reads back from JSON."""
    return json.loads(json.dumps(_typed_form['outcome'](yaml.safe_load, text)))


def reference_available():
    if not os.path.exists(REFERENCE_PYTHON):
        return False
    return subprocess.call([REFERENCE_PYTHON, '-c', 'import yaml'],
                           stdout=open(os.devnull, 'w'), stderr=subprocess.STDOUT) == 0


def reference(texts):
    """The reference's outcome for each text."""
    proc = subprocess.Popen([REFERENCE_PYTHON, '-c', TYPED_FORM + REFERENCE_MAIN],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    out, err = proc.communicate(json.dumps([base64.b64encode(t) for t in texts]))
    if proc.returncode != 0:
        raise AssertionError('reference loader failed:\n' + err)
    return json.loads(out)


def first_difference(a, b, path='document'):
    """Where two typed forms first differ, with both sides there."""
    if type(a) != type(b) or (not isinstance(a, list)) or len(a) != len(b):
        if a != b:
            return '%s: ours %s, reference %s' % (path, json.dumps(a)[:300], json.dumps(b)[:300])
        return None
    for i, (x, y) in enumerate(zip(a, b)):
        d = first_difference(x, y, '%s[%d]' % (path, i))
        if d:
            return d
    return None


# --- documents in the shape of a hardware dump

FLOW_PLAIN = [
    '0', '7', '010', '09', '0x11', '0xdeadBEEF', '0b101', '-12', '+12', '1_000', '0_17',
    '10:20:30:40:50:59', '00:11:22:33:44:55', '0a:1b:2c:3d:4e:5f', '1:20', '190:20:30.15',
    '1.5', '-1.5', '1.0e+3', '1e3', '.5', '.inf', '-.Inf', '.NaN', '3.', '-.5',
    'yes', 'No', 'TRUE', 'off', 'On', 'y', 'n', 'Y', '~', 'null', 'Null', 'NULL', 'nil',
    '2001-12-14', '2001-12-14t21:59:43.10-05:00', '2001-12-14 21:59:43.10 -5',
    '2002-12-14T11:22:33Z', '2001-1-1', '2001-12-14 21:59:43 +01:30', '1999-1-2 3:04:05.678',
    '10.1.1.1', '10.1.1.1/24', 'xe0', 'swp1', 'vxlan100', 'bond-3', 'Ethernet 12',
    '9223372036854775807', '9223372036854775808', '-9223372036854775808',
    '-9223372036854775809', '123456789012345678901234567890', '0x8000000000000000',
    'caf\xc3\xa9', '\xe2\x82\xac5', '\xe4\xb8\xad\xe6\x96\x87', 'a b c', 'x#y', 'path/to',
    'key=val', '<<x', '=x',
]
BLOCK_PLAIN = FLOW_PLAIN + ['fe80::1', '::ffff:10.1.1.1', 'a, b', 'x]', 'x}']
FIELDS = ['mac', 'vlan', 'port', 'gports', 'dip', 'sip', 'name', 'static', 'trunk', 'modid',
          'vpn', 'vni', 'flags', 'intf', 'nh', 'ecmp', 'mac_addr', 'matchPortType']
KEY_SCALARS = ['1', '0x10', 'on', 'null', '2001-12-14', '10:20', '1.5', '"quoted key"',
               "'yes'", 'caf\xc3\xa9', '.inf']
TEXT_CHARS = list('abcXYZ019 :#-,[]{}') + ['\xc3\xa9', '\xe2\x82\xac', '\xf0\x9f\x98\x80']
SECTIONS = ['VPN', 'VXLAN PORT', 'TUNNEL INITIATOR', 'TUNNEL TERMINATOR', 'L2 ENTRIES DUMP',
            'L3 HOST', 'L3 ROUTE', 'EGRESS OBJECTS']


class DumpWriter(object):
    """Writes a random document: sections of tables keyed by ids, records of
    fields of every implicit type, block and flow collections, anchors,
    aliases and merge keys, quoted and block scalars, explicit tags and
    text that is not ASCII."""

    def __init__(self, seed, max_depth=5):
        self.rng = random.Random(seed)
        self.max_depth = max_depth
        self.lines = []
        self.anchors = 0
        self.done = []  # anchors of complete nodes, for aliases
        self.mappings = []  # anchors of complete plain mappings, for merges

    def document(self, size):
        r = self.rng
        n = written = 0
        while written < size:
            start = len(self.lines)
            self.lines.append('%s %d:' % (r.choice(SECTIONS), n))
            for i in range(r.randint(1, 30)):
                self.entry(2, '0x%x' % r.randrange(1 << 24), 1)
            written += sum(len(l) + 1 for l in self.lines[start:])
            n += 1
        return '\n'.join(self.lines) + '\n'

    def text(self, n):
        return ''.join(self.rng.choice(TEXT_CHARS) for _ in range(n))

    def anchor(self):
        self.anchors += 1
        return 'a%d' % self.anchors

    def scalar(self, flow=False):
        r = self.rng
        x = r.random()
        if x < 0.55:
            return r.choice(FLOW_PLAIN if flow else BLOCK_PLAIN)
        if x < 0.65:
            return "'%s'" % r.choice(FLOW_PLAIN + [self.text(6)]).replace("'", "''")
        if x < 0.75:
            t = self.text(r.randint(0, 8)).replace('\\', '\\\\').replace('"', '\\"')
            return '"%s%s"' % (t, r.choice(['', '\\t', '\\n', '\\u00e9', '\\x41', '\\\\', '\\"']))
        if x < 0.85:
            return r.choice([
                '!!str %s' % r.choice(FLOW_PLAIN), '!!int "%d"' % r.randint(-99, 99),
                "!!float '%d'" % r.randint(0, 9), '!!bool "on"', '!!null ""',
                '!!binary %s' % base64.b64encode(
                    ''.join(chr(r.randrange(256)) for _ in range(r.randint(1, 12)))),
                '!!timestamp 2001-%d-%d' % (r.randint(1, 12), r.randint(1, 28)),
                '! %s' % r.choice(FLOW_PLAIN)])
        if x < 0.9 and self.done:
            return '*' + r.choice(self.done)
        if x < 0.95:
            return '%d' % r.randint(-2 ** 40, 2 ** 40)
        name = self.anchor()
        value = '&%s %s' % (name, r.choice(FLOW_PLAIN))
        self.done.append(name)
        return value

    def flow(self, depth):
        r = self.rng
        if depth > 2 or r.random() < 0.5:
            return self.scalar(flow=True)
        if r.random() < 0.5:
            return '[%s]' % ', '.join(self.flow(depth + 1) for _ in range(r.randint(0, 4)))
        if r.random() < 0.1:
            return '!!set {%s}' % ', '.join(r.choice(FIELDS) for _ in range(r.randint(0, 3)))
        if r.random() < 0.1:
            return '!!omap [%s]' % ', '.join('{%s: %s}' % (r.choice(FIELDS), self.flow(depth + 1))
                                             for _ in range(r.randint(0, 3)))
        return '{%s}' % ', '.join('%s: %s' % (r.choice(FIELDS), self.flow(depth + 1))
                                  for _ in range(r.randint(0, 4)))

    def key(self):
        r = self.rng
        return r.choice(KEY_SCALARS) if r.random() < 0.05 else r.choice(FIELDS)

    def mapping(self, indent, depth):
        r = self.rng
        pad = ' ' * indent
        if self.mappings and r.random() < 0.2:
            if r.random() < 0.5:
                self.lines.append(pad + '<<: *' + r.choice(self.mappings))
            else:
                names = r.sample(self.mappings, min(len(self.mappings), r.randint(1, 3)))
                self.lines.append(pad + '<<: [%s]' % ', '.join('*' + n for n in names))
        for _ in range(r.randint(1, 6)):
            self.entry(indent, self.key(), depth)

    def entry(self, indent, key, depth):
        r = self.rng
        pad = ' ' * indent
        x = r.random()
        if depth < self.max_depth and x < 0.2:
            name = self.anchor() if r.random() < 0.3 else None
            self.lines.append(pad + key + ':' + (' &' + name if name else ''))
            self.mapping(indent + 2, depth + 1)
            if name:
                self.done.append(name)
                self.mappings.append(name)
        elif depth < self.max_depth and x < 0.3:
            self.lines.append(pad + key + ':')
            for _ in range(r.randint(0, 4)):
                if r.random() < 0.5:
                    self.lines.append(pad + '- ' + self.scalar())
                else:
                    start = len(self.lines)
                    self.mapping(indent + 2, depth + 1)
                    self.lines[start] = pad + '- ' + self.lines[start][indent + 2:]
        elif x < 0.4:
            self.lines.append(pad + key + ': ' + self.flow(0))
        elif x < 0.45:
            self.lines.append(pad + key + ': ' + r.choice(['|', '|-', '|+', '>', '>-']))
            for _ in range(r.randint(1, 3)):
                self.lines.append(pad + '  ' + self.text(r.randint(0, 10)).strip())
        else:
            self.lines.append(pad + key + ': ' + self.scalar())


class ScalarTest(unittest.TestCase):

    def assertValue(self, text, value, expected):
        self.assertIs(type(value), type(expected), '%r: %r' % (text, value))
        if isinstance(expected, float) and math.isnan(expected):
            self.assertTrue(math.isnan(value), '%r: %r' % (text, value))
        else:
            self.assertEqual(value, expected, '%r: %r' % (text, value))

    def test_scalars(self):
        for text, expected in SCALARS:
            self.assertValue(text, yaml.safe_load(text), expected)

    def test_scalars_as_items_and_keys(self):
        for text, expected in SCALARS:
            if '\n' in text:
                continue
            self.assertValue(text, yaml.safe_load('- ' + text)[0], expected)
            if not isinstance(expected, (list, dict, set)):
                self.assertValue(text, yaml.safe_load('? %s\n: x' % text).keys()[0], expected)

    def test_negative_zero_float(self):
        self.assertEqual(math.copysign(1, yaml.safe_load('-0.0')), -1)

    def test_texts_in_a_record(self):
        self.assertEqual(yaml.safe_load('mac: 10:20:30:40:50:59\ndip: 10.0.0.1\nmask: 0x11\n'
                                        'text: "0x11"\nport: 09\n'),
                         {'mac': 8041827059, 'dip': '10.0.0.1', 'mask': 17, 'text': '0x11',
                          'port': '09'})

    def test_empty_values_are_null(self):
        self.assertEqual(yaml.safe_load('a:\nb: []\nc: {}\n? d\n'),
                         {'a': None, 'b': [], 'c': {}, 'd': None})


class StructureTest(unittest.TestCase):

    def test_empty_stream_gives_none(self):
        for text in ['', '\n\n', '# only a comment\n', '---\n', '--- \n...\n', u'']:
            self.assertIsNone(yaml.safe_load(text), repr(text))

    def test_alias_gives_the_anchored_object(self):
        d = yaml.safe_load('a: &l [1, 2]\nb: *l\nc: &m {k: v}\nd: [*m, *m]\ne: &s x\nf: *s\n')
        self.assertIs(d['a'], d['b'])
        self.assertIs(d['c'], d['d'][0])
        self.assertIs(d['d'][0], d['d'][1])
        self.assertIs(d['e'], d['f'])

    def test_alias_inside_its_own_node(self):
        l = yaml.safe_load('&r [1, *r]')
        self.assertIs(l[1], l)
        m = yaml.safe_load('&m {name: x, self: *m, list: [*m]}')
        self.assertIs(m['self'], m)
        self.assertIs(m['list'][0], m)
        o = yaml.safe_load('&o !!omap [{a: *o}]')
        self.assertIs(o[0][1], o)

    def test_later_duplicate_key_wins(self):
        self.assertEqual(yaml.safe_load('{a: 1, b: 2, a: 3}'), {'a': 3, 'b': 2})
        self.assertEqual(yaml.safe_load('1: a\n0x1: b\n'), {1: 'b'})

    def test_merge_keys(self):
        base = ('base: &b {x: 1, y: 2}\nother: &o {y: 20, z: 30}\n'
                'list: &l [1]\nwith_list: &w {l: *l}\n')
        cases = [
            ('m: {<<: *b}', {'x': 1, 'y': 2}),
            # own keys win wherever they stand
            ('m: {y: 5, <<: *b}', {'x': 1, 'y': 5}),
            ('m: {<<: *b, y: 5}', {'x': 1, 'y': 5}),
            # in a list the first mapping wins
            ('m: {<<: [*b, *o]}', {'x': 1, 'y': 2, 'z': 30}),
            ('m: {<<: [*o, *b]}', {'x': 1, 'y': 20, 'z': 30}),
            # a later merge key wins over an earlier one
            ('m:\n  <<: *b\n  <<: *o\n', {'x': 1, 'y': 20, 'z': 30}),
            ('m: {<<: {p: 1}, q: 2}', {'p': 1, 'q': 2}),
            ('m: {<<: [], <<: {}}', {}),
            # a mapping merged into itself adds nothing
            ('m: &s {a: 1, <<: *s}', {'a': 1}),
            # a quoted << is a key like any other
            ('m: {"<<": *b}', {'<<': {'x': 1, 'y': 2}}),
            ('m: {=: 1}', {'=': 1}),
            ('m: !!set {<<: *b, a}', set(['x', 'y', 'a'])),
        ]
        for text, expected in cases:
            d = yaml.safe_load(base + text)
            self.assertEqual(d['m'], expected, text)
            self.assertEqual(d['base'], {'x': 1, 'y': 2}, text)

    def test_merge_of_merged_keeps_the_values(self):
        d = yaml.safe_load('a: &a {x: [1]}\nb: &b {<<: *a, y: 2}\nc: {<<: *b, z: 3}\n'
                           'w: &w {l: *a}\nd: {<<: *w}\n')
        self.assertEqual(d['c'], {'x': [1], 'y': 2, 'z': 3})
        self.assertIs(d['c']['x'], d['a']['x'])
        self.assertIs(d['d']['l'], d['a'])

    def test_nesting_limit(self):
        for make, inner in [(nested_flow, lambda v: v[0] if v else None),
                            (nested_block, lambda v: v['k'])]:
            value = yaml.safe_load(make(DEPTH))
            depth = 0
            while isinstance(value, (list, dict)):
                value = inner(value)
                depth += 1
            self.assertEqual(depth, DEPTH)
            with self.assertRaises(yaml.YAMLError):
                yaml.safe_load(make(DEPTH + 1))

    def test_hostile_input_fails(self):
        huge = [
            '[' * 1000000,  # far past the nesting limit, never closed
            '- ' * 200000 + 'x',
            '{a: ' * 200000,
            '1' * 5000,  # decimal conversion grows with the square of the length
            ':'.join(['1'] * 3000),
        ]
        for text in huge:
            with self.assertRaises(yaml.YAMLError):
                yaml.safe_load(text)

    def test_merges_copy_no_more_than_the_text_allows(self):
        base = 'b: &b {%s}\n' % ', '.join('k%d: 0' % i for i in range(2000))
        self.assertEqual(len(yaml.safe_load(base + 'm: [%s]\n' % ', '.join(['{<<: *b}'] * 400))
                             ['m']), 400)
        with self.assertRaises(yaml.YAMLError):
            yaml.safe_load(base + 'm: [%s]\n' % ', '.join(['{<<: *b}'] * 600))

    def test_aliases_do_not_copy(self):
        lines = ['a0: &a0 [x, y]']
        for i in range(1, 30):
            lines.append('a%d: &a%d [*a%d, *a%d]' % (i, i, i - 1, i - 1))
        d = yaml.safe_load('\n'.join(lines))
        self.assertIs(d['a29'][0], d['a29'][1])
        self.assertIs(d['a29'][0], d['a28'])

    def test_long_integers_of_power_of_two_bases(self):
        self.assertEqual(yaml.safe_load('0x' + 'f' * 5000), 16 ** 5000 - 1)

    def test_failures(self):
        for name, text, _ in FAILURES:
            try:
                value = yaml.safe_load(text)
            except yaml.YAMLError as e:
                self.assertTrue(str(e), name)
            else:
                self.fail('%s: %r loaded as %r' % (name, text, value))

    def test_error_says_where(self):
        with self.assertRaises(yaml.YAMLError) as cm:
            yaml.safe_load('a: 1\nb: !foo x\n')
        self.assertIn("'!foo'", str(cm.exception))
        self.assertIn('line 2, column 4', str(cm.exception))


class InterfaceTest(unittest.TestCase):

    def test_error_type(self):
        self.assertTrue(issubclass(yaml.YAMLError, Exception))
        self.assertEqual(yaml.YAMLError.__name__, 'YAMLError')
        from _yamltest import yaml as again
        self.assertIs(again.YAMLError, yaml.YAMLError)

    def test_text_kinds(self):
        self.assertEqual(yaml.safe_load(u'caf\xe9: [1]'), {u'caf\xe9': [1]})
        self.assertEqual(yaml.safe_load(u'\ufeffa: 1'), {'a': 1})
        self.assertEqual(yaml.safe_load('\xef\xbb\xbfa: 1'), {'a': 1})
        self.assertEqual(yaml.safe_load(u'a: caf\xe9'.encode('utf-16')), {'a': u'caf\xe9'})
        self.assertEqual(yaml.safe_load(stream='a: 1'), {'a': 1})

    def test_collector_state_is_left_as_found(self):
        import gc
        self.assertTrue(gc.isenabled())
        yaml.safe_load('a: [1]')
        self.assertRaises(yaml.YAMLError, yaml.safe_load, 'a: [1')
        self.assertTrue(gc.isenabled())
        gc.disable()
        try:
            yaml.safe_load('a: [1]')
            self.assertFalse(gc.isenabled())
        finally:
            gc.enable()

    def test_argument_errors(self):
        for args in [(), (5,), (None,), ('a', 'b')]:
            with self.assertRaises(TypeError):
                yaml.safe_load(*args)

    def test_text_types(self):
        d = yaml.safe_load('ascii: abc\nother: "\\u00e9"\nkey_\xc3\xa9: 1\n')
        self.assertIs(type(d['ascii']), str)
        self.assertIs(type(d['other']), unicode)
        self.assertIn(u'key_\xe9', d)
        self.assertTrue(all(type(k) is str for k in d if k != u'key_\xe9'))


@unittest.skipUnless(reference_available(),
                     '%s with python3-yaml is needed as the reference '
                     '(scripts/setup installs python3-yaml)' % REFERENCE_PYTHON)
class ReferenceTest(unittest.TestCase):
    """The same outcome as the reference on every text: the same value, or
    a failure on both sides."""

    def assertAgrees(self, texts):
        for text, expected in zip(texts, reference(texts)):
            got = ours(text)
            if expected[0] == 'error':
                self.assertEqual(got[0], 'error', '%r: reference fails, ours gives %r'
                                 % (text[:200], got))
                self.assertEqual(got[1], 'YAMLError', text[:200])
            else:
                difference = first_difference(got, expected)
                if difference:
                    self.fail('%r\n%s' % (text[:200], difference))

    def test_tables(self):
        texts = [t for t, _ in SCALARS]
        texts += ['- ' + t for t, _ in SCALARS if '\n' not in t]
        texts += [t for _, t, same in FAILURES if same]
        self.assertAgrees(texts)

    def test_departures_are_only_the_chosen_ones(self):
        texts = [t for _, t, same in FAILURES if not same]
        for text, expected in zip(texts, reference(texts)):
            self.assertNotEqual(expected[0], 'error', text)

    def test_generated_plain_scalars(self):
        rng = random.Random(11)
        texts = list(FLOW_PLAIN + BLOCK_PLAIN)
        for alphabet in ['0123456789_:.-+eExXbBoO', '0123456789-:. tTZ+', '01:.',
                         'yesnoYESNOtruefalsTRUEFALSnulNUL~<=!',
                         '0123456789abcdefABCDEFx_-+']:
            for _ in range(3000):
                texts.append(''.join(rng.choice(alphabet) for _ in range(rng.randint(1, 14))))
        self.assertAgrees(texts)

    def test_generated_documents(self):
        texts = [DumpWriter(seed).document(size)
                 for seed, size in [(1, 20000), (2, 100000), (3, 400000), (4, 400000)]]
        for text in texts:
            self.assertNotEqual(ours(text)[0], 'error')
        self.assertAgrees(texts)


if __name__ == '__main__':
    unittest.main()
