"""Stand-in for the netlink library: the modules the VXLAN checker imports.
It calls nothing of them."""
