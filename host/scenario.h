// Reading and writing a vessel's block of a scenario file.
#pragma once

#include "api.h"
#include "types.h"

// Writes one line made of `item`, a blank and `string` into the vessel block being saved. The
// host copies both texts before it returns.
ZAPI_FUNC void zapiWriteScenario_string(FILEHANDLE scn, const char* item, const char* string);

// Advances to the next line of the vessel block being loaded and points `line` at it (a
// zero-terminated line, key first, valid until the next call); false after the last line.
ZAPI_FUNC bool zapiReadScenario_nextline(FILEHANDLE scn, char*& line);
