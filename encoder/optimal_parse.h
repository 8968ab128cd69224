// The -lh5- packer's slow mode: every match at every position, and the parse
// whose bits, priced by the codes of the previous pass, add up to the least.
#pragma once
#include <cstdint>

#include "encoder/token_sink.h"

// The optimal parse of data[start, end) into sink, its matches reaching back
// into the window before start. False once the stream has given up.
bool ParseOptimal(const uint8_t* data, uint32_t start, uint32_t end, TokenSink& sink);
