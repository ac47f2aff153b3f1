#include "payload/sha1.h"

namespace payload {

// Realised with the x86 SHA extensions in a later change; until then the
// portable code serves everywhere.
Sha1BlockFunction Sha1BlocksAccelerated() { return nullptr; }

}  // namespace payload
