"""Stand-in for the configuration file library: the VXLAN checker imports
ConfigObj and calls nothing of it."""


class ConfigObj(dict):

    def __init__(self, infile=None, **options):
        dict.__init__(self)
        self.filename = infile
        self.options = options
