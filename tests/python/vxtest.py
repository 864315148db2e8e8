"""Shared helpers of the VXLAN checker's tests: the module, checker objects
made without their constructor (no shell, no daemon files), and small
stand-ins for what the constructor would have made."""

import sim

# The dictionaries the constructor creates empty.
TABLES = ['asicVxlanDict', 'hwBonds', 'asicTables', 'vniInfoHelperDict', 'vxlanPortHelperDict',
          'initiatorDict', 'terminatorDict', 'hostTable', 'routeTable', 'vpntoVniTable']

# The constructor's chip table.
CHIP_IDS = {'56845': 'Trident', '56846': 'Trident+', '5685X': 'Trident2', '5696X': 'Tomahawk',
            '56340': 'Helix4', '5686X': 'Trident2+', '5676X': 'Maverick', '5687X': 'Trident3',
            '5615X': 'Hurricane2', '5697X': 'Tomahawk2'}


# The VNI record's lists.
LISTS = ['localPorts', 'rawLocalPorts', 'localMacs', 'rawLocalMacs', 'remoteMacs',
         'rawRemoteMacs']


def tirrow():
    from norvask import tirrow as module
    return module


def bare(**attrs):
    """An Asic with the constructor's empty tables and the simulated switch's
    chip family, on a fresh copy of the simulated VXLAN switch (which the
    harnel stand-in answers from); `attrs` are set on it."""
    sim.use('vxlan')
    cls = tirrow().Asic
    a = cls.__new__(cls)
    for name in TABLES:
        setattr(a, name, {})
    a.chip = 'Trident2'
    for name, value in attrs.items():
        setattr(a, name, value)
    return a


def vni_record(vni, vpn, igmp=None, arp=None, **lists):
    """A VNI record as the VPN reader makes it, with lists given by name."""
    record = {'vni': vni, 'vpn': vpn, 'igmpSnoop': igmp, 'arpSupress': arp, 'arpReqSup': arp,
              'arpReplySupress': arp}
    for name in LISTS:
        record[name] = list(lists.get(name, []))
    return record


class Shell(object):
    """A shell client answering fixed texts (or raising given exceptions),
    recording every command."""

    def __init__(self, answers):
        self.answers = answers
        self.commands = []

    def run(self, cmd):
        self.commands.append(cmd)
        answer = self.answers[cmd]
        if isinstance(answer, Exception):
            raise answer
        return answer


class Ports(object):
    """The multicast checker's default-VLAN lookup: (1, pvid) of the ports it
    is given, (-1, -1) for others; records what it is asked."""

    def __init__(self, pvids):
        self.pvids = pvids
        self.asked = []

    def _get_logical_port_and_pvid(self, linux_port):
        self.asked.append(linux_port)
        if linux_port in self.pvids:
            return (1, self.pvids[linux_port])
        return (-1, -1)
