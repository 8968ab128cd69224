// The -lh5- (and -lh4-) decoder. Internal to extract/.
#pragma once

// Decodes the member whose header the walker read, from s.memberData into
// the window, flushing it to the member's file as it fills.
int DecodeLh5Member();
