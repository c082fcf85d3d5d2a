#pragma once

namespace kestrin {

// The engine's one way to ask for memory ahead of its use. The loops that look up data lying anywhere in
// a large block (a suffix's bytes, a slot of a table, the neighbourhood of an occurrence) ask for what
// they will need a few steps later, so that the misses of several steps overlap instead of stalling one
// after another. Each such loop is a function of its own that names its distance and cites its measured
// gain; this helper only gives the hint a name.
inline void PrefetchForRead(const void* address)
{
    __builtin_prefetch(address, 0);
}

// The same for memory that the loop will write.
inline void PrefetchForWrite(const void* address)
{
    __builtin_prefetch(address, 1);
}

} // namespace kestrin
