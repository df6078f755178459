// Text input boxes.
#pragma once

#include "api.h"

// Called by the host with the text the user entered: `id` is host data the callback ignores,
// `str` the text (zero-terminated), `usrdata` the pointer given to zapiOpenInputBox. The result
// tells the host whether the text was accepted.
typedef bool (*InputCallback)(void* id, char* str, void* usrdata);

// Opens a text box titled `title`, showing `buf` at first (null: empty), that takes at most
// `vislen` characters (0 or less: the host's own limit); the host calls `cbk` with the entered
// text and `usrdata` later. Only one box is open at a time: returns false, and opens nothing,
// while another box is open.
ZAPI_FUNC bool zapiOpenInputBox(const char* title, InputCallback cbk, const char* buf = nullptr,
                                int vislen = 20, void* usrdata = nullptr);
