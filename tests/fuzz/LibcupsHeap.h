// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// libcups sizes a compressed stream's line buffer from the page header while
// reading it, before the filter can look at the header: a mutated header
// makes it allocate up to 4 GB, and under ASan the shadow of such a block
// costs seconds an input. This points libcups's own malloc, calloc, realloc
// and free at functions that serve blocks of kHugeBlock bytes or more
// straight from mmap (pages nobody touches cost nothing) and hand everything
// else to the usual allocator: the project's buffers, and libcups's small
// ones, stay on ASan's heap.
#pragma once

#include <cstddef>

namespace qv46fuzz {

constexpr size_t kHugeBlock = size_t{16} << 20;

// Redirects the allocation calls of the loaded libcups; false unless a huge
// line buffer of libcups then comes from mmap.
bool ServeLibcupsHugeBlocksFromMmap();

}  // namespace qv46fuzz
