"""Stand-in for the netlink library's manager."""


class Manager(object):

    def __init__(self, *args, **kwargs):
        self.args = args
        self.kwargs = kwargs
