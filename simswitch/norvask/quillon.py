"""Stand-in for the port table: answers from the simulated switch."""

import sim


class quillon(object):

    def __init__(self):
        sim._made('quillon')

    def get_linux_ports(self):
        return sim.current().linux_ports()

    def bcm2linux(self, dport):
        """Linux name of an ASIC port; KeyError for a port it does not know."""
        return sim.current().bcm2linux(dport)

    def logical2dport(self, n):
        """ASIC port name of a logical port; KeyError for an unknown one."""
        return sim.current().logical[n]
