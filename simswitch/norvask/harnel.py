"""Stand-in for the ECMP and port-mapping utility: module ports and trunk
members put into Linux terms from the simulated switch, every call recorded
(sim.harnel_calls())."""

import sim


def modport2interface(module, port, chip):
    """ASIC interface of a module port; KeyError for one the switch does not
    have."""
    sim._harnel_call('modport2interface', module, port, chip)
    return sim.current().modport_interface(module, port)


def asic2linux(intf):
    """Linux name of an ASIC interface; KeyError for an unknown one."""
    sim._harnel_call('asic2linux', intf)
    return sim.current().bcm2linux(intf)


def asictrunkmbr2linux(member):
    """Linux name of a trunk member; KeyError for an unknown one."""
    sim._harnel_call('asictrunkmbr2linux', member)
    return sim.current().bcm2linux(member)


def linux2modport(linux_port):
    """(module, port) of a Linux port; KeyError for one without."""
    sim._harnel_call('linux2modport', linux_port)
    sw = sim.current()
    for modport, intf in sorted(sw.modports.items()):
        if sw.bcm2linux(intf) == linux_port:
            return modport
    raise KeyError(linux_port)
