// Memory that the program has freed stays with the C library's allocator,
// which hands back only what lies at the top of its heap: after a loaded
// section document goes, most of its pages would stay resident for good.
#pragma once

// Returns the allocator's free pages to the system. It walks the whole heap,
// so it is for the end of a large piece of work, not for every free.
void ReturnFreeMemoryToSystem() noexcept;
