"""Stand-in for the VRF database: answers from the simulated switch."""

import sim


class VrfDb(object):

    def __init__(self):
        sim._made('VrfDb')

    def vrf_id2name(self, vrf_id):
        """Name of a VRF id; KeyError for an unknown one."""
        return sim._state.switch.vrfs[vrf_id]
