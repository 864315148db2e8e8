"""A plain Python 2.7 rendering of the checker's construction reads, kept for
comparison with the compiled module in module_bench.py only.

It runs the same commands in the same order through the same platform objects
and parses their output by the same rules.  Where the module looks a value up
by scanning a table, this one keeps a dict, as a careful Python author would:
ASIC port -> logical port, Linux port -> port-map entry, (logical port,
internal VLAN) -> egress VLAN, the untagged ports of each VLAN as a set, and
the port table's answer for each ASIC port.
"""

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


_DEFAULT_VLAN = re.compile(r'Port (?P<port>\S+) default VLAN is (?P<vlan>\d+)')
_MODID = re.compile(r'modid = (?P<modid>\d+) port = (?P<port>\d+)')
_VLAN = re.compile(r'vlan (?P<vlan>\d+).*untagged (?P<ports>\S+)')
_MEMBER = re.compile(r'\s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+)')
_FIELDS = re.compile(r'\[(?P<key>\d+)\]: \<(?P<data>\S+)\>')


class Asic(object):
    ORIG_DEV = ['lo']

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
