// The processor's free-running time-stamp counter, read afresh on each call.
// Any thread.
#ifndef YK_PLATFORM_TSC_H_
#define YK_PLATFORM_TSC_H_

#include <cstdint>

std::uint64_t ReadTimeStampCounter();

#endif  // YK_PLATFORM_TSC_H_
