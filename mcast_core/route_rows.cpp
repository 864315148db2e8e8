#include "mcast_core/route_rows.h"

#include "common/errors.h"
#include "common/text.h"

namespace nv {

std::string packed_address(long v) {
  if (v < 0) throw Error(ErrorKind::Struct, "integer out of range for 'L' format code");
  if (v > 4294967295L)
    throw Error(ErrorKind::Struct, "'L' format requires 0 <= number <= 4294967295");
  return dotted_quad(static_cast<uint32_t>(v));
}

}  // namespace nv
