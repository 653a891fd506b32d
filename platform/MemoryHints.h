#pragma once

#include <cstddef>

// Maps every page of a freshly allocated, not yet written range at once. The first write to
// a fresh page otherwise costs a page fault each; readers that are about to fill large
// arrays call this first. Only a hint: it does nothing where the system cannot do it.
void PrefaultForWriting(void* data, std::size_t bytes);
