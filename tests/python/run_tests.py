"""Runs every test_*.py of this folder and says which tests were skipped and
why; with NORVASK_SKIP_LOG set, also appends one line per skipped test to
that file, for the test command's closing summary."""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    suite = unittest.defaultTestLoader.discover(HERE, pattern='test_*.py')
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    skipped = ['%s: %s' % (test.id(), reason) for test, reason in result.skipped]
    sys.stderr.write('%d skipped\n' % len(skipped))
    for line in skipped:
        sys.stderr.write('  %s\n' % line)
    log = os.environ.get('NORVASK_SKIP_LOG')
    if log and skipped:
        with open(log, 'a') as f:
            f.write(''.join('python_tests: %s\n' % line for line in skipped))
    return 0 if result.wasSuccessful() else 1


if __name__ == '__main__':
    sys.exit(main())
