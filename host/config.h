// Reading items of a vessel class's configuration file.
#pragma once

#include "api.h"
#include "types.h"

// Reads the item `item` (matched without regard to case) as three numbers into `val`;
// returns false and leaves `val` unchanged when the item is missing or not three numbers.
ZAPI_FUNC bool zapiReadItem_vec(FILEHANDLE f, const char* item, VECTOR3& val);

// Reads the item `item` as one number into `val`; false and `val` unchanged when absent.
ZAPI_FUNC bool zapiReadItem_float(FILEHANDLE f, const char* item, double& val);

// Reads the item `item` as an integer into `val`; false and `val` unchanged when absent.
ZAPI_FUNC bool zapiReadItem_int(FILEHANDLE f, const char* item, int& val);

// Reads the item `item` as a text of at most `size` - 1 characters into `buf` (zero-terminated);
// false and `buf` unchanged when absent or when `size` is 0.
ZAPI_FUNC bool zapiReadItem_string(FILEHANDLE f, const char* item, char* buf, int size);
