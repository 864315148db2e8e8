"""Stand-in for the diagnostic-shell client: answers from the simulated
switch (sim.current()) and records every call there."""

import sim


class dolmish(object):
    """dolmish(timeout=None, prompt=None, **kw)"""

    def __init__(self, *args, **kwargs):
        sim._client_made(args, kwargs)
        self.timeout = kwargs.get('timeout', args[0] if args else None)
        self.prompt = kwargs.get('prompt', args[1] if len(args) > 1 else None)

    # Output text of one shell command; IOError("timed out") for the
    # commands that sim.fail() named.
    run = sim._client_run

    def gettable(self, table, fields=True, start=0, entries=1):
        """Rows start .. start+entries-1 of a memory table, as dicts; rows the
        table does not hold are left out."""
        return sim._gettable(table, dict(fields=fields, start=start, entries=entries))
