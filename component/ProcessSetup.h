// What a program that converts files sets up for its whole process.
#pragma once

// Once, before any thread starts:
// - a file growing past the size limit the user set fails to write, with a
//   message, instead of ending the program and leaving its part behind;
// - the allocator's pools are bounded: without a bound it gives each new
//   thread a pool of its own, and every conversion runs on threads of its
//   own, so the pools of threads long gone, half used, would make a long
//   list's memory grow with each file, by chance.
void PrepareProcessForConversions();

// Hands the memory the allocator holds unused back to the system, as a
// finished task leaves it.
void ReturnFreedMemory();
