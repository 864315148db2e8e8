"""A plain Python 2.7 rendering of the checker, kept for comparison with the
compiled module in the benchmarks only.

Construction runs the same commands in the same order through the same
platform objects and parses their output by the same rules.  Where the
module looks a value up by scanning a table while it reads the hardware,
construction here keeps a dict, as a careful Python author would: ASIC port
-> logical port, Linux port -> port-map entry, (logical port, internal VLAN)
-> egress VLAN, the untagged ports of each VLAN as a set, and the port
table's answer for each ASIC port.  Those dicts serve construction only.

The route comparison (mroute_eq) and the kernel side behind it are written
as the host's own Python would have them: the kernel is read through the
same commands and files, in the same layouts as the module reads them, and
kept in the same caches, with nothing cached beyond them; the port and
VLAN-translation lookups of the IIF check scan the tables.
"""

import json
import os
import re
import socket
import struct
import subprocess

import dolmish
import norvask.quillon
import norvask.stavren


def _get_cmd_output(cmdList, dispStr=None):
    with open(os.devnull, 'w') as devnull:
        try:
            return subprocess.check_output(cmdList, stderr=devnull)
        except subprocess.CalledProcessError:
            return dispStr


class PortmapEntry(object):
    __slots__ = ('dport', 'logical_port', 'linux_port', 'port_vid')

    def __init__(self, dport, logical_port, linux_port):
        self.dport = dport
        self.logical_port = logical_port
        self.linux_port = linux_port
        self.port_vid = -1


class VlanXlate(object):
    __slots__ = ('lport', 'ivid', 'evid')

    def __init__(self, lport, ivid, evid):
        self.lport = lport
        self.ivid = ivid
        self.evid = evid


class VlanEntry(object):
    __slots__ = ('vid', 'untagged_dports')

    def __init__(self, vid, untagged_dports):
        self.vid = vid
        self.untagged_dports = untagged_dports


class Encap(object):
    __slots__ = ('linux_port', 'bcm_dport', 'intf', 'vlan', 'evid')

    def __init__(self, linux_port, bcm_dport, intf, vlan, evid):
        self.linux_port = linux_port
        self.bcm_dport = bcm_dport
        self.intf = intf
        self.vlan = vlan
        self.evid = evid

    def encap2swp(self):
        if self.evid == -1:
            return self.linux_port
        return '%s.%d' % (self.linux_port, self.evid)


class ReplicationGroup(object):
    __slots__ = ('mcast_grp', 'l2_encaps', 'l3_encaps')

    def __init__(self, mcast_grp, l2_encaps, l3_encaps):
        self.mcast_grp = mcast_grp
        self.l2_encaps = l2_encaps
        self.l3_encaps = l3_encaps

    def get_l3_linux_encaps(self):
        return set(e.encap2swp() for e in self.l3_encaps)

    def get_l2_linux_encaps(self):
        return set(e.encap2swp() for e in self.l2_encaps)


class Hmroute(object):
    __slots__ = ('sip', 'dip', 'iif', 'grp', 'vrf', 'iif_mismatch', 'oil_mismatch')

    def __init__(self, sip, dip, iif, mcast_grp, vrf):
        self.sip = sip
        self.dip = dip
        self.iif = iif
        self.grp = mcast_grp | 0x2000000
        self.vrf = vrf
        self.iif_mismatch = []
        self.oil_mismatch = []


class KernDevEntry(object):
    def __init__(self, dev, kind, vlan_filtering):
        self.dev = dev
        self.kind = kind
        self.vlan_filtering = vlan_filtering


class KernVlanDevEntry(object):
    def __init__(self, dev, vid, atlink):
        self.dev = dev
        self.vid = vid
        self.atlink = atlink


class KernVlanEntry(object):
    def __init__(self, vid):
        self.vid = vid
        self.tagged_swp = []
        self.untagged_swp = []

    def add_port(self, port, untagged):
        if untagged:
            self.untagged_swp.append(port)
        else:
            self.tagged_swp.append(port)


class KernMdbEntry(object):
    def __init__(self, vid, grp):
        self.vid = vid
        self.grp = grp
        self.swp = []

    def add_port(self, dev):
        if dev not in self.swp:
            self.swp.append(dev)


class KernMdbRportEntry(object):
    def __init__(self, vid):
        self.vid = vid
        self.swp = []

    def add_port(self, dev):
        self.swp.append(dev)


class KernMdbCache(object):
    def __init__(self, dev, vlan_filtering, mdb_entries=None):
        self.dev = dev
        self.vlan_filtering = vlan_filtering
        self.mdb_entries = {} if mdb_entries is None else mdb_entries
        self.mdb_rports = {}


_DEFAULT_VLAN = re.compile(r'Port (?P<port>\S+) default VLAN is (?P<vlan>\d+)')
_MODID = re.compile(r'modid = (?P<modid>\d+) port = (?P<port>\d+)')
_VLAN = re.compile(r'vlan (?P<vlan>\d+).*untagged (?P<ports>\S+)')
_MEMBER = re.compile(r'\s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+)')
_FIELDS = re.compile(r'\[(?P<key>\d+)\]: \<(?P<data>\S+)\>')
_KEY = re.compile(r'(?P<vrf>\S+), \((?P<sip>\S+),(?P<dip>\S+)\)')
_NON_BLANKS = re.compile(r'\S+')
_VLAN_ID_LINE = re.compile(r'\S*\s+(\d+)(\s|$)')
_SNOOPED = re.compile(r'dev (?P<dev>\S+) port (?P<port>\S+) grp (?P<grp_ip>\S+)')
_VID_DIGITS = re.compile(r'(\d+)(\s|$)')
_DIGITS = re.compile(r'[0-9]+\Z')


class Asic(object):
    ORIG_DEV = ['lo']
    TERM_DEV = 'ipmr-lo'
    _devs_supported = ('bridge', 'bond', 'vlan', 'swp')

    def __init__(self, use_mem_table=False, debug=False):
        self.desc = 'asic'
        self.debug = debug
        self.pt = norvask.quillon.quillon()
        self.vrf_db = norvask.stavren.VrfDb()
        self.bcm = dolmish.dolmish(timeout=180)
        self.kestrad_debug_enabled = self._get_kestrad_debug()
        self.nq_mroute_kestrad_debug_enabled = False
        self.linux_ports = self.pt.get_linux_ports()
        self._pairx_check()
        self.kern_dev_cache = {}
        self.kern_mdb_cache = {}
        self.flood_mdb_misses = True
        self.kern_vlan_cache_created = False
        self.kern_vlan_cache = {}
        self.kern_vlan_dev_cache_created = False
        self.kern_vlan_dev_cache = {}
        self.kern_br_cache = {}

        self._linux_names = {}
        self.portmap = []
        self._lport_of = {}
        self._entries_of = {}
        self._parse_portmap()
        self._parse_ports()
        self.l3_intfs = {}
        self._parse_l3_intf()
        self.vlan_xlate = []
        self._evid_of = {}
        self._parse_vlan_xlate()
        self.vlan_riot = {}
        self.riot_enable = self._is_riot_enabled()
        self.vlan_riot_memtable = self._get_vlan_riot_memtable_name()
        if self.riot_enable:
            self.l3_intf_nhi = {}
            self._parse_l3_intf_nhi()
        self.vlans = {}
        self._untagged = {}
        self.replication_groups = {}
        self._parse_multicast_repln_groups()
        self.mroutes = {}
        if use_mem_table:
            self._parse_l3_entry_ipmc_table()
        else:
            self._parse_ipmc_table()
        self._linux_names = None

    # --- shell and local programs

    def _run(self, cmd, timeout_text):
        try:
            return self.bcm.run(cmd)
        except IOError:
            raise RuntimeError(timeout_text)

    def _bcm2linux(self, dport):
        name = self._linux_names.get(dport)
        if name is None:
            name = self.pt.bcm2linux(dport)
            self._linux_names[dport] = name
        return name

    def _get_kestrad_debug(self):
        out = _get_cmd_output('ls /norvask/kestrad/debug/mroute/info'.split(), '')
        return len(out.splitlines()) > 0

    def _pairx_check(self):
        try:
            out = _get_cmd_output('/usr/bin/pairxctl -v'.split(), '')
        except Exception:
            return
        if not out:
            return
        lines = out.splitlines()
        if lines[0] != 'The peer is alive':
            return
        for line in lines:
            if 'Peer Interface and IP:' in line:
                Asic.ORIG_DEV.append(line.split()[4])
                return

    def _parse_l3_intf_nhi(self):
        if not self.kestrad_debug_enabled:
            os.system('echo 1 > /norvask/kestrad/ctrl/debug')
        out = _get_cmd_output('cat /norvask/kestrad/debug/mroute/info'.split(), '')
        for line in out.splitlines():
            if 'nhi' not in line:
                continue
            words = line.split()
            if len(words) <= 5:
                continue
            self.l3_intf_nhi[int(words[5])] = int(words[1])
        if not self.kestrad_debug_enabled:
            os.system('echo 1 > /norvask/kestrad/ctrl/debug')

    # --- ports and VLANs

    def _parse_portmap(self):
        out = self._run('show portmap', 'show portmap timed out')
        lines = out.splitlines()
        if len(lines) < 2 or 'Error' in lines[0]:
            raise RuntimeError('show portmap is not supported on this chip')
        try:
            logical = lines[0].split().index('logical') + 1
        except ValueError:
            raise RuntimeError('show portmap format unexpected')
        for line in lines[1:]:
            words = line.split()
            dport = words[0]
            logical_port = int(words[logical])
            try:
                linux_port = self._bcm2linux(dport)
            except Exception:
                linux_port = None
            entry = PortmapEntry(dport, logical_port, linux_port)
            self.portmap.append(entry)
            self._lport_of.setdefault(dport, logical_port)
            self._entries_of.setdefault(dport, []).append(entry)

    def _parse_ports(self):
        out = self._run('pvlan show', 'pvlan show')
        for line in out.splitlines():
            m = _DEFAULT_VLAN.match(line)
            if m:
                for entry in self._entries_of.get(m.group('port'), ()):
                    entry.port_vid = int(m.group('vlan'))

    def _parse_l3_intf(self):
        lines = self._run('l3 intf show', 'l3 intf show').splitlines()
        header = lines[1].split()
        intf_index = header.index('Intf')
        vlan_index = header.index('VLAN')
        for line in lines[3:]:
            words = line.split()
            if len(words) <= vlan_index:
                continue
            self.l3_intfs[int(words[intf_index])] = int(words[vlan_index])

    def _parse_vlan_xlate(self):
        out = self._run('vlan translate show', 'vlan translate show')
        if 'ERROR' in out:
            return
        for line in out.splitlines():
            fields = {}
            for field in line.split(','):
                if 'modid' in field:
                    m = _MODID.search(field)
                    if m:
                        fields['modid'] = m.group('modid')
                        fields['port'] = m.group('port')
                    continue
                parts = field.strip().split('=')
                fields[parts[0].strip()] = parts[1].strip()
            lport = int(fields.get('port', '-1'))
            evid = int(fields.get('old_vid', '-1'))
            ivid = int(fields.get('new_vid', '-1'))
            self.vlan_xlate.append(VlanXlate(lport, ivid, evid))
            self._evid_of.setdefault((lport, ivid), evid)

    def _parse_vlan(self, vid):
        cmd = 'vlan show %d' % vid
        if vid == -1:
            return
        m = _VLAN.search(self._run(cmd, cmd))
        if not m:
            return
        vlan = int(m.group('vlan'))
        port_cmd = 'ports ' + m.group('ports')
        lines = self._run(port_cmd, port_cmd).splitlines()
        if len(lines) <= 2:
            return
        dports = [line.split()[0].split('(')[0] for line in lines[2:]]
        self.vlans[vlan] = VlanEntry(vlan, dports)
        self._untagged[vlan] = set(dports)

    def _ivid2evid(self, dport, ivid):
        lport = self._lport_of.get(dport, -1)
        if lport == -1:
            return ivid
        evid = self._evid_of.get((lport, ivid))
        if evid is not None:
            return evid
        if ivid not in self._untagged:
            self._parse_vlan(ivid)
        if dport in self._untagged.get(ivid, ()):
            return -1
        return ivid

    # --- RIOT

    def _is_riot_enabled(self):
        try:
            return int(self.bcm.run('sc L3IngressMode').strip(), 16) != 0
        except IOError:
            raise RuntimeError('sc L3IngressMode timed out')

    def _get_vlan_riot_memtable_name(self):
        if not self.riot_enable:
            return ''
        cmd = 'listmem %s' % 'VLAN'
        if 'L3_IIF<' in self._run(cmd, cmd):
            return 'VLAN'
        return 'VLAN_MPLS'

    # --- replication groups

    def _parse_multicast_repln_groups(self):
        out = self._run('multicast show', 'multicast show')
        for piece in out.split('Group')[1:]:
            self._parse_one_multicast_repln_group(piece)

    def _parse_one_multicast_repln_group(self, text):
        group = text.splitlines()
        if not group or 'L2' in group[0]:
            return
        head = group[0].split()
        if not head:
            return
        group_id = int(head[0], 16)
        l2_encaps = []
        l3_encaps = []
        riot = self.riot_enable
        for line in group[1:]:
            m = _MEMBER.match(line)
            if not m:
                continue
            dport = m.group('port')
            if dport == 'cpu0':
                continue
            intf = int(m.group('intf'))
            if intf == -1:
                l2_encaps.append(Encap(self._bcm2linux(dport), dport, -1, -1, -1))
                continue
            if riot:
                intf = self.l3_intf_nhi.get(intf, intf)
            vlan = self.l3_intfs.get(intf, -1)
            evid = self._ivid2evid(dport, vlan)
            l3_encaps.append(Encap(self._bcm2linux(dport), dport, intf, vlan, evid))
        self.replication_groups[group_id] = ReplicationGroup(group_id, l2_encaps, l3_encaps)

    # --- routes

    def _parse_ipmc_table(self):
        lines = self._run('ipmc table show', 'ipmc table show timed out').splitlines()
        title = lines[0].split()
        src_index = title.index('SRC')
        mc_index = title.index('MC') - 2
        grp_index = title.index('GROUP') - 4
        vlan_index = title.index('VLAN') - 4
        vrf_index = title.index('VRF') - 4
        vrf_id2name = self.vrf_db.vrf_id2name
        mroutes = self.mroutes
        for line in lines[2:]:
            ipmc = line.split()
            if len(ipmc) <= grp_index:
                continue
            sip = ipmc[src_index]
            dip = ipmc[mc_index]
            iif = int(ipmc[vlan_index])
            vrf = vrf_id2name(int(ipmc[vrf_index]))
            mcast_grp = int(ipmc[grp_index], 16)
            mroutes['%s, (%s,%s)' % (vrf, sip, dip)] = Hmroute(sip, dip, iif, mcast_grp, vrf)

    def _parse_l3_entry_ipmc_table(self):
        cmd = 'dump chg l3_entry_ipv4_multicast'
        for entry in self._run(cmd, cmd).splitlines():
            m = _FIELDS.search(entry)
            if not m:
                continue
            fields = {}
            for piece in m.group('data').split(','):
                parts = piece.split('=')
                if len(parts) >= 2:
                    fields[parts[0]] = parts[1]
            if int(fields.get('VALID_0', '0')) == 0 and int(fields.get('VALID_1', '0')) == 0:
                continue
            sip = socket.inet_ntoa(struct.pack('!L', int(fields.get('SOURCE_IP_ADDR', '0x0'), 16)))
            dip = socket.inet_ntoa(struct.pack('!L', int(fields['GROUP_IP_ADDR'], 16)))
            vrf_id = fields.get('VRF_ID', '0')
            vrf = self.vrf_db.vrf_id2name(int(vrf_id, 16 if '0x' in vrf_id else 10))
            l3_iif = fields.get('EXPECTED_L3_IIF', '0')
            iif = int(l3_iif, 16 if '0x' in l3_iif else 10)
            mcast_grp = int(fields.get('L3MC_INDEX', '0'), 16)
            self.mroutes['%s, (%s,%s)' % (vrf, sip, dip)] = Hmroute(sip, dip, iif, mcast_grp, vrf)

    # --- port and VLAN translation, as the IIF check uses them

    def _grp_ip2mac(self, grp):
        b = [int(x) for x in grp.split('.')]
        return '01:00:5e:%02x:%02x:%02x' % (b[1] & 0x7f, b[2], b[3])

    def _get_logical_port_and_pvid(self, linux_port):
        for entry in self.portmap:
            if entry.linux_port == linux_port:
                return entry.logical_port, entry.port_vid
        return -1, -1

    def _evid2ivid(self, logical_port, evid):
        for x in self.vlan_xlate:
            if x.lport == logical_port and x.evid == evid:
                return x.ivid
        return -1

    # --- IIF mapping

    def _kern_iif_to_hw_vlan(self, base_kind, base_iif, iif_vlan, member):
        if base_kind == 'bridge' and iif_vlan != -1:
            return iif_vlan
        if not member:
            return -1
        parts = member.split('.')
        vlan = int(parts[1]) if len(parts) >= 2 else -1
        lport, pvid = self._get_logical_port_and_pvid(parts[0])
        if vlan == -1:
            return pvid
        return self._evid2ivid(lport, vlan)

    def _hw_vlan_to_iif(self, iif_vlan):
        if iif_vlan < 0:
            return None
        if not self.riot_enable:
            return iif_vlan
        if iif_vlan in self.vlan_riot:
            return self.vlan_riot[iif_vlan]
        rows = self.bcm.gettable(self.vlan_riot_memtable, fields=True, start=iif_vlan, entries=1)
        self.vlan_riot[iif_vlan] = rows[0]['L3_IIF']
        return self.vlan_riot[iif_vlan]

    # --- kernel devices, VLAN devices and bond slaves

    def _kern_dev_kind_parse(self, dev):
        if dev in self.linux_ports:
            return 'swp'
        lines = _get_cmd_output(('/bin/ip -d link show %s' % dev).split(), '').splitlines()
        if len(lines) > 2 and 'does not exist' not in lines[0]:
            words = lines[2].split()
            if words:
                return words[0]
        return 'unk'

    def _kern_dev_vlan_filtering_parse(self, dev):
        value = 0
        path = '/sys/class/net/' + dev + '/bridge/vlan_filtering'
        if not os.path.isfile(path):
            return value
        try:
            with open(path) as f:
                for line in f:
                    value = int(line.strip(), 0)
        except IOError:
            pass
        return value

    def _kern_dev_cache_get(self, dev):
        if dev not in self.kern_dev_cache:
            kind = self._kern_dev_kind_parse(dev)
            vlan_filtering = self._kern_dev_vlan_filtering_parse(dev)
            self.kern_dev_cache[dev] = KernDevEntry(dev, kind, vlan_filtering)
        return self.kern_dev_cache[dev]

    def _kern_dev_kind_get(self, dev):
        return self._kern_dev_cache_get(dev).kind

    def _kern_dev_vlan_filtering_get(self, dev):
        return self._kern_dev_cache_get(dev).vlan_filtering

    def _kern_create_vlan_dev_cache(self):
        self.kern_vlan_dev_cache_created = True
        lines = []
        path = '/proc/net/vlan/config'
        if os.path.isfile(path):
            try:
                with open(path) as f:
                    for line in f:
                        lines.append(line)
            except IOError:
                pass
        if len(lines) < 2:
            return
        for line in lines[2:]:
            fields = line.split('|')
            if len(fields) < 3:
                continue
            dev = fields[0].strip()
            self.kern_vlan_dev_cache[dev] = KernVlanDevEntry(dev, int(fields[1].strip()),
                                                             fields[2].strip())

    def _kern_get_vlan_and_atlink(self, dev):
        if not self.kern_vlan_dev_cache_created:
            self._kern_create_vlan_dev_cache()
        entry = self.kern_vlan_dev_cache.get(dev)
        if entry is None:
            return None, None
        return entry.vid, entry.atlink

    def _kern_get_dev_vlan(self, dev, kind, parent_vlan=-1):
        if kind == 'vlan':
            vid, atlink = self._kern_get_vlan_and_atlink(dev)
            if vid:
                return atlink, vid
        return dev, parent_vlan

    def _expand_kern_bond(self, dev):
        slaves = []
        path = '/sys/class/net/%s' % dev + '/bonding/'
        if not os.path.isdir(path):
            return slaves
        try:
            with open(path + 'slaves') as f:
                for line in f:
                    slaves.extend(line.strip().split())
        except IOError:
            pass
        return slaves

    def _kern_base_dev_kind_get(self, orig_dev, parent_vlan=-1):
        kind = self._kern_dev_kind_get(orig_dev)
        dev, vlan = self._kern_get_dev_vlan(orig_dev, kind, parent_vlan)
        if dev != orig_dev:
            kind = self._kern_dev_kind_get(dev)
        return kind, dev, vlan

    # --- bridge VLANs and bridge members

    def _kern_create_vlan_cache(self):
        self.kern_vlan_cache_created = True
        devices = json.loads(_get_cmd_output('/sbin/bridge -j vlan show'.split(), '{}'))
        # What does not fit the layout carries no VLANs.
        if not isinstance(devices, list):
            return
        for device in devices:
            if not isinstance(device, dict):
                continue
            name = device.get('ifname')
            vlans = device.get('vlans')
            if not isinstance(name, basestring) or not isinstance(vlans, list):
                continue
            for vlan in vlans:
                if not isinstance(vlan, dict):
                    continue
                vid = vlan.get('vlan', 0)
                if isinstance(vid, basestring) and _DIGITS.match(vid):
                    vid = int(vid)
                elif isinstance(vid, bool) or not isinstance(vid, (int, long)):
                    continue
                kind = self._kern_dev_kind_get(name)
                if kind == 'bridge':
                    continue
                flags = vlan.get('flags', [])
                untagged = isinstance(flags, list) and 'Egress Untagged' in flags
                if vid not in self.kern_vlan_cache:
                    self.kern_vlan_cache[vid] = KernVlanEntry(vid)
                entry = self.kern_vlan_cache[vid]
                if kind == 'bond':
                    for slave in self._expand_kern_bond(name):
                        entry.add_port(slave, untagged)
                else:
                    entry.add_port(name, untagged)

    def _kern_get_vlan_members(self, vid):
        if not self.kern_vlan_cache_created:
            self._kern_create_vlan_cache()
        entry = self.kern_vlan_cache.get(vid)
        if entry is None:
            return []
        return entry.tagged_swp + entry.untagged_swp

    def _kern_setup_br_cache(self, dev):
        try:
            names = os.listdir('/sys/class/net/' + dev + '/brif')
        except Exception:
            names = []
        members = []
        for member in names:
            kind, base, vlan = self._kern_base_dev_kind_get(member)
            if kind == 'bond':
                for slave in self._expand_kern_bond(base):
                    members.append(slave if vlan == -1 else '%s.%d' % (slave, vlan))
            else:
                members.append(member)
        self.kern_br_cache[dev] = members
        return self.kern_br_cache[dev]

    def _kern_get_br_members(self, dev):
        if dev not in self.kern_br_cache:
            self._kern_setup_br_cache(dev)
        return self.kern_br_cache[dev]

    # --- bridge snooping

    def _kern_dev_get_mdb_entry(self, orig_dev, orig_vlan, orig_grp):
        key = '%d.%s' % (orig_vlan, orig_grp)
        if orig_dev in self.kern_mdb_cache:
            return self.kern_mdb_cache[orig_dev].mdb_entries.get(key)
        lines = _get_cmd_output(('/sbin/bridge -d -s mdb show dev %s' % orig_dev).split(),
                                '').splitlines()
        vlan_filtering = self._kern_dev_vlan_filtering_get(orig_dev)
        cache = KernMdbCache(orig_dev, vlan_filtering)
        self.kern_mdb_cache[orig_dev] = cache
        for line in lines:
            rport = self._router_port(line, orig_dev)
            if rport is None:
                continue
            if not vlan_filtering:
                self._add_rport(cache, -1, rport, False)
                continue
            out = _get_cmd_output(('/sbin/bridge vlan show dev %s' % rport).split(), '')
            for vline in out.splitlines():
                m = _VLAN_ID_LINE.match(vline)
                if m:
                    self._add_rport(cache, int(m.group(1)), rport, True)
        for line in lines:
            m = _SNOOPED.match(line)
            if not m or m.group('dev') != orig_dev:
                continue
            vid = -1
            if vlan_filtering:
                at = line.find(' vid ', m.end())
                if at < 0:
                    continue
                v = _VID_DIGITS.match(line, at + 5)
                if not v:
                    continue
                vid = int(v.group(1))
            # Only IPv4 groups have a key; the kernel lists IPv6 ones of its own.
            try:
                grp_mac = self._grp_ip2mac(m.group('grp_ip'))
            except (IndexError, ValueError):
                continue
            line_key = '%d.%s' % (vid, grp_mac)
            if line_key not in cache.mdb_entries:
                cache.mdb_entries[line_key] = KernMdbEntry(vid, grp_mac)
            entry = cache.mdb_entries[line_key]
            port = m.group('port')
            # The bridge as its own port is the host's membership.
            if port != orig_dev:
                kind, base, vlan = self._kern_base_dev_kind_get(port, -1)
                if kind == 'bond':
                    for slave in self._expand_kern_bond(base):
                        entry.add_port(slave if vlan == -1 else '%s.%d' % (slave, vlan))
                else:
                    entry.add_port(port)
            rports = cache.mdb_rports.get(vid)
            if rports is not None:
                for name in rports.swp:
                    entry.add_port(name)
        return cache.mdb_entries.get(key)

    def _router_port(self, line, bridge):
        if not line.startswith('router ports on '):
            return None
        rest = line[len('router ports on '):]
        for word in ('bridge', bridge):
            if rest.startswith(word + ': '):
                m = _NON_BLANKS.match(rest, len(word) + 2)
                return m.group(0) if m else None
        return None

    def _add_rport(self, cache, vid, rport, vlan_aware):
        """On a bridge without VLAN filtering a router port that is a VLAN
        device keeps its VLAN, as the module has it."""
        if vid not in cache.mdb_rports:
            cache.mdb_rports[vid] = KernMdbRportEntry(vid)
        entry = cache.mdb_rports[vid]
        kind, base, vlan = self._kern_base_dev_kind_get(rport, -1)
        if vlan_aware:
            vlan = -1
        if kind == 'bond':
            for slave in self._expand_kern_bond(base):
                entry.add_port(slave if vlan == -1 else '%s.%d' % (slave, vlan))
        elif kind == 'swp':
            entry.add_port(base if vlan == -1 else '%s.%d' % (base, vlan))

    # --- expansion of a kernel device into port names

    def _expand_kern_dev(self, grp, orig_dev, parent_vlan=-1):
        kind, dev, vlan = self._kern_base_dev_kind_get(orig_dev, parent_vlan)
        if kind not in self._devs_supported:
            return
        if kind == 'bridge':
            vlan_filtering = self._kern_dev_vlan_filtering_get(dev)
            for member in self._expand_kern_bridge(vlan_filtering, grp, dev, vlan):
                if vlan_filtering:
                    self.tmp_encaps.add('%s.%d' % (member, vlan))
                else:
                    self.tmp_encaps.add(member)
        elif kind == 'bond':
            for slave in self._expand_kern_bond(dev):
                self.tmp_encaps.add(slave if vlan == -1 else '%s.%d' % (slave, vlan))
        elif kind == 'swp':
            self.tmp_encaps.add(dev if vlan == -1 else '%s.%d' % (dev, vlan))

    def _expand_kern_bridge(self, vlan_filtering, grp, dev, vlan):
        grp_mac = self._grp_ip2mac(grp)
        if vlan_filtering:
            return self._expand_kern_vlan_aware_bridge(grp_mac, dev, vlan)
        return self._expand_kern_vlan_unaware_bridge(grp_mac, dev)

    def _expand_kern_vlan_aware_bridge(self, grp_mac, dev, vlan):
        entry = self._kern_dev_get_mdb_entry(dev, vlan, grp_mac)
        if entry is not None:
            return entry.swp
        if self.flood_mdb_misses:
            return self._kern_get_vlan_members(vlan)
        return []

    def _expand_kern_vlan_unaware_bridge(self, grp_mac, dev):
        entry = self._kern_dev_get_mdb_entry(dev, -1, grp_mac)
        if entry is not None:
            return entry.swp
        if self.flood_mdb_misses:
            return self._kern_get_br_members(dev)
        return []

    # --- the route comparison

    def _key_to_sip_dip(self, key):
        m = _KEY.match(key)
        if m:
            return m.group('vrf'), m.group('sip'), m.group('dip')
        return None, None, None

    def mroute_eq(self, key, iif, oil, ul_mcast):
        vrf, src, grp = self._key_to_sip_dip(key)
        if iif in Asic.ORIG_DEV and src != '0.0.0.0':
            if len(oil) == 0:
                return True
            return ul_mcast.check_orig_mroute(self, src, grp)
        if Asic.TERM_DEV in oil and src == '0.0.0.0':
            return ul_mcast.check_term_mroute(src, grp)
        hmroute = self.mroutes.get(key)
        if hmroute is None:
            return True
        kern_l2_encaps = set()
        kind, new_iif, iif_vlan = self._kern_base_dev_kind_get(iif)
        self.tmp_encaps = set()
        self._expand_kern_dev(grp, iif)
        if kind == 'bridge':
            kern_l2_encaps = set(name.split('.')[0] for name in self.tmp_encaps)
        first_member = self.tmp_encaps.pop() if self.tmp_encaps else ''
        kern_iif_vlan = self._kern_iif_to_hw_vlan(kind, new_iif, iif_vlan, first_member)
        kern_iif = self._hw_vlan_to_iif(kern_iif_vlan)
        if kern_iif != hmroute.iif:
            hmroute.iif_mismatch.append('kernel IIF does not match hw IIF')
        kern_l3_encaps = set()
        for oif in oil:
            if oif == iif:
                continue
            self.tmp_encaps = set()
            self._expand_kern_dev(grp, oif)
            kern_l3_encaps.update(self.tmp_encaps)
        replication_group = self.replication_groups.get(hmroute.grp)
        if replication_group is not None:
            hw_l3_encaps = replication_group.get_l3_linux_encaps()
            hw_l2_encaps = replication_group.get_l2_linux_encaps()
        else:
            hw_l3_encaps = set()
            hw_l2_encaps = set()
        if hw_l3_encaps - kern_l3_encaps:
            hmroute.oil_mismatch.append('hw has OIFs not in the kernel')
        if kern_l3_encaps - hw_l3_encaps:
            hmroute.oil_mismatch.append('kernel has OIFs not in the hw')
        if hw_l2_encaps - kern_l2_encaps:
            hmroute.oil_mismatch.append('hw has L2-OIFs not in the kernel')
        if kern_l2_encaps - hw_l2_encaps:
            hmroute.oil_mismatch.append('kernel has L2-OIFs not in the hw')
        return not (hmroute.iif_mismatch or hmroute.oil_mismatch)
