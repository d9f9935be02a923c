// The decoders and the status record written the obvious way, with the C library routines
// whose readings the field rules follow: strtok, strncmp, sscanf, atoi, atof, mktime, gmtime,
// asctime and snprintf. They do the same work as the project's code on the same records, so a
// benchmark can set one beside the other, and a check can hold one against the other.
#pragma once

#include <cstddef>
#include <cstdio>

#include "sentences/navigation.h"

// The literal record buffer: 1024 bytes, cleared before every build.
inline constexpr std::size_t literalRecordSize = 1024;

void literalParseShipNMEA(char *buf, shipData *s, clockFn clock, std::FILE *console);

void literalParseROVData(char *buf, rovData *r, clockFn clock);

// Returns the record's length; the text ends with a zero byte in dataString.
std::size_t literalBuildStatusRecord(const shipData &ship, const rovData &rov, clockFn clock,
                                     char (&dataString)[literalRecordSize]);
