"""Stand-in for the IP address library: the names the VXLAN checker imports.
It calls none of them; each keeps the text it was made from."""


class AddressValueError(ValueError):
    pass


class _Address(object):

    def __init__(self, text):
        self.text = str(text)

    def __str__(self):
        return self.text


class IPv6Address(_Address):
    pass


class IPNetwork(_Address):
    pass


class IPv4Network(IPNetwork):
    pass


class IPv6Network(IPNetwork):
    pass
