"""Stand-in for the netlink library's kernel support: what it exports."""

__all__ = ['NetlinkError', 'AF_BRIDGE', 'RTM_NEWNEIGH']

AF_BRIDGE = 7
RTM_NEWNEIGH = 28


class NetlinkError(Exception):
    pass


def _private_helper():
    return None
