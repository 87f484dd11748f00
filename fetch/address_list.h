// The built-in list of picture addresses: 2395 lines, each ended by CR LF,
// embedded in the program at build time. Read by the fetch workers on any
// thread; never changed.
#ifndef YK_FETCH_ADDRESS_LIST_H_
#define YK_FETCH_ADDRESS_LIST_H_

#include "runtime/text.h"

// Built before main runs; not for use by other static initialisers.
extern const Bytes AddressList;

#endif  // YK_FETCH_ADDRESS_LIST_H_
