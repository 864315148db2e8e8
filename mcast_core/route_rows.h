// What the chips' route-table readers share while they turn rows into
// routes: the VRF names of one read and the dotted quads of packed numbers.
#pragma once

#include <string>
#include <unordered_map>

#include "common/services.h"

namespace nv {

// struct.pack("!L", v) then inet_ntoa: the address as a dotted quad, or the
// interpreter's struct.error for a number outside 0 to 4294967295.
std::string packed_address(long v);

// The VRF database's names, asked once per VRF id while one table is read:
// its answers do not change during the read, and a name it refuses fails
// the read at the same row as before.
class VrfNames {
 public:
  explicit VrfNames(VrfDb& db) : db_(db) {}
  const std::string& operator()(long id) {
    // Rows of one VRF tend to follow each other.
    if (last_ && id == last_id_) return *last_;
    auto it = names_.find(id);
    if (it == names_.end()) it = names_.emplace(id, db_.vrf_id2name(id)).first;
    last_id_ = id;
    last_ = &it->second;
    return *last_;
  }

 private:
  VrfDb& db_;
  std::unordered_map<long, std::string> names_;  // nodes: the names stay put
  long last_id_ = 0;
  const std::string* last_ = nullptr;
};

}  // namespace nv
