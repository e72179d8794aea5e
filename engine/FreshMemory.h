#pragma once

#include <cstddef>

namespace tessivo {

// Maps in the pages of a buffer that is about to be filled, in one call to the system. A first
// write to each fresh page would otherwise trap into the system once per page, which on a
// virtual machine can cost more than the work the buffer is for (several million characters of
// a fine run). Only whole pages inside the buffer are touched, and only for large buffers;
// where the system cannot do it, nothing happens and the pages come in on first use as before.
void PrepareForWriting(void* data, std::size_t bytes);

} // namespace tessivo
