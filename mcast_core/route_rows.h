// What the chips' route-table readers share while they turn rows into
// routes.
#pragma once

#include <string>

namespace nv {

// struct.pack("!L", v) then inet_ntoa: the address as a dotted quad, or the
// interpreter's struct.error for a number outside 0 to 4294967295.
std::string packed_address(long v);

}  // namespace nv
