// The built-in list of picture addresses: 2395 lines, each ended by CR LF,
// embedded in the program at build time. Read by the fetch workers on any
// thread; never changed.
#ifndef YK_FETCH_ADDRESS_LIST_H_
#define YK_FETCH_ADDRESS_LIST_H_

#include <cstdint>
#include <span>

#include "runtime/text.h"

// A view of the embedded bytes: nothing is copied or allocated for it.
extern const std::span<const std::uint8_t> AddressList;

#endif  // YK_FETCH_ADDRESS_LIST_H_
