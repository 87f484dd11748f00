// How the process's heap hands memory back. Worker threads each decode a
// picture and end; without this their freed pages stay with the allocator.
// MemoryStartUp runs once at start-up, before any thread; ReturnFreeMemory
// may run on any thread.
#ifndef YK_PLATFORM_MEMORY_H_
#define YK_PLATFORM_MEMORY_H_

void MemoryStartUp();
void ReturnFreeMemory();

#endif  // YK_PLATFORM_MEMORY_H_
