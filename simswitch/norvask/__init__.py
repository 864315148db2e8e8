"""The platform package, as far as the checker modules need it."""

import os
import pkgutil
import sys

__path__ = pkgutil.extend_path(__path__, __name__)

# extend_path only takes directories with an __init__.py; the build leaves the
# compiled modules in a bare build/norvask/, so take such directories too.
def _bare_dirs():
    seen = set(os.path.abspath(p) for p in __path__)
    for entry in sys.path:
        if not isinstance(entry, basestring):
            continue
        sub = os.path.join(entry or os.curdir, __name__)
        if os.path.isdir(sub) and os.path.abspath(sub) not in seen:
            seen.add(os.path.abspath(sub))
            yield sub


__path__.extend(list(_bare_dirs()))
del _bare_dirs
