// Texts for Winsock error codes.
#pragma once

// The text for a Winsock code followed by "\n". The result lives in a
// buffer of the calling thread that its next call overwrites: copy it at once.
const char* describeSocketError(int code);
