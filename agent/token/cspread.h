// Reading a connected token's CSP data area through the private library. Every call
// reads the whole area from the token again; nothing is cached.
#pragma once

// 0 with the container status word, 1 on failure. An area that was never written is
// written as 256 zero bytes with the default user PIN and reads as status 0.
int CSP_ReadContainterStaus(int tokenHandle, unsigned int* status);

// Item 1 (name, L bytes), 2 (exchange-key flag, 4 bytes) or 4 (signature-key flag,
// 4 bytes) of container k into the destination of `capacity` bytes, its length in
// `length`. 0 on success; also 0, with nothing stored, for k outside 1 to 4 or another
// item. 1 on failure: the read failed, or the area is malformed for container k (name
// length above 51 or negative, record past the delivered bytes, delivered length
// outside 0 to 256), or the item does not fit the destination; the reason is logged.
int CSP_ReadCspInfoUnit(int tokenHandle, int k, int item, unsigned char* destination, int* length, int capacity);
