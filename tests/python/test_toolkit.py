"""The binding toolkit seen from the interpreter, through small classes of
its own (_toolkittest.Probe, _toolkittest.Node): the error bridge in both
directions, the conversions the host's values go through, and records and
containers as the host's own objects."""

import gc
import struct
import weakref
import sys
import unittest

import _toolkittest


class ErrorBridgeTest(unittest.TestCase):

    def test_each_kind_of_core_error(self):
        p = _toolkittest.Probe()
        for kind, exc in [('RuntimeError', RuntimeError), ('IOError', IOError),
                          ('OSError', OSError), ('ValueError', ValueError),
                          ('IndexError', IndexError), ('TypeError', TypeError),
                          ('AttributeError', AttributeError), ('Exception', Exception),
                          ('struct.error', struct.error)]:
            with self.assertRaises(exc) as cm:
                p.raise_error(kind, 'the text')
            self.assertIs(type(cm.exception), exc, kind)
            self.assertEqual(str(cm.exception), 'the text', kind)

    def test_key_error_carries_the_key_and_os_error_its_number(self):
        p = _toolkittest.Probe()
        with self.assertRaises(KeyError) as cm:
            p.raise_error('KeyError', 'swp9')
        self.assertEqual(cm.exception.args, ('swp9',))
        with self.assertRaises(OSError) as cm:
            p.raise_os_error(2, 'No such file or directory')
        self.assertEqual((cm.exception.errno, cm.exception.strerror),
                         (2, 'No such file or directory'))

    def test_an_exception_raised_in_a_call_back_comes_out_unchanged(self):
        class Mine(Exception):
            pass
        for raised in [Mine('x'), IOError(5, 'timed out'), KeyboardInterrupt(),
                       SystemExit(3)]:
            def f():
                raise raised
            try:
                _toolkittest.call_through(f)
            except BaseException as e:
                self.assertIs(e, raised)
                # The traceback still reaches into f.
                tb = sys.exc_info()[2]
                while tb.tb_next:
                    tb = tb.tb_next
                self.assertEqual(tb.tb_frame.f_code.co_name, 'f')
            else:
                self.fail('nothing raised for %r' % raised)
        self.assertEqual(_toolkittest.call_through(lambda: 'back'), 'back')


class ConversionTest(unittest.TestCase):

    def setUp(self):
        self.p = _toolkittest.Probe()

    def test_integers(self):
        for v in [0, -1, 7, 7L, sys.maxint, -sys.maxint - 1, True]:
            self.assertEqual(self.p.echo_long(v), v)
        self.assertRaises(OverflowError, self.p.echo_long, sys.maxint + 1)
        for bad in ['7', 7.0, None, [7]]:
            self.assertRaises(TypeError, self.p.echo_long, bad)

    def test_texts(self):
        for v, want in [('swp1', 'swp1'), (u'swp1', 'swp1'), ('', ''), ('a\0b', 'a\0b')]:
            got = self.p.echo_text(v)
            self.assertEqual(got, want)
            self.assertIs(type(got), str)
        self.assertRaises(UnicodeError, self.p.echo_text, u'sw\xe9')
        for bad in [1, None, ['swp1']]:
            self.assertRaises(TypeError, self.p.echo_text, bad)
        self.assertEqual(self.p.echo_optional(None), None)
        self.assertEqual(self.p.echo_optional(u'x'), 'x')
        self.assertRaises(TypeError, self.p.echo_optional, 3)

    def test_host_values_compare_as_the_host_compares(self):
        marker = object()
        cases = [
            (None, 'none'), (5, 'int 5'), (5L, 'int 5'), (True, 'int 1'),
            (-sys.maxint - 1, 'int %d' % (-sys.maxint - 1)),
            (sys.maxint + 1, 'other long'),   # equals no number the checker holds
            ('swp1', 'text swp1'), (u'swp1', 'text swp1'),
            (u'sw\xe9', 'other unicode'), (5.0, 'other float'), (marker, 'other object'),
        ]
        for v, want in cases:
            self.assertEqual(self.p.kind_of(v), want, repr(v))
            # What goes in comes back as that very object.
            self.assertIs(self.p.echo_value(v), v)
        self.assertIs(self.p.echo_value(), None)

    def test_percent_d(self):
        self.assertEqual(self.p.percent_d(5L), 5)
        for bad, name in [('5', 'str'), (None, 'NoneType'), (u'5', 'unicode'), ([], 'list')]:
            with self.assertRaises(TypeError) as cm:
                self.p.percent_d(bad)
            self.assertEqual(str(cm.exception), '%d format: a number is required, not ' + name)

    def test_false_arguments_count_as_not_given(self):
        for v, want in [(None, -1), ([], -1), ((), -1), ('', -1), (['a', 1], 2), (('a',), 1)]:
            self.assertEqual(self.p.length_when_true(v), want, repr(v))
        self.assertEqual(self.p.length_when_true(), -1)

    def test_argument_errors_in_the_hosts_words_and_order(self):
        self.assertEqual(self.p.texts('a', b='b'), ['a', 'b'])
        for args, kwargs, text in [
                ((), {}, 'texts() takes exactly 2 arguments (0 given)'),
                (('a', 'b', 'c'), {}, 'texts() takes exactly 2 arguments (3 given)'),
                (('a',), {'c': 1}, "texts() got an unexpected keyword argument 'c'"),
                (('a',), {'a': 1}, "texts() got multiple values for keyword argument 'a'")]:
            with self.assertRaises(TypeError) as cm:
                self.p.texts(*args, **kwargs)
            self.assertEqual(str(cm.exception), text)
        # Converted first to last: the first bad argument is the one reported.
        with self.assertRaises(TypeError) as cm:
            self.p.texts(1, 2.5)
        self.assertIn('int', str(cm.exception))


class RecordTest(unittest.TestCase):
    """A record's containers are the interpreter's own, made from the
    core's the first time they are reached, and shared both ways after."""

    def test_identity_before_and_after_the_first_reach(self):
        n = _toolkittest.Node('n', 1)
        n.grow(3)                                    # filled by the core, not reached yet
        kids = n.children
        self.assertIs(type(kids), list)
        self.assertIs(n.children, kids)
        self.assertIs(kids[0], n.children[0])
        self.assertEqual([c.name for c in kids], ['n.0', 'n.1', 'n.2'])
        n.grow(1)                                    # the core writes into the host's list
        self.assertEqual(len(kids), 4)
        self.assertIs(n.children[3], kids[3])
        self.assertEqual(n.tags, {'n.0': 0, 'n.1': 1, 'n.2': 2, 'n.0': 0})
        self.assertEqual(n.seen, set(['n.0', 'n.1', 'n.2']))

    def test_a_record_a_method_gives_is_the_one_in_its_table(self):
        n = _toolkittest.Node('n', 1)
        n.grow(3)
        c = n.child('n.1')                           # reached before its list is
        self.assertIs(n.child('n.1'), c)
        self.assertIsNone(n.child('nowhere'))
        c.n = 40
        c.note = 'kept'
        self.assertEqual(n.total(), 0 + 40 + 2)
        self.assertIs(n.children[1], c)
        self.assertEqual(n.children[1].note, 'kept')
        self.assertIs(n.child('n.1'), c)
        del n                                        # the record outlives its table
        self.assertEqual((c.name, c.n), ('n.1', 40))

    def test_what_the_host_changes_the_core_reads(self):
        n = _toolkittest.Node('n', 1)
        mine = [_toolkittest.Leaf('a', 5)]
        n.children = mine
        self.assertIs(n.children, mine)
        mine.append(_toolkittest.Leaf('b', 7))
        list.__setitem__(mine, 0, _toolkittest.Leaf('c', 1))
        self.assertEqual(n.total(), 8)
        dict.update(n.tags, {'x': 9})
        n.tags['y'] = 2L
        self.assertEqual(n.tag_keys(), ['x=9', 'y=2'])
        set.add(n.seen, u'z')
        self.assertTrue(n.has_seen('z'))
        held = n.children[1]
        del mine[:]
        self.assertEqual((held.name, held.n, n.total()), ('b', 7, 0))

    def test_fields_take_their_own_types(self):
        n = _toolkittest.Node('n', 1)
        n.n = 2L
        n.name = u'ascii'
        self.assertEqual((n.n, n.name, type(n.name)), (2, 'ascii', str))
        n.label = None
        self.assertIsNone(n.label)
        for field, bad, exc in [('n', '2', TypeError), ('n', None, TypeError),
                                ('n', 2 ** 70, OverflowError), ('name', 3, TypeError),
                                ('name', u'\xe9', TypeError), ('name', None, TypeError),
                                ('children', (), TypeError), ('tags', [], TypeError),
                                ('seen', frozenset(), TypeError)]:
            self.assertRaises(exc, setattr, n, field, bad)
        o = object()
        n.any = o
        self.assertIs(n.any, o)
        self.assertRaises(AttributeError, delattr, n, 'name')
        n.extra = 1
        self.assertEqual(n.__dict__, {'extra': 1})

    def test_an_element_of_another_type_fails_where_the_core_reads_it(self):
        n = _toolkittest.Node('n', 1)
        n.children.append(3)
        with self.assertRaises(TypeError) as cm:
            n.total()
        self.assertEqual(str(cm.exception), 'expected _toolkittest.Leaf, not int')

    def test_cycles_through_records_are_collected(self):
        def through_list():
            n = _toolkittest.Node('n', 1)
            n.children.append(n)
            return n

        def through_core_made_list():
            n = _toolkittest.Node('n', 1)
            n.grow(2)
            n.children[1].any = n
            return n

        def through_value():
            n = _toolkittest.Node('n', 1)
            n.any = [n]
            return n

        def through_dict():
            n = _toolkittest.Node('n', 1)
            n.tags['me'] = n
            return n

        def through_attribute():
            n = _toolkittest.Node('n', 1)
            n.grow(1)
            c = n.children[0]
            c.parent = n
            return n

        for make in (through_list, through_core_made_list, through_value, through_dict,
                     through_attribute):
            gc.collect()
            ref = weakref.ref(make())
            gc.collect()
            self.assertIsNone(ref(), make.__name__)


if __name__ == '__main__':
    unittest.main()
