// Value texts: identifiers, integers, booleans and addresses. Conversions
// leave their output unchanged on failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vopcfg.h"

// 0 when text is "_" or a letter followed by "_", letters and digits (ASCII).
uint32_t vopDataCheckIdent(const char* text);

// 0 when the text splits into whole letters (as the reader groups bytes),
// else ERR_INVALID. A text whose last letter is cut short would swallow the
// markup written after it.
uint32_t vopDataCheckLetters(const char* text);

// As vopDataCheckLetters, and no letter is a "<": the text reads back as the
// same value once written as an element's text.
uint32_t vopDataCheckWritable(const char* text);

// Signed 64-bit, automatic base, surrounding white space allowed.
uint32_t vopDataConvertInteger(const char* text, int64_t* value);

// "TRUE" -> 1, "FALSE" -> 0 in any mix of case, nothing around them.
uint32_t vopDataConvertBoolean(const char* text, uint32_t* flag);

// A host name (an identifier) or a whole IPv4/IPv6 address. On success the
// record is filled (a host name is a malloc'ed copy owned by the record).
uint32_t vopDataConvertIpaddr(const char* text, vop_ipaddr_t* record);

// Address parsers over *length bytes; on success *length becomes the end
// position of the address, which may be followed by more text.
uint32_t vopDataConvertIPV4(const char* text, size_t* length, uint8_t out[4]);
uint32_t vopDataConvertIPV6(const char* text, size_t* length, uint8_t out[16]);
