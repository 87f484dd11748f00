#include "fetch/address_list.h"

// Made by yk_embed from address_list.txt.
extern const unsigned char address_list_data[];
extern const unsigned long address_list_data_size;

const std::span<const std::uint8_t> AddressList(address_list_data,
                                               address_list_data_size);
