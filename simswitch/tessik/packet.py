"""Stand-in for the netlink library's packet classes."""


class _Packet(object):

    def __init__(self, **attrs):
        self.attrs = attrs


class Route(_Packet):
    pass


class Neighbour(_Packet):
    pass


class Link(_Packet):
    pass
